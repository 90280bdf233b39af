import subprocess
import sys
import textwrap

import pytest

from sigint import restore_sigint_handler

restore_sigint_handler()


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


def pytest_sessionstart(session):
    """A run meant for a particular build of the module must import that one."""
    import os

    expected = os.environ.get("KORVALE_EXPECT_MODULE_DIR")
    if expected:
        import korvale

        actual = os.path.dirname(os.path.abspath(korvale.__file__))
        if actual != os.path.abspath(expected):
            raise pytest.UsageError(f"imported korvale from {actual}, expected {expected}")
