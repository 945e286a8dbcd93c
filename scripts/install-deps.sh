#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Idempotent:
# asks apt only when something is missing, and updates its lists once.
set -euo pipefail

packages=(
    build-essential   # g++ and make
    cmake
    ninja-build
    pkg-config
    libgtest-dev      # unit tests
    libgmock-dev
    libcurl4-openssl-dev  # the filter-service client (HTTPS)
    libssl-dev        # the reference filter service's TLS and certificate
)
# `install-deps.sh --fuzz`: also the compiler for the libFuzzer targets.
if [ "${1:-}" = "--fuzz" ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: need root or sudo for: ${missing[*]}" >&2; exit 1; }
    sudo=sudo
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
