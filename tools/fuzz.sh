#!/usr/bin/env bash
# Fuzzes the readers of outside input with clang's libFuzzer, under AddressSanitizer and
# UndefinedBehaviorSanitizer.
#
#   tools/fuzz.sh list                         the drivers
#   tools/fuzz.sh run <name|all> [seconds] [jobs]   fuzz each for seconds (default 60) with up to
#                                              3 parallel jobs (default 1), then merge what was new
#                                              into its corpus
#   tools/fuzz.sh minimise <name|all>          shrinks a corpus to the inputs that still add
#                                              coverage (the named seeds stay)
#
# Convention: tests/fuzz/<name>_fuzz.cpp is a driver (LLVMFuzzerTestOneInput), listed in
# tests/fuzz/CMakeLists.txt; tests/fuzz/corpus/<name>/ is its corpus, which `./run test` replays
# through the same driver built with g++. New inputs are merged in with libFuzzer's -merge=1, so
# only those that add coverage land; an input that crashed is copied in as crash-<sha1> and the
# script fails: mend the fault, keep the input (it is the regression test) and commit both.
# Builds in build/fuzz; the runs' own corpora, logs and artifacts stay under build/fuzz/work.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=build/fuzz
work=$build/work
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true

usage() {
  sed -n '5,10p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

drivers() {  # the names listed in tests/fuzz/CMakeLists.txt
  sed -n '/^set(JORV_FUZZ_DRIVERS/,/)/p' tests/fuzz/CMakeLists.txt | grep -o '[a-z0-9_]*:' | tr -d ':'
}

pick() {  # name or all -> names
  if [ "$1" = all ]; then drivers; return; fi
  if ! drivers | grep -qx "$1"; then
    echo "no fuzz driver named $1 (tools/fuzz.sh list)" >&2
    exit 2
  fi
  echo "$1"
}

build_drivers() {  # names...
  bash tools/install-deps.sh clang libclang-rt-dev
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" \
    -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DJORV_FUZZ=ON -DJORV_TESTS=OFF >/dev/null
  local targets=()
  for name in "$@"; do targets+=("${name}_fuzz"); done
  cmake --build "$build" -j 3 --target "${targets[@]}"
}

# The drivers' temporary folders: a crashed driver cannot remove its own.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export JORV_FUZZ_TMP=/dev/shm/jorv-fuzz-run-$$; else export JORV_FUZZ_TMP=$root/$work/tmp-$$; fi
trap 'rm -rf "$JORV_FUZZ_TMP"' EXIT

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

fuzz_one() {  # name seconds jobs
  local name=$1 seconds=$2 jobs=$3
  local program=$build/tests/fuzz/${name}_fuzz corpus=tests/fuzz/corpus/$name
  local found=$work/$name/found artifacts=$work/$name/artifacts/ log=$work/$name/fuzz.log
  mkdir -p "$found" "$artifacts" "$corpus"
  rm -f "$artifacts"/*
  local parallel=()
  [ "$jobs" -gt 1 ] && parallel=(-fork="$jobs")
  echo "== $name: ${seconds}s, $jobs job(s)"
  # New inputs go to the first folder; the corpus is read only here.
  "$program" "${parallel[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts" "$found" "$corpus" >"$log" 2>&1 || true
  # Edges only (no hit counts): an input must reach code no other reaches to be kept.
  "$program" -merge=1 -use_counters=0 "$corpus" "$found" >"$work/$name/merge.log" 2>&1
  local crashes=0
  for artifact in "$artifacts"*; do
    [ -f "$artifact" ] || continue
    crashes=$((crashes + 1))
    local kept=$corpus/crash-$(sha1sum "$artifact" | cut -c1-40)
    cp "$artifact" "$kept"
    echo "   FOUND $(basename "$artifact"): kept as $kept (see $log)"
  done
  # Totals: libFuzzer's final stats, or in fork mode its last status line.
  local runs speed
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | awk '{s += $2} END {print s + 0}')
  speed=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | awk '{s += $2} END {print s + 0}')
  if [ "$runs" -eq 0 ]; then
    runs=$(grep -o '^#[0-9]*:' "$log" | tail -1 | tr -d '#:')
    speed=$((${runs:-0} / seconds))
  fi
  echo "   $name: ${runs:-0} executions, ${speed:-0} exec/s, $(grep -o 'cov: [0-9]*' "$log" | tail -1), corpus $(find "$corpus" -type f | wc -l) files"
  [ "$crashes" -eq 0 ]
}

minimise_one() {  # name
  local name=$1
  local program=$build/tests/fuzz/${name}_fuzz corpus=tests/fuzz/corpus/$name fresh=$work/$name/minimised
  rm -rf "$fresh"
  mkdir -p "$fresh"
  # The named seeds and kept crashes stay; libFuzzer's sha1-named finds must earn their place.
  find "$corpus" -type f -regextype posix-extended ! -regex '.*/[0-9a-f]{40}' -exec cp {} "$fresh" \;
  "$program" -merge=1 -use_counters=0 "$fresh" "$corpus" >"$work/$name/minimise.log" 2>&1
  find "$corpus" -type f -regextype posix-extended -regex '.*/[0-9a-f]{40}' -delete
  cp -n "$fresh"/* "$corpus"/
  echo "$name: corpus $(find "$corpus" -type f | wc -l) files"
}

case "${1:-}" in
  list) drivers ;;
  run)
    [ $# -ge 2 ] || usage
    mapfile -t names < <(pick "$2")
    seconds=${3:-60}
    jobs=${4:-1}
    if [ "$jobs" -gt 3 ]; then jobs=3; fi  # the machine is shared
    build_drivers "${names[@]}"
    failed=0
    for name in "${names[@]}"; do fuzz_one "$name" "$seconds" "$jobs" || failed=1; done
    exit $failed
    ;;
  minimise)
    [ $# -ge 2 ] || usage
    mapfile -t names < <(pick "$2")
    build_drivers "${names[@]}"
    for name in "${names[@]}"; do minimise_one "$name"; done
    ;;
  *) usage ;;
esac
