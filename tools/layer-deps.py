#!/usr/bin/env python3
"""Draws the layer graph of the product's sources from their #include lines and checks that it runs downhill.

    tools/layer-deps.py [--quiet] [TREE]

Every file under TREE/src-*/ belongs to one layer, by its folder:

    app (src-vur) > wnd (src-wnd) > cfg (src-cfg) > log (src-log) > platform (src-base/platform) > base-core (src-base/core)

and each shell layer has its plain C++ core beside it (src-vur/core, src-wnd/core, src-cfg/core), which sits
just below it and may include only other cores. A file may include its own layer and the layers below it.
Prints the edges between layers with the number of includes behind each, then every include that goes
up (or out of a core into a shell layer) and every circle between layers; exits 1 when there is one.
With --quiet it prints only the faults.
"""
import re
import sys
from pathlib import Path

# Lowest first. A layer may include the layers at or below its own rank.
LAYERS = [
    ("base-core", "src-base/core/"),
    ("platform", "src-base/platform/"),
    ("base", "src-base/"),
    ("log", "src-log/"),
    ("cfg-core", "src-cfg/core/"),
    ("cfg", "src-cfg/"),
    ("wnd-core", "src-wnd/core/"),
    ("wnd", "src-wnd/"),
    ("app-core", "src-vur/core/"),
    ("app", "src-vur/"),
]
RANK = {name: rank for rank, (name, _) in enumerate(LAYERS)}
CORES = {name for name, _ in LAYERS if name.endswith("core")}
SOURCE_ENDINGS = {".h", ".hpp", ".cpp", ".in"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layer_of(path):
    """The layer of a path relative to the tree (longest folder first), or None outside the layers."""
    for name, folder in sorted(LAYERS, key=lambda layer: -len(layer[1])):
        if path.startswith(folder):
            return name
    return None


def allowed(source, target):
    if RANK[target] > RANK[source]:
        return False
    # A core is plain C++: it includes only cores.
    return source not in CORES or target in CORES


def find_cycles(edges):
    """Circles in the layer graph, each as a list of layers, found by a depth-first search."""
    graph = {}
    for source, target in edges:
        if source != target:
            graph.setdefault(source, set()).add(target)
    cycles, state, stack = [], {}, []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                cycles.append(stack[stack.index(nxt):] + [nxt])
            elif nxt not in state:
                visit(nxt)
        stack.pop()
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node)
    return cycles


def main(argv):
    quiet = "--quiet" in argv
    rest = [a for a in argv if a != "--quiet"]
    tree = Path(rest[0] if rest else Path(__file__).resolve().parent.parent)

    edges = {}      # (source layer, target layer) -> count
    faults = []
    for path in sorted(tree.glob("src-*/**/*")):
        if path.suffix not in SOURCE_ENDINGS or not path.is_file():
            continue
        relative = path.relative_to(tree).as_posix()
        source = layer_of(relative)
        if source is None:
            continue
        with open(path, encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                target = layer_of(match.group(1))
                if target is None:
                    continue
                edges[(source, target)] = edges.get((source, target), 0) + 1
                if not allowed(source, target):
                    faults.append(f"{relative}:{number}: {source} includes {match.group(1)} of {target}, a higher layer")

    cycles = find_cycles(edges)
    if not quiet:
        print("layer graph (lowest layer first; an edge: includes, count):")
        for name, folder in LAYERS:
            outgoing = sorted((t for s, t in edges if s == name and t != name), key=RANK.get)
            targets = ", ".join(f"{t} ({edges[(name, t)]})" for t in outgoing) or "-"
            print(f"  {name:<10} {folder:<19} -> {targets}")
    for fault in faults:
        print("upward include: " + fault, file=sys.stderr)
    for cycle in cycles:
        print("circle between layers: " + " -> ".join(cycle), file=sys.stderr)
    if faults or cycles:
        print(f"layer check FAILED: {len(faults)} upward include(s), {len(cycles)} circle(s)", file=sys.stderr)
        return 1
    if not quiet:
        print("no upward include, no circle")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
