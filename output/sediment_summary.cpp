// The overland sediment block of the summaries: every class's eroded soil
// against where it went (deposited, still suspended, through the outlet),
// so that the user reads whether the class balance closes.

#include "output/sediment_summary.h"

#include "quality/sediment_state.h"

void print_overland_sediment_summary(std::FILE* f, const sediment_state& sed, bool event) {
  if (!sed.on || sed.mode != 1 || sed.totals.size() < std::size_t(sed.classes) + 1) return;
  std::fputs("Overland Sediment Summary\n", f);
  if (event) std::fputs("Quantities are running totals for simulation - NOT EVENT \n", f);
  for (int i = 1; i <= sed.classes; ++i) {
    const sed_class_total& t = sed.totals[std::size_t(i)];
    const long k = i;
    const double eroded = -t.eroded;
    std::fprintf(f, "Total sediment %ld eroded from surface:        %16.8lf m3\n", k, eroded);
    std::fprintf(f, "Total sediment %ld deposited on surface:       %16.8lf m3\n", k, t.deposited);
    std::fprintf(f, "Total sediment %ld remaining in suspension:    %16.8lf m3\n", k, t.suspended);
    std::fprintf(f, "Total sediment %ld routed through outlet       %16.8lf m3\n", k, t.routed);
    // Nothing eroded leaves the error undefined, and it shows so.
    const double error = (eroded - (t.deposited + t.suspended + t.routed)) / eroded * 100.0;
    std::fprintf(f, event ? "Mass balance error for sediment %ld %10.4lf percent \n"
                          : "Mass balance error for sediment %ld %10.4lf \n",
                 k, error);
    std::fputs("\n", f);
  }
  std::fputs("\n", f);
}
