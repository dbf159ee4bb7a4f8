#pragma once
#include "plugin/host_records.h"
#include "plugin/plugin_state.h"

namespace plugin {

// The whole per-frame sequence behind ProcessFrame: 1 when the frame was
// taken in hand, 0 when it was refused (and left untouched).
int32_t RunFramePipeline(State& state, const FrameRequest* request);

}  // namespace plugin
