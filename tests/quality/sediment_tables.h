#pragma once
// The mapping table the sediment run tests share: three classes of specific
// gravity 2.65 (clay 0.002, silt 0.03 and sand 0.5 mm) and one loam soil
// (splash 60, detachment 2e-5 to the power 1 above 0, transport 1) whose
// parent soil holds 0.3, 0.4 and 0.3 of them. more_maps adds index maps.
// And the channel edit that lets the bank fixture's channel erode.

#include <string>

#include "test_support.h"

namespace sediment_fixture {

inline std::string three_class_loam_tables(const std::string& more_maps = "") {
  using test_support::padded;
  std::string t = "VALTO_INDEX_MAP_TABLES\nINDEX_MAP soils.idx soils\n" + more_maps;
  t += "SEDIMENTS\nNUM_SED 3\nDESCRIPTION                             SG  DIAM  BIND  FILE\n";
  t += padded("Clay", 40) + "2.65  0.002  0.0  clay.out\n";
  t += padded("Silt", 40) + "2.65  0.03  0.0  silt.out\n";
  t += padded("Sand", 40) + "2.65  0.5  0.0  sand.out\n";
  t += "SOIL_EROSION_PROPS soils\nNUM_IDS 1\nNUM_SED 3\nID    DESCRIPTION    VALUES\n";
  t += "1     " + padded("Loam", 80) + "  60  2e-5  1  0  1  0.3  0.4  0.3\n";
  return t;
}

// The bank fixture's channel text with its trapezoid made erodible down
// to 0.5 m.
inline std::string erodible_channel(std::string chan) {
  chan.replace(chan.find("\nTRAPEZOID\n"), 11, "\nTRAPEZOID_ERODE\n");
  chan.replace(chan.find("SIDE_SLOPE 1\n"), 13, "SIDE_SLOPE 1\nMAX_EROSION 0.5\n");
  return chan;
}

// Every trapezoid link of a channel text made erodible down to depth (m),
// as the weirlake fixture's two channels are.
inline std::string erodible_channels(std::string chan, const std::string& depth) {
  for (std::size_t at = chan.find("\nTRAPEZOID\n"); at != std::string::npos;
       at = chan.find("\nTRAPEZOID\n", at + 1))
    chan.replace(at, 11, "\nTRAPEZOID_ERODE\n");
  const std::string eroding = "SIDE_SLOPE 1\nMAX_EROSION " + depth + "\n";
  for (std::size_t at = chan.find("SIDE_SLOPE 1\n"); at != std::string::npos;
       at = chan.find("SIDE_SLOPE 1\n", at + eroding.size()))
    chan.replace(at, 13, eroding);
  return chan;
}

}  // namespace sediment_fixture
