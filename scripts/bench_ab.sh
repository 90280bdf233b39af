#!/usr/bin/env bash
# Benchmarks a revision against the working tree, alternating the two so that
# a slower spell of the machine falls on both sides, and prints a table of
# each side's runs and the ratio of their medians.
#
#   bash scripts/bench_ab.sh REV [ROUNDS]     (ROUNDS defaults to 3)
#
# REV is checked out in build/ab/before (a git worktree) with its own wheel,
# virtual environment and C++ benchmarks; both sides run the quick cases.
# The first round is scripts/bench.sh on each side (which builds them), the
# rest re-run the installed builds. Results go to build/ab/*.json.
source "$(dirname "$0")/common.sh"
cd "$ROOT"
[ $# -ge 1 ] || { echo "usage: bash scripts/bench_ab.sh REV [ROUNDS]" >&2; exit 2; }
REV="$1"
ROUNDS="${2:-3}"
OUT="$ROOT/build/ab"
BEFORE="$OUT/before"
mkdir -p "$OUT"
if [ -d "$BEFORE" ]; then git -C "$BEFORE" checkout -q --detach "$REV"; else git worktree add -q --detach "$BEFORE" "$REV"; fi

side_dir() { if [ "$1" = before ]; then echo "$BEFORE"; else echo "$ROOT"; fi; }
for round in $(seq 1 "$ROUNDS"); do
    for side in before after; do
        dir="$(side_dir "$side")"
        log "round $round: $side"
        if [ "$round" = 1 ]; then
            bash "$dir/scripts/bench.sh" --quick --json "$OUT/$side-$round.json" >"$OUT/$side-$round.log" 2>&1
        else
            "$dir/build/bench/korvale_cpp_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
                --benchmark_out="$OUT/cpp-$side-$round.json" --benchmark_out_format=json >/dev/null
            (cd "$dir" && "$dir/.venv-bench/bin/python" bench/run.py --quick --cpp "$OUT/cpp-$side-$round.json" \
                --json "$OUT/$side-$round.json" >"$OUT/$side-$round.log" 2>&1)
        fi
    done
done
befores=() afters=()
for round in $(seq 1 "$ROUNDS"); do befores+=("$OUT/before-$round.json"); afters+=("$OUT/after-$round.json"); done
python3 "$ROOT/bench/compare.py" --before "${befores[@]}" --after "${afters[@]}"
