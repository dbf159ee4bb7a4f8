#pragma once
// The records the host passes to the entry points. On i686 these are the
// host's exact 32-bit layouts; on x86-64 the same members in the same order
// with addresses widened to pointer size.
#include <cstddef>
#include <cstdint>

extern "C" {

typedef int32_t (*ChannelExistsCallback)(uint32_t keyLow, int32_t keyHigh);

struct OpenParams {
    int32_t hostValue;
    ChannelExistsCallback channelExists;
};

struct StreamFormat {
    int32_t width;
    int32_t height;
    int32_t unused8;
    int32_t formatCode;
    int32_t cpuClass;
};

// Processor classes 1 and 2 announced by the host cannot run the plug-in:
// it then processes no frame and shows a message instead of its dialog.
inline bool IsUnsupportedCpu(int32_t cpuClass) { return cpuClass == 1 || cpuClass == 2; }

struct ChannelInfo {
    uint32_t keyLow;
    int32_t keyHigh;
    int32_t unused8;
    char name[1];  // NUL-terminated, sized by the host
};

struct FrameRequest {
    uint8_t* pixels;
    int32_t unused[10];
    ChannelInfo* channel;
};

typedef void (*OpenFn)(const OpenParams*);
typedef int32_t (*StartStreamFn)(const StreamFormat*);
typedef int32_t (*ProcessFrameFn)(const FrameRequest*);
typedef void (*StopStreamFn)(void);
typedef void (*ShowSettingsFn)(void* const* ownerWindow);
typedef void (*CloseFn)(void);

struct PluginDescriptor {
    const char* shortName;
    const char* description;
    OpenFn Open;
    StartStreamFn StartStream;
    ProcessFrameFn ProcessFrame;
    StopStreamFn StopStream;
    ShowSettingsFn ShowSettings;
    CloseFn Close;
};

}  // extern "C"

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(void*) == 4, "i686 host records");
static_assert(offsetof(OpenParams, channelExists) == 4, "OpenParams layout");
static_assert(offsetof(StreamFormat, formatCode) == 12, "StreamFormat layout");
static_assert(offsetof(StreamFormat, cpuClass) == 16, "StreamFormat layout");
static_assert(offsetof(ChannelInfo, keyHigh) == 4, "ChannelInfo layout");
static_assert(offsetof(ChannelInfo, name) == 12, "ChannelInfo layout");
static_assert(offsetof(FrameRequest, channel) == 44, "FrameRequest layout");
static_assert(sizeof(PluginDescriptor) == 32, "PluginDescriptor layout");
#else
static_assert(offsetof(FrameRequest, channel) == 48, "FrameRequest layout");
static_assert(offsetof(ChannelInfo, name) == 12, "ChannelInfo layout");
#endif
