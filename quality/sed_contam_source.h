#pragma once
// Constituents attached to the overland fines: set-up and the share of the
// top soil layer's sorbed mass that each m3 of detached fine soil carries.

struct model_state;
struct grid_state;
struct sed_contam_state;
struct sed_lake_rows;
struct sediment_state;

// Sorbed mass per m3 of fine soil solids (g/m3) in a top layer holding mass
// (g) of which fraction is dissolved, thickness (m) and porosity under a
// cell of size dx (m), fine_share being the parent soil's share of fine
// classes. 0 where the layer holds no fine solids or the mass is negative.
double sed_soil_pickup_conc(double mass, double fraction, double fine_share, double thickness,
                            double porosity, double dx);

// Sizes the attached-constituent tables and the erosion's face volumes, and
// starts every cell's total from its dissolved mass; with channel lakes it
// points the grid's shore faces at the lakes' attached rows. After the
// constituents' initial state and the channel constituents' arrays.
void init_sed_contam(model_state& state);

// The attached mass of constituent k across the faces the erosion step
// carried the fines over (ov_sed_vol_qsx, ov_sed_vol_qsy), at the upwind
// side's attached concentration, with the suspended volumes (per cell and
// class, volume). Each face is worked once, so both sides move the same
// grams. A cell of a channel lake (lake[j] > 0, null for none) keeps its
// own: across a face between it and a free cell the lake's fines (rows, at
// the fine position of the class) give or take the free cell's.
void sed_contam_carry(const sediment_state& sed, sed_contam_state& s, const grid_state& g, int k,
                      double* volume, const int* lake, const sed_lake_rows& rows);
