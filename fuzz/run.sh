#!/usr/bin/env bash
# Builds the fuzz preset and fuzzes the settings reader and the command line's reader for a
# bounded time (default 60 s, the first argument overrides) on a copy of the seed corpus, so
# the repository's corpus does not grow. Any crash, leak, timeout or sanitizer report fails
# the run; the inputs that failed are kept in build/fuzz/artifacts.
set -uo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root" || exit 1

result() {
    if [ "$1" -eq 0 ]; then echo "fuzz: 1 passed, 0 failed"; else echo "fuzz: 0 passed, 1 failed"; fi
    exit "$1"
}

if ! { cmake --preset fuzz && cmake --build --preset fuzz; }; then
    echo "fuzz: the build failed" >&2
    result 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" build/fuzz/artifacts
cp fuzz/corpus/*.dat "$work/corpus/"
artifacts=$(cd build/fuzz/artifacts && pwd)
rm -f "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-*

ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/fuzz/fuzz/input_fuzz -max_total_time="$seconds" -max_len=8192 -timeout=5 -detect_leaks=1 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 "$work/corpus" 2>&1 | tee "$work/log"
status=${PIPESTATUS[0]}

failed=0
if [ "$status" -ne 0 ]; then
    echo "fuzz: the fuzzer exited with status $status" >&2
    failed=1
fi
if grep -Eq 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|property failed' "$work/log"; then
    echo "fuzz: a sanitizer or property report was printed" >&2
    failed=1
fi
for input in "$artifacts"/*; do
    [ -e "$input" ] || continue
    echo "fuzz: failing input $input:" >&2
    od -An -tx1 -v "$input" | head -n 32 >&2
    failed=1
done
done_line=$(grep -E '^Done [0-9]+ runs in [0-9]+ second' "$work/log" | tail -n 1)
if [ -n "$done_line" ]; then
    echo "fuzz: $done_line"
else
    echo "fuzz: libFuzzer did not report its runs" >&2
    failed=1
fi
result "$failed"
