#!/usr/bin/env bash
# Benchmarks korvale against the alternatives in one run and prints a table
# of medians and ratios; the figures go to bench/results.json.
# Its dependencies (NumPy, scikit-learn, PyRigi, Google Benchmark) live in
# .venv-bench and build/bench, apart from the test suite.
#   bash scripts/bench.sh [--quick] [--json PATH]
source "$(dirname "$0")/common.sh"
cd "$ROOT"
apt_ensure /usr/include/benchmark/benchmark.h libbenchmark-dev
WHEEL="$(build_wheel)"
make_venv "$ROOT/.venv-bench" "$(find_python 3.12)" numpy scikit-learn pyrigi
install_wheel "$ROOT/.venv-bench" "$WHEEL"

TOOLS="$ROOT/.venv-build/bin"
log "building the C++ benchmarks"
env PATH="$TOOLS:$PATH" "$TOOLS/cmake" -S "$ROOT" -B "$ROOT/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKORVALE_BUILD_MODULE=OFF -DKORVALE_BUILD_BENCH=ON >/dev/null
env PATH="$TOOLS:$PATH" "$TOOLS/cmake" --build "$ROOT/build/bench" -j 2 >/dev/null
log "running the C++ benchmarks"
"$ROOT/build/bench/korvale_cpp_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_out="$ROOT/build/bench/cpp.json" --benchmark_out_format=json >/dev/null

exec "$ROOT/.venv-bench/bin/python" "$ROOT/bench/run.py" --cpp "$ROOT/build/bench/cpp.json" "$@"
