#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each one from a copy of its seed
# corpus, for a number of executions or a number of seconds.
#
#   tests/fuzz/run_fuzzers.sh [--runs N | --seconds S] [--only NAME]... [--build-dir DIR]
#                             [--resume WORKDIR]
#
# Default: --seconds 8 per target (the CI smoke run). A target passes when it finds
# nothing; its findings are kept in the work directory printed at the start.
# --resume goes on in the work directory of an earlier run, from the corpora it evolved.
set -u

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(cd "$here/../.." && pwd)"
build_dir="$source_dir/build/fuzz"
limit=(-max_total_time=8)
only=()
resume=""
targets=(tokenizer attributes number ranges vesk expand command times)

while [ $# -gt 0 ]; do
    case "$1" in
    --runs) limit=(-runs="$2"); shift 2 ;;
    --seconds) limit=(-max_total_time="$2"); shift 2 ;;
    --only) only+=("$2"); shift 2 ;;
    --build-dir) build_dir="$2"; shift 2 ;;
    --resume) resume="$2"; shift 2 ;;
    -h|--help) sed -n 2,10p "$0"; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
[ ${#only[@]} -gt 0 ] && targets=("${only[@]}")

cmake --preset fuzz -B "$build_dir" >/dev/null || { echo "configure failed" >&2; exit 2; }
cmake --build "$build_dir" --target fuzz_all -j2 >/dev/null || {
    echo "build failed" >&2
    cmake --build "$build_dir" --target fuzz_all -j1 2>&1 | tail -30 >&2
    exit 2
}

if [ -n "$resume" ]; then
    # The targets change directory: every path handed to them must be absolute.
    work="$(cd "$resume" && pwd)" || exit 2
else
    work="$(mktemp -d /tmp/vesk-fuzzrun-XXXXXX)"
fi
echo "work directory: $work"
# The targets make their fixed tree under TMPDIR; it goes with the work directory.
export TMPDIR="$work"
passed=0
failed=0
total=0
for name in "${targets[@]}"; do
    binary="$build_dir/tests/fuzz/fuzz_$name"
    corpus="$work/corpus-$name"
    mkdir -p "$corpus" "$work/findings-$name"
    [ -n "$(ls -A "$corpus")" ] || cp -r "$here/corpus/$name/." "$corpus/" 2>/dev/null
    log="$work/$name.log"
    # A resumed run keeps the logs of the runs before it.
    [ -e "$log" ] && log="$work/$name-$(date +%Y%m%d-%H%M%S).log"
    # One input may take no more than 25 seconds (a hang is a finding); the targets
    # reset their own state, so one process runs every input.
    "$binary" "${limit[@]}" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$work/findings-$name/" "$corpus" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    runs=${runs:-0}
    total=$((total + runs))
    findings=$(ls "$work/findings-$name" | wc -l)
    if [ $status -eq 0 ] && [ "$findings" -eq 0 ]; then
        passed=$((passed + 1))
        printf '%-11s %12s executions  found nothing\n' "$name" "$runs"
    elif [ $status -eq 72 ] && [ "$findings" -eq 0 ]; then
        # libFuzzer's status after Ctrl-C: what ran found nothing, but the run is short.
        failed=$((failed + 1))
        printf '%-11s %12s executions  found nothing, stopped by hand\n' "$name" "$runs"
    else
        failed=$((failed + 1))
        printf '%-11s %12s executions  FOUND (status %d): %s\n' "$name" "$runs" "$status" \
            "$(ls "$work/findings-$name" | head -3 | tr '\n' ' ')"
        grep -m3 -E 'ERROR|invariant broken|runtime error' "$log" | sed 's/^/    /'
    fi
done
echo "total: $total executions over ${#targets[@]} targets"
echo "$passed passed, $failed failed"
if [ $failed -eq 0 ] && [ -z "$resume" ]; then
    rm -rf "$work"
    exit 0
fi
exit 1
