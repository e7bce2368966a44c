#!/bin/sh
# Builds the fuzz targets with clang and runs each for SECONDS (default 60).
# Each run starts from tests/fuzz/corpus/<target> (seeded with the golden
# programs and examples) and replays tests/fuzz/regress/<target>, the inputs
# of earlier findings. Afterwards the corpus is cut down to the inputs that
# together reach every edge reached, so that it stays small; the full set
# stays in build-fuzz/work-<target> for the next local run. Crashes and
# hangs are left as files in build-fuzz/findings and make the script fail.
set -eu
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-60}
shift 2>/dev/null || true
TARGETS=${*:-"compile_fuzz run_fuzz load_fuzz"}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQV_FUZZ=ON -DQV_TESTS=OFF >/dev/null
mkdir -p build-fuzz/findings
status=0
passed=0
failed=0
for t in $TARGETS; do
  [ -f "tests/fuzz/$t.cpp" ] || continue
  cmake --build build-fuzz -j"$(nproc)" --target "$t" >/dev/null
  corpus="tests/fuzz/corpus/$t"
  work="build-fuzz/work-$t"
  regress="tests/fuzz/regress/$t"
  mkdir -p "$corpus" "$work"
  [ -d "$regress" ] || regress=""
  if [ "$t" != load_fuzz ] && [ -z "$(ls -A "$corpus")" ]; then
    for f in tests/golden/*/*.qv examples/*.qv; do
      [ -s "$f" ] && cp "$f" "$corpus/seed-$(basename "$(dirname "$f")")-$(basename "$f")"
    done
  fi
  echo "fuzzing $t for ${SECONDS_EACH}s"
  if ! ASAN_OPTIONS=detect_leaks=0 "./build-fuzz/$t" -max_total_time="$SECONDS_EACH" \
       -timeout=10 -rss_limit_mb=4096 -malloc_limit_mb=4096 -max_len=4096 -print_final_stats=1 \
       -artifact_prefix=build-fuzz/findings/"$t"- "$work" "$corpus" $regress \
       >"build-fuzz/$t.log" 2>&1; then
    echo "$t: finding, see build-fuzz/$t.log and build-fuzz/findings"
    tail -40 "build-fuzz/$t.log"
    status=1
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  grep -E 'stat::number_of_executed_units|cov:' "build-fuzz/$t.log" | tail -2 || true
  rm -rf "$corpus.new"
  mkdir "$corpus.new"
  if ASAN_OPTIONS=detect_leaks=0 "./build-fuzz/$t" -set_cover_merge=1 -use_counters=0 \
       -timeout=10 -rss_limit_mb=4096 "$corpus.new" "$corpus" "$work" >/dev/null 2>&1 &&
     [ -n "$(ls -A "$corpus.new")" ]; then
    rm -rf "$corpus"
    mv "$corpus.new" "$corpus"
  else
    rm -rf "$corpus.new"
  fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
