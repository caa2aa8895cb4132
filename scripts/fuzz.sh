#!/usr/bin/env bash
# Runs every fuzz target of tests/fuzz over its corpus for a fixed time.
#   scripts/fuzz.sh SECONDS [BUILD-DIR]
# Builds the targets with clang in BUILD-DIR (default build-fuzz), then runs
# each for SECONDS. Fails on any crash, leak, timeout or violated property,
# and prints the input that caused it in hex. New inputs a run finds are kept
# in BUILD-DIR/fuzz-work/<target>, never in the checked-in corpus.
# Without clang and its libFuzzer runtime it says so and does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: scripts/fuzz.sh SECONDS [BUILD-DIR]}
dir=${2:-build-fuzz}
[[ $seconds =~ ^[0-9]+$ ]] && [ "$seconds" -gt 0 ] || { echo "fuzz: SECONDS must be a whole number above 0" >&2; exit 2; }

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: skipped, clang++ is not installed"
  exit 0
fi
runtime="$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-$(uname -m).a"
if [ ! -f "$runtime" ]; then
  echo "fuzz: skipped, clang's libFuzzer runtime is not installed ($runtime)"
  exit 0
fi

jobs=$(nproc 2>/dev/null || echo 2)
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIX_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$jobs" --target fuzz_targets

work="$dir/fuzz-work"
# Targets that write files run many times faster on a memory file system.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi
mkdir -p "$work"
# Fuzzes one target; its lines go to $work/<name>.report, and a failure
# leaves $work/<name>.failed beside it.
run_target() {
  local exe=$1 name=${1##*/fuzz_}
  local corpus="tests/fuzz/corpus/$name" log="$work/$name.log"
  mkdir -p "$work/$name" "$work/$name-found"
  rm -f "$work/$name-found"/* "$work/$name.failed"
  {
    # The first folder takes new inputs; the checked-in one is only read.
    if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       LSAN_OPTIONS="suppressions=$PWD/tests/fuzz/lsan.supp" \
       "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
         -artifact_prefix="$work/$name-found/" "$work/$name" "$corpus" >"$log" 2>&1; then
      runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
      cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
      ft=$(grep -o 'ft: [0-9]*' "$log" | tail -n 1)
      printf 'fuzz %-20s ok    %10s runs  %s  %s\n' "$name" "${runs:-?}" "${cov:-cov: ?}" "${ft:-ft: ?}"
    else
      touch "$work/$name.failed"
      printf 'fuzz %-20s FAILED (log: %s)\n' "$name" "$log"
      grep -E 'ERROR|SUMMARY|property violated|runtime error|Timeout|leak' "$log" | head -n 20 || true
      for input in "$work/$name-found"/*; do
        [ -f "$input" ] || continue
        echo "-- input $input ($(stat -c %s "$input") bytes), in hex:"
        od -An -tx1 -v "$input" | head -n 64
      done
    fi
  } >"$work/$name.report"
}

failed=()
names=()
started=$(date +%s)
# Each target fuzzes on one core: as many run at once as there are cores.
for exe in "$dir"/tests/fuzz/fuzz_*; do
  name=${exe##*/fuzz_}
  [ "$name" = seeds ] && continue
  [ -f "$exe" ] && [ -x "$exe" ] || continue
  names+=("$name")
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
    wait -n || true
  done
  run_target "$exe" &
done
wait
for name in "${names[@]}"; do
  cat "$work/$name.report"
  [ -f "$work/$name.failed" ] && failed+=("$name")
done
echo "fuzz: $(( $(date +%s) - started )) s for all targets"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: FAILED: ${failed[*]}" >&2
  exit 1
fi
