#pragma once
// The gate for processes this version does not run yet. A switch card of such
// a process is stored but does not act, and the run is refused at the end of
// the option checks; an output card of a file this version does not write is
// cleared as it is read, with a warning; a parameter card is stored silently.
// As each process is built, its feature leaves the list of unbuilt features.

#include <span>

#include "input/card_table.h"

struct project_settings;

// Features whose switch and output cards are gated.
std::span<const card_feature> unbuilt_features();
bool feature_unbuilt(card_feature feature);

// How the reader applies a card: apply, store_only (a switch of an unbuilt
// process) or clear (an output this version does not write).
card_mode gate_mode(const card_row& row);

// The words naming a feature in the gate's messages.
const char* feature_text(card_feature feature);

// "Warning: the project card %s asks for %s, which this version does not
// write; the card is ignored."
void warn_unwritten_output(const card_row& row);

// When switch cards of unbuilt processes were read, or OVERTYPE names a
// scheme that does not exist, and no error is pending: one line per card and
// code 4000. The last of the option checks.
void refuse_unbuilt_cards(const project_settings& settings);

// The card word in upper case, as the user writes it in the messages.
void upper_card_word(const char* word, char* out, int capacity);
