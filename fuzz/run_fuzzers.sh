#!/usr/bin/env bash
# Runs every reader fuzzing harness of a fuzz build for a while, several at
# once, each from its seeds and dictionary. New inputs collect beside the
# build, never in the seed folders. Fails, naming the harness and the saved
# input, when any harness finds a crash, a leak, a timeout or an
# out-of-memory.
#
#   fuzz/run_fuzzers.sh BUILD_DIR [SECONDS] [JOBS] [HARNESS...]
#
# FUZZ_FLAGS adds libFuzzer flags; for long campaigns that should go on past
# a finding: FUZZ_FLAGS="-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1".
set -uo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:?usage: run_fuzzers.sh BUILD_DIR [SECONDS] [JOBS] [HARNESS...]}" && pwd)"
seconds="${2:-60}"
jobs="${3:-8}"
shift $(( $# < 3 ? $# : 3 ))

if [ $# -gt 0 ]; then
  names=("$@")
else
  names=()
  for src in "$here"/*_fuzz.cpp; do
    n="$(basename "$src" .cpp)"
    names+=("${n%_fuzz}")
  done
fi

work="$build/fuzz_work"
mkdir -p "$work/logs" "$work/artifacts"

run_one() {
  local name="$1"
  local bin="$build/${name}_fuzz"
  local corpus="$work/corpus/$name"
  local log="$work/logs/$name.log"
  mkdir -p "$corpus"
  if [ ! -x "$bin" ]; then
    echo "FAIL $name: no harness binary $bin" > "$log"
    return 1
  fi
  local dict=()
  [ -f "$here/dict/$name.dict" ] && dict=("-dict=$here/dict/$name.dict")
  # One OpenMP thread, and leaks and UB reports count as findings.
  OMP_NUM_THREADS=1 OMP_WAIT_POLICY=PASSIVE \
  ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    "$bin" "$corpus" "$here/corpus/$name" "${dict[@]}" \
      -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/artifacts/$name-" ${FUZZ_FLAGS:-} >"$log" 2>&1
}
export -f run_one
export build here work seconds FUZZ_FLAGS

status=0
printf '%s\n' "${names[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} || status=1

printf '%-20s %12s %10s  %s\n' harness executions "exec/s" result
for name in "${names[@]}"; do
  log="$work/logs/$name.log"
  execs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" 2>/dev/null | grep -o '[0-9]*$')"
  rate="$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" 2>/dev/null | grep -o '[0-9]*$')"
  if [ -z "$execs" ]; then  # fork mode reports as it goes
    execs="$(grep -o '^#[0-9]*' "$log" 2>/dev/null | tail -1 | tr -d '#')"
    rate="$(grep -o 'exec/s: [0-9]*' "$log" 2>/dev/null | tail -1 | grep -o '[0-9]*$')"
  fi
  finding="$(grep -m1 -E '^==[0-9]+==ERROR|^SUMMARY|runtime error|reader contract broken|ERROR: libFuzzer|^FAIL|^INFO: log from the inner process' "$log" 2>/dev/null)"
  if [ -n "$finding" ]; then
    status=1
    printf '%-20s %12s %10s  %s\n' "$name" "${execs:--}" "${rate:--}" "FOUND: $finding"
    grep -m1 -o "Test unit written to .*" "$log" | sed 's/^/    /'
  else
    printf '%-20s %12s %10s  %s\n' "$name" "${execs:--}" "${rate:--}" ok
  fi
done
exit $status
