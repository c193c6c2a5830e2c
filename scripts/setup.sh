#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Runsweep under Wine needs.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
    cmake make g++ libgtest-dev googletest
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    wine wine64 fonts-wine
    xvfb xdotool imagemagick x11-utils
    clang libclang-rt-14-dev
    python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
echo "setup: all packages present"
