#pragma once
// The overland lake file: each overland lake's starting water-surface
// elevation and volume, one LAKE line per lake.
//
//   VALTO_OVERLAND_LAKE_FILE      first line; any leading part of the word
//                                 in any case (an empty line too) is taken
//   LAKE n elevation volume       one per lake 1..M; other lines are passed over
//
// Lines hold at most 20000 characters.

#include <string>
#include <vector>

#include "surface/surface_state.h"

class safe_file;

// 0 when the line's first word is LAKE (any case, the whole word), else 1 (a
// line without a word too). The first word and the blanks before it leave
// the line either way.
int is_lake_card(std::string& line);

// Reads the open lake file (path names it in the messages) for lakes
// 1..lake_count, the largest number of the lake map. On success lakes holds
// lake_count + 1 records, entry 0 and every lake without a LAKE line zeroed,
// and each LAKE line has set its lake's level and floor to the elevation and
// its volume (a later line for the same lake wins); each line is echoed with
// the running count. The records are made only once the file is known to
// hold lake_count LAKE lines, so a stray large lake number in the map costs
// no memory.
//
// False with code 4000 and the file's message for a first word that is not
// the card, a count of LAKE lines that is not lake_count (none at all is a
// premature end of file), a line longer than 20000 characters, a LAKE line
// whose lake number, elevation and volume are not numbers, or a lake number
// outside 1..lake_count; lakes is left empty then.
bool read_lake_file(safe_file& file, const char* path, int lake_count,
                    std::vector<olake_record>& lakes);
