#!/usr/bin/env bash
# Sets up what is missing on a Debian machine, builds every target (native, sanitizer,
# Windows x86 and x64) and runs every suite: unit tests natively and under the
# sanitizers, the end-to-end transcripts on all four targets (the Windows ones under
# Wine), the examples of the documents (native and win32), the small stress run
# (sanitizer and win32), a few seconds of every fuzz target, and the check of the DLL
# export tables. Ends with one line "N passed, N failed".
#
#   bash tools/test.sh            everything
#   bash tools/test.sh --quick    native, and the unit tests under the sanitizers too
#                                 (a developer's inner loop)
set -u
cd "$(dirname "$0")/.."
ROOT=$PWD
QUICK=0
[ "${1:-}" = "--quick" ] && QUICK=1

# Logs of this run only: other checkouts on the same machine run this script at the same
# time, and a shared log name lets one run truncate the log another is writing.
LOGS=$(mktemp -d /tmp/vesk-test-XXXXXX) || exit 1

PASSED=0
FAILED=0
SKIPPED=0
FAILURES=()
# Each suite's tally says how long it took since its note, to show where a run's time goes.
STARTED=$SECONDS
note() { STARTED=$SECONDS; printf '\n=== %s\n' "$*"; }
tally() {  # name passed failed [skipped]
    PASSED=$((PASSED + $2)); FAILED=$((FAILED + $3)); SKIPPED=$((SKIPPED + ${4:-0}))
    [ "$3" -gt 0 ] && FAILURES+=("$1: $3 failed")
    printf -- '--- %s: %d passed, %d failed (%d s)\n' "$1" "$2" "$3" $((SECONDS - STARTED))
}

# --- packages -----------------------------------------------------------------------
# It prints only what it installs or could not; a machine that lacks some packages still
# builds and tests what it can, the install counted as one failure.
bash tools/install.sh $([ $QUICK = 1 ] && echo --quick) || tally install 0 1

# --- builds ---------------------------------------------------------------------------
# Warnings are errors on every run, so that a run here fails where CI would.
WERROR=${VESK_WERROR:-ON}
PRESETS=(native sanitize win32 win64)
[ $QUICK = 1 ] && PRESETS=(native sanitize)
for preset in "${PRESETS[@]}"; do
    note "build $preset"
    log="$LOGS/build-$preset.log"
    if cmake --preset "$preset" -DVESK_WERROR=$WERROR -DVESK_TESTS=ON >"$log" 2>&1 &&
       cmake --build "build/$preset" -j2 >>"$log" 2>&1; then
        grep -E 'warning' "$log" | head -20
        tally "build $preset" 1 0
    else
        grep -E -B2 -A8 'error|FAILED|Error' "$log" | head -80
        tally "build $preset" 0 1
    fi
done

# --- packages: built, then built again in a clean folder of its own, byte for byte -------
for preset in "${PRESETS[@]}"; do
    [ "$preset" = sanitize ] && continue
    note "package $preset"
    if cmake --build "build/$preset" --target dist >>"$LOGS/build-$preset.log" 2>&1; then
        ls build/"$preset"/vesk-*.zip build/"$preset"/vesk-*.tar.gz 2>/dev/null
        tally "package $preset" 1 0
    else
        tail -20 "$LOGS/build-$preset.log"
        tally "package $preset" 0 1
    fi
done
if [ $QUICK = 0 ]; then
    for preset in native win32 win64; do
        note "reproducible bytes ($preset)"
        again="build/again/$preset" log="$LOGS/again-$preset.log"
        rm -rf "$again"
        # Only what the package holds; the tests change none of its compile options.
        if cmake --preset "$preset" -B "$again" -DVESK_WERROR=$WERROR -DVESK_TESTS=OFF >"$log" 2>&1 &&
           nice cmake --build "$again" -j2 --target dist >>"$log" 2>&1; then
            p=0 f=0
            for file in vesk.so vshell TakeCmd.so vesk.dll vshell.exe TakeCmd.dll \
                        $(cd "build/$preset" && ls vesk-*.zip vesk-*.tar.gz 2>/dev/null); do
                [ -f "build/$preset/$file" ] || continue
                if cmp -s "build/$preset/$file" "$again/$file"; then
                    p=$((p + 1))
                else
                    f=$((f + 1)); echo "differs: $file"
                fi
            done
            [ $p = 0 ] && f=$((f + 1))
            tally "reproducible $preset" $p $f
        else
            grep -E -B2 -A8 'error|FAILED|Error' "$log" | head -40
            tally "reproducible $preset" 0 1
        fi
    done
fi

# --- unit tests -----------------------------------------------------------------------
run_unit() {  # preset
    local bin="build/$1/unit_tests" log="$LOGS/unit-$1.log"
    note "unit tests ($1)"
    if [ ! -x "$bin" ]; then tally "unit $1" 0 1; return; fi
    "$bin" --gtest_brief=1 >"$log" 2>&1
    local rc=$? p f
    p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
    f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
    p=${p:-0}; f=${f:-0}
    if [ $rc != 0 ] && [ "$f" = 0 ]; then f=1; tail -30 "$log"; fi
    [ "$f" != 0 ] && grep -E '^\[  FAILED  \]|Failure|ERROR' "$log" | head -40
    tally "unit $1" "$p" "$f"
}
run_unit native
run_unit sanitize

# --- end-to-end transcripts ------------------------------------------------------------
run_e2e() {  # target shell...
    local target=$1; shift
    local log="$LOGS/e2e-$target.log"
    note "end-to-end ($target)"
    python3 tests/e2e/run.py --target "$target" --shell "$@" >"$log" 2>&1
    grep -v '^ok ' "$log" | tail -n 200
    local line p f s
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
    p=$(echo "$line" | sed -n 's/^\([0-9]*\) passed.*/\1/p'); p=${p:-0}
    f=$(echo "$line" | sed -n 's/.* \([0-9]*\) failed.*/\1/p'); f=${f:-1}
    s=$(echo "$line" | sed -n 's/.* \([0-9]*\) skipped.*/\1/p'); s=${s:-0}
    tally "e2e $target" "$p" "$f" "$s"
}
run_counted() {  # name command...: a suite that ends with "N passed, N failed"
    local name=$1; shift
    local log="$LOGS/$(echo "$name" | tr -c 'a-z0-9' '-').log"
    note "$name"
    "$@" >"$log" 2>&1
    local rc=$? line p f
    grep -E -i 'fail|error' "$log" | grep -v -E '^[0-9]+ passed, 0 failed' | tail -n 40
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -1)
    p=$(echo "$line" | sed -n 's/^\([0-9]*\) passed.*/\1/p'); p=${p:-0}
    f=$(echo "$line" | sed -n 's/.* \([0-9]*\) failed.*/\1/p'); f=${f:-0}
    if [ -z "$line" ] || { [ $rc != 0 ] && [ "$f" = 0 ]; }; then f=$((f + 1)); tail -n 20 "$log"; fi
    tally "$name" "$p" "$f"
}

# No include circle in src/ or host/, and no floor of src/ including one above it.
run_counted "include graph" python3 tools/check_includes.py
run_e2e native "$ROOT/build/native/vshell"
run_counted "link graphs (native)" python3 tests/stress/link_graphs.py "$ROOT/build/native/vshell"
# After the packages: the user's guide shows the Linux one unpacked and run.
run_counted "documents (native)" python3 tests/docs/doc_test.py --target native \
    --shell "$ROOT/build/native/vshell"
run_counted "packer" python3 tests/install/make_package_test.py
run_counted "install step (fake apt)" bash tests/install/install_test.sh
# Which runs under Wine are tried again; the full run also sends a transcript through a
# Wine that fails every other start.
[ $QUICK = 1 ] && run_counted "Wine faults" python3 tests/wine_faults_test.py
run_counted "install (linux package)" python3 tests/install/install_check.py --linux build/native
if [ $QUICK = 0 ]; then
    ASAN_OPTIONS=detect_leaks=1 run_e2e sanitize "$ROOT/build/sanitize/vshell"

    run_counted "stress (sanitize, small)" python3 tests/stress/stress.py --small \
        "$ROOT/build/sanitize/vshell"
    run_counted "link graphs (sanitize)" python3 tests/stress/link_graphs.py --seeds 20 \
        "$ROOT/build/sanitize/vshell"
    run_counted "fuzz smoke" bash tests/fuzz/run_fuzzers.sh --seconds 5

    export WINEPREFIX="$ROOT/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    if [ ! -d "$WINEPREFIX" ]; then
        note "creating a Wine prefix"
        wineboot -i >/dev/null 2>&1 || wine cmd /c exit >/dev/null 2>&1
        echo "($((SECONDS - STARTED)) s)"
    fi
    wineserver -p
    run_counted "Wine faults (and a flaky start, win32)" python3 tests/wine_faults_test.py \
        --flaky "$ROOT/build/win32/vshell.exe"
    run_e2e win32 wine "$ROOT/build/win32/vshell.exe"
    run_e2e win64 wine "$ROOT/build/win64/vshell.exe"
    run_counted "documents (win32)" python3 tests/docs/doc_test.py --target win32 \
        --shell wine "$ROOT/build/win32/vshell.exe"

    run_counted "stress (win32, small)" python3 tests/stress/stress.py --small \
        wine "$ROOT/build/win32/vshell.exe"
    run_counted "link graphs (win32)" python3 tests/stress/link_graphs.py \
        wine "$ROOT/build/win32/vshell.exe"

    note "export tables"
    python3 tests/exports_test.py build/win32 build/win64 >"$LOGS/exports.log" 2>&1
    cat "$LOGS/exports.log"
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$LOGS/exports.log" | tail -1)
    tally exports "$(echo "$line" | cut -d' ' -f1)" "$(echo "$line" | cut -d' ' -f3)"

    run_counted "install (windows zips, fresh Wine prefix)" python3 tests/install/install_check.py \
        --windows build/win32 build/win64
    wineserver -k 2>/dev/null
fi

note "summary (logs in $LOGS; $((SECONDS / 60)) min $((SECONDS % 60)) s in all)"
for f in "${FAILURES[@]}"; do echo "  $f"; done
# The last line is the count CI reads; cases that cannot run on a target are told above it.
[ "$SKIPPED" -gt 0 ] && echo "$SKIPPED skipped (cases that cannot run on a target)"
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" = 0 ]
