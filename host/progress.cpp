#include "host/progress.h"

#include <cinttypes>
#include <cstdio>

namespace host {

std::string FormatProgress(int64_t frames, int64_t total, double seconds) {
    const double fps = seconds > 0.0 ? static_cast<double>(frames) / seconds : 0.0;
    char text[128];
    if (total > 0) {
        int64_t shown = frames < total ? frames : total;
        int percent = static_cast<int>(shown * 100 / total);
        int64_t left = fps > 0.0 ? static_cast<int64_t>(static_cast<double>(total - shown) / fps + 0.5) : 0;
        std::snprintf(text, sizeof text, "frame %" PRId64 "/%" PRId64 " (%d%%), %.1f fps, %" PRId64 ":%02" PRId64 " left",
                      frames, total, percent, fps, left / 60, left % 60);
    } else {
        std::snprintf(text, sizeof text, "frame %" PRId64 ", %.1f fps", frames, fps);
    }
    return text;
}

void ProgressLine::Update(int64_t frames, double seconds) {
    if (!enabled_ || (lastDraw_ >= 0.0 && seconds - lastDraw_ < 0.25)) return;
    lastDraw_ = seconds;
    Draw(FormatProgress(frames, total_, seconds));
}

void ProgressLine::Finish(int64_t frames, double seconds) {
    if (!enabled_) return;
    const double fps = seconds > 0.0 ? static_cast<double>(frames) / seconds : 0.0;
    char text[96];
    std::snprintf(text, sizeof text, "%" PRId64 " frames in %.1f s, %.1f fps", frames, seconds, fps);
    Draw(text);
    std::fputc('\n', stderr);
}

void ProgressLine::Draw(const std::string& text) {
    // Pad with blanks over a longer previous line.
    const size_t pad = lastLength_ > text.size() ? lastLength_ - text.size() : 0;
    std::fprintf(stderr, "\rorv-denoise: %s%*s", text.c_str(), static_cast<int>(pad), "");
    std::fflush(stderr);
    lastLength_ = text.size();
}

}  // namespace host
