#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite headless: every register test on an SQLite file and
# again on a throwaway PostgreSQL cluster, which is stopped and removed however the tests end. Then
# the core and command-line tests once more under AddressSanitizer and UBSan (build-asan, clang),
# on SQLite files, with every fuzz target's regression inputs; in CI (CI=true) also each fuzz
# target for 30 s (scripts/fuzz.sh). KAVRO_NO_SANITIZE=1 leaves the sanitizer build out.
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
KAVRO_WERROR=ON bash scripts/build.sh
# As root the cluster runs as postgres, which must reach the folder: /tmp, not a private TMPDIR.
base=${TMPDIR:-/tmp}
[ "$(id -u)" != 0 ] || base=/tmp
pg=$(mktemp -d "$base/kavro-pg.XXXXXX")
trap 'bash "$top/scripts/pg-cluster.sh" stop "$pg"' EXIT
bash "$top/scripts/pg-cluster.sh" start "$pg" >/dev/null
export KAVRO_TEST_PGHOST="$pg"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@")
[ "${KAVRO_NO_SANITIZE:-}" = 1 ] && exit 0

start=$(date +%s)
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DKAVRO_FUZZ=ON >/dev/null
sanitized="tst_text tst_store tst_backup tst_import tst_sheets tst_sheetupdate kavro-db"
replays=""
for t in date iprange fold csv header xlsx args mdb; do replays="$replays replay_$t"; done
cmake --build build-asan -j"$(nproc)" --target $sanitized $replays >/dev/null
echo "sanitizer build: $(( $(date +%s) - start )) s"
unset KAVRO_TEST_PGHOST # on SQLite files
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS=suppressions="$top/tests/lsan.supp":print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 QT_QPA_PLATFORM=offscreen \
    ctest --output-on-failure -j"$(nproc)" -R '^(tst_text|tst_store|tst_backup_sanitized|tst_import_sanitized|tst_sheets|tst_sheetupdate|fuzz_replay_.*)$')
echo "sanitizer tests: $(( $(date +%s) - start )) s since the sanitizer build began"
if [ "${CI:-}" = true ]; then
    bash scripts/fuzz.sh all 30
    echo "sanitizers and fuzzing: $(( $(date +%s) - start )) s"
fi
