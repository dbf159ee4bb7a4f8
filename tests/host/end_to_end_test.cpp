// Runs the built orv-denoise on small generated clips, the way scripts use it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "host/chroma.h"

namespace host {
namespace {

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orv-denoise-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    // Runs orv-denoise with `args` (shell words); stdin from `in`, stdout and
    // stderr into files. Returns the exit status, or 128 + signal.
    int Run(const std::string& args, const std::string& in = "/dev/null", const std::string& out = "/dev/null") {
        const std::string cmd = std::string(ORV_DENOISE_PATH) + " " + args + " < '" + in + "' > '" + out + "' 2> '" +
                                Path("stderr") + "'";
        int status = std::system(cmd.c_str());
        if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
        return WEXITSTATUS(status);
    }
    std::string Stderr() const { return Read(Path("stderr")); }

    static std::string Read(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    static void Write(const std::string& path, const std::string& bytes) {
        std::ofstream f(path, std::ios::binary);
        f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    static bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

    std::string dir_;
};

// Planar 4:2:2 frames of a moving ramp with fixed-seed noise.
std::vector<std::vector<uint8_t>> NoisyPlanar422(int w, int h, int frames) {
    std::mt19937 rng(1234);
    std::normal_distribution<double> noise(0.0, 6.0);
    std::vector<std::vector<uint8_t>> out;
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> planar(PlanarFrameBytes(Chroma::k422, w, h));
        size_t i = 0;
        auto put = [&](double v) {
            v += noise(rng);
            planar[i++] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        };
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) put(60 + 2.0 * ((x + f) % 64) + y);
        for (int c = 0; c < 2; ++c)
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w / 2; ++x) put(128 + (c ? 20 : -20) + x % 8);
        out.push_back(planar);
    }
    return out;
}

std::string Y4m(const std::string& header, const std::vector<std::vector<uint8_t>>& frames) {
    std::string s = header + "\n";
    for (const auto& f : frames) s += "FRAME\n" + std::string(f.begin(), f.end());
    return s;
}

std::string Yuyv(int w, int h, const std::vector<std::vector<uint8_t>>& frames) {
    std::string s;
    for (const auto& f : frames) {
        std::vector<uint8_t> packed(static_cast<size_t>(w) * h * 2);
        PlanarToPacked(Chroma::k422, w, h, f.data(), packed.data());
        s.append(packed.begin(), packed.end());
    }
    return s;
}

constexpr int kW = 48, kH = 32, kFrames = 6;
constexpr size_t kPacked = static_cast<size_t>(kW) * kH * 2;

TEST_F(EndToEnd, RawFramesFromStdinToStdoutMatchTheSameClipAsY4m) {
    const auto frames = NoisyPlanar422(kW, kH, kFrames);
    Write(Path("in.yuyv"), Yuyv(kW, kH, frames));
    Write(Path("in.y4m"), Y4m("YUV4MPEG2 W48 H32 F25:1 Ip A1:1 C422", frames));

    ASSERT_EQ(Run("--size 48x32 --format yuyv422 - -", Path("in.yuyv"), Path("out.yuyv")), 0) << Stderr();
    EXPECT_EQ(Stderr(), "");  // not a terminal: no progress line
    const std::string raw = Read(Path("out.yuyv"));
    ASSERT_EQ(raw.size(), kPacked * kFrames);
    EXPECT_NE(raw, Read(Path("in.yuyv")));  // the noise was filtered

    ASSERT_EQ(Run("'" + Path("in.y4m") + "' -", "/dev/null", Path("out.y4m")), 0) << Stderr();
    EXPECT_EQ(Read(Path("out.y4m")), Y4m("YUV4MPEG2 W48 H32 F25:1 Ip A1:1 C422", {}) + [&] {
        // The filtered raw frames, back in planar 4:2:2 with FRAME lines.
        std::string s;
        for (int f = 0; f < kFrames; ++f) {
            std::vector<uint8_t> planar(PlanarFrameBytes(Chroma::k422, kW, kH));
            PackedToPlanar(Chroma::k422, kW, kH, reinterpret_cast<const uint8_t*>(raw.data()) + f * kPacked,
                           planar.data());
            s += "FRAME\n" + std::string(planar.begin(), planar.end());
        }
        return s;
    }());
}

TEST_F(EndToEnd, SettingsAndSplitViewReachTheFilter) {
    const auto frames = NoisyPlanar422(kW, kH, kFrames);
    const std::string in = Yuyv(kW, kH, frames);
    Write(Path("in.yuyv"), in);
    const std::string raw = "--size 48x32 --format yuyv422 - -";

    ASSERT_EQ(Run(raw + " --off", Path("in.yuyv"), Path("off")), 0) << Stderr();
    EXPECT_EQ(Read(Path("off")), in);

    ASSERT_EQ(Run(raw + " --mc yuv --threshold 30,30,30 --auto none", Path("in.yuyv"), Path("a")), 0) << Stderr();
    ASSERT_EQ(Run(raw + " --mc none --threshold 30,30,30 --auto none", Path("in.yuyv"), Path("b")), 0) << Stderr();
    EXPECT_NE(Read(Path("a")), Read(Path("b")));

    // Split view: below the two marker rows (15 and 16) every frame is the input.
    ASSERT_EQ(Run(raw + " --demo", Path("in.yuyv"), Path("demo")), 0) << Stderr();
    const std::string demo = Read(Path("demo"));
    ASSERT_EQ(demo.size(), in.size());
    const size_t row = kW * 2;
    for (int f = 1; f < kFrames; ++f) {
        EXPECT_EQ(demo.substr(f * kPacked + 17 * row, 15 * row), in.substr(f * kPacked + 17 * row, 15 * row));
        EXPECT_NE(demo.substr(f * kPacked, 15 * row), in.substr(f * kPacked, 15 * row));
    }
}

TEST_F(EndToEnd, StatsHaveARowPerFrameAndPlane) {
    Write(Path("in.y4m"), Y4m("YUV4MPEG2 W48 H32 C422", NoisyPlanar422(kW, kH, kFrames)));
    ASSERT_EQ(Run("--mc yu --stats '" + Path("s.csv") + "' '" + Path("in.y4m") + "' /dev/null"), 0) << Stderr();
    std::istringstream csv(Read(Path("s.csv")));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "frame,plane,snr_db,frame_snr_db,threshold,noise_level,scene_change");
    int rows = 0;
    while (std::getline(csv, line)) {
        const int frame = rows / 3 + 1;
        const char plane = "YUV"[rows % 3];
        SCOPED_TRACE(line);
        EXPECT_EQ(line.rfind(std::to_string(frame) + "," + plane + ",", 0), 0u);
        // V has no motion compensation, so it is not analysed.
        EXPECT_EQ(line.find(",,") != std::string::npos, plane == 'V');
        ++rows;
    }
    EXPECT_EQ(rows, 3 * kFrames);
}

TEST_F(EndToEnd, OtherLayoutsComeBackInTheirOwnForm) {
    // Unfiltered 4:2:0 comes back exactly; BGR24 passes untouched with processing off and keeps its size with it on.
    std::string y420 = "YUV4MPEG2 W48 H31 C420jpeg\n";
    std::mt19937 rng(5);
    for (int f = 0; f < 3; ++f) {
        y420 += "FRAME\n";
        for (size_t i = 0; i < PlanarFrameBytes(Chroma::k420, 48, 31); ++i) y420.push_back(static_cast<char>(rng()));
    }
    Write(Path("in.y4m"), y420);
    ASSERT_EQ(Run("--off - -", Path("in.y4m"), Path("out.y4m")), 0) << Stderr();
    EXPECT_EQ(Read(Path("out.y4m")), y420);
    ASSERT_EQ(Run("- -", Path("in.y4m"), Path("out.y4m")), 0) << Stderr();
    EXPECT_EQ(Read(Path("out.y4m")).size(), y420.size());

    std::string bgr(static_cast<size_t>(41) * 16 * 3 * 2, '\0');
    for (char& c : bgr) c = static_cast<char>(rng());
    Write(Path("in.bgr"), bgr);
    ASSERT_EQ(Run("--off --size 41x16 --format bgr24 - -", Path("in.bgr"), Path("out.bgr")), 0) << Stderr();
    EXPECT_EQ(Read(Path("out.bgr")), bgr);
    ASSERT_EQ(Run("--size 41x16 --format bgr24 - -", Path("in.bgr"), Path("out.bgr")), 0) << Stderr();
    EXPECT_EQ(Read(Path("out.bgr")).size(), bgr.size());
    EXPECT_NE(Stderr().find("note: width 41 is not a multiple of 8: the rightmost 1 columns"), std::string::npos);
}

TEST_F(EndToEnd, BadInputStopsWithOneLineAndKeepsWholeFrames) {
    const auto frames = NoisyPlanar422(kW, kH, 3);
    const std::string whole = Y4m("YUV4MPEG2 W48 H32 C422", frames);
    Write(Path("cut.y4m"), whole.substr(0, whole.size() - 100));
    EXPECT_EQ(Run("- -", Path("cut.y4m"), Path("out.y4m")), 1);
    EXPECT_EQ(Stderr(), "orv-denoise: standard input: frame 3 is truncated (" +
                            std::to_string(frames[2].size() - 100) + " of " + std::to_string(frames[2].size()) +
                            " bytes); it was not written\n");
    const size_t twoFrames = whole.size() - (6 + frames[2].size());
    EXPECT_EQ(Read(Path("out.y4m")).size(), twoFrames);

    Write(Path("text.y4m"), "hello\n");
    EXPECT_EQ(Run("'" + Path("text.y4m") + "' '" + Path("none.y4m") + "'"), 1);
    EXPECT_NE(Stderr().find("not a YUV4MPEG2 stream"), std::string::npos) << Stderr();
    EXPECT_FALSE(Exists(Path("none.y4m")));

    // Frames narrower than the filter's 8-pixel groups are refused, with no
    // output left behind and no note about columns passing through.
    Write(Path("tiny"), std::string(6 * 4 * 2 * 2, 'x'));
    EXPECT_EQ(Run("--size 6x4 --format yuyv422 '" + Path("tiny") + "' '" + Path("tiny.out") + "'"), 1);
    const std::string refusal = Stderr();
    EXPECT_EQ(refusal.rfind("orv-denoise: the denoiser refused 6x4 frames", 0), 0u) << refusal;
    EXPECT_EQ(std::count(refusal.begin(), refusal.end(), '\n'), 1) << refusal;
    EXPECT_FALSE(Exists(Path("tiny.out")));

    EXPECT_EQ(Run("'" + Path("cut.y4m") + "' '" + Path("cut.y4m") + "'"), 1);
    EXPECT_NE(Stderr().find("same file"), std::string::npos);
    EXPECT_EQ(Read(Path("cut.y4m")).size(), whole.size() - 100);

    EXPECT_EQ(Run("--mc q - -"), 2);
    EXPECT_EQ(Stderr(), "orv-denoise: --mc: 'q' is not a set of planes (e.g. yuv, y, uv, none) (see orv-denoise --help)\n");
}

}  // namespace
}  // namespace host
