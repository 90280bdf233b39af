"""Compares korvale's own times in two results files of scripts/bench.sh.

    python bench/compare.py BEFORE.json AFTER.json"""

import json
import sys


def times(path):
    with open(path) as f:
        rows = json.load(f)["rows"]
    return {row["case"]: row["korvale_s"] for row in rows}


def main():
    before, after = times(sys.argv[1]), times(sys.argv[2])
    print(f"{'case':<36} {'before ms':>10} {'after ms':>10} {'after/before':>13}")
    for case, t0 in before.items():
        if case in after:
            t1 = after[case]
            print(f"{case:<36} {t0 * 1e3:>10.3f} {t1 * 1e3:>10.3f} {t1 / t0:>13.2f}")


if __name__ == "__main__":
    main()
