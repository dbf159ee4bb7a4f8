#include <gtest/gtest.h>

#include <cstring>

#include "host/cli_options.h"

namespace host {
namespace {

struct GoodCase {
    std::vector<std::string> args;
    void (*check)(const Options&);
};

TEST(CommandLine, AcceptsWhatUsersAndScriptsWrite) {
    const GoodCase cases[] = {
        {{"in.y4m", "out.y4m"},
         [](const Options& o) {
             EXPECT_EQ(o.input, "in.y4m");
             EXPECT_EQ(o.output, "out.y4m");
             EXPECT_EQ(o.kind, StreamKind::Y4m);
             EXPECT_FALSE(o.motionCompensation || o.thresholds || o.autoThreshold || o.off || o.demo);
             EXPECT_EQ(o.maxFrames, -1);
         }},
        {{"--mc", "yuv", "-", "-"},
         [](const Options& o) {
             EXPECT_EQ(*o.motionCompensation, (PlaneSet{true, true, true}));
             EXPECT_EQ(o.input, "-");
             EXPECT_EQ(o.output, "-");
         }},
        {{"--mc=y", "a", "b"}, [](const Options& o) { EXPECT_EQ(*o.motionCompensation, (PlaneSet{true, false, false})); }},
        {{"--mc", "none", "a", "b"}, [](const Options& o) { EXPECT_EQ(*o.motionCompensation, PlaneSet{}); }},
        {{"--mc", "VU", "a", "b"}, [](const Options& o) { EXPECT_EQ(*o.motionCompensation, (PlaneSet{false, true, true})); }},
        {{"--auto", "all", "a", "b"}, [](const Options& o) { EXPECT_EQ(*o.autoThreshold, (PlaneSet{true, true, true})); }},
        {{"--threshold", "20,5,0", "a", "b"},
         [](const Options& o) { EXPECT_EQ(*o.thresholds, (std::array<int32_t, 3>{20, 5, 0})); }},
        {{"--threshold=100", "a", "b"},
         [](const Options& o) { EXPECT_EQ(*o.thresholds, (std::array<int32_t, 3>{100, 100, 100})); }},
        {{"--off", "--demo", "--stats", "s.csv", "--frames", "10", "-q", "--bench", "a", "b"},
         [](const Options& o) {
             EXPECT_TRUE(o.off && o.demo && o.quiet && o.bench);
             EXPECT_EQ(o.statsPath, "s.csv");
             EXPECT_EQ(o.maxFrames, 10);
         }},
        {{"--size", "720x576", "--format", "yuyv422", "-", "-"},
         [](const Options& o) {
             EXPECT_EQ(o.kind, StreamKind::Yuyv422);
             EXPECT_EQ(o.width, 720);
             EXPECT_EQ(o.height, 576);
         }},
        // BGR24 has no shared chroma in the file, so an odd width is fine.
        {{"--format=bgr24", "--size=721x1", "a", "b"},
         [](const Options& o) {
             EXPECT_EQ(o.kind, StreamKind::Bgr24);
             EXPECT_EQ(o.width, 721);
         }},
        {{"--", "-odd-name.y4m", "out"}, [](const Options& o) { EXPECT_EQ(o.input, "-odd-name.y4m"); }},
        {{"--help"}, [](const Options& o) { EXPECT_TRUE(o.help); }},
        {{"--version", "x"}, [](const Options& o) { EXPECT_TRUE(o.version); }},
        {{"--stats", "-", "a", "out"}, [](const Options& o) { EXPECT_EQ(o.statsPath, "-"); }},
    };
    for (const GoodCase& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        Options o;
        std::string error;
        ASSERT_TRUE(ParseCommandLine(c.args, o, error)) << error;
        c.check(o);
    }
}

TEST(CommandLine, RefusesMistakesWithAReason) {
    const struct {
        std::vector<std::string> args;
        const char* reason;
    } cases[] = {
        {{}, "expected INPUT and OUTPUT"},
        {{"a"}, "expected INPUT and OUTPUT"},
        {{"a", "b", "c"}, "too many arguments: 'c'"},
        {{"--mc", "yuvx", "a", "b"}, "--mc: 'yuvx'"},
        {{"--mc", "yy", "a", "b"}, "--mc: 'yy'"},
        {{"--mc=", "a", "b"}, "--mc: ''"},
        {{"--auto", "w", "a", "b"}, "--auto: 'w'"},
        {{"--threshold", "101,0,0", "a", "b"}, "--threshold"},
        {{"--threshold", "1,2", "a", "b"}, "--threshold"},
        {{"--threshold", "1,2,3,4", "a", "b"}, "--threshold"},
        {{"--threshold", "10,,10", "a", "b"}, "--threshold"},
        {{"--threshold", "-1,0,0", "a", "b"}, "--threshold"},
        {{"--threshold", "a,b,c", "a", "b"}, "--threshold"},
        {{"--size", "720x576", "a", "b"}, "--size applies to raw input only"},
        {{"--size", "720x576", "--format", "y4m", "a", "b"}, "--size applies to raw input only"},
        {{"--format", "yuyv422", "a", "b"}, "needs --size"},
        {{"--format", "yuyv422", "--size", "719x576", "a", "b"}, "even width"},
        {{"--format", "bgr24", "--size", "0x576", "a", "b"}, "--size: '0x576'"},
        {{"--format", "bgr24", "--size", "720x", "a", "b"}, "--size: '720x'"},
        {{"--format", "bgr24", "--size", "720*576", "a", "b"}, "--size: '720*576'"},
        {{"--format", "bgr24", "--size", "16385x16", "a", "b"}, "--size: '16385x16'"},
        {{"--format", "rgb", "a", "b"}, "--format: 'rgb'"},
        {{"--frames", "-3", "a", "b"}, "--frames: '-3'"},
        {{"--bogus", "a", "b"}, "unknown option '--bogus'"},
        {{"-x", "a", "b"}, "unknown option '-x'"},
        {{"a", "b", "--mc"}, "option --mc needs a value"},
        {{"--off=1", "a", "b"}, "option --off takes no value"},
        {{"--stats", "", "a", "b"}, "--stats needs a file name"},
        {{"--stats", "-", "a", "-"}, "both write to standard output"},
    };
    for (const auto& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        Options o;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(c.args, o, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
}

TEST(CommandLine, OptionsChangeOnlyTheSettingsNamed) {
    settings::SettingsRecord defaults{};
    defaults.ProcEnable = 1;
    defaults.Y_MEEnable = 1;
    defaults.Y_Threshold = defaults.U_Threshold = defaults.V_Threshold = 10;
    defaults.Y_AutoThreshold = defaults.U_AutoThreshold = defaults.V_AutoThreshold = 1;

    Options o;
    std::string error;
    ASSERT_TRUE(ParseCommandLine({"a", "b"}, o, error));
    settings::SettingsRecord r = defaults;
    ApplyToRecord(o, r);
    EXPECT_EQ(0, std::memcmp(&r, &defaults, sizeof r));

    ASSERT_TRUE(ParseCommandLine({"--mc", "uv", "--threshold", "7,8,9", "--auto", "v", "--off", "a", "b"}, o, error));
    r = defaults;
    ApplyToRecord(o, r);
    EXPECT_EQ(r.ProcEnable, 0u);
    EXPECT_EQ(r.Y_MEEnable, 0u);
    EXPECT_EQ(r.U_MEEnable, 1u);
    EXPECT_EQ(r.V_MEEnable, 1u);
    EXPECT_EQ(r.Y_Threshold, 7);
    EXPECT_EQ(r.U_Threshold, 8);
    EXPECT_EQ(r.V_Threshold, 9);
    EXPECT_EQ(r.Y_AutoThreshold, 0u);
    EXPECT_EQ(r.U_AutoThreshold, 0u);
    EXPECT_EQ(r.V_AutoThreshold, 1u);
}

TEST(CommandLine, HelpNamesEveryOption) {
    const std::string help = HelpText();
    for (const char* option : {"--mc PLANES", "--threshold Y,U,V", "--auto PLANES", "--off", "--demo", "--stats FILE.csv",
                               "--size WIDTHxHEIGHT", "--format", "yuyv422", "bgr24", "--frames N", "--bench", "--quiet",
                               "--help", "--version", "4:2:0", "4:4:4"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
}  // namespace host
