#!/usr/bin/env bash
# Installs what is missing and builds the register into build/ (the program directory). With
# KAVRO_WERROR=ON (as the tests build it) any compiler warning stops the build.
set -eu
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRO_WERROR="${KAVRO_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
