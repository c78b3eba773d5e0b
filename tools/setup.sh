#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a Debian 12 machine (as root).
set -euo pipefail
packages=(
    cmake make g++ libgtest-dev libbenchmark-dev googletest libxxhash-dev zlib1g-dev zip
    clang clang-format clang-tidy cppcheck libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev libz-mingw-w64-dev
    wine64 xvfb xauth imagemagick fonts-nanum
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
