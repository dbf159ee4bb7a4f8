#pragma once
// The six entry points of the descriptor, callable directly from C++ (the
// command-line host links them statically).
#include "plugin/host_records.h"

namespace plugin {

void Open(const OpenParams* params);
int32_t StartStream(const StreamFormat* format);
int32_t ProcessFrame(const FrameRequest* request);
void StopStream();
void ShowSettings(void* const* ownerWindow);
void Close();

const PluginDescriptor* Descriptor();

}  // namespace plugin
