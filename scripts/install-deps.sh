#!/bin/sh
# Installs everything qvrun needs to build, test and benchmark on a bare
# Debian 12 machine. Safe to run again: apt skips what is already there.
set -eu
export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends \
    build-essential cmake g++ clang libclang-rt-14-dev \
    qt6-base-dev libasound2-dev \
    libgtest-dev libgmock-dev \
    xvfb x11-apps x11-utils xauth imagemagick xdotool \
    groff-base man-db lua5.4 luajit python3 >/dev/null
