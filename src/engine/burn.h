// The burn sequence: one firmware update from the size check to the last box.
#pragma once

#include "engine/host.h"

// Runs one burn on the calling thread (the burn thread) and returns 0.  A
// call while another run is under way returns at once and changes nothing.
int StartBurn(Host& host);

// True from the moment a run has been claimed until its finish.
bool BurnInProgress();
