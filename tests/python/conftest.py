import subprocess
import sys
import textwrap

import pytest


def run_python(code: str, *, check: bool = True) -> subprocess.CompletedProcess:
    """Runs code in a fresh interpreter of the same kind as this one."""
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=120,
    )
    if check and proc.returncode != 0:
        pytest.fail(f"subprocess failed ({proc.returncode}):\n{proc.stdout}\n{proc.stderr}")
    return proc


@pytest.fixture
def python_subprocess():
    return run_python
