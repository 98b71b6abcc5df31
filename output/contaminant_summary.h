#pragma once
// The dissolved constituents' blocks of the end-of-run and event summaries:
// per constituent the soil, overland and global balances in kilograms, each
// with its error in percent.

#include <cstdio>

struct model_state;

void print_contaminant_run_summary(std::FILE* f, const model_state& state);
void print_contaminant_event_summary(std::FILE* f, const model_state& state);
