// orv-denoise: the plug-in's denoiser as a command-line filter.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "host/cli_options.h"
#include "host/denoiser.h"
#include "host/progress.h"
#include "host/stats_csv.h"
#include "host/video_io.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void Fail(const std::string& message) { std::fprintf(stderr, "orv-denoise: %s\n", message.c_str()); }

void Note(const host::Options& options, const std::string& message) {
    if (!options.quiet) std::fprintf(stderr, "orv-denoise: note: %s\n", message.c_str());
}

// Writing the output over the input would destroy frames before they are read.
bool SameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return false;
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Run(const host::Options& options) {
    const auto started = std::chrono::steady_clock::now();
    if (SameFile(options.input, options.output)) {
        Fail("input and output are the same file: '" + options.output + "'");
        return kExitFailure;
    }

    std::string error;
    host::VideoReader reader;
    if (!reader.Open(options.input, options.kind, options.width, options.height, error)) {
        Fail(error);
        return kExitFailure;
    }
    const host::VideoFormat& format = reader.Format();
    // Narrower frames are refused below; a note about their columns would
    // only contradict that refusal.
    if (!options.off && format.width >= 8 && format.width % 8 != 0) {
        Note(options, "width " + std::to_string(format.width) + " is not a multiple of 8: the rightmost " +
                          std::to_string(format.width % 8) + " columns pass through unfiltered");
    }

    std::vector<uint8_t> frame(format.FrameBytes());
    host::Denoiser denoiser;
    denoiser.Start(format, options);

    // The outputs are created once the first frame went through, so that a
    // refused stream or unreadable input leaves no half-made files behind.
    host::VideoWriter writer;
    host::StatsWriter stats;
    bool outputsOpen = false;
    auto openOutputs = [&]() {
        outputsOpen = true;
        if (!writer.Open(options.output, format, error)) return false;
        return options.statsPath.empty() || stats.Open(options.statsPath, error);
    };

    host::ProgressLine progress(!options.quiet && isatty(STDERR_FILENO) != 0, reader.FrameCountHint());
    int status = kExitOk;
    int64_t frames = 0;
    while (options.maxFrames < 0 || frames < options.maxFrames) {
        const host::ReadResult read = reader.ReadFrame(frame.data(), error);
        if (read == host::ReadResult::End) break;
        if (read == host::ReadResult::Error) {
            status = kExitFailure;
            break;
        }
        if (!denoiser.Process(frame.data())) {
            error = "the denoiser refused " + std::to_string(format.width) + "x" + std::to_string(format.height) +
                    " frames (it needs rows of at least 8 pixels, at most 16384 per side, and memory for its planes)";
            status = kExitFailure;
            break;
        }
        ++frames;
        if (!outputsOpen && !openOutputs()) {
            status = kExitFailure;
            break;
        }
        if (!options.statsPath.empty()) {
            host::PlaneStats planes[3];
            denoiser.ReadStats(planes);
            if (!stats.WriteFrame(frames, planes, error)) {
                status = kExitFailure;
                break;
            }
        }
        if (!writer.WriteFrame(frame.data(), error)) {
            status = kExitFailure;
            break;
        }
        progress.Update(frames, Since(started));
    }
    if (status == kExitOk && !outputsOpen && !openOutputs()) status = kExitFailure;

    // The frames written so far are complete; make sure they reach the disk either way.
    std::string closeError;
    if (!writer.Close(closeError) && status == kExitOk) {
        error = closeError;
        status = kExitFailure;
    }
    if (!stats.Close(closeError) && status == kExitOk) {
        error = closeError;
        status = kExitFailure;
    }
    const double total = Since(started);
    progress.Finish(frames, total);
    if (status != kExitOk) Fail(error);

    if (options.bench) {
        const double filter = denoiser.FilterSeconds();
        const double cpu = denoiser.FilterCpuSeconds();
        auto rate = [frames](double seconds) { return seconds > 0.0 ? static_cast<double>(frames) / seconds : 0.0; };
        std::fprintf(stderr,
                     "orv-denoise: bench: frames=%" PRId64 " size=%dx%d filter_s=%.6f filter_fps=%.1f "
                     "filter_cpu_s=%.6f filter_cpu_fps=%.1f total_s=%.6f total_fps=%.1f\n",
                     frames, format.width, format.height, filter, rate(filter), cpu, rate(cpu), total, rate(total));
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away gives a write error with a message, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> args(argv + 1, argv + argc);
    host::Options options;
    std::string error;
    if (!host::ParseCommandLine(args, options, error)) {
        Fail(error + " (see orv-denoise --help)");
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(host::HelpText().c_str(), stdout);
        return kExitOk;
    }
    if (options.version) {
        std::fputs(host::VersionText().c_str(), stdout);
        return kExitOk;
    }
    return Run(options);
}
