// Predictive gradient-descent block motion search.
#include "engine/engine.h"
#include "engine/engine_dsp.h"
#include "engine/engine_internal.h"
#include "engine/search_block.h"

namespace engine {

namespace {

// Block costs measured with the scalar SAD.
struct ScalarCosts {
    const uint8_t* cur;
    const uint8_t* ref;
    ptrdiff_t stride;

    const uint8_t* Ref(Vector v) const { return ref + v.y * stride + v.x; }
    uint32_t At(Vector v) const { return sad_8x8_c(cur, Ref(v), stride); }
    void AtTwo(Vector a, Vector b, uint32_t out[2]) const {
        out[0] = At(a);
        out[1] = At(b);
    }
    void Probes(Vector v, uint32_t out[2]) const {
        out[0] = At({v.x + 1, v.y});
        out[1] = At({v.x, v.y + 1});
    }
    void Triple(Vector v, uint32_t out[3]) const {
        out[0] = At(v);
        Probes(v, out + 1);
    }
};

}  // namespace

void search_block_c(const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, int32_t startX, int32_t startY,
                    int32_t limit, SearchResult* out) noexcept {
    ScalarCosts costs{cur, ref, stride};
    SearchBlock(costs, Vector{startX, startY}, limit, out);
}

void search_field_c(const Plane& current, const Plane& reference, const VectorField& motion, int32_t limit,
                    uint32_t neighbourLimit) noexcept {
    SearchField(current, reference, motion, limit, neighbourLimit,
                [](const uint8_t* cur, const uint8_t* ref, ptrdiff_t stride, Vector start, int32_t lim,
                   SearchResult* out) {
                    ScalarCosts costs{cur, ref, stride};
                    SearchBlock(costs, start, lim, out);
                });
}

void EstimateMotionWith(const EngineDsp& dsp, ChannelProcessor& processor, const Plane& current,
                        const Plane& reference, VectorField& motion) {
    if (motion.width <= 0 || motion.height <= 0 || motion.origin == nullptr) return;
    const int32_t limit = processor.border;  // candidates lie strictly inside (-limit, limit)
    if (limit < 1 || !MotionGeometryOk(current, reference, motion, limit)) {
        // Planes the search cannot probe safely: no block is filtered.
        for (int32_t by = 0; by < motion.height; ++by) {
            for (int32_t bx = 0; bx < motion.width; ++bx) Record(motion, bx, by) = BlockMotion{};
        }
        return;
    }
    dsp.search_field(current, reference, motion, limit, 2u * static_cast<uint32_t>(processor.meanUpperBin));
}

void ChannelProcessor::EstimateMotion(const Plane& current, const Plane& reference, VectorField& motion) {
    EstimateMotionWith(ActiveDsp(), *this, current, reference, motion);
}

}  // namespace engine
