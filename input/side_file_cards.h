#pragma once
// The project cards that read a side file as soon as they are met: time and
// elevation series, the replacement list and values, and the XY boundary
// inputs. Each sees only what earlier cards of the file have set.

struct card_row;
struct card_records;
struct card_reader;

// Acts on the card of row when it is one of these, after its name has been
// stored; any other card is left alone.
void read_side_file_card(const card_row& row, card_records& records, card_reader& reader);
