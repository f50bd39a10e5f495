#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for
# the given number of seconds (default 60), starting from the seed corpus in
# fuzz/corpus/<target>/. New inputs go to build-fuzz/corpus/<target>/, crashes
# to build-fuzz/artifacts/<target>/. Fails when any target found something.
#
#   tools/fuzz.sh [seconds] [target...]
# Environment: FUZZ_JOBS targets at a time (default: the number of cores, at
# most 2); FUZZ_NICE=1 runs them at the lowest priority.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
seconds="${1:-60}"
shift || true
build="$root/build-fuzz"

if [[ ! -f "$build/build.ninja" ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTINTWISE_BUILD_FUZZ=ON -DTINTWISE_BUILD_GUI=OFF -DBUILD_TESTING=OFF \
    -DTINTWISE_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target tintwise_fuzzers -- -j"$(nproc)" | grep -vE '^\[[0-9]+/[0-9]+\] ' || true
test "${PIPESTATUS[0]}" -eq 0

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  targets=(fuzz_page fuzz_setting_file fuzz_cache_db fuzz_http_body
    fuzz_image_bmp fuzz_image_jpeg fuzz_image_png fuzz_image_gif fuzz_image_webp)
fi
jobs="${FUZZ_JOBS:-$(nproc)}"
(( jobs > 2 )) && jobs=2
(( jobs < 1 )) && jobs=1
prefix=()
# The targets write files for every input (and the code under test syncs
# them); a memory file system keeps that from dominating the run.
if [[ -z "${TMPDIR:-}" && -d /dev/shm && -w /dev/shm ]]; then
  export TMPDIR=/dev/shm
fi
[[ "${FUZZ_NICE:-}" == 1 ]] && prefix=(nice -n 19)

# Inputs each target may grow to: databases and HTTP answers need room.
max_len() {
  case "$1" in
    fuzz_cache_db|fuzz_http_body) echo 65536 ;;
    fuzz_image_*) echo 32768 ;;
    *) echo 16384 ;;
  esac
}

run_one() {
  local target="$1"
  local corpus="$build/corpus/$target" artifacts="$build/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  local dict=()
  [[ -f "$root/fuzz/$target.dict" ]] && dict=(-dict="$root/fuzz/$target.dict")
  local log="$build/fuzz-$target.log"
  # ASan's leak check stays on; a slow input (over 60 s) counts as a finding.
  if "${prefix[@]}" "$build/fuzz/$target" "$corpus" "$root/fuzz/corpus/$target" \
      -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 -max_len="$(max_len "$target")" \
      -artifact_prefix="$artifacts/" -print_final_stats=1 "${dict[@]}" >"$log" 2>&1; then
    echo "$target: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') runs, no finding"
  else
    echo "$target: FAILED (see $log)"
    grep -E 'ERROR|SUMMARY|check failed|Test unit written' "$log" | head -20
    return 1
  fi
}

failed=0
pids=()
names=()
for target in "${targets[@]}"; do
  while (( ${#pids[@]} >= jobs )); do
    if ! wait "${pids[0]}"; then failed=1; fi
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  done
  run_one "$target" &
  pids+=($!)
  names+=("$target")
done
for pid in "${pids[@]}"; do
  if ! wait "$pid"; then failed=1; fi
done
exit "$failed"
