#!/usr/bin/env python3
"""Draws the basin example's outlet hydrograph with its lake level, and the
overland depth map with the most cells under water, from the files a run of
examples/basin/basin.prj leaves beside the project.

    cd examples/basin && ../../build/release/valto basin.prj
    python3 ../plot_basin.py            # writes basin.png here
    python3 ../plot_basin.py RUN_FOLDER OUT.png

Needs numpy and matplotlib only.
"""

import glob
import os
import sys

import matplotlib

matplotlib.use("Agg")  # no display needed
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.colors import LogNorm  # noqa: E402
import numpy as np  # noqa: E402


def decimal_year_to_days(year_column):
    """Days since 1 January 00:00 of the first row's year. The model counts
    the day of the year from 1 (1 January 00:00 reads year + 1440/D), so
    one day is taken off."""
    year = np.floor(year_column[0])
    leap = (int(year) - 1900) % 4 == 0
    minutes_in_year = 527040.0 if leap else 525600.0
    return (year_column - year) * minutes_in_year / 1440.0 - 1.0


def read_ascii_grid(name):
    header = {}
    with open(name) as f:
        for _ in range(6):
            key, value = f.readline().split()
            header[key.lower()] = float(value)
    values = np.loadtxt(name, skiprows=6)
    values[values <= header["nodata_value"] + 1e-6] = np.nan
    return header, values


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "."
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(folder, "basin.png")

    hyd = np.loadtxt(os.path.join(folder, "basin_outlet.hyd"))
    days = decimal_year_to_days(hyd[:, 0])
    # basin_lake.out: year month day hour minute level(m) volume(m3)
    lake = np.loadtxt(os.path.join(folder, "basin_lake.out"))
    lake_days = (lake[:, 2] - 1) + lake[:, 3] / 24.0 + lake[:, 4] / 1440.0
    # Day of the year of the lake rows, from their own dates (March of 2001).
    month_start = {1: 0, 2: 31, 3: 59, 4: 90, 5: 120, 6: 151, 7: 181, 8: 212, 9: 243,
                   10: 273, 11: 304, 12: 334}
    lake_days += np.array([month_start[int(m)] for m in lake[:, 1]])
    first = np.floor(min(days[0], lake_days[0]))

    maps = sorted(glob.glob(os.path.join(folder, "maps", "depth.*.asc")))
    if not maps:
        sys.exit("no maps/depth.*.asc in %s: run basin.prj first" % folder)
    # The map with the most cells under water (the lake's are always).
    wettest, wettest_count, header = None, -1, None
    for name in maps:
        h, grid = read_ascii_grid(name)
        count = int(np.sum(grid > 0))
        if count > wettest_count:
            wettest, wettest_count, header, depth = name, count, h, grid

    fig, (ax_q, ax_map) = plt.subplots(2, 1, figsize=(8, 9),
                                       gridspec_kw={"height_ratios": [1, 1.3]})
    ax_q.plot((days - first) * 24.0, hyd[:, 1], color="tab:blue", label="outlet discharge")
    ax_q.set_xlabel("hours from 10 March 2001 00:00")
    ax_q.set_ylabel("outlet discharge (m3/s)", color="tab:blue")
    ax_lake = ax_q.twinx()
    ax_lake.plot((lake_days - first) * 24.0, lake[:, 5], color="tab:green", label="lake level")
    ax_lake.set_ylabel("lake level (m)", color="tab:green")
    ax_q.set_title("basin outlet hydrograph and lake level")

    dx = header["cellsize"]
    extent = [0, header["ncols"] * dx, 0, header["nrows"] * dx]
    # The lake's cells stand metres deep, the land's a few millimetres: a
    # logarithmic scale shows both.
    shown = np.where(depth > 0, depth * 1000.0, np.nan)  # mm
    low = max(np.nanmin(shown), 0.01) if np.any(shown > 0) else 0.01
    image = ax_map.imshow(shown, extent=extent, cmap="viridis", origin="upper",
                          norm=LogNorm(vmin=low, vmax=max(np.nanmax(shown), low * 10)))
    ax_map.contour(np.isnan(depth), levels=[0.5], colors="grey", linewidths=0.8,
                   extent=extent, origin="upper")
    fig.colorbar(image, ax=ax_map, label="overland depth (mm, cells with water)")
    ax_map.set_title("overland depth, %s (the wettest map)" % os.path.basename(wettest))
    ax_map.set_xlabel("m east")
    ax_map.set_ylabel("m north")
    fig.tight_layout()
    fig.savefig(out, dpi=90)
    print("wrote %s" % out)


if __name__ == "__main__":
    main()
