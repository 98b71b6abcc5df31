#!/bin/bash
# Every output file of every example project and of the refined basin
# (examples/basin 8 x 8 finer, bench/refine_basin.py, over the first 90
# minutes, so that the aquifer's line solve runs on a team), run whole at 1,
# 2, 3, 4 and 8 threads: each must equal the 1-thread run's byte for byte
# (the wall-time record out_time.out and the summary's run-time lines
# aside). Prints each run's time and the load average beside it.
#
#   bench/thread_identity.sh [VALTO]
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
valto=$(realpath "${1:-$here/build/release/valto}")
work=$(mktemp -d "${TMPDIR:-/tmp}/valto_thread_identity.XXXXXX")
trap 'rm -rf "$work"' EXIT
load() { cut -d' ' -f1-3 /proc/loadavg; }

for example in "$here"/examples/*/; do cp -r "$example" "$work/$(basename "$example")"; done
python3 "$here/bench/refine_basin.py" "$here/examples/basin" "$work/refined_basin" 8 || exit 1
for project in "$work"/refined_basin/*.prj; do echo "END_TIME 2001 3 10 1 30" >>"$project"; done

# The files a run left in its folder, less its inputs, its console log and
# its wall-time record; the summary's run-time lines dropped.
keep_outputs() {
  local dir=$1 inputs=$2 into=$3 f
  mkdir -p "$into"
  (cd "$dir" && find . -type f ! -name out_time.out ! -name run.log | sort) | comm -23 - "$inputs" |
    while read -r f; do
      mkdir -p "$into/$(dirname "$f")"
      grep -v -i 'run time' "$dir/$f" >"$into/$f"
      rm -f "$dir/$f"
    done
}

differ=0
checked=0
for folder in "$work"/*/; do
  folder=${folder%/}
  (cd "$folder" && find . -type f | sort) >"$folder.inputs"
  for project in "$folder"/*.prj; do
    project=$(basename "$project")
    case $project in *_calib*) continue ;; esac  # run under the calibration driver
    name="$(basename "$folder")/$project"
    for threads in 1 2 3 4 8; do
      start=$(date +%s.%N)
      (cd "$folder" && OMP_NUM_THREADS=$threads "$valto" "$project" >run.log 2>&1)
      status=$?
      seconds=$(echo "$(date +%s.%N) - $start" | bc)
      out="$work/out/$name/$threads"
      keep_outputs "$folder" "$folder.inputs" "$out"
      if [ $status -ne 0 ]; then
        echo "$name, $threads threads: status $status"; differ=$((differ + 1)); continue
      fi
      if [ "$threads" -eq 1 ]; then
        files=$(find "$out" -type f | wc -l)
        printf '%-32s 1 thread  %8.2f s, %3d output files, load average %s\n' "$name" "$seconds" "$files" "$(load)"
        continue
      fi
      if diff -rq "$work/out/$name/1" "$out" >"$work/diff.txt"; then verdict=identical
      else verdict="DIFFER: $(wc -l <"$work/diff.txt") files"; differ=$((differ + 1)); head -3 "$work/diff.txt"; fi
      printf '%-32s %d threads %8.2f s, %s, load average %s\n' "$name" "$threads" "$seconds" "$verdict" "$(load)"
      checked=$((checked + 1))
    done
  done
done
echo "runs compared with 1 thread: $checked, differing or failed: $differ (must be 0); load average $(load)"
[ $differ -eq 0 ]
