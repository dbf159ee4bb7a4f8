// A noisy moving sequence with a hard cut through the loaded plug-in, with
// motion compensation on every plane, in both stream formats. The digests of
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

void WriteSettings(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[DIALOG]\r\nDlgWndPosX=-100\r\nDlgWndPosY=-100\r\n[SETTINGS]\r\nCommon=1\r\n[COMMON]\r\n"
           "ProcEnable=1\r\nY_MEEnable=1\r\nU_MEEnable=1\r\nV_MEEnable=1\r\nY_Threshold=10\r\nU_Threshold=10\r\n"
           "V_Threshold=10\r\nY_AutoThreshold=1\r\nU_AutoThreshold=1\r\nV_AutoThreshold=1\r\n";
}

int32_t KnownChannel(uint32_t, int32_t) { return 1; }

double Psnr(double sumSquares, size_t count) {
    double mse = sumSquares / static_cast<double>(count);
    return mse <= 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

struct DenoiseRun {
    std::vector<uint64_t> digests;
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
    WriteSettings(testing_support::SettingsFilePath());
    PluginLibrary lib(PluginPath());
    ASSERT_TRUE(lib.loaded()) << PluginPath();
    const PluginDescriptor* plugin = lib.Descriptor();
    OpenParams params{0, &KnownChannel};
    plugin->Open(&params);

    const SyntheticVideo video{352, 288, 80, 64, 2, 10};
    std::ofstream digests("e2e-digests.txt", std::ios::binary | std::ios::trunc);
    for (int32_t format : {0, 1}) {
        DenoiseRun run = Denoise(plugin, video, format);
        std::printf("format %d: PSNR noisy %.2f dB -> denoised %.2f dB (gain %.2f dB)\n", format, run.noisyPsnr,
                    run.denoisedPsnr, run.denoisedPsnr - run.noisyPsnr);
        EXPECT_GT(run.denoisedPsnr, run.noisyPsnr + 1.0) << "format " << format;
        for (size_t f = 0; f < run.digests.size(); ++f) {
            char line[64];
            std::snprintf(line, sizeof line, "%d %02zu %016llx\n", format, f,
                          static_cast<unsigned long long>(run.digests[f]));
            digests << line;
        }
    }
    plugin->Close();
}

}  // namespace
