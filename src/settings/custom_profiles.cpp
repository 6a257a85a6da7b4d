#include "engine/custom_proc.h"

// Filled in with the custom profile store.
void TCustomProc::ApplyCustomProfile() {}
