#!/usr/bin/env python3
"""Checks the include graph of src/ and host/: no circle between files, and every folder of
src/ includes only its own floor and the floors below it (docs/layout.md).

A header and the source of the same name are one node (so are NAME.h and its platform
sides NAME_posix.cpp and NAME_win32.cpp): a circle is one that runs through two or more of
them. Quoted includes are looked up beside the including file, then in src/ and host/;
anything else (the system's headers, generated ones) is no node. Prints what it finds and
ends with "N passed, N failed", as the test run expects.

    python3 tools/check_includes.py [ROOT]
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
SOURCES = ('.h', '.cpp', '.c')
PLATFORM_SIDES = ('_posix', '_win32')

# The floors of src/, from the top: a folder includes its own and those below it.
FLOORS = ['commands', 'search', 'ranges', 'plugin', 'state', 'platform', 'text']


def files_below(root, folder):
    for base, _, names in os.walk(os.path.join(root, folder)):
        for name in sorted(names):
            if name.endswith(SOURCES):
                yield os.path.relpath(os.path.join(base, name), root)


def node_of(path, known):
    """The node of a file: its header's path without the extension."""
    stem = os.path.splitext(path)[0]
    for side in PLATFORM_SIDES:
        if stem.endswith(side) and stem[: -len(side)] + '.h' in known:
            return stem[: -len(side)]
    return stem


def resolve(root, including, name, known):
    for base in (os.path.dirname(including), 'src', 'host'):
        candidate = os.path.normpath(os.path.join(base, name))
        if candidate in known:
            return candidate
    return None


def read_graph(root):
    known = set()
    for folder in ('src', 'host'):
        known.update(files_below(root, folder))
    edges = {}  # node -> {node: (file, included file)}
    for path in sorted(known):
        with open(os.path.join(root, path), encoding='utf-8', errors='replace') as f:
            text = f.read()
        source = node_of(path, known)
        edges.setdefault(source, {})
        for name in INCLUDE.findall(text):
            target = resolve(root, path, name, known)
            if target is None:
                continue
            node = node_of(target, known)
            if node != source:
                edges[source].setdefault(node, (path, target))
    return edges


def circles(edges):
    """The strongly connected parts of two or more nodes (Tarjan, without recursion)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in sorted(edges):
        if start in index:
            continue
        work = [(start, iter(sorted(edges[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            child = next(children, None)
            if child is not None:
                if child not in index:
                    index[child] = low[child] = counter
                    counter += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(edges.get(child, {})))))
                elif child in on_stack:
                    low[node] = min(low[node], index[child])
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                part = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    part.append(member)
                    if member == node:
                        break
                if len(part) > 1:
                    found.append(sorted(part))
    return found


def floor_of(node):
    parts = node.split('/')
    if parts[0] == 'src' and len(parts) > 2 and parts[1] in FLOORS:
        return FLOORS.index(parts[1])
    return None


def floor_breaches(edges):
    breaches = []
    for source in sorted(edges):
        mine = floor_of(source)
        if mine is None:
            continue
        for target, (path, included) in sorted(edges[source].items()):
            theirs = floor_of(target)
            if theirs is not None and theirs < mine:
                breaches.append('%s includes %s, a floor above it' % (path, included))
    return breaches


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
    edges = read_graph(os.path.abspath(root))
    found = circles(edges)
    for part in found:
        print('include circle: ' + ' -> '.join(part + [part[0]]))
        for node in part:
            for target, (path, included) in sorted(edges[node].items()):
                if target in part:
                    print('    %s includes %s' % (path, included))
    breaches = floor_breaches(edges)
    for line in breaches:
        print(line)
    print('%d nodes, %d includes between them' % (len(edges), sum(len(e) for e in edges.values())))
    failed = len(found) + len(breaches)
    print('%d passed, %d failed' % ((0 if found else 1) + (0 if breaches else 1), failed))
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
