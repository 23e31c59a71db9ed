#!/usr/bin/env bash
# Installs the Debian packages that building and testing Wiretally need, skipping those already present.
# Usage: scripts/install-dependencies.sh [--with-fuzzing]
set -euo pipefail

packages=(build-essential cmake pkg-config libpcap-dev zlib1g-dev libzstd-dev liblzma-dev libbz2-dev libboost-program-options-dev libboost-date-time-dev
          libgtest-dev libbenchmark-dev clang-format groff-base dpkg-dev file
          chromium chromium-driver python3-selenium python3-jsonschema python3-distributed
          slurmctld slurmd slurm-client munge)
if [[ "${1:-}" == "--with-fuzzing" ]]; then
    packages+=(clang libclang-rt-dev)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
if [[ ${#missing[@]} -eq 0 ]]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
