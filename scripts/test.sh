#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless: every register test on an SQLite file and
# again on a throwaway PostgreSQL cluster, which is stopped and removed however the tests end.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
bash scripts/build.sh
# As root the cluster runs as postgres, which must reach the folder: /tmp, not a private TMPDIR.
base=${TMPDIR:-/tmp}
[ "$(id -u)" != 0 ] || base=/tmp
pg=$(mktemp -d "$base/kavro-pg.XXXXXX")
trap 'bash "$top/scripts/pg-cluster.sh" stop "$pg"' EXIT
bash "$top/scripts/pg-cluster.sh" start "$pg" >/dev/null
export KAVRO_TEST_PGHOST="$pg"
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
