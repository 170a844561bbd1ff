// The GPU stand-in's pixel work: one queued command written into its target
// buffer. Built over cairo when it is available (host builds); without it
// the stand-in records and completes commands but writes no pixels.
#pragma once

#include "platform/vglite/vg_lite_sim.h"

namespace tarvelo::vglite {

// Writes the pixels of a Draw or Blit command; false when rasterising is
// not built in.
bool rasterise(const Command& command);

}  // namespace tarvelo::vglite
