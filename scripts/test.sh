#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every test: the core
# natively and under the sanitizers, the settings reader under libFuzzer, then both
# Windows builds under Wine.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

presets=(native asan win64 win32)
passed=0 failed=0 skipped=0
for preset in "${presets[@]}"; do
  echo "=== $preset"
  if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
    echo "build of $preset failed"
    failed=$((failed + 1))
    continue
  fi
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log")
  skips=$(grep -c '\*\*\*Skipped' "$log") disabled=$(grep -c 'Not Run (Disabled)' "$log")
  rm -f "$log"
  if [[ $summary =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1] - skips))
    skipped=$((skipped + skips + disabled))
  else
    echo "no test summary for $preset"
    failed=$((failed + 1))
  fi
done
echo "=== fuzz"
if bash fuzz/run.sh "${CZ_FUZZ_SECONDS:-60}"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi

echo "=== release"
# Two release builds from scratch must give byte-identical zips.
sums=$(mktemp)
if bash scripts/release.sh && cp dist/SHA256SUMS "$sums" && bash scripts/release.sh >/dev/null &&
  cmp -s "$sums" dist/SHA256SUMS; then
  echo "release: two builds gave identical zips"
  passed=$((passed + 1))
else
  echo "release: the zips differ between two builds, or a build failed"
  failed=$((failed + 1))
fi
rm -f "$sums"

echo "tests: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
