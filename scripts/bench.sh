#!/usr/bin/env bash
# Benchmarks, apart from the tests: the core's watch tick natively (Google Benchmark), then
# under Wine what czuwajnik.exe costs while it watches a program, beside watch_floor.exe.
#
#   scripts/bench.sh [seconds] [win32]   watch for that long (default 60); win32 adds the
#                                        32-bit build, which this Wine runs through qemu.
# Wine runs in a prefix of its own (CZ_WINE_CACHE), apart from the one the tests use.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=60 arches=(win64)
for arg in "$@"; do
  case $arg in
    win32) arches+=(win32) ;;
    *[!0-9]* | '') echo "usage: $0 [seconds] [win32]" >&2; exit 2 ;;
    *) seconds=$arg ;;
  esac
done
export CZ_WINE_CACHE=${CZ_WINE_CACHE:-${TMPDIR:-/tmp}/czuwajnik-bench-$(id -u)}
report=() failed=0

# The native preset builds for debugging, so the tick is timed in a Release build of its own.
echo "=== native watch tick"
if cmake -S . -B build/bench-native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
   cmake --build build/bench-native --target tick_bench; then
  out=$(build/bench-native/bench/tick_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
  echo "$out"
  while read -r name _ _ cpu unit _; do
    report+=("native ${name%_median}: $cpu $unit CPU per tick (median of 5)")
  done < <(grep '_median' <<<"$out")
else
  report+=("native: build failed") failed=1
fi

for arch in "${arches[@]}"; do
  echo "=== $arch under Wine, $seconds s"
  if ! { cmake --preset "$arch" >/dev/null && cmake --build --preset "$arch" --target watch_bench; }; then
    report+=("$arch: build failed") failed=1
    continue
  fi
  out=$(tests/wine/run.sh "build/$arch/bench/watch_bench.exe" "build/$arch/czuwajnik.exe" "$seconds" 2>&1)
  status=$?
  echo "$out"
  [ "$status" -eq 0 ] || failed=1
  report+=("$arch ($( [ "$arch" = win32 ] && echo "emulated CPU" || echo "native CPU"), exit $status):")
  while IFS= read -r line; do report+=("  $line"); done < <(grep -E 'ratio|CPU|peak|FAIL|other processes' <<<"$out")
done

echo "=== report"
printf '%s\n' "${report[@]}"
exit "$failed"
