#pragma once
// The sediment blocks of the event and end-of-run summaries: the overland
// classes, and with channel sediment the sand and wash load of the network
// and its lakes.

#include <cstdio>

struct quality_state;
struct channel_state;

// Per class the eroded (sign turned), deposited, suspended and routed (or,
// with channel sediment, carried into the channels) volumes with the
// class's balance error. The event form says that the volumes are the
// run's, not the event's, and gives the error in percent.
void print_overland_sediment_summary(std::FILE* f, const quality_state& q, bool event);

// The channel block: every class carried into the channels, the sand and
// wash-load balances with their errors, and with channel lakes each lake's
// sediment. The event form shows the event's quantities since the last
// event summary, which it marks for the next one.
void print_channel_sediment_summary(std::FILE* f, quality_state& q, bool event);

// "new_bed_elevations.txt": every node's bed now and at the start, links in
// input order (a lake link one line). Written after the end-of-run channel
// block; an open failure stops the run (4000).
void write_bed_elevations(const quality_state& q, const channel_state& chan);
