#pragma once
// YUV4MPEG2 stream and frame headers.
//
// A stream starts with one text line "YUV4MPEG2" followed by space-separated
// tags (W width, H height, F rate, I interlacing, A aspect, C colour space,
// X comment), then holds frames, each a line starting with "FRAME" and the
// planar Y, U and V samples.
#include <cstdint>
#include <string>

#include "host/chroma.h"

namespace host {

constexpr size_t kMaxY4mLine = 4096;  // header and FRAME lines, newline excluded
constexpr int kMaxFrameSide = 16384;  // the denoiser's largest side

struct Y4mHeader {
    int width = 0;
    int height = 0;
    Chroma chroma = Chroma::k420;  // a stream without a C tag is 4:2:0
    std::string colourSpace = "420jpeg";
    std::string rate;  // "num:den" as written, empty when absent
    std::string line;  // the whole header line without its newline
};

// Parses a stream header line (without the newline). On failure returns false
// and a one-line reason in `error`.
bool ParseY4mHeader(const std::string& line, Y4mHeader& header, std::string& error);

// Validates a FRAME line (without the newline): "FRAME" alone or followed by
// a space and parameters, which are ignored.
bool IsY4mFrameLine(const std::string& line);

// Name of the chroma layout for messages ("4:2:0", ...).
const char* ChromaName(Chroma chroma);

}  // namespace host
