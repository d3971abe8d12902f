#!/usr/bin/env python3
# The quoted-include graph of one source tree: files, edges, the longest chain (levels), cycles,
# and includes that leave the tree or climb from a sub-folder to one of its parents.
# Usage: scripts/include_graph.py registry/wineprefix
import functools
import os
import re
import sys

root = sys.argv[1]
files = [os.path.join(d, n) for d, _, names in os.walk(root) if '/helper' not in d
         for n in names if n.endswith(('.h', '.cpp'))]
by_name = {}
for path in files:
    by_name.setdefault(os.path.basename(path), path)
edges, leaving = {}, set()
for path in files:
    edges[path] = []
    for name in re.findall(r'#include "([^"]+)"', open(path, encoding='utf-8').read()):
        target = by_name.get(os.path.basename(name))
        if target:
            edges[path].append(target)
        else:
            leaving.add(name)

cycles = []
state = {}
def visit(path, stack):
    state[path] = 'open'
    stack.append(path)
    for target in edges[path]:
        if state.get(target) == 'open':
            cycles.append(stack[stack.index(target):] + [target])
        elif target not in state:
            visit(target, stack)
    state[path] = 'done'
    stack.pop()
for path in files:
    if path not in state:
        visit(path, [])

rel = lambda path: os.path.relpath(path, root)
print('files', len(files), 'edges', sum(map(len, edges.values())), 'cycles', len(cycles))
for cycle in cycles:
    print('  cycle', ' -> '.join(map(rel, cycle)))
if not cycles:
    @functools.lru_cache(maxsize=None)
    def depth(path):
        return 1 + max((depth(target) for target in edges[path]), default=0)
    chain = [max(files, key=depth)]
    while edges[chain[-1]]:
        chain.append(max(edges[chain[-1]], key=depth))
    print('levels', len(chain), ' -> '.join(map(rel, chain)))
climbing = [(rel(p), rel(t)) for p in files for t in edges[p]
            if os.path.dirname(t) != os.path.dirname(p) and os.path.dirname(p).startswith(os.path.dirname(t))]
print('includes climbing to a parent folder', len(climbing), climbing)
print('includes leaving the tree', sorted(leaving))
