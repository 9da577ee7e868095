#!/usr/bin/env python3
"""Checks the house rules that the compiler cannot see:
- the engine (src/core) never includes a window, the command, the brand maker or a Widgets header;
- the brand maker (src/brand) never includes a window or the command;
- the windows never include the command, and the command never a window;
- no two folders include each other;
- no function in src/core is longer than MAX_FUNCTION_LINES lines.
Prints each breach and exits 1 when there is one."""
import os
import re
import sys

MAX_FUNCTION_LINES = 60
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'src')
include_re = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
# Widgets classes a core file could reach for by habit.
widgets_re = re.compile(r'^(QtWidgets/|Q(Widget|Application|MainWindow|Dialog|MessageBox|PushButton|Label|'
                        r'LineEdit|Menu|MenuBar|Action|Slider|ProgressBar|TreeWidget|FileDialog|Layout|'
                        r'BoxLayout|Style|AbstractButton)\b)')
forbidden = {'core': ('brand/', 'ui/', 'cli/', 'app/'), 'brand': ('ui/', 'cli/', 'app/'), 'ui': ('cli/', 'app/'),
             'cli': ('ui/', 'app/')}

breaches = []
edges = {}
for folder, _, files in os.walk(root):
    for name in sorted(files):
        if not name.endswith(('.h', '.cpp')):
            continue
        path = os.path.join(folder, name)
        rel = os.path.relpath(path, root)
        layer = rel.split('/')[0]
        here = os.path.dirname(rel)
        lines = open(path, encoding='utf-8').read().split('\n')
        for number, line in enumerate(lines, 1):
            m = include_re.match(line)
            if not m:
                continue
            kind, target = m.groups()
            if kind == '<':
                if layer == 'core' and widgets_re.match(target):
                    breaches.append(f'{rel}:{number}: the engine includes the Widgets header <{target}>')
                continue
            if target.startswith(forbidden.get(layer, ())):
                breaches.append(f'{rel}:{number}: {layer}/ includes "{target}"')
            there = os.path.dirname(target)
            if there and there != here:
                edges.setdefault((here, there), f'{rel}:{number}')
        if layer == 'core' and name.endswith('.cpp'):
            start = None
            for number, line in enumerate(lines, 1):
                if line == '{':
                    start = number
                elif line == '}' and start is not None:
                    length = number - start - 1
                    if length > MAX_FUNCTION_LINES:
                        breaches.append(f'{rel}:{start}: a function of {length} lines '
                                        f'(at most {MAX_FUNCTION_LINES}): {lines[start - 2].strip()}')
                    start = None

for (a, b), where in sorted(edges.items()):
    if a < b and (b, a) in edges:
        breaches.append(f'{a}/ and {b}/ include each other ({where}; {edges[(b, a)]})')

for b in breaches:
    print(b)
sys.exit(1 if breaches else 0)
