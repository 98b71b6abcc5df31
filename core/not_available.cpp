#include "core/not_available.h"

#include "core/error_state.h"

void raise_not_available(const char* name) {
  raise_message("Error: %s is not available in this version.\n", name);
}

bool call_service(model_state& state, state_routine service, const char* name) {
  if (!service) {
    raise_not_available(name);
    return false;
  }
  service(state);
  return true;
}
