#!/bin/sh
# Installs the dependencies, builds, and runs every test: the normal build,
# the sanitizer build (ASan + UBSan, leak checks on) of the whole suite,
# the suite again on an executor that dispatches through a switch (as
# compilers without computed goto build it), but for the window test,
# and a short round of every fuzz target over its kept corpus (a finding
# fails the run).
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
sh scripts/build.sh
ctest --preset release -j"$(nproc)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$(nproc)"
ctest --preset asan -j"$(nproc)"
cmake --preset switch >/dev/null
cmake --build --preset switch -j"$(nproc)"
ctest --preset switch -j"$(nproc)"
sh scripts/fuzz.sh 60
