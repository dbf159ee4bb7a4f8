#pragma once
// A deterministic synthetic video for end-to-end tests: a textured picture
// moving a few pixels per frame, a hard cut, and Gaussian-like noise from an
// integer generator, so that every build produces the same bytes.
#include <cstdint>
#include <vector>

namespace testing_support {

// xorshift64*: the same sequence on every platform.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed * 2654435761u + 0x9E3779B97F4A7C15ull) {}
    uint32_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1Dull) >> 32);
    }
    // Approximately normal with the given standard deviation, in integers:
    // the sum of 12 uniforms on [0, 4096) has variance 12 * 4096^2 / 12.
    int32_t Gaussian(int32_t sigma) {
        int64_t sum = 0;
        for (int i = 0; i < 12; ++i) sum += Next() & 4095;
        sum -= 6 * 4096;
        return static_cast<int32_t>((sum * sigma) / 4096);
    }

private:
    uint64_t state_;
};

inline uint8_t Clamp8(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The clean picture at (x, y) of scene `scene`: smooth gradients with edges
// and fine texture, so that the motion search has something to lock on.
inline uint8_t CleanLuma(int32_t x, int32_t y, int scene) {
    int32_t v = scene == 0 ? 40 + ((x * 3 + y * 2) & 127) : 200 - ((x * 2 + y * 5) & 127);
    if (((x >> 4) + (y >> 4)) & 1) v += 40;
    v += ((x * x + y * 3 * y) >> 3) & 15;
    return Clamp8(v);
}

struct SyntheticVideo {
    int32_t width;
    int32_t height;
    int frames;
    int cutAt;     // first frame of the second scene
    int32_t step;  // horizontal motion per frame, pixels
    int32_t sigma;

    int Scene(int frame) const { return frame >= cutAt ? 1 : 0; }

    // Clean and noisy packed 4:2:2 frames (Y0 U Y1 V).
    void Packed(int frame, std::vector<uint8_t>& clean, std::vector<uint8_t>& noisy) const {
        clean.assign(static_cast<size_t>(width) * height * 2, 0);
        noisy = clean;
        Rng rng(static_cast<uint64_t>(frame) + 1);
        const int32_t shift = frame * step;
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                size_t i = (static_cast<size_t>(y) * width + x) * 2;
                uint8_t luma = CleanLuma(x + shift, y + frame / 2, Scene(frame));
                uint8_t chroma = static_cast<uint8_t>((x & 1) ? 128 + ((x + shift) >> 5 & 31) : 120 - ((y >> 4) & 15));
                clean[i] = luma;
                clean[i + 1] = chroma;
                noisy[i] = Clamp8(luma + rng.Gaussian(sigma));
                noisy[i + 1] = Clamp8(chroma + rng.Gaussian(sigma / 2));
            }
        }
    }

    // Clean and noisy bottom-up BGR frames: a grey picture (which survives
    // the 4:2:2 round trip exactly) with noise on every colour byte.
    void Rgb(int frame, std::vector<uint8_t>& clean, std::vector<uint8_t>& noisy) const {
        clean.assign(static_cast<size_t>(width) * height * 3, 0);
        noisy = clean;
        Rng rng(static_cast<uint64_t>(frame) + 1000);
        const int32_t shift = frame * step;
        for (int32_t y = 0; y < height; ++y) {
            for (int32_t x = 0; x < width; ++x) {
                size_t i = (static_cast<size_t>(height - 1 - y) * width + x) * 3;
                uint8_t grey = CleanLuma(x + shift, y + frame / 2, Scene(frame));
                for (int c = 0; c < 3; ++c) {
                    clean[i + c] = grey;
                    noisy[i + c] = Clamp8(grey + rng.Gaussian(sigma));
                }
            }
        }
    }
};

// FNV-1a over a byte range.
inline uint64_t Fnv1a(const std::vector<uint8_t>& bytes, uint64_t hash = 0xcbf29ce484222325ull) {
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

}  // namespace testing_support
