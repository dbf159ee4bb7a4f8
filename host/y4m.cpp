#include "host/y4m.h"

#include <cstdlib>
#include <vector>

namespace host {

namespace {

constexpr char kMagic[] = "YUV4MPEG2";

// A positive decimal number of at most nine digits; no sign, nothing after.
bool ParseDimension(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return v > 0;
}

bool ParseRatio(const std::string& text) {
    size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != colon && (text[i] < '0' || text[i] > '9')) return false;
    }
    return true;
}

bool ParseColourSpace(const std::string& value, Chroma& chroma) {
    if (value == "420jpeg" || value == "420paldv" || value == "420mpeg2" || value == "420") {
        chroma = Chroma::k420;
    } else if (value == "422") {
        chroma = Chroma::k422;
    } else if (value == "444") {
        chroma = Chroma::k444;
    } else if (value == "mono") {
        chroma = Chroma::kMono;
    } else {
        return false;
    }
    return true;
}

std::vector<std::string> SplitTokens(const std::string& line) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) tokens.push_back(line.substr(start, i - start));
    }
    return tokens;
}

}  // namespace

bool ParseY4mHeader(const std::string& line, Y4mHeader& header, std::string& error) {
    Y4mHeader h;
    h.line = line;
    std::vector<std::string> tokens = SplitTokens(line);
    if (tokens.empty() || tokens[0] != kMagic) {
        error = "not a YUV4MPEG2 stream (raw frames need --size and --format)";
        return false;
    }
    bool haveWidth = false, haveHeight = false;
    for (size_t t = 1; t < tokens.size(); ++t) {
        const std::string& token = tokens[t];
        const std::string value = token.substr(1);
        switch (token[0]) {
            case 'W':
                if (!ParseDimension(value, h.width)) {
                    error = "bad width in YUV4MPEG2 header: '" + token + "'";
                    return false;
                }
                haveWidth = true;
                break;
            case 'H':
                if (!ParseDimension(value, h.height)) {
                    error = "bad height in YUV4MPEG2 header: '" + token + "'";
                    return false;
                }
                haveHeight = true;
                break;
            case 'C':
                if (!ParseColourSpace(value, h.chroma)) {
                    error = "unsupported colour space '" + value +
                            "' (8-bit 420jpeg, 420paldv, 420mpeg2, 422, 444 and mono are accepted)";
                    return false;
                }
                h.colourSpace = value;
                break;
            case 'F':
                if (!ParseRatio(value)) {
                    error = "bad frame rate in YUV4MPEG2 header: '" + token + "'";
                    return false;
                }
                h.rate = value;
                break;
            case 'A':
                if (!ParseRatio(value)) {
                    error = "bad aspect ratio in YUV4MPEG2 header: '" + token + "'";
                    return false;
                }
                break;
            default:
                // I (interlacing), X (comments) and tags unknown to us are carried through.
                break;
        }
    }
    if (!haveWidth || !haveHeight) {
        error = "YUV4MPEG2 header lacks the frame size (W and H)";
        return false;
    }
    if (h.width > kMaxFrameSide || h.height > kMaxFrameSide) {
        error = "frame size " + std::to_string(h.width) + "x" + std::to_string(h.height) +
                " is too large (at most " + std::to_string(kMaxFrameSide) + " per side)";
        return false;
    }
    if (h.width % 2 != 0) {
        error = "odd frame width " + std::to_string(h.width) + " (pixel pairs share chroma; the width must be even)";
        return false;
    }
    header = h;
    return true;
}

bool IsY4mFrameLine(const std::string& line) {
    return line.compare(0, 5, "FRAME") == 0 && (line.size() == 5 || line[5] == ' ');
}

const char* ChromaName(Chroma chroma) {
    switch (chroma) {
        case Chroma::k420: return "4:2:0";
        case Chroma::k422: return "4:2:2";
        case Chroma::k444: return "4:4:4";
        case Chroma::kMono: return "grey";
    }
    return "?";
}

}  // namespace host
