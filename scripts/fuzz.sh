#!/usr/bin/env bash
# Runs the fuzz targets, all or one, for a bounded time each (30 s by default), from their seeds and
# regression inputs (and the real files beside the tree), and fails on any crash, leak, input that
# takes over 2 s or memory over 512 MB. An input that fails is copied into
# tests/fuzz/regressions/TARGET/, which the tests replay on every run once it is committed.
# Usage: scripts/fuzz.sh [TARGET|all] [SECONDS]   (targets: date iprange fold csv header xlsx args mdb)
set -eu
cd "$(dirname "$0")/.."
top=$(pwd)
which=${1:-all}
seconds=${2:-30}
all="date iprange fold csv header xlsx args mdb"
targets=$all
[ "$which" = all ] || targets=$which
for t in $targets; do
    case " $all " in *" $t "*) ;; *) echo "no fuzz target $t (one of: $all)" >&2; exit 2 ;; esac
done
bash scripts/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DKAVRO_FUZZ=ON >/dev/null
cmake --build build-asan -j"$(nproc)" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done) >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=""
for t in $targets; do
    corpus="$work/corpus-$t"
    mkdir -p "$corpus"
    cp -r "tests/fuzz/corpus/$t/." "tests/fuzz/regressions/$t/." "$corpus/"
    maxlen=4096
    case $t in
    xlsx) cp ../shared/fixtures/sheets/*.xlsx "$corpus/" 2>/dev/null || true; maxlen=65536 ;;
    mdb) cp ../shared/fixtures/legacy-jet4.mdb "$corpus/" 2>/dev/null || true; maxlen=262144 ;;
    csv | header) cp ../shared/fixtures/sheets/*.csv "$corpus/" 2>/dev/null || true; maxlen=32768 ;;
    esac
    log="$work/$t.log"
    set +e
    # No allocation stacks while fuzzing: the fast unwinder walks through Qt's frames without frame
    # pointers, so nearly every allocation in Qt records a "new" stack and the sanitizer's stack store
    # grows by megabytes a second until the memory limit stops a run that found nothing. A failing
    # input is kept and replayed by the tests, whose sanitizer build reports it with full stacks.
    (cd "$work" && ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:malloc_context_size=0 QT_QPA_PLATFORM=offscreen \
        "$top/build-asan/tests/fuzz_$t" "$corpus" -max_total_time="$seconds" -timeout=2 \
        -rss_limit_mb=512 -malloc_limit_mb=512 -max_len=$maxlen -print_final_stats=1 \
        -artifact_prefix="$work/$t-" -close_fd_mask=1) >"$log" 2>&1
    rc=$?
    set -e
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || echo 0)
    echo "fuzz_$t: $execs executions in ${seconds} s, coverage $cov edges"
    if [ $rc -ne 0 ]; then
        failed="$failed $t"
        for a in "$work/$t-"*; do
            [ -e "$a" ] || continue
            kept="tests/fuzz/regressions/$t/$(basename "$a" | sed "s/^$t-//")"
            cp "$a" "$kept"
            echo "fuzz_$t: the failing input is kept as $kept"
        done
        grep -E 'ERROR|fuzz check failed|SUMMARY|==[0-9]+==' "$log" | head -20 >&2 || true
    fi
done
if [ -n "$failed" ]; then
    echo "fuzzing found faults in:$failed" >&2
    exit 1
fi
