#!/usr/bin/env bash
# Builds the extension and the C++ tests with AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs the C++ tests and the whole Python
# suite against the sanitized module. Any report fails the run.
# Usage: scripts/sanitize.sh PYTHON   (a venv's interpreter with NumPy and pytest)
source "$(dirname "$0")/common.sh"
cd "$ROOT"
PY="$1"
TOOLS="$ROOT/.venv-build/bin"
BUILD="$ROOT/build/sanitize"

log "sanitizer build (address, undefined)"
env PATH="$TOOLS:$PATH" "$TOOLS/cmake" -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVALE_SANITIZE=address,undefined -DKORVALE_BUILD_TESTS=ON -DPython_EXECUTABLE="$PY" \
    -Dnanobind_DIR="$("$TOOLS/python" -m nanobind --cmake_dir)" >/dev/null
env PATH="$TOOLS:$PATH" "$TOOLS/cmake" --build "$BUILD" -j 2 >/dev/null

export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0

log "C++ unit tests under the sanitizers"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:halt_on_error=1" \
    "$TOOLS/ctest" --test-dir "$BUILD" --output-on-failure -j 2 || status=1

log "Python suite against the sanitized module"
# libstdc++ is preloaded too: the interpreter does not link it, and ASan must
# find the real __cxa_throw when it intercepts the first C++ throw.
PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)"
# The PyTorch Geometric tests stay out: they run no native code of ours
# beyond what the rest of the suite runs, and torch's own libraries are not
# built for the sanitizers. So do the exhaustive comparisons (thousands of
# graphs through paths the other tests run too), which the test stage runs.
env LD_PRELOAD="$PRELOAD" PYTHONMALLOC=malloc PYTHONPATH="$BUILD" KORVALE_EXPECT_MODULE_DIR="$BUILD" \
    "$PY" -m pytest -q -p no:cacheprovider -m "not exhaustive" --ignore="$ROOT/tests/python/test_torch_dataset.py" \
    "$ROOT/tests/python" \
    || status=1
exit "$status"
