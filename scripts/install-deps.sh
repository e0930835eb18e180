#!/usr/bin/env bash
# SPDX-License-Identifier: LGPL-2.1-or-later
# Installs the Debian packages that building, testing and benchmarking need.
# A machine that already has all of them is left alone (no apt run at all).
# The 32-bit Windows phase's own packages, MinGW-w64 and Wine (which needs the
# i386 architecture), are installed by scripts/check-win32.sh when it runs.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qtbase5-dev libqt5serialbus5-dev libqt5serialbus5-plugins zlib1g-dev
    prometheus-cpp-dev prometheus
    libbenchmark-dev
    python3-pyqt5 python3-can python3-canmatrix python3-dask python3-distributed
    bsdutils
    clang libclang-rt-14-dev clang-format
    abigail-tools debootstrap qemu-user-static
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "All build packages are installed."
    exit 0
fi

echo "Installing missing packages: ${missing[*]}"
sudo=()
if [[ "$(id -u)" -ne 0 ]]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
