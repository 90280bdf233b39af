"""Prints which src/ folders include which, and fails on a cycle.

    python3 scripts/include_graph.py

Every '#include "folder/file"' in src/ is an edge from the including file's
folder to the included one's. A folder must never include, directly or
through others, a folder that includes it back; the exit status is 1 when one
does, with the cycle printed."""

import pathlib
import re
import sys

SRC = pathlib.Path(__file__).resolve().parent.parent / "src"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.MULTILINE)


def folder_graph():
    graph = {}
    for path in sorted(SRC.glob("*/*")):
        if path.suffix not in (".cpp", ".hpp"):
            continue
        here = path.parent.name
        edges = graph.setdefault(here, {})
        for there in INCLUDE.findall(path.read_text()):
            if there != here:
                edges.setdefault(there, set()).add(path.name)
    return graph


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


def main():
    graph = folder_graph()
    for folder in sorted(graph):
        print(f"{folder:<14} -> {', '.join(sorted(graph[folder])) or '(nothing)'}")
    cycle = find_cycle(graph)
    if cycle:
        print("cycle: " + " -> ".join(cycle))
        for a, b in zip(cycle, cycle[1:]):
            print(f"  {a} includes {b} in {', '.join(sorted(graph[a][b]))}")
        return 1
    print("no cycle between folders")
    return 0


if __name__ == "__main__":
    sys.exit(main())
