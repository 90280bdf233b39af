"""What the module shows to Python: its namespace, signatures, docstrings,
identity across imports, the exported symbol, and import without NumPy."""

import importlib
import inspect
import os
import pathlib
import re
import shutil
import subprocess
import sys

import pytest

import korvale

FUNCTIONS = [
    "simulate",
    "gram_from_dist",
    "generate_training_batch",
    "max_independent",
    "reconstruct",
    "pebble_game",
]

SIGNATURES = {
    "simulate": "(coords, d, tol=None)",
    "gram_from_dist": "(dist)",
    "generate_training_batch": "(n_graphs, n_nodes, d, seed)",
    "max_independent": "(n, d)",
    "reconstruct": "(distance_matrix, d, tol=None)",
    "pebble_game": "(coords, d)",
}


def test_namespace_holds_exactly_the_six_functions():
    assert korvale.__all__ == FUNCTIONS
    assert korvale.__doc__ == ""
    public = sorted(name for name in dir(korvale) if not name.startswith("__"))
    assert public == sorted(FUNCTIONS)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_function_objects(name):
    f = getattr(korvale, name)
    assert f.__text_signature__ == SIGNATURES[name]
    assert str(inspect.signature(f)) == SIGNATURES[name]
    assert f.__module__ == "korvale"
    assert f.__self__ is korvale
    assert f.__name__ == name
    # The docstring body starts right after the signature block.
    assert not f.__doc__.startswith(name + "(")
    assert "\n" not in f.__doc__[-1:]


def test_docstring_texts():
    assert korvale.max_independent.__doc__ == "Max independent edges for n nodes in d dimensions: nd − d(d+1)/2"
    assert korvale.simulate.__doc__.splitlines()[0] == "Run the rigidity simulation using the fast-path algorithm."
    assert '  "max_rank"         int              nd − d(d+1)/2' in korvale.simulate.__doc__
    assert "Formula:  G = −½ · H · D_sq · H   where H = I − (1/n)·11ᵀ" in korvale.gram_from_dist.__doc__
    assert "rank ≤ d" in korvale.gram_from_dist.__doc__
    assert korvale.reconstruct.__doc__.endswith('  "is_isometric" bool — True when stress < tol')
    assert korvale.pebble_game.__doc__.startswith(
        "Run the Pebble Game algorithm — O(n^2), deterministic, no matrix rank needed.\n\nParameters\n"
    )
    params = inspect.signature(korvale.reconstruct).parameters
    assert params["tol"].default is None
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in params.values())


def test_reimport_gives_the_same_module_and_functions():
    first = korvale
    simulate = korvale.simulate
    del sys.modules["korvale"]
    second = importlib.import_module("korvale")
    assert second is first
    assert second.simulate is simulate
    assert importlib.reload(second) is first


def test_only_the_init_function_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not installed")
    import _korvale_graphs

    for module, init in ((korvale, "PyInit_korvale"), (_korvale_graphs, "PyInit__korvale_graphs")):
        out = subprocess.run([nm, "-D", "--defined-only", module.__file__], capture_output=True, text=True, check=True)
        symbols = [line.split()[-1] for line in out.stdout.splitlines() if line.strip()]
        assert symbols == [init]
        assert module.__file__.endswith(".abi3.so")


def test_wheel_is_stable_abi():
    wheel = os.environ.get("KORVALE_WHEEL")
    if not wheel:
        pytest.skip("KORVALE_WHEEL names the wheel under test in the test command")
    assert re.fullmatch(r"korvale-[^-]+-cp312-abi3-[^-]+\.whl", pathlib.Path(wheel).name)


def test_import_without_numpy(python_subprocess):
    out = python_subprocess(
        """
        import sys
        sys.modules["numpy"] = None
        import korvale
        assert korvale.max_independent(4, 2) == 5
        try:
            korvale.gram_from_dist([[0.0]])
        except BaseException as e:
            assert type(e).__name__ == "PanicException", type(e)
            assert not isinstance(e, Exception)
            print(str(e))
        else:
            raise AssertionError("no exception")
        # The failed load is tried again and fails again; the interpreter
        # stays usable.
        try:
            korvale.simulate([[0.0]], 2)
        except BaseException as e:
            assert str(e).startswith("Failed to access NumPy array API capsule")
        print(korvale.max_independent(10, 3))
        """
    )
    lines = out.stdout.splitlines()
    assert lines[0].startswith("Failed to access NumPy array API capsule: ")
    assert "ModuleNotFoundError" in out.stdout
    assert lines[-1] == "24"
    assert "korvale: internal failure at" in out.stderr


def test_numpy_loaded_lazily(python_subprocess):
    out = python_subprocess(
        """
        import sys
        import korvale
        print("numpy" in sys.modules)
        korvale.max_independent(3, 2)
        print("numpy" in sys.modules)
        """
    )
    assert out.stdout.split() == ["False", "False"]


# Each snippet prints the kind of failure the sub-interpreter's import met,
# then shows that the module still works in the main interpreter.
SUBINTERPRETER_CODE = {
    "_interpreters": """
        import korvale, _interpreters
        failure = _interpreters.run_string(_interpreters.create(), "import korvale")
        print(failure.type.__name__ if failure is not None else "imported")
        print(korvale.max_independent(4, 2))
        """,
    "_xxsubinterpreters": """
        import korvale, _xxsubinterpreters
        try:
            _xxsubinterpreters.run_string(_xxsubinterpreters.create(), "import korvale")
        except _xxsubinterpreters.RunFailedError as e:
            print("ImportError" if str(e).startswith("<class 'ImportError'>") else str(e))
        else:
            print("imported")
        print(korvale.max_independent(4, 2))
        """,
    "_testcapi": """
        import os, tempfile
        import korvale, _testcapi
        path = os.path.join(tempfile.mkdtemp(), "out")
        code = (
            "try:\\n"
            "    import korvale\\n"
            "except ImportError as e:\\n"
            "    open(%r, 'w').write('ImportError ' + str(e))\\n"
            "else:\\n"
            "    open(%r, 'w').write('imported')\\n"
        ) % (path, path)
        assert _testcapi.run_in_subinterp(code) == 0
        print(open(path).read())
        print(korvale.max_independent(4, 2))
        """,
}


@pytest.mark.parametrize("module", sorted(SUBINTERPRETER_CODE))
def test_sub_interpreter_import_is_refused(module, python_subprocess):
    try:
        mod = importlib.import_module(module)
    except ImportError:
        pytest.skip(f"{module} is not available on this interpreter")
    if not hasattr(mod, "run_in_subinterp") and module == "_testcapi":
        pytest.skip("no legacy sub-interpreters here")
    first, last = python_subprocess(SUBINTERPRETER_CODE[module]).stdout.splitlines()
    assert first.startswith("ImportError")
    if module == "_testcapi":
        # Legacy sub-interpreters accept single-phase modules; the module's
        # own guard refuses it.
        assert "sub-interpreters" in first
    assert last == "5"
