#!/usr/bin/env bash
# Installs what building and testing Trailkeeper needs on Debian, when it is missing:
# the MinGW-w64 cross compilers of both architectures, CMake and Ninja, GoogleTest, 32- and
# 64-bit Wine, a virtual X display, the Japanese locale and fonts, and valgrind for the
# benchmark.
set -euo pipefail

packages=(cmake ninja-build g++ googletest libgtest-dev g++-mingw-w64-i686 binutils-mingw-w64-i686
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
          wine wine32:i386 wine64 xvfb xauth locales fonts-ipafont-gothic fonts-wine valgrind)
# The release zips are checked with unzip; the screenshots are cut with ImageMagick.
packages+=(unzip imagemagick)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "install-deps: missing ${missing[*]}; run as root to install them" >&2
        exit 1
    fi
    echo "install-deps: installing ${missing[*]}"
    # wine32 is an i386 package.
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    # A mirror in the middle of a sync fails one architecture's lists now and then: try
    # again, then go on with the lists that came.
    for try in 1 2 3; do
        apt-get update -qq && break
        [ "$try" = 3 ] && echo "install-deps: apt-get update failed; using the lists it has" >&2
        sleep 15
    done
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null; then
        # Without the i386 lists the 32-bit Wine cannot install. Everything else still
        # can, and test-all asks each architecture's loader whether it runs.
        rest=()
        for p in "${missing[@]}"; do
            case "$p" in *:i386) ;; *) rest+=("$p") ;; esac
        done
        echo "install-deps: could not install all of ${missing[*]}; installing ${rest[*]}" >&2
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${rest[@]}" >/dev/null
    fi
fi

# The Japanese locale gives Wine the ANSI code page 932 (Shift-JIS).
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
