#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, and any further packages named
# as arguments (the benchmarks' tools). Idempotent: does nothing when everything is present already.
set -euo pipefail

# g++-mingw-w64-i686-posix and wine32:i386 build and run the 32-bit codec driver and its test program;
# wine32 comes from the i386 architecture, added below.
packages=(mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 wine32:i386 xvfb
          ffmpeg locales fonts-ipafont-gothic cmake googletest g++ zlib1g-dev libz-mingw-w64-dev python3
          nsis zip unzip "$@")

SUDO=""
[[ $(id -u) -ne 0 ]] && SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "install-deps: adding the i386 architecture" >&2
    $SUDO dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
    echo "install-deps: installing ${missing[*]}" >&2
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "install-deps: generating ja_JP.UTF-8" >&2
    $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
