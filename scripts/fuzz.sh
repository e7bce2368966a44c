#!/bin/sh
# Usage: scripts/fuzz.sh [--merge] [SECONDS] [TARGET ...]
#
# Builds the fuzz targets with clang (the "fuzz" preset, in build-fuzz/) and
# runs each for SECONDS (default 60). Each run reads tests/fuzz/corpus/<target>
# (the kept corpus; where it is missing or empty, the golden programs and
# examples seed the work folder instead) and replays tests/fuzz/regress/<target>,
# the inputs of earlier findings; new inputs go to build-fuzz/work-<target>
# for the next local run.
# Afterwards the kept corpus and the new inputs are cut down to those that
# together reach every edge reached, into build-fuzz/merged-<target>; with
# --merge that set replaces the kept corpus, which is otherwise left alone.
# Crashes and hangs are left as files in build-fuzz/findings and make the
# script fail.
set -eu
cd "$(dirname "$0")/.."
MERGE=0
if [ "${1:-}" = --merge ]; then
  MERGE=1
  shift
fi
SECONDS_EACH=${1:-60}
shift 2>/dev/null || true
TARGETS=${*:-"run_fuzz load_fuzz"}
cmake --preset fuzz >/dev/null
mkdir -p build-fuzz/findings
status=0
passed=0
failed=0
for t in $TARGETS; do
  [ -f "tests/fuzz/$t.cpp" ] || continue
  cmake --build --preset fuzz -j"$(nproc)" --target "$t" >/dev/null
  corpus="tests/fuzz/corpus/$t"
  work="build-fuzz/work-$t"
  merged="build-fuzz/merged-$t"
  regress="tests/fuzz/regress/$t"
  mkdir -p "$work"
  [ -d "$corpus" ] && [ -n "$(ls -A "$corpus")" ] || corpus=""
  [ -d "$regress" ] || regress=""
  # Seeds for a target without a kept corpus: the golden programs and examples.
  if [ "$t" != load_fuzz ] && [ -z "$corpus" ] && [ -z "$(ls -A "$work")" ]; then
    for f in tests/golden/*/*.qv examples/*.qv; do
      [ -s "$f" ] && cp "$f" "$work/seed-$(basename "$(dirname "$f")")-$(basename "$f")"
    done
  fi
  echo "fuzzing $t for ${SECONDS_EACH}s"
  if ! ASAN_OPTIONS=detect_leaks=0 "./build-fuzz/$t" -max_total_time="$SECONDS_EACH" \
       -timeout=10 -rss_limit_mb=4096 -malloc_limit_mb=4096 -max_len=4096 -print_final_stats=1 \
       -artifact_prefix=build-fuzz/findings/"$t"- "$work" $corpus $regress \
       >"build-fuzz/$t.log" 2>&1; then
    echo "$t: finding, see build-fuzz/$t.log and build-fuzz/findings"
    tail -40 "build-fuzz/$t.log"
    status=1
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
  grep -E 'stat::number_of_executed_units|cov:' "build-fuzz/$t.log" | tail -2 || true
  rm -rf "$merged"
  mkdir "$merged"
  if ASAN_OPTIONS=detect_leaks=0 "./build-fuzz/$t" -set_cover_merge=1 -use_counters=0 \
       -timeout=10 -rss_limit_mb=4096 "$merged" $corpus "$work" >/dev/null 2>&1 &&
     [ -n "$(ls -A "$merged")" ]; then
    if [ "$MERGE" = 1 ]; then
      kept="tests/fuzz/corpus/$t"
      rm -rf "$kept"
      mkdir -p "$(dirname "$kept")"
      cp -R "$merged" "$kept"
      echo "$t: kept corpus replaced by the merged set ($(ls "$kept" | wc -l) inputs)"
    fi
  else
    rm -rf "$merged"
  fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
