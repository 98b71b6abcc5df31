#!/bin/bash
# The refined basin (examples/basin 8 x 8 finer: 29248 cells, so the
# aquifer's line solve and its wavefront run on a team of up to 7 threads)
# run again and again at 2, 4 and 8 threads, each run under a timeout: a
# run that does not end in time
# counts as a hang, and there must be none. Every run's output files must
# equal, byte for byte, those of a run on one thread made first; the
# 1-thread time and each count's times are printed beside the load
# average, which says how busy the machine was. A run covers the first 90
# minutes of the basin's days (END_TIME), the last half hour under rain,
# so that it takes a few seconds. Before the runs at a thread count,
# gw_team_probe (built beside the program) runs the basin once the same way
# and prints how many line solves had their sweeps on a team and the widest
# team: a count whose solves found no team is a failure, for then the runs
# test nothing of the team.
#
#   bench/refined_basin_runs.sh [RUNS [TIMEOUT_S [VALTO]]]
#
# RUNS a thread count (200 by default), TIMEOUT_S a run (600), VALTO the
# program (build/release/valto).
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-200}
limit=${2:-600}
valto=$(realpath "${3:-$here/build/release/valto}")
probe=$(dirname "$valto")/gw_team_probe
work=$(mktemp -d "${TMPDIR:-/tmp}/valto_refined_basin.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 "$here/bench/refine_basin.py" "$here/examples/basin" "$work/source" 8 || exit 1
echo "END_TIME 2001 3 10 1 30" >>"$work/source/basin.prj"
(cd "$work/source" && find . -type f | sort) >"$work/inputs.list"
# The files a run leaves in its folder: all but its inputs, its console log
# and its wall-time record.
outputs() {
  (cd "$1" && find . -type f ! -name out_time.out ! -name run.log | sort) | comm -23 - "$work/inputs.list"
}
load() { cut -d' ' -f1-3 /proc/loadavg; }

# One run in a fresh copy; prints its status (124 when it timed out) and
# its wall time in seconds.
run_once() {
  local threads=$1 dir=$2
  rm -rf "$dir"
  cp -r "$work/source" "$dir"
  local start end status
  start=$(date +%s.%N)
  (cd "$dir" && OMP_NUM_THREADS=$threads timeout -s KILL "$limit" "$valto" basin.prj >run.log 2>&1)
  status=$?
  end=$(date +%s.%N)
  [ $status -eq 137 ] && status=124
  echo "$status $(echo "$end - $start" | bc)"
}

same_as_reference() {
  local dir=$1 f
  [ "$(outputs "$dir")" = "$(cat "$work/reference.list")" ] || return 1
  while read -r f; do cmp -s "$work/reference/$f" "$dir/$f" || return 1; done <"$work/reference.list"
}

echo "refined basin, $runs runs a thread count, timeout $limit s, program $valto"
echo "load average before: $(load)"
read -r status one < <(run_once 1 "$work/reference")
if [ "$status" -ne 0 ]; then
  echo "the 1-thread reference run failed (status $status):"; tail -5 "$work/reference/run.log"; exit 1
fi
outputs "$work/reference" >"$work/reference.list"
echo "1 thread: $one s (load average $(load)), $(wc -l <"$work/reference.list") output files"

# Prints the probe's line for a thread count; fails where the line solves
# found no team.
team_of() {
  local threads=$1 dir=$work/probe line
  rm -rf "$dir"
  cp -r "$work/source" "$dir"
  line=$(cd "$dir" && OMP_NUM_THREADS=$threads timeout -s KILL "$limit" "$probe" . basin.prj 2>&1 | tail -1)
  echo "$threads threads: $line (load average $(load))"
  [[ $line =~ ", "[1-9][0-9]*" of them on a team, the widest "([0-9]+)" threads; run status 0" ]] &&
    [ "${BASH_REMATCH[1]}" -gt 1 ]
}

total_hangs=0
total_bad=0
no_team=0
for threads in 2 4 8; do
  hangs=0 failed=0 differ=0 times=()
  if [ -x "$probe" ]; then
    team_of "$threads" || { no_team=$((no_team + 1)); echo "  $threads threads: the line solves found NO TEAM"; }
  else
    echo "$threads threads: groundwater team not checked ($probe not built)"
  fi
  for ((k = 1; k <= runs; ++k)); do
    read -r status seconds < <(run_once "$threads" "$work/run")
    if [ "$status" -eq 124 ]; then
      hangs=$((hangs + 1)); echo "  $threads threads, run $k: no end after $limit s (load average $(load))"
    elif [ "$status" -ne 0 ]; then
      failed=$((failed + 1)); echo "  $threads threads, run $k: status $status"
    else
      times+=("$seconds")
      same_as_reference "$work/run" || { differ=$((differ + 1)); echo "  $threads threads, run $k: outputs differ from 1 thread"; }
    fi
  done
  summary=$(printf '%s\n' "${times[@]:-}" | sort -g | awk 'NF { t[n++] = $1; s += $1 }
    END { if (n) printf "min %.2f s, median %.2f s, max %.2f s, mean %.2f s", t[0], t[int(n / 2)], t[n - 1], s / n; else printf "no run ended" }')
  echo "$threads threads: $runs runs, hangs $hangs, failed $failed, outputs differing $differ; $summary; 1 thread $one s; load average $(load)"
  total_hangs=$((total_hangs + hangs))
  total_bad=$((total_bad + failed + differ))
done
echo "hangs: $total_hangs (must be 0); failed or differing runs: $total_bad (must be 0);" \
  "thread counts without a groundwater team: $no_team (must be 0); load average $(load)"
[ $total_hangs -eq 0 ] && [ $total_bad -eq 0 ] && [ $no_team -eq 0 ]
