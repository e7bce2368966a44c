#!/bin/sh
# Installs the dependencies, builds, and runs every test: the normal build,
# the sanitizer build (ASan + UBSan, leak checks on) of the whole suite,
# and a short round of every fuzz target over its kept corpus (a finding
# fails the run).
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
sh scripts/build.sh
(cd build && ctest --output-on-failure -j"$(nproc)")
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
(cd build-asan && ctest --output-on-failure -j"$(nproc)")
sh scripts/fuzz.sh 60
