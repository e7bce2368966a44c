#!/bin/sh
# Configures and builds qvrun and its tests in build/ (the "release" preset
# of CMakePresets.json).
set -eu
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)"
