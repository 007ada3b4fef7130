#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (run as root) and, where the
# kernel cannot run 32-bit programs itself, lets qemu run 32-bit Wine for it.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  wine wine64 wine64-preloader wine32:i386 wine32-preloader:i386
  fonts-wine fonts-liberation xvfb xauth x11-apps x11-utils imagemagick zip locales libbenchmark-dev qemu-user-static)

# A mirror in the middle of a sync serves indexes that do not match their release file, and
# apt-get then leaves them out and fails. That passes within minutes: try a few times.
update_package_lists() {
  local try
  for try in 1 2 3 4 5; do
    apt-get update -q && return 0
    ((try < 5)) && { echo "setup.sh: the package lists did not all arrive; trying again in 30 s" >&2; sleep 30; }
  done
  return 1
}
install() { DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  if update_package_lists; then
    install "${missing[@]}"
  else
    # Without a list (the 32-bit security updates, say), the 64- and 32-bit forms of a library may
    # come in different versions, which cannot be installed together: take the release's own.
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "setup.sh: the package mirror is unreachable or inconsistent (in the middle of a sync?): apt-get" \
      "update failed five times over two minutes. Installing from the lists that did arrive, at the versions" \
      "of $release itself, without the updates the missing lists hold." >&2
    install -t "$release" "${missing[@]}" || {
      echo "setup.sh: the packages cannot be installed from the lists that arrived. Run this again later, or" \
        "point /etc/apt/sources.list* at another mirror." >&2
      exit 1
    }
  fi
fi

if ! locale -a | grep -qx pl_PL.utf8; then
  sed -i 's/^# *pl_PL.UTF-8/pl_PL.UTF-8/' /etc/locale.gen
  grep -q '^pl_PL.UTF-8' /etc/locale.gen || echo 'pl_PL.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# Some kernels have 32-bit emulation switched off; 32-bit Wine then runs through qemu.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  [ -e "$binfmt/qemu-i386" ] || printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' > "$binfmt/register"
  /lib/ld-linux.so.2 --version >/dev/null
fi
