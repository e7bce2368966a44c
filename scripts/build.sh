#!/bin/sh
# Configures and builds qvrun and its tests in build/ (release flags).
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
