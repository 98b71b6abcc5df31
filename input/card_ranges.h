#pragma once
// The physical range of each number a project card gives. A value outside
// its card's range stops the reading with the file, line, card, value and
// range; a legal value beyond what watersheds show gives one warning.

#include "input/card_table.h"

// True when the card has no range or the value lies inside it; false after
// the message, with the reading stopped.
bool card_value_in_range(const card_row& row, double value, card_reader& reader);
