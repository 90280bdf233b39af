"""Compares korvale's own times in results files of scripts/bench.sh.

    python bench/compare.py BEFORE.json AFTER.json
    python bench/compare.py --before B1.json B2.json --after A1.json A2.json

With several runs per side (alternated, as scripts/bench_ab.sh makes them)
each side's median is compared, and every run's time is shown."""

import argparse
import json
import statistics


def times(path):
    with open(path) as f:
        rows = json.load(f)["rows"]
    out = {}
    for row in rows:
        out.setdefault(row["case"], row["korvale_s"])  # a case listed twice (several baselines) ran once
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("files", nargs="*", help="BEFORE.json AFTER.json")
    parser.add_argument("--before", nargs="+", default=[])
    parser.add_argument("--after", nargs="+", default=[])
    args = parser.parse_args()
    before, after = args.before, args.after
    if args.files:
        if len(args.files) != 2 or before or after:
            parser.error("give BEFORE.json AFTER.json, or --before and --after")
        before, after = [args.files[0]], [args.files[1]]
    if not before or not after:
        parser.error("both sides need at least one file")
    runs_before, runs_after = [times(p) for p in before], [times(p) for p in after]

    def cell(runs, case):
        ms = [run[case] * 1e3 for run in runs if case in run]
        return ms, "/".join(f"{t:.3g}" for t in ms)

    print(f"| case | before ms | after ms | after/before (medians) |\n|---|---|---|---|")
    for case in runs_before[0]:
        b, b_text = cell(runs_before, case)
        a, a_text = cell(runs_after, case)
        if a:
            print(f"| {case} | {b_text} | {a_text} | {statistics.median(a) / statistics.median(b):.2f} |")


if __name__ == "__main__":
    main()
