#pragma once
// The split of a cell's constituent mass between its water and the fine
// suspended sediment, by a linear partition coefficient: each fine class
// takes Kd x its sediment concentration parts for every one part the water
// holds. Sand carries nothing.

// What a cell's partition gives, per sediment class [0..classes]; index 0
// holds the sums over the fine classes.
struct sed_partition_out {
  double* sed_conc;     // suspended sediment per m3 of water, g/m3
  double* attached;     // share of the cell's total mass attached to the class
  double* contam_conc;  // attached mass per m3 of suspended sediment, g/m3
};

// Partition of total_mass (g) on a cell of size dx (m) under depth (m) of
// water, with volume[k] (m3) of suspended sediment of class k of particle
// density[k] (g/m3 of sediment; sand[k] 1 for a sand class) and partition
// coefficient kd (L/kg). Returns the dissolved share of the total. A dry cell
// keeps its shares and concentrations (only the summed sediment
// concentration is cleared) and returns previous_dissolved.
double sed_contam_partition(int classes, const double* density, const int* sand,
                            const double* volume, double depth, double dx, double kd,
                            double total_mass, double previous_dissolved,
                            const sed_partition_out& out);
