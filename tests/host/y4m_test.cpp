#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/video_io.h"
#include "host/y4m.h"

namespace host {
namespace {

TEST(Y4mHeader, ReadsSizeAndColourSpace) {
    const struct {
        const char* line;
        int w, h;
        Chroma chroma;
    } cases[] = {
        {"YUV4MPEG2 W720 H576 F25:1 It A16:15 C422 XYSCSS=422", 720, 576, Chroma::k422},
        {"YUV4MPEG2 W64 H48", 64, 48, Chroma::k420},  // no C tag: 4:2:0
        {"YUV4MPEG2 W64 H48 C420jpeg", 64, 48, Chroma::k420},
        {"YUV4MPEG2 W64 H48 C420mpeg2", 64, 48, Chroma::k420},
        {"YUV4MPEG2 W64 H48 C420paldv", 64, 48, Chroma::k420},
        {"YUV4MPEG2 C444 H2 W2", 2, 2, Chroma::k444},
        {"YUV4MPEG2 W8 H47 Cmono", 8, 47, Chroma::kMono},
        {"YUV4MPEG2  W64   H48 Zunknown ", 64, 48, Chroma::k420},
        {"YUV4MPEG2 W16384 H16384 C422", 16384, 16384, Chroma::k422},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Y4mHeader h;
        std::string error;
        ASSERT_TRUE(ParseY4mHeader(c.line, h, error)) << error;
        EXPECT_EQ(h.width, c.w);
        EXPECT_EQ(h.height, c.h);
        EXPECT_EQ(h.chroma, c.chroma);
        EXPECT_EQ(h.line, c.line);
    }
}

TEST(Y4mHeader, RefusesWhatItCannotCarry) {
    const struct {
        const char* line;
        const char* reason;
    } cases[] = {
        {"", "not a YUV4MPEG2 stream"},
        {"YUV4MPEG W64 H48", "not a YUV4MPEG2 stream"},
        {"\x1a\x45\xdf\xa3 matroska", "not a YUV4MPEG2 stream"},
        {"YUV4MPEG2 H48", "lacks the frame size"},
        {"YUV4MPEG2 W64", "lacks the frame size"},
        {"YUV4MPEG2 W0 H48", "bad width"},
        {"YUV4MPEG2 W-64 H48", "bad width"},
        {"YUV4MPEG2 W64x H48", "bad width"},
        {"YUV4MPEG2 W9999999999 H48", "bad width"},
        {"YUV4MPEG2 W64 H", "bad height"},
        {"YUV4MPEG2 W65 H48", "odd frame width 65"},
        {"YUV4MPEG2 W16386 H48", "too large"},
        {"YUV4MPEG2 W64 H48 C411", "unsupported colour space '411'"},
        {"YUV4MPEG2 W64 H48 C420p10", "unsupported colour space '420p10'"},
        {"YUV4MPEG2 W64 H48 C444alpha", "unsupported colour space"},
        {"YUV4MPEG2 W64 H48 F25", "bad frame rate"},
        {"YUV4MPEG2 W64 H48 A1:", "bad aspect ratio"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Y4mHeader h;
        std::string error;
        EXPECT_FALSE(ParseY4mHeader(c.line, h, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(Y4mHeader, FrameLines) {
    EXPECT_TRUE(IsY4mFrameLine("FRAME"));
    EXPECT_TRUE(IsY4mFrameLine("FRAME Ixyz"));
    EXPECT_FALSE(IsY4mFrameLine("FRAMES"));
    EXPECT_FALSE(IsY4mFrameLine("FRAM"));
    EXPECT_FALSE(IsY4mFrameLine(""));
}

// A stream held in memory, read through the same FILE interface as a file.
class MemoryInput {
public:
    explicit MemoryInput(const std::string& bytes) : bytes_(bytes) {
        file_ = bytes_.empty() ? std::fopen("/dev/null", "rb") : fmemopen(bytes_.data(), bytes_.size(), "rb");
    }
    ~MemoryInput() { std::fclose(file_); }
    FILE* get() const { return file_; }

private:
    std::string bytes_;
    FILE* file_;
};

const std::string k422Header = "YUV4MPEG2 W8 H2 F25:1 C422\n";
constexpr size_t k422Frame = 8 * 2 * 2;

std::string Frame422(uint8_t base) {
    std::string f = "FRAME\n";
    for (size_t i = 0; i < k422Frame; ++i) f.push_back(static_cast<char>(base + i));
    return f;
}

struct Outcome {
    int frames = 0;
    bool error = false;
    std::string message;
};

Outcome ReadAll(const std::string& stream, StreamKind kind = StreamKind::Y4m, int w = 0, int h = 0) {
    MemoryInput in(stream);
    VideoReader reader;
    Outcome out;
    if (!reader.Attach(in.get(), "in", kind, w, h, out.message)) {
        out.error = true;
        return out;
    }
    std::vector<uint8_t> frame(reader.Format().FrameBytes());
    for (;;) {
        ReadResult r = reader.ReadFrame(frame.data(), out.message);
        if (r == ReadResult::End) break;
        if (r == ReadResult::Error) {
            out.error = true;
            break;
        }
        ++out.frames;
    }
    return out;
}

TEST(VideoReader, StopsWithOneClearLineOnBadOrTruncatedInput) {
    const std::string two = k422Header + Frame422(0) + Frame422(100);
    const struct {
        const char* name;
        std::string stream;
        int frames;
        const char* reason;  // null: a clean end
    } cases[] = {
        {"two whole frames", two, 2, nullptr},
        {"header only", k422Header, 0, nullptr},
        {"empty input", "", 0, "empty input"},
        {"header without newline", "YUV4MPEG2 W8 H2 C422", 0, "not a YUV4MPEG2 stream"},
        {"endless header", std::string(5000, 'Y'), 0, "not a YUV4MPEG2 stream"},
        {"bad header", "YUV4MPEG2 W8 C422\n", 0, "lacks the frame size"},
        {"last frame cut in its samples", two.substr(0, two.size() - 5), 1,
         "in: frame 2 is truncated (27 of 32 bytes); it was not written"},
        {"last frame cut after its FRAME line", k422Header + Frame422(0) + "FRAME\n", 1,
         "frame 2 is truncated (0 of 32 bytes)"},
        {"last frame cut in its FRAME line", k422Header + Frame422(0) + "FRA", 1,
         "frame 2 is truncated (the input ends inside its FRAME line)"},
        {"garbage where a frame starts", k422Header + Frame422(0) + "GARBAGE\n" + std::string(32, 'x'), 1,
         "frame 2: expected a FRAME line, found 'GARBAGE'"},
        {"frame longer than its size", k422Header + Frame422(0) + "x" + Frame422(0), 1, "expected a FRAME line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome out = ReadAll(c.stream);
        EXPECT_EQ(out.frames, c.frames);
        EXPECT_EQ(out.error, c.reason != nullptr) << out.message;
        if (c.reason != nullptr) {
            EXPECT_NE(out.message.find(c.reason), std::string::npos) << out.message;
            EXPECT_EQ(out.message.find('\n'), std::string::npos);
        }
    }
}

TEST(VideoReader, RawFramesEndCleanlyOnlyAtAFrameBoundary) {
    const std::string frame(16 * 2 * 2, 'a');
    Outcome whole = ReadAll(frame + frame, StreamKind::Yuyv422, 16, 2);
    EXPECT_FALSE(whole.error) << whole.message;
    EXPECT_EQ(whole.frames, 2);

    Outcome cut = ReadAll(frame + frame.substr(0, 10), StreamKind::Yuyv422, 16, 2);
    EXPECT_TRUE(cut.error);
    EXPECT_EQ(cut.frames, 1);
    EXPECT_NE(cut.message.find("frame 2 is truncated (10 of 64 bytes)"), std::string::npos) << cut.message;

    Outcome rgb = ReadAll(std::string(5 * 3 * 2, 'b'), StreamKind::Bgr24, 5, 3);
    EXPECT_TRUE(rgb.error);
    EXPECT_NE(rgb.message.find("frame 1 is truncated (30 of 45 bytes)"), std::string::npos) << rgb.message;
}

TEST(VideoReader, CountsTheFramesOfARegularFile) {
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    const std::string stream = k422Header + Frame422(0) + Frame422(1) + Frame422(2);
    std::fwrite(stream.data(), 1, stream.size(), file);
    std::rewind(file);
    VideoReader reader;
    std::string error;
    ASSERT_TRUE(reader.Attach(file, "tmp", StreamKind::Y4m, 0, 0, error)) << error;
    EXPECT_EQ(reader.FrameCountHint(), 3);
    std::fclose(file);
}

// Reads every frame of `stream` and writes it back through the writer.
std::string CopyThrough(const std::string& stream) {
    MemoryInput in(stream);
    VideoReader reader;
    std::string error;
    EXPECT_TRUE(reader.Attach(in.get(), "in", StreamKind::Y4m, 0, 0, error)) << error;

    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    {
        VideoWriter writer;
        EXPECT_TRUE(writer.Attach(out, "out", reader.Format(), error)) << error;
        std::vector<uint8_t> frame(reader.Format().FrameBytes());
        while (reader.ReadFrame(frame.data(), error) == ReadResult::Frame) {
            EXPECT_TRUE(writer.WriteFrame(frame.data(), error)) << error;
        }
        EXPECT_TRUE(writer.Close(error)) << error;
    }
    std::fclose(out);
    std::string result(buffer, size);
    std::free(buffer);
    return result;
}

std::string Stream(const std::string& header, size_t frameBytes, int frames) {
    std::string s = header;
    for (int f = 0; f < frames; ++f) {
        s += "FRAME\n";
        for (size_t i = 0; i < frameBytes; ++i) s.push_back(static_cast<char>((i * 37 + f * 11) & 0xff));
    }
    return s;
}

TEST(VideoWriter, KeepsTheHeaderAndLayoutOfTheInput) {
    // Unfiltered frames of these layouts come back byte for byte, header included.
    for (const char* header : {"YUV4MPEG2 W8 H2 F25:1 C422 XYSCSS=422\n", "YUV4MPEG2 W6 H5 F30000:1001 It A1:1\n",
                               "YUV4MPEG2 W4 H3 Cmono\n"}) {
        SCOPED_TRACE(header);
        Y4mHeader h;
        std::string error;
        std::string line(header);
        line.pop_back();
        ASSERT_TRUE(ParseY4mHeader(line, h, error));
        const std::string stream = Stream(header, PlanarFrameBytes(h.chroma, h.width, h.height), 2);
        EXPECT_EQ(CopyThrough(stream), stream);
    }
    // 4:4:4 keeps its layout; chroma within a pixel pair becomes the pair's mean.
    const std::string header = "YUV4MPEG2 W2 H1 C444\nFRAME\n";
    const std::string in = header + std::string{1, 2, 10, 13, 0, '\xff'};
    const std::string expected = header + std::string{1, 2, 12, 12, '\x80', '\x80'};
    EXPECT_EQ(CopyThrough(in), expected);
}

}  // namespace
}  // namespace host
