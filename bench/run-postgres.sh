#!/usr/bin/env bash
# Runs bench_postgres on a throwaway cluster, removed afterwards: bench/run-postgres.sh [SERVERS]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
cmake --build "$top/build" --target bench_postgres >/dev/null
base=${TMPDIR:-/tmp}
[ "$(id -u)" != 0 ] || base=/tmp # the postgres account must reach it
pg=$(mktemp -d "$base/kavro-pgbench.XXXXXX")
trap 'bash "$top/scripts/pg-cluster.sh" stop "$pg"' EXIT
bash "$top/scripts/pg-cluster.sh" start "$pg" >/dev/null
"$top/build/bench/bench_postgres" "$pg" "$@"
