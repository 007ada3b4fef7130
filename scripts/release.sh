#!/usr/bin/env bash
# Builds the release zips and their checksums in dist/. Two runs give byte-identical
# zips: the exes carry no timestamp or build path, and every zip entry has a fixed date.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
version=1.10
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 1767225600)}
rm -rf dist && mkdir -p dist
for arch in win64:x86_64 win32:i686; do
  name=${arch%%:*}
  # A clean build of the exe alone, so every release starts from the sources.
  rm -rf "build/release/$name"
  cmake -S . -B "build/release/$name" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel -DCZUWAJNIK_TESTS=OFF \
    --toolchain "cmake/mingw-${arch#*:}.cmake" >/dev/null
  cmake --build "build/release/$name" --target czuwajnik czuwajnik_com >/dev/null
  stage=$(mktemp -d)
  cp "build/release/$name/czuwajnik.exe" "build/release/$name/czuwajnik.com" "$stage/"
  # Windows readers expect CR LF line ends and, for the Polish text, its code page.
  sed 's/$/\r/' dist-docs/README.txt > "$stage/README.txt"
  iconv -f UTF-8 -t CP1250 dist-docs/CZYTAJ.txt | sed 's/$/\r/' > "$stage/CZYTAJ.txt"
  sed 's/$/\r/' LICENSE > "$stage/LICENSE.txt"
  touch -d "@$epoch" "$stage"/*
  (cd "$stage" && TZ=UTC zip -X -q "$OLDPWD/dist/czuwajnik-$version-$name.zip" CZYTAJ.txt LICENSE.txt README.txt czuwajnik.com czuwajnik.exe)
  rm -rf "$stage"
done
(cd dist && sha256sum ./*.zip | sed 's| \./| |' > SHA256SUMS)
ls -l dist
cat dist/SHA256SUMS
