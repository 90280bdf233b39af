"""Prints which src/ folders include which, and fails on a cycle.

    python3 scripts/include_graph.py

Every '#include "folder/file"' in src/ is an edge from the including file's
folder to the included one's. A folder must never include, directly or
through others, a folder that includes it back; nor may a unit (a header and
its source file) include, directly or through others, a unit that includes
it. The exit status is 1 when either happens, with the cycle printed."""

import pathlib
import re
import sys

SRC = pathlib.Path(__file__).resolve().parent.parent / "src"
INCLUDE = re.compile(r'^\s*#\s*include\s+"(([^"/]+)/[^".]+)\.hpp"', re.MULTILINE)


def include_graphs():
    """The folder graph and the unit graph, each {from: {to: {file, ...}}}."""
    folders, units = {}, {}
    for path in sorted(SRC.glob("*/*")):
        if path.suffix not in (".cpp", ".hpp"):
            continue
        here = path.parent.name
        unit = f"{here}/{path.stem}"
        folder_edges = folders.setdefault(here, {})
        unit_edges = units.setdefault(unit, {})
        for included, there in INCLUDE.findall(path.read_text()):
            if there != here:
                folder_edges.setdefault(there, set()).add(path.name)
            if included != unit:
                unit_edges.setdefault(included, set()).add(path.name)
    return folders, units


def find_cycle(graph):
    """A list of folders closing a cycle, or None."""
    state = {}

    def visit(node, path):
        state[node] = "open"
        for nxt in sorted(graph.get(node, {})):
            if state.get(nxt) == "open":
                return path[path.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt, path + [nxt])
                if found:
                    return found
        state[node] = "done"
        return None

    for start in sorted(graph):
        if start not in state:
            found = visit(start, [start])
            if found:
                return found
    return None


def report(graph, kind):
    cycle = find_cycle(graph)
    if cycle is None:
        print(f"no cycle between {kind}")
        return True
    print(f"cycle between {kind}: " + " -> ".join(cycle))
    for a, b in zip(cycle, cycle[1:]):
        print(f"  {a} includes {b} in {', '.join(sorted(graph[a][b]))}")
    return False


def main():
    folders, units = include_graphs()
    for folder in sorted(folders):
        print(f"{folder:<14} -> {', '.join(sorted(folders[folder])) or '(nothing)'}")
    ok = report(folders, "folders")
    ok = report(units, "units") and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
