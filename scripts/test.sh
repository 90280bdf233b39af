#!/usr/bin/env bash
# Builds the wheel once, runs the Python suite with it on CPython 3.12 with
# NumPy 1.26 and on CPython 3.13 with NumPy 2.x, runs the C++ unit tests
# (plainly and under valgrind), and runs the C++ tests and the Python suite
# again against a build with AddressSanitizer and UBSan.
# Exits non-zero when any of them fails.
#
#   KORVALE_FUZZ_LONG=1 bash scripts/test.sh   also runs the long fuzz campaign
source "$(dirname "$0")/common.sh"
cd "$ROOT"

apt_ensure /usr/include/gtest/gtest.h libgtest-dev
apt_ensure /usr/bin/valgrind valgrind
WHEEL="$(build_wheel)"

status=0
run() { "$@" || { status=1; log "FAILED: $*"; }; }

log "the wheel: $(basename "$WHEEL"), a manylinux tag, metadata an index accepts"
manylinux_tag() {  # tagged manylinux, and auditwheel agrees (it wraps its report: join the lines)
    [[ "$(basename "$1")" == *-manylinux_* ]] &&
        "$ROOT/.venv-build/bin/auditwheel" show "$1" 2>/dev/null | tr -s ' \n' ' ' | grep -q 'platform tag: "manylinux_'
}
run manylinux_tag "$WHEEL"
run "$ROOT/.venv-build/bin/twine" check --strict "$WHEEL"

TEST_REQS=(pytest hypothesis tqdm "dask[distributed]" matplotlib mypy mpmath)
make_venv "$ROOT/.venv-py312" "$(find_python 3.12)" "numpy==1.26.*" "${TEST_REQS[@]}"
# PyRigi (a cross-check of korvale_graphs) needs NumPy 2, so it lives in the
# 3.13 environment only.
make_venv "$ROOT/.venv-py313" "$(find_python 3.13)" "numpy>=2" "${TEST_REQS[@]}" pyrigi
for venv in .venv-py312 .venv-py313; do
    install_wheel "$ROOT/$venv" "$WHEEL"
    log "Python suite on $("$ROOT/$venv/bin/python" -c 'import sys, numpy; print(f"CPython {sys.version.split()[0]}, NumPy {numpy.__version__}")')"
    need_pyrigi=0; [ "$venv" = .venv-py313 ] && need_pyrigi=1
    run env KORVALE_WHEEL="$WHEEL" KORVALE_NEED_PYRIGI=$need_pyrigi "$ROOT/$venv/bin/python" -m pytest -q -p no:cacheprovider "$ROOT/tests/python"
    log "type stubs against the built module, and typed use under mypy --strict"
    run "$ROOT/$venv/bin/python" -m mypy.stubtest korvale korvale_graphs korvale_data
    run "$ROOT/$venv/bin/python" -m mypy --strict --cache-dir "$ROOT/build/mypy-cache" "$ROOT/tests/typing/usage.py"
done

log "C++ unit tests"
TOOLS="$ROOT/.venv-build/bin"
run env PATH="$TOOLS:$PATH" "$TOOLS/cmake" -S "$ROOT" -B "$ROOT/build/cpp-tests" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKORVALE_BUILD_MODULE=OFF -DKORVALE_BUILD_TESTS=ON >/dev/null
run env PATH="$TOOLS:$PATH" "$TOOLS/cmake" --build "$ROOT/build/cpp-tests" -j 2
run "$TOOLS/ctest" --test-dir "$ROOT/build/cpp-tests" --output-on-failure -j 2

log "C++ unit tests under valgrind"
run valgrind -q --leak-check=full --errors-for-leak-kinds=definite,indirect --error-exitcode=1 \
    "$ROOT/build/cpp-tests/korvale_cpp_tests" --gtest_brief=1

run bash "$ROOT/scripts/sanitize.sh" "$ROOT/.venv-py312/bin/python"

exit "$status"
