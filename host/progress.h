#pragma once
// The progress line on standard error: frames, speed and, when the number of
// frames is known, percentage and time left.
#include <cstdint>
#include <string>

namespace host {

// The text of the line (without carriage return) after `frames` frames in
// `seconds`; `total` is -1 when unknown.
std::string FormatProgress(int64_t frames, int64_t total, double seconds);

class ProgressLine {
public:
    // Shows nothing unless `enabled` (standard error is a terminal and not --quiet).
    ProgressLine(bool enabled, int64_t total) : enabled_(enabled), total_(total) {}

    // Redraws at most four times a second.
    void Update(int64_t frames, double seconds);
    // Draws the final state and ends the line.
    void Finish(int64_t frames, double seconds);

private:
    void Draw(const std::string& text);

    bool enabled_;
    int64_t total_;
    double lastDraw_ = -1.0;
    size_t lastLength_ = 0;
};

}  // namespace host
