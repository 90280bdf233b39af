"""Property-based fuzzing of all six functions: random positional and keyword
arguments of every kind. Each call must return a result of the documented
form or raise a documented exception with its documented message; nothing
else, and never a crash.

The long campaign runs with KORVALE_FUZZ_LONG=1 (many more examples)."""

import math
import operator
import os

import numpy as np
from hypothesis import HealthCheck, event, given, settings
from hypothesis import strategies as st

import korvale

LONG = os.environ.get("KORVALE_FUZZ_LONG") == "1"
EXAMPLES = 4000 if LONG else 150
SETTINGS = settings(
    max_examples=EXAMPLES,
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
    database=None,
)

SIGNATURES = {
    "simulate": (["coords", "d", "tol"], 2),
    "gram_from_dist": (["dist"], 1),
    "generate_training_batch": (["n_graphs", "n_nodes", "d", "seed"], 4),
    "max_independent": (["n", "d"], 2),
    "reconstruct": (["distance_matrix", "d", "tol"], 2),
    "pebble_game": (["coords", "d"], 2),
}
ARRAY_PARAMS = {"coords", "dist", "distance_matrix"}


class Raises(Exception):
    """The outcome a call must have: an exception type and its message test."""

    def __init__(self, kind, check):
        super().__init__(kind.__name__)
        self.kind = kind
        self.check = check


def exact(text):
    return lambda message: message == text


def prefix(text):
    return lambda message: message.startswith(text)


def unnamed(message):
    return "argument" not in message


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Sub(np.ndarray):
    pass


# ---- value strategies -------------------------------------------------------

small_ints = st.integers(0, 5)
extreme_ints = st.sampled_from([-1, -(2**70), 2**63, 2**64 - 1, 2**64, 2**100])
int_like = st.one_of(
    small_ints,
    small_ints.map(np.int64),
    small_ints.map(np.uint8),
    st.booleans(),
    small_ints.map(Index),
    extreme_ints,
    st.sampled_from([-1, 2**64]).map(Index),
)
floats = st.floats(allow_nan=True, allow_infinity=True)
junk = st.one_of(
    floats,
    st.text(max_size=3),
    st.none(),
    st.lists(st.integers(0, 3), max_size=3),
    st.just(np.float64(2.0)),
    st.just(object()),
)
dtypes = st.sampled_from(["<f8", ">f8", "<f4", "<i8", "u1", "?", "c16", "O"])


@st.composite
def float_arrays(draw, rows=st.integers(0, 7), cols=st.integers(0, 4)):
    r, c = draw(rows), draw(cols)
    kind = draw(st.sampled_from(["plain", "fortran", "transposed", "stepped", "reversed", "broadcast", "readonly", "sub"]))
    values = draw(
        st.lists(
            st.floats(-10, 10) | st.sampled_from([0.0, -0.0, math.nan, math.inf]),
            min_size=2 * r * c + c,
            max_size=2 * r * c + c,
        )
    )
    base = np.array(values[: 2 * r * c], dtype=np.float64).reshape(2 * r, c) if r * c else np.zeros((2 * r, c))
    if kind == "fortran":
        return np.asfortranarray(base[:r])
    if kind == "transposed":
        return np.ascontiguousarray(base[:r]).T.copy().T
    if kind == "stepped":
        return base[::2]
    if kind == "reversed":
        return base[:r][::-1]
    if kind == "broadcast":
        return np.broadcast_to(np.array(values[:c], dtype=np.float64), (r, c))
    if kind == "readonly":
        a = base[:r].copy()
        a.flags.writeable = False
        return a
    if kind == "sub":
        return base[:r].view(Sub)
    return np.ascontiguousarray(base[:r])


@st.composite
def other_arrays(draw):
    dtype = draw(dtypes)
    ndim = draw(st.integers(0, 3))
    shape = tuple(draw(st.integers(0, 3)) for _ in range(ndim))
    if dtype == "<f8" and ndim == 2:
        ndim, shape = 1, (3,)  # keep this strategy to rejected arrays
    return np.zeros(shape, dtype=dtype)


array_like = st.one_of(float_arrays(), float_arrays(), other_arrays(), junk)
tol_like = st.one_of(st.none(), floats, small_ints, st.text(max_size=2), st.just([1e-9]))


def any_value(name):
    if name in ARRAY_PARAMS:
        return array_like
    if name == "tol":
        return tol_like
    return st.one_of(int_like, junk)


@st.composite
def plausible_values(draw, function):
    """Values of the right kinds, mostly in range, so that calls get past
    conversion and reach validation and the computation."""
    d = draw(st.sampled_from([2, 3, 2, 3, 0, 1, 4]))
    square = st.integers(0, 7).flatmap(lambda n: float_arrays(rows=st.just(n), cols=st.just(n)))
    if function == "simulate":
        cols = draw(st.sampled_from([d, d, d, 1, 5]))
        return {"coords": draw(float_arrays(rows=st.integers(0, 9), cols=st.just(cols))), "d": d, "tol": draw(tol_like)}
    if function == "pebble_game":
        return {"coords": draw(float_arrays()), "d": draw(st.sampled_from([2, 2, d]))}
    if function == "gram_from_dist":
        return {"dist": draw(st.one_of(square, float_arrays()))}
    if function == "reconstruct":
        return {"distance_matrix": draw(st.one_of(square, square, float_arrays())), "d": d, "tol": draw(tol_like)}
    if function == "generate_training_batch":
        return {
            "n_graphs": draw(st.integers(0, 3) | extreme_ints),
            "n_nodes": draw(st.integers(0, 9) | extreme_ints),
            "d": d,
            "seed": draw(st.integers(0, 2**64 - 1) | extreme_ints),
        }
    return {"n": draw(st.integers(0, 2**64 - 1) | small_ints), "d": draw(st.integers(0, 2**64 - 1) | small_ints)}


@st.composite
def calls(draw, function):
    names, required = SIGNATURES[function]
    values = draw(plausible_values(function))
    for name in names:
        if draw(st.integers(0, 5)) == 0:  # now and then, any kind of value
            values[name] = draw(any_value(name))
    if draw(st.integers(0, 4)) > 0:
        # A valid binding: a positional prefix, the other required ones by keyword.
        n_positional = draw(st.integers(0, len(names)))
        args = [values[name] for name in names[:n_positional]]
        kwargs = {name: values[name] for name in names[n_positional:] if name in names[:required] or draw(st.booleans())}
        return args, kwargs
    n_positional = draw(st.integers(0, len(names) + 1))
    args = [values[name] for name in names[:n_positional]]
    if n_positional > len(names):
        args.append(0)
    kwargs = {name: values[name] for name in names[n_positional:] if draw(st.booleans())}
    extra = draw(st.sampled_from([None, "bogus", "duplicate"]))
    if extra == "bogus":
        kwargs["bogus"] = 1
    elif extra == "duplicate" and n_positional > 0:
        kwargs[names[0]] = values[names[0]]
    return args, kwargs


# ---- the model of what must happen ------------------------------------------


def expected_binding(function, args, kwargs):
    names, required = SIGNATURES[function]
    fn = function + "()"
    if len(args) > len(names):
        verb = "was" if len(args) == 1 else "were"
        if required == len(names):
            raise Raises(TypeError, exact(f"{fn} takes {len(names)} positional arguments but {len(args)} {verb} given"))
        raise Raises(
            TypeError, exact(f"{fn} takes from {required} to {len(names)} positional arguments but {len(args)} {verb} given")
        )
    slots = dict(zip(names, args))
    for key, value in kwargs.items():
        if key not in names:
            raise Raises(TypeError, exact(f"{fn} got an unexpected keyword argument '{key}'"))
        if key in slots:
            raise Raises(TypeError, exact(f"{fn} got multiple values for argument '{key}'"))
        slots[key] = value
    missing = [name for name in names[:required] if name not in slots]
    if missing:
        quoted = [f"'{m}'" for m in missing]
        if len(quoted) == 1:
            text = quoted[0]
        elif len(quoted) == 2:
            text = f"{quoted[0]} and {quoted[1]}"
        else:
            text = ", ".join(quoted[:-1]) + ", and " + quoted[-1]
        word = "argument" if len(missing) == 1 else "arguments"
        raise Raises(TypeError, exact(f"{fn} missing {len(missing)} required positional {word}: {text}"))
    return slots


def convert_u64(value, name):
    try:
        v = int(value) if isinstance(value, int) else operator.index(value)
    except TypeError as e:
        raise Raises(TypeError, exact(f"argument '{name}': {e}"))
    if not 0 <= v < 2**64:
        raise Raises(OverflowError, unnamed)
    return v


def convert_tol(value, default):
    if value is None:
        return default
    if isinstance(value, (float, int)):
        try:
            return float(value)
        except OverflowError:
            raise Raises(OverflowError, unnamed)
    raise Raises(TypeError, prefix("argument 'tol': "))


def convert_array(value, name):
    ok = isinstance(value, np.ndarray) and value.ndim == 2 and value.dtype == np.dtype("<f8")
    if not ok:
        raise Raises(TypeError, exact(f"argument '{name}': '{type(value).__qualname__}' object cannot be converted to 'PyArray<T, D>'"))
    return value


def converted(function, slots):
    names, _ = SIGNATURES[function]
    out = {}
    for name in names:
        if name not in slots:
            continue
        if name in ARRAY_PARAMS:
            out[name] = convert_array(slots[name], name)
        elif name == "tol":
            out[name] = convert_tol(slots[name], 1e-9 if function == "simulate" else 1e-6)
        else:
            out[name] = convert_u64(slots[name], name)
    out.setdefault("tol", 1e-9 if function == "simulate" else 1e-6)
    return out


def is_panic(exc, check):
    return type(exc).__name__ == "PanicException" and not isinstance(exc, Exception) and check(str(exc))


def check_labelled(result, n, d):
    e = n * (n - 1) // 2
    labels = result["labels"]
    assert labels.dtype == np.uint8 and labels.shape == (e,) and set(np.unique(labels)) <= {0, 1}
    assert type(result["accepted_edges"]) is list
    assert all(type(t) is tuple and len(t) == 2 and t[0] < t[1] < n for t in result["accepted_edges"])
    assert int(labels.sum()) == len(result["accepted_edges"]) == result["final_rank"]
    assert result["n_nodes"] == n and result["d"] == d
    assert result["distance_matrix"].shape == (n, n) and result["distance_matrix"].dtype == np.float64
    assert result["is_rigid"] is (result["final_rank"] == result["max_rank"])


def check_outcome(function, args, kwargs):
    try:
        slots = expected_binding(function, args, kwargs)
        a = converted(function, slots)
        expected = None
    except Raises as r:
        expected = r
    try:
        result = getattr(korvale, function)(*args, **kwargs)
    except BaseException as exc:  # noqa: BLE001 - every exception is judged below
        event(f"raised {type(exc).__name__}")
        if expected is not None:
            assert type(exc) is expected.kind and expected.check(str(exc)), (type(exc), str(exc), expected)
            return
        judge_domain_failure(function, a, exc)
        return
    event("returned")
    assert expected is None, f"expected {expected} but got a result"
    judge_result(function, a, result)


def judge_domain_failure(function, a, exc):
    if function == "simulate":
        coords, d = a["coords"], a["d"]
        rows, cols = coords.shape
        if cols != d:
            text = f"coords has {cols} columns but d={d} was specified"
        elif d not in (2, 3):
            text = "d must be 2 or 3"
        else:
            text = f"Need at least {d + 1} nodes for d={d}, got {rows}"
        assert type(exc) is ValueError and str(exc) == text
    elif function == "gram_from_dist":
        assert type(exc) is ValueError and str(exc) == "Distance matrix must be square"
    elif function == "pebble_game":
        assert type(exc) is ValueError and str(exc) == "pebble_game only supports d=2"
    elif function == "reconstruct":
        m, d = a["distance_matrix"], a["d"]
        if m.shape[0] != m.shape[1]:
            assert type(exc) is ValueError and str(exc) == "distance_matrix must be square"
        elif d not in (2, 3):
            assert is_panic(exc, exact("Only d=2 and d=3 are supported"))
        else:
            assert is_panic(exc, exact("Need at least d+1 nodes to reconstruct in d dimensions"))
    elif function == "generate_training_batch":
        if a["n_nodes"] == 0:
            assert is_panic(exc, exact("Node list must not be empty"))
        elif a["d"] not in (2, 3):
            assert is_panic(exc, exact("Only d=2 and d=3 are supported"))
        else:  # sizes no machine holds
            assert type(exc) is MemoryError or is_panic(exc, exact("capacity overflow")), repr(exc)
    elif function == "max_independent":
        assert type(exc) is OverflowError
        n, d = a["n"], a["d"]
        assert (n * d - d * (d + 1) // 2 if n >= d else n * (n - 1) // 2) >= 2**64
    else:
        raise AssertionError(f"unexpected {exc!r}")


def judge_result(function, a, result):
    if function == "simulate":
        coords, d = a["coords"], a["d"]
        assert coords.shape[1] == d and d in (2, 3) and coords.shape[0] > d
        check_labelled(result, coords.shape[0], d)
    elif function == "gram_from_dist":
        n = a["dist"].shape[0]
        assert a["dist"].shape == (n, n) and result.shape == (n, n) and result.dtype == np.float64
    elif function == "pebble_game":
        n = a["coords"].shape[0]
        assert a["d"] == 2 and result["n_nodes"] == n and result["d"] == 2
        ones = max(2 * n - 3, 0)
        assert result["labels"].tolist() == [1] * ones + [0] * (n * (n - 1) // 2 - ones)
    elif function == "reconstruct":
        n, d = a["distance_matrix"].shape[0], a["d"]
        assert d in (2, 3) and n > d
        assert list(result) == ["coords", "stress", "eigenvalues", "is_isometric"]
        assert result["coords"].shape == (n, d) and result["eigenvalues"].shape == (d,)
        assert type(result["stress"]) is float and type(result["is_isometric"]) is bool
        assert result["is_isometric"] is (a["tol"] > result["stress"])
    elif function == "generate_training_batch":
        assert len(result) == a["n_graphs"]
        for g in result:
            check_labelled(g, a["n_nodes"], a["d"])
    elif function == "max_independent":
        n, d = a["n"], a["d"]
        assert result == (n * d - d * (d + 1) // 2 if n >= d else n * (n - 1) // 2)


def fuzz_test(function):
    @SETTINGS
    @given(calls(function))
    def test(call):
        args, kwargs = call
        if function == "generate_training_batch":
            # Keep computed batches small; sizes beyond memory stay in play.
            slots = dict(zip(SIGNATURES[function][0], args)) | kwargs
            counts = [v for k, v in slots.items() if k in ("n_graphs", "n_nodes") and isinstance(v, int)]
            if len(counts) == 2 and 50 < counts[0] * counts[1] ** 2 < 10**12:
                return
        check_outcome(function, args, kwargs)

    return test


test_fuzz_simulate = fuzz_test("simulate")
test_fuzz_gram_from_dist = fuzz_test("gram_from_dist")
test_fuzz_generate_training_batch = fuzz_test("generate_training_batch")
test_fuzz_max_independent = fuzz_test("max_independent")
test_fuzz_reconstruct = fuzz_test("reconstruct")
test_fuzz_pebble_game = fuzz_test("pebble_game")
