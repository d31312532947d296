#!/usr/bin/python3
"""Checks the shape of the code: folders include only their own level and the levels below, the
only window folder that includes another is the main window's (it opens the others), and no window
names a table column or includes the store."""
import os
import re
import sys

LEVEL = {'core': 0, 'widgets': 1, 'hook': 1, 'login': 2, 'editors': 2, 'settings': 2, 'mainwin': 3}
WINDOWS = ('login', 'editors', 'settings', 'mainwin')
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
faults = []
for folder, level in LEVEL.items():
    for name in sorted(os.listdir(os.path.join(root, folder))):
        path = os.path.join(root, folder, name)
        if not os.path.isfile(path):
            continue
        for number, line in enumerate(open(path, encoding='utf-8'), 1):
            where = f'{folder}/{name}:{number}'
            m = re.match(r'#include "(\w+)/', line)
            if m and m.group(1) in LEVEL and m.group(1) != folder:
                other = m.group(1)
                if LEVEL[other] > level or (LEVEL[other] == level and folder != 'mainwin'):
                    faults.append(f'{where}: {folder} must not include {other}: {line.strip()}')
            if folder in WINDOWS:
                if 'core/store.h' in line:
                    faults.append(f'{where}: a window includes the store')
                if re.search(r'\b[FKU]_[A-Z]{2}\b', line):
                    faults.append(f'{where}: a window names a column: {line.strip()}')
for fault in faults:
    print(fault)
print(f'{len(faults)} faults')
sys.exit(1 if faults else 0)
