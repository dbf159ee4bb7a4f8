// A noisy moving sequence with a hard cut through the loaded plug-in, with
// motion compensation on every plane and with the default settings, in both
// stream formats. The digests of
// all output frames go to e2e-digests.txt in the working directory, so that
// the native and the Windows build can be compared byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "plugin_loader.h"
#include "synthetic_video.h"


using testing_support::PluginLibrary;
using testing_support::PluginPath;
using testing_support::SyntheticVideo;

namespace {

// Every output byte of a sequence is fixed by the rules, so the digests of
// whole runs are too: any change to them is a change of behaviour (made on
// purpose, these values are updated with it).
struct Configuration {
    const char* name;
    const char* settings;     // the [COMMON] keys after ProcEnable=1
    uint64_t runDigests[2];   // packed, RGB
};

constexpr Configuration kConfigurations[] = {
    {"motion compensation and automatic thresholds on every plane",
     "Y_MEEnable=1\r\nU_MEEnable=1\r\nV_MEEnable=1\r\nY_Threshold=10\r\nU_Threshold=10\r\nV_Threshold=10\r\n"
     "Y_AutoThreshold=1\r\nU_AutoThreshold=1\r\nV_AutoThreshold=1\r\n",
     {0x997a61a80738f3a5ull, 0x5e8b12aba9b19d8bull}},
    {"the default settings", "", {0x89beade5f50f76bcull, 0x717a92178820aa3bull}},
};

void WriteSettings(const std::string& path, const Configuration& configuration) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[DIALOG]\r\nDlgWndPosX=-100\r\nDlgWndPosY=-100\r\n[SETTINGS]\r\nCommon=1\r\n[COMMON]\r\n"
           "ProcEnable=1\r\n"
        << configuration.settings;
}

int32_t KnownChannel(uint32_t, int32_t) { return 1; }

double Psnr(double sumSquares, size_t count) {
    double mse = sumSquares / static_cast<double>(count);
    return mse <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

struct DenoiseRun {
    std::vector<uint64_t> digests;
    uint64_t runDigest = 0;  // of all output frames in order
    double noisyPsnr = 0.0;
    double denoisedPsnr = 0.0;
};

// The engine's 50-frame statistics start empty after loading, and until they
// fill most blocks stay unfiltered: measure after that.
constexpr int kWarmUp = 52;

// Runs the sequence; PSNR of luma (packed) or of all bytes (RGB) over the
// frames after warm-up, the cut and the frames right after it excluded.
DenoiseRun Denoise(const PluginDescriptor* plugin, const SyntheticVideo& video, int32_t format) {
    StreamFormat stream{video.width, video.height, 0, format, 0};
    EXPECT_EQ(plugin->StartStream(&stream), 1);
    struct {
        ChannelInfo info;
        char more[16];
    } channel{};
    channel.info.keyLow = 42;
    DenoiseRun run;
    run.runDigest = testing_support::Fnv1a({});
    double noisySum = 0.0, denoisedSum = 0.0;
    size_t count = 0;
    std::vector<uint8_t> clean, noisy;
    for (int f = 0; f < video.frames; ++f) {
        if (format == 1) {
            video.Rgb(f, clean, noisy);
        } else {
            video.Packed(f, clean, noisy);
        }
        std::vector<uint8_t> out = noisy;
        FrameRequest request{};
        request.pixels = out.data();
        request.channel = &channel.info;
        EXPECT_EQ(plugin->ProcessFrame(&request), 1);
        run.digests.push_back(testing_support::Fnv1a(out));
        run.runDigest = testing_support::Fnv1a(out, run.runDigest);
        const bool measured = f >= kWarmUp && (f < video.cutAt || f >= video.cutAt + 4);
        if (!measured) continue;
        const size_t stepBytes = format == 1 ? 1 : 2;
        for (size_t i = 0; i < out.size(); i += stepBytes) {
            double dn = noisy[i] - clean[i], dd = out[i] - clean[i];
            noisySum += dn * dn;
            denoisedSum += dd * dd;
            ++count;
        }
    }
    plugin->StopStream();
    run.noisyPsnr = Psnr(noisySum, count);
    run.denoisedPsnr = Psnr(denoisedSum, count);
    return run;
}

TEST(EndToEnd, NoisyMovingSequenceBothFormats) {
    const SyntheticVideo video{352, 288, 80, 64, 2, 10};
    std::ofstream digests("e2e-digests.txt", std::ios::binary | std::ios::trunc);
    for (const Configuration& configuration : kConfigurations) {
        SCOPED_TRACE(configuration.name);
        WriteSettings(testing_support::SettingsFilePath(), configuration);
        PluginLibrary lib(PluginPath());
        ASSERT_TRUE(lib.loaded()) << PluginPath();
        const PluginDescriptor* plugin = lib.Descriptor();
        OpenParams params{0, &KnownChannel};
        plugin->Open(&params);
        for (int32_t format : {0, 1}) {
            DenoiseRun run = Denoise(plugin, video, format);
            std::printf("%s, format %d: PSNR noisy %.2f dB -> denoised %.2f dB (gain %.2f dB)\n", configuration.name,
                        format, run.noisyPsnr, run.denoisedPsnr, run.denoisedPsnr - run.noisyPsnr);
            EXPECT_GT(run.denoisedPsnr, run.noisyPsnr + 1.0) << "format " << format;
            EXPECT_EQ(run.runDigest, configuration.runDigests[format])
                << "format " << format << ": 0x" << std::hex << run.runDigest << " instead";
            for (size_t f = 0; f < run.digests.size(); ++f) {
                char line[64];
                std::snprintf(line, sizeof line, "%d %02zu %016llx\n", format, f,
                              static_cast<unsigned long long>(run.digests[f]));
                digests << line;
            }
        }
        plugin->Close();
    }
}

}  // namespace
