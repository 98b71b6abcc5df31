#!/bin/sh
# Writes basin_calib.obs, the "observations" the calibration examples score
# their trials against: the two storms' outlet peaks (m3/s) and volumes (m3)
# of basin_calib.prj run at RETENTION 3 and K_RIVER 0.72, each with weight 1.
# Rerun it whenever the model's results change, then update the README's
# figures (python3 examples/readme_figures.py --update).
#
#   examples/basin/make_calib_obs.sh [path/to/valto [output file]]
set -e
here=$(cd "$(dirname "$0")" && pwd)
valto=${1:-$here/../../build/release/valto}
obs=${2:-$here/basin_calib.obs}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in "$here"/*; do [ -f "$f" ] && cp "$f" "$work/"; done
sed -e 's/\[RET\]/3/' -e 's/\[KRIV\]/0.72/' "$here/basin_calib.prj" > "$work/obs_run.prj"
printf 'OPTIMIZE\nQUIET\n' >> "$work/obs_run.prj"
if ! (cd "$work" && "$valto" obs_run.prj > run.log 2>&1); then
  cat "$work/run.log"
  exit 1
fi
# valto_optim.out: per event its number, peak and volume; then one row of the
# event count + 1 and the run's whole outlet volume, which is no event.
awk 'NF == 3 { rows[++n] = sprintf("%.3f 1 %.1f 1", $2, $3) }
     END { print n; for (k = 1; k <= n; ++k) print rows[k] }' "$work/valto_optim.out" \
  > "$obs"
cat "$obs"
