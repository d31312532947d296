#!/usr/bin/python3
"""Checks the shape of the code: folders include only their own level and the levels below, the
only window folder that includes another is the main window's (it opens the others), no window
names a table column or includes the engines, inside core the rules sit below the engines, the
engines below the register layer and that below the file operations, and nothing outside
core/engine asks which engine a register is on (the engine kind, the driver, a URI test, a
location's kind, the C libraries of the two engines, an engine's error codes)."""
import os
import re
import sys

LEVEL = {'core': 0, 'widgets': 1, 'hook': 1, 'login': 2, 'editors': 2, 'settings': 2, 'history': 2, 'importer': 2, 'bulk': 2,
         'mainwin': 3}
WINDOWS = ('login', 'editors', 'settings', 'history', 'importer', 'bulk', 'mainwin')
# Inside core: the rules (records, dates, texts, the schema, Status) < the engines < the register
# layer < the file operations.
REGISTER_LAYER = ('core/registerdb.h', 'core/registerdb.cpp', 'core/backgroundsearch.h', 'core/backgroundsearch.cpp')
CORE_LEVEL_NAMES = ['rules', 'engines', 'register layer', 'file operations']
# The program's folders outside the engine one; tests and benchmarks look inside engines on purpose.
PROGRAM = ('core', 'core/fileops', 'widgets', 'hook', 'login', 'editors', 'settings', 'history', 'importer', 'bulk',
           'mainwin', 'tools', 'tools/cli', '.')
ASKS_ENGINE = re.compile(r'\bEngine::|\bengineOf\(|\bisServerLocation\(|\blocationIsFile\(|\bdriverName\(|QPSQL|QSQLITE|'
                         r'libpq-fe\.h|\bPQ[a-z]+\(|sqlite3\.h|\bsqlite3_\w+|nativeErrorCode\(|SQLSTATE|'
                         r'"(?:23505|42501|53100|40001|57P01)"|dynamic_cast<\w*Engine|SqliteEngine|PostgresEngine')
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
faults = []


def sources(folder):
    base = os.path.join(root, folder)
    for name in sorted(os.listdir(base)):
        path = os.path.join(base, name)
        if os.path.isfile(path) and name.endswith(('.cpp', '.h')):
            yield name, path


def core_level(relpath):
    if relpath.startswith('core/engine/'):
        return 1
    if relpath in REGISTER_LAYER:
        return 2
    if relpath.startswith('core/fileops/'):
        return 3
    return 0


for folder, level in LEVEL.items():
    for name, path in sources(folder):
        for number, line in enumerate(open(path, encoding='utf-8'), 1):
            where = f'{folder}/{name}:{number}'
            m = re.match(r'#include "(\w+)/', line)
            if m and m.group(1) in LEVEL and m.group(1) != folder:
                other = m.group(1)
                if LEVEL[other] > level or (LEVEL[other] == level and folder != 'mainwin'):
                    faults.append(f'{where}: {folder} must not include {other}: {line.strip()}')
            if folder in WINDOWS:
                if 'core/engine/' in line:
                    faults.append(f'{where}: a window includes an engine')
                if re.search(r'\b[FKU]_[A-Z]{2}\b', line):
                    faults.append(f'{where}: a window names a column: {line.strip()}')
for folder in ('core', 'core/engine', 'core/fileops'):
    for name, path in sources(folder):
        own = core_level(f'{folder}/{name}')
        for number, line in enumerate(open(path, encoding='utf-8'), 1):
            m = re.match(r'#include "(core/[\w/]+\.h)"', line)
            if m and core_level(m.group(1)) > own:
                faults.append(f'{folder}/{name}:{number}: the {CORE_LEVEL_NAMES[own]} must not include the '
                              f'{CORE_LEVEL_NAMES[core_level(m.group(1))]}: {line.strip()}')
for folder in PROGRAM:
    for name, path in sources(folder):
        for number, line in enumerate(open(path, encoding='utf-8'), 1):
            if ASKS_ENGINE.search(line):
                faults.append(f'{folder}/{name}:{number}: asks which engine it has: {line.strip()}')
for fault in faults:
    print(fault)
print(f'{len(faults)} faults')
sys.exit(1 if faults else 0)
