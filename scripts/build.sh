#!/usr/bin/env bash
# Installs what is missing and builds the register into build/ (the program directory).
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
