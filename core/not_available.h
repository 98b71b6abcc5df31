#pragma once
// The stop for a routine whose process this version does not have yet: the
// run ends with "Error: NAME is not available in this version." and code 4000
// rather than going on as if the routine had done its work.

struct model_state;
using state_routine = void (*)(model_state&);

// Prints the message (screen and summary file) and raises 4000.
void raise_not_available(const char* name);

// Calls a service of another subsystem installed in the run record; when none
// is installed the run stops as not available under name. True when called.
bool call_service(model_state& state, state_routine service, const char* name);
