#!/usr/bin/env bash
# Installs what the project needs on a Debian 12 machine (run as root).
# Idempotent: packages already present are not touched.
#
#   scripts/setup-debian.sh            everything (every build and test)
#   scripts/setup-debian.sh --native   only what the native build needs
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

native_packages=(cmake make g++ pkg-config googletest libbenchmark-dev
                 python3 python3-numpy python3-matplotlib python3-jinja2 python3-pytest)
# qemu-user runs the 32-bit Linux suites where the kernel cannot execute
# i386 programs; 64-bit Wine runs the PE32+ suites on every machine.
# The Python suite installs the package with pip into a virtual environment
# and renders a qualification report in headless Chromium.
all_packages=("${native_packages[@]}" gcc-multilib g++-multilib g++-mingw-w64-i686
              g++-mingw-w64-x86-64 mingw-w64 qemu-user clang libclang-rt-14-dev valgrind
              python3-venv python3-pip python3-setuptools chromium poppler-utils)
wine_packages=(wine wine32:i386 wine64)

packages=("${all_packages[@]}")
with_wine=1
if [[ "${1:-}" == "--native" ]]; then
  packages=("${native_packages[@]}")
  with_wine=0
fi

missing() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

updated=0
apt_update() {
  if (( updated == 0 )); then
    # A mirror that is mid-sync may fail one index; what it served is enough.
    apt-get update || echo "setup: apt-get update reported errors; continuing with the indexes it got"
    updated=1
  fi
}

if (( with_wine )) && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  updated=0
fi

todo=($(missing "${packages[@]}"))
if (( ${#todo[@]} )); then
  apt_update
  apt-get install -y --no-install-recommends "${todo[@]}"
fi

if (( with_wine )); then
  todo=($(missing "${wine_packages[@]}"))
  if (( ${#todo[@]} )); then
    apt_update
    if ! apt-get install -y "${wine_packages[@]}"; then
      # wine32:i386 and wine64 need the i386 and amd64 builds of every shared
      # library at the same version. When the security suite's i386 index is
      # missing or behind, take both architectures from the main suite for
      # this install.
      echo "setup: retrying the Wine install with both architectures from the main suite"
      pin_dir=$(mktemp -d)
      printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n\nPackage: *\nPin: release n=bookworm,l=Debian\nPin-Priority: 1001\n' \
        > "$pin_dir/lumitra-wine.pref"
      apt-get install -y --allow-downgrades -o Dir::Etc::PreferencesParts="$pin_dir" "${wine_packages[@]}"
      rm -rf "$pin_dir"
    fi
  fi
fi
echo "setup: all packages present"
