#pragma once
// The grid set-up's readers of the overland lakes and the wetlands, in their
// places of the set-up order: the wetland cells and their properties from
// the mapping table file, and the overland lake map with its lake file.

struct model_state;

// With a WETLAND_PROPERTIES table in the mapping table file: wetland_mask per
// cell [0..cells], the wetland types and their count from the table and its
// index map, then "Simulating wetlands". The table reader's errors stop the
// run. Nothing without the table.
void read_wetland_mask(model_state& state);

// With OVERLAND_LAKE_MAP: the lake number of every cell (0 none) into
// oland_lake_new and oland_lake_mask; the largest number is the lake count
// M; the overland lake file gives lakes 1..M their level and floor, and the
// cells their cell counts and volumes, (level - ground) x dx^2 a cell, m3.
// olake_init_level keeps the levels and olake_initial_volume the lakes'
// sum; overland_lakes is raised once all of it has been read. A negative
// lake number, any failure of the lake file and a lake cell whose ground is
// above its lake's level stop the run (code 4000); the cells after that
// one are not counted.
void read_overland_lake_map(model_state& state);
