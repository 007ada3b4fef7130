#!/usr/bin/env bash
# A shipped program (czuwajnik.exe, or its console twin czuwajnik.com) stands alone: imports
# only functions Windows 7 already has (the allow-list names each with its system DLL), carries
# ASLR and DEP (and high-entropy ASLR when 64-bit) and the version record of 1.10, and stays
# small: 256 KB when 64-bit; 32-bit code is larger per instruction, so it gets 350 KB.
#   check_exe.sh OBJDUMP EXE ALLOW_LIST
set -euo pipefail
objdump=$1 exe=$2 allow=$3 max=358400
fail() { echo "FAIL: $*"; exit 1; }

headers=$("$objdump" -p "$exe")
# Imported functions, as "dll function".
imports=$(awk -F'\t' '/DLL Name:/ { split($0, x, ": "); dll = tolower(x[2]); next }
  dll && NF >= 3 && $3 ~ /^ *[0-9]+ +[A-Za-z_]/ { split($3, y, " "); print dll " " y[2] }
  /^$/ { dll = "" }' <<<"$headers")
[ -n "$imports" ] || fail "no imports read"
unknown=$(grep -vxFf <(grep -v '^#' "$allow") <<<"$imports" || true)
[ -z "$unknown" ] || fail "imports not known on Windows 7: $(tr "\n" " " <<<"$unknown")"

flags=$((16#$(sed -n 's/^DllCharacteristics\s*//p' <<<"$headers")))
(( flags & 0x40 )) || fail "no ASLR (DYNAMIC_BASE)"
(( flags & 0x100 )) || fail "no DEP (NX_COMPAT)"
if grep -q '^Magic\s*020b' <<<"$headers"; then (( flags & 0x20 )) || fail "no HIGH_ENTROPY_VA"; max=262144; fi

# The record's FileVersion, in UTF-16 after its key and the padding to four bytes.
LC_ALL=C grep -qaP 'F\x00i\x00l\x00e\x00V\x00e\x00r\x00s\x00i\x00o\x00n\x00\x00\x00(\x00\x00)?1\x00\.\x001\x000\x00\x00\x00' "$exe" ||
  fail "no version record of 1.10"
size=$(stat -c %s "$exe")
(( size <= max )) || fail "$size bytes, more than $max"
echo "ok: $(basename "$exe"), $size bytes, $(wc -l <<<"$imports") imports, DllCharacteristics $(printf '0x%x' "$flags")"
