// Cost histogram, noise level, signal-to-noise ratio and scene-change
// detection from the motion search's block costs.
#include <cmath>
#include <cstring>

#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"

namespace engine {

namespace {

constexpr double kMeanExponent = 0.02;  // 1 / kRingLength

// Stores value at the write index and advances it, wrapping at the ring's end.
template <typename T>
void Push(T (&ring)[kRingLength], int32_t& index, T value) {
    if (index < 0 || index >= kRingLength) index = 0;
    ring[index] = value;
    index = index + 1 == kRingLength ? 0 : index + 1;
}

// Geometric mean of the 50 factors: their product in double, factor 0
// first, to the power 0.02. A negative (or NaN) factor has no real mean;
// such a ring gives 0.
template <typename F>
double GeometricMean(F factor) {
    double product = 1.0;
    for (int32_t i = 0; i < kRingLength; ++i) {
        const double f = factor(i);
        if (!(f >= 0.0)) return 0.0;
        product *= f;
    }
    return std::pow(product, kMeanExponent);
}

// The geometric mean of (entry + 1) over an integer ring, truncated.
int32_t IntegerRingMean(const int32_t (&ring)[kRingLength]) {
    return Trunc(GeometricMean([&](int32_t i) { return static_cast<double>(ring[i]) + 1.0; }));
}

}  // namespace

int32_t Trunc(double value) {
    // NaN fails both comparisons.
    if (!(value > -2147483649.0 && value < 2147483648.0)) return 0;
    return static_cast<int32_t>(value);
}

namespace {

// The statistics part of the analysis: histogram, peak, extent, SNR, scene
// change (which zeroes the field) and the rings. False, with nothing
// changed, for a processor without buffers or a field without records.
bool AnalyseStatistics(ChannelProcessor& p, VectorField& motion) {
    if (p.costHistogram == nullptr || motion.width < 0 || motion.height < 0) return false;
    if (motion.width > 0 && motion.height > 0 && motion.origin == nullptr) return false;
    int32_t* bins = p.costHistogram;

    // Histogram of the costs as the search left them. A cost of 16320 (every
    // pixel differing by 255) has no bin and is not counted. Only the bins
    // the last frame may have left nonzero are cleared: a whole clear costs
    // more than the rest of the analysis.
    const int32_t dirty = p.histogramExtent < 0 || p.histogramExtent > kHistogramBins ? kHistogramBins
                                                                                         : p.histogramExtent;
    std::memset(bins, 0, sizeof(int32_t) * static_cast<size_t>(dirty));
    int32_t firstUsed = kHistogramBins, lastUsed = 0;  // over bins 1 and up
    for (int32_t by = 0; by < motion.height; ++by) {
        const BlockMotion* row = &Record(motion, 0, by);
        for (int32_t bx = 0; bx < motion.width; ++bx) {
            const uint32_t cost = static_cast<uint32_t>(row[bx].cost);
            if (cost >= static_cast<uint32_t>(kHistogramBins)) continue;
            ++bins[cost];
            if (cost != 0) {
                if (static_cast<int32_t>(cost) < firstUsed) firstUsed = static_cast<int32_t>(cost);
                if (static_cast<int32_t>(cost) > lastUsed) lastUsed = static_cast<int32_t>(cost);
            }
        }
    }

    // In-place recursive low-pass: bin i becomes trunc(s + 0.2 * (h - s)) of
    // the smoothed bin i - 1 (s) and its own count (h). For counts that are
    // non-negative integers this equals (4s + h) / 5 in integer division: an
    // exact multiple of 5 survives the double rounding (0.2 exceeds 1/5 by a
    // relative 2^-54, under half an ulp), and any other quotient lies at least
    // 0.2 away from an integer, far beyond the rounding error.
    const int32_t oldPeak = p.peakCount;
    p.peakCount = bins[0];
    p.modeBin = 0;
    int64_t s = bins[0];
    int32_t end = 1;  // bins from `end` on are zero after smoothing
    for (int32_t i = 1; i < kHistogramBins;) {
        if (s == 0) {
            // Zero input after a zero output stays zero: skip the empty runs.
            if (i < firstUsed) {
                if (firstUsed >= kHistogramBins) break;
                i = firstUsed;
            } else if (i > lastUsed) {
                break;
            }
        }
        s = (4 * s + bins[i]) / 5;
        bins[i] = static_cast<int32_t>(s);
        if (s > p.peakCount) {
            p.peakCount = static_cast<int32_t>(s);
            p.modeBin = i;
        }
        end = ++i;
    }
    p.histogramExtent = end;

    // Extent of the well-matched costs: where the smoothed histogram stays at
    // or above a tenth of its peak.
    const int32_t level = Trunc(static_cast<double>(p.peakCount) * 0.1);
    p.lowerBin = 0;
    while (p.lowerBin < kHistogramBins - 1 && bins[p.lowerBin] < level) ++p.lowerBin;
    if (level <= 0) {
        p.upperBin = kHistogramBins - 1;
    } else {
        for (int32_t i = end - 1; i >= 1; --i) {
            if (bins[i] >= level) {
                p.upperBin = i;
                break;
            }
        }
    }

    p.frameSnr = 20.0 * std::log10(8160.0 / (static_cast<double>(p.modeBin) + 1.0));

    p.sceneChange = static_cast<double>(p.peakCount) < 0.7 * static_cast<double>(oldPeak) ? 1 : 0;
    if (p.sceneChange != 0) {
        if (motion.buffer != nullptr && motion.stride > 0 && motion.paddedHeight > 0) {
            std::memset(static_cast<void*>(motion.buffer), 0,
                        sizeof(BlockMotion) * static_cast<size_t>(motion.stride) * motion.paddedHeight);
        }
        return true;
    }

    Push(p.upperBinHistory, p.upperBinIndex, p.upperBin);
    p.meanUpperBin = IntegerRingMean(p.upperBinHistory);
    Push(p.modeBinHistory, p.modeBinIndex, p.modeBin);
    p.noiseLevel = IntegerRingMean(p.modeBinHistory);
    Push(p.snrHistory, p.snrIndex, p.frameSnr);
    p.meanSnr = GeometricMean([&](int32_t i) { return p.snrHistory[i]; });
    return true;
}

}  // namespace

void AnalyseMotionWith(const EngineDsp& dsp, ChannelProcessor& p, const Plane& current,
                       const Plane& reference, VectorField& motion) {
    if (!AnalyseStatistics(p, motion) || p.sceneChange != 0) return;
    const int32_t zeroLimit = Trunc(0.4 * (static_cast<double>(p.upperBin) - static_cast<double>(p.lowerBin)));
    const int64_t accept = 3 * static_cast<int64_t>(p.meanUpperBin);
    const int32_t acceptLimit =
        accept > INT32_MAX ? INT32_MAX : (accept < INT32_MIN ? INT32_MIN : static_cast<int32_t>(accept));
    RefineMotionWith(dsp, p, current, reference, motion, zeroLimit, acceptLimit);
}

void ChannelProcessor::AnalyseMotion(const Plane& current, const Plane& reference, VectorField& motion) {
    AnalyseMotionWith(ActiveDsp(), *this, current, reference, motion);
}

}  // namespace engine
