// libFuzzer target: arbitrary bytes as orv-denoise's YUV4MPEG2 input (stream
// header, FRAME lines with or without parameters, whole and truncated
// frames), read frame by frame as the program does. Every frame read is
// written back; except for 4:4:4, whose chroma the denoiser's 4:2:2 form
// cannot hold, the output must be the input's header and samples exactly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/video_io.h"
#include "host/y4m.h"

namespace {

// Larger frames are valid but only slow the search down; their header is
// still parsed.
constexpr size_t kMaxFuzzFrameBytes = 1 << 20;

// The samples of each frame as the reader must have taken them: after the
// header line, each frame is a line and then `frameBytes` bytes.
std::string ExpectedOutput(const std::string& input, const std::string& headerLine, size_t frameBytes,
                           int64_t frames) {
    std::string expected = headerLine + "\n";
    size_t at = headerLine.size() + 1;
    for (int64_t f = 0; f < frames; ++f) {
        at = input.find('\n', at) + 1;
        expected += "FRAME\n";
        expected.append(input, at, frameBytes);
        at += frameBytes;
    }
    return expected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    host::Y4mHeader header;
    std::string error;
    const size_t newline = input.find('\n');
    if (newline != std::string::npos && host::ParseY4mHeader(input.substr(0, newline), header, error)) {
        host::VideoFormat format;
        format.width = header.width;
        format.height = header.height;
        format.y4m = header;
        if (format.HostFrameBytes() > kMaxFuzzFrameBytes || format.StreamFrameBytes() > kMaxFuzzFrameBytes) return 0;
    }

    FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (in == nullptr) return 0;  // fmemopen refuses empty buffers on some C libraries
    char* written = nullptr;
    size_t writtenSize = 0;
    FILE* out = open_memstream(&written, &writtenSize);
    if (out == nullptr) std::abort();

    host::VideoReader reader;
    host::VideoWriter writer;
    if (reader.Attach(in, "fuzz", host::StreamKind::Y4m, 0, 0, error)) {
        const host::VideoFormat& format = reader.Format();
        if (format.width < 1 || format.height < 1 || format.width > host::kMaxFrameSide ||
            format.height > host::kMaxFrameSide) {
            __builtin_trap();  // the header check lets no such size through
        }
        if (!writer.Attach(out, "out", format, error)) std::abort();
        std::vector<uint8_t> frame(format.FrameBytes());
        host::ReadResult result;
        while ((result = reader.ReadFrame(frame.data(), error)) == host::ReadResult::Frame) {
            if (!writer.WriteFrame(frame.data(), error)) std::abort();
        }
        if (result == host::ReadResult::Error && error.empty()) __builtin_trap();  // a failure says why
        if (!writer.Close(error)) std::abort();
        if (format.y4m.chroma != host::Chroma::k444) {
            const std::string expected =
                ExpectedOutput(input, format.y4m.line, format.StreamFrameBytes(), reader.FramesRead());
            if (std::string(written, writtenSize) != expected) __builtin_trap();
        }
    } else if (error.empty()) {
        __builtin_trap();
    }
    std::fclose(out);
    std::free(written);
    std::fclose(in);
    return 0;
}
