#!/usr/bin/env bash
# The test command: minutes on a 2-core machine from a fresh clone.
#
#   bash scripts/test.sh              the test stage
#   bash scripts/test.sh --extended   the extended stage (after the test stage)
#
# Test stage: builds the wheel once, the C++ unit tests in the same build
# tree (the core is compiled once, with all cores), checks the wheel
# (manylinux tag, twine) and the include graph (scripts/include_graph.py), runs the Python suite on CPython 3.13 with NumPy 2
# and PyRigi in full, and on CPython 3.12 with NumPy 1.26 and PyTorch
# Geometric without the exhaustive oracle tests (marker "exhaustive": long
# comparisons with references that no NumPy version touches; those marked
# "on_312" run there instead of on 3.13, balancing the two), stubtest and
# mypy --strict on both, and the C++ unit tests.
#
# Extended stage: the C++ unit tests under valgrind (all but the two
# exhaustive pebble-game comparisons, whose containers ASan bounds-checks
# anyway; valgrind is there for reads of memory never written, which ASan
# does not see), then a second build with AddressSanitizer and UBSan against
# which the C++ tests and the Python suite (but for the torch and exhaustive
# tests) run again.
#
#   KORVALE_FUZZ_LONG=1 bash scripts/test.sh   also runs the long fuzz campaign
# Exits non-zero when anything fails.
source "$(dirname "$0")/common.sh"
cd "$ROOT"

STAGE=test
case "${1:-}" in
    "") ;;
    --extended) STAGE=extended ;;
    *) echo "usage: bash scripts/test.sh [--extended]" >&2; exit 2 ;;
esac

# BLAS threads spin while they wait: on a busy machine they fight each
# other and NumPy's SVDs in the oracle tests slow down tenfold.
export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1

status=0
run() { "$@" || { status=1; log "FAILED: $*"; }; }
TOOLS="$ROOT/.venv-build/bin"
TEST_REQS=(pytest hypothesis tqdm "dask[distributed]" matplotlib mypy mpmath)
# PyTorch Geometric for korvale_data.torch, in the 3.12 environment only. On
# x86_64 PyPI's torch is the CUDA build (it runs on the CPU; PyTorch's own
# CPU-only index is not PyPI), several GB that take a minute or two to
# install: it installs in the background while the wheel builds.
TORCH_REQS=("torch==2.14.1" "torch_geometric==2.8.*")
# PyRigi (a cross-check of korvale_graphs) needs NumPy 2, so it lives in the
# 3.13 environment only; so do the exhaustive tests.
declare -A VENV_REQS=(
    [py312]="numpy==1.26.* ${TEST_REQS[*]} ${TORCH_REQS[*]}"
    [py313]="numpy>=2 ${TEST_REQS[*]} pyrigi"
)

apt_ensure /usr/include/gtest/gtest.h libgtest-dev
mkdir -p "$ROOT/build"
# Both test environments install (mostly downloads) while the wheel builds.
declare -A VENV_JOBS
for v in py312 py313; do
    read -ra reqs <<<"${VENV_REQS[$v]}"
    make_venv "$ROOT/.venv-$v" "$(find_python "3.${v#py3}")" "${reqs[@]}" >"$ROOT/build/venv-$v.log" 2>&1 &
    VENV_JOBS[$v]=$!
done
WHEEL="$(build_wheel -C cmake.define.KORVALE_BUILD_TESTS=ON)"
for v in py312 py313; do
    wait "${VENV_JOBS[$v]}" || { cat "$ROOT/build/venv-$v.log" >&2; log "FAILED: the .venv-$v environment"; exit 1; }
done
CPP_TESTS="$(ls "$ROOT"/build/cp312-abi3-*/korvale_cpp_tests | head -n 1)"

if [ "$STAGE" = extended ]; then
    apt_ensure /usr/bin/valgrind valgrind
    install_wheel "$ROOT/.venv-py312" "$WHEEL"
    log "C++ unit tests under valgrind"
    run valgrind -q --leak-check=full --errors-for-leak-kinds=definite,indirect --error-exitcode=1 \
        "$CPP_TESTS" --gtest_brief=1 \
        --gtest_filter=-PebbleGame.IterativeSearchMatchesRecursiveReference:KLPebbleGame.AgreesWithExhaustiveSearchOnSmallMultigraphs
    run bash "$ROOT/scripts/sanitize.sh" "$ROOT/.venv-py312/bin/python"
    exit "$status"
fi

log "the wheel: $(basename "$WHEEL"), a manylinux tag, metadata an index accepts"
manylinux_tag() {  # tagged manylinux, and auditwheel agrees (it wraps its report: join the lines)
    [[ "$(basename "$1")" == *-manylinux_* ]] &&
        "$TOOLS/auditwheel" show "$1" 2>/dev/null | tr -s ' \n' ' ' | grep -q 'platform tag: "manylinux_'
}
run manylinux_tag "$WHEEL"
run "$TOOLS/twine" check --strict "$WHEEL"

log "no include cycle between src/ folders or units"
run "$(find_python 3.12)" "$ROOT/scripts/include_graph.py"

log "C++ unit tests"
run "$TOOLS/ctest" --test-dir "$(dirname "$CPP_TESTS")" --output-on-failure -j 2

# The two interpreters' suites run side by side, one per core (the suite
# holds on a loaded machine by design): 3.12 in the background into a log
# printed afterwards, 3.13 here.
python_checks() {
    local venv="$1" py="$ROOT/$1/bin/python" failed=0
    check() { "$@" || { failed=1; log "FAILED: $*"; }; }
    log "Python suite on $("$py" -c 'import sys, numpy; print(f"CPython {sys.version.split()[0]}, NumPy {numpy.__version__}")')"
    if [ "$venv" = .venv-py313 ]; then
        check env KORVALE_WHEEL="$WHEEL" KORVALE_NEED_PYRIGI=1 "$py" -m pytest -q -p no:cacheprovider \
            -m "not on_312" "$ROOT/tests/python"
    else
        check env KORVALE_WHEEL="$WHEEL" KORVALE_NEED_TORCH=1 "$py" -m pytest -q -p no:cacheprovider \
            -m "not exhaustive or on_312" "$ROOT/tests/python"
    fi
    log "type stubs against the built module, and typed use under mypy --strict ($venv)"
    check "$py" -m mypy.stubtest korvale korvale_graphs korvale_data
    check "$py" -m mypy --strict --cache-dir "$ROOT/build/mypy-cache-$venv" "$ROOT/tests/typing/usage.py"
    return "$failed"
}
install_wheel "$ROOT/.venv-py312" "$WHEEL"
install_wheel "$ROOT/.venv-py313" "$WHEEL"
python_checks .venv-py312 >"$ROOT/build/suite-py312.log" 2>&1 &
PY312_SUITE=$!
run python_checks .venv-py313
wait "$PY312_SUITE" || status=1
cat "$ROOT/build/suite-py312.log" >&2

exit "$status"
