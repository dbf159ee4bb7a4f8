#include "host/chroma.h"

#include <cassert>

namespace host {

namespace {

uint8_t Average(uint8_t a, uint8_t b) { return static_cast<uint8_t>((a + b + 1) >> 1); }

}  // namespace

int ChromaWidth(Chroma chroma, int width) {
    switch (chroma) {
        case Chroma::k420:
        case Chroma::k422: return (width + 1) / 2;
        case Chroma::k444: return width;
        case Chroma::kMono: return 0;
    }
    return 0;
}

int ChromaHeight(Chroma chroma, int height) {
    switch (chroma) {
        case Chroma::k420: return (height + 1) / 2;
        case Chroma::k422:
        case Chroma::k444: return height;
        case Chroma::kMono: return 0;
    }
    return 0;
}

size_t PlanarFrameBytes(Chroma chroma, int width, int height) {
    const size_t luma = static_cast<size_t>(width) * static_cast<size_t>(height);
    const size_t plane = static_cast<size_t>(ChromaWidth(chroma, width)) * static_cast<size_t>(ChromaHeight(chroma, height));
    return luma + 2 * plane;
}

void PlanarToPacked(Chroma chroma, int width, int height, const uint8_t* planar, uint8_t* packed) {
    assert(width % 2 == 0);
    const size_t w = static_cast<size_t>(width);
    const int cw = ChromaWidth(chroma, width);
    const size_t planeBytes = static_cast<size_t>(cw) * static_cast<size_t>(ChromaHeight(chroma, height));
    const uint8_t* yPlane = planar;
    const uint8_t* uPlane = planar + w * static_cast<size_t>(height);
    const uint8_t* vPlane = uPlane + planeBytes;
    const int pairs = width / 2;

    for (int row = 0; row < height; ++row) {
        const uint8_t* y = yPlane + static_cast<size_t>(row) * w;
        uint8_t* out = packed + static_cast<size_t>(row) * w * 2;
        if (chroma == Chroma::kMono) {
            for (int k = 0; k < pairs; ++k) {
                out[4 * k] = y[2 * k];
                out[4 * k + 1] = 128;
                out[4 * k + 2] = y[2 * k + 1];
                out[4 * k + 3] = 128;
            }
            continue;
        }
        const int chromaRow = chroma == Chroma::k420 ? row / 2 : row;
        const uint8_t* u = uPlane + static_cast<size_t>(chromaRow) * static_cast<size_t>(cw);
        const uint8_t* v = vPlane + static_cast<size_t>(chromaRow) * static_cast<size_t>(cw);
        for (int k = 0; k < pairs; ++k) {
            uint8_t cb, cr;
            if (chroma == Chroma::k444) {
                cb = Average(u[2 * k], u[2 * k + 1]);
                cr = Average(v[2 * k], v[2 * k + 1]);
            } else {
                cb = u[k];
                cr = v[k];
            }
            out[4 * k] = y[2 * k];
            out[4 * k + 1] = cb;
            out[4 * k + 2] = y[2 * k + 1];
            out[4 * k + 3] = cr;
        }
    }
}

void PackedToPlanar(Chroma chroma, int width, int height, const uint8_t* packed, uint8_t* planar) {
    assert(width % 2 == 0);
    const size_t w = static_cast<size_t>(width);
    const int cw = ChromaWidth(chroma, width);
    const int ch = ChromaHeight(chroma, height);
    const size_t planeBytes = static_cast<size_t>(cw) * static_cast<size_t>(ch);
    uint8_t* yPlane = planar;
    uint8_t* uPlane = planar + w * static_cast<size_t>(height);
    uint8_t* vPlane = uPlane + planeBytes;
    const int pairs = width / 2;

    for (int row = 0; row < height; ++row) {
        const uint8_t* in = packed + static_cast<size_t>(row) * w * 2;
        uint8_t* y = yPlane + static_cast<size_t>(row) * w;
        for (int k = 0; k < pairs; ++k) {
            y[2 * k] = in[4 * k];
            y[2 * k + 1] = in[4 * k + 2];
        }
        if (chroma == Chroma::k422 || chroma == Chroma::k444) {
            uint8_t* u = uPlane + static_cast<size_t>(row) * static_cast<size_t>(cw);
            uint8_t* v = vPlane + static_cast<size_t>(row) * static_cast<size_t>(cw);
            const int step = chroma == Chroma::k444 ? 2 : 1;
            for (int k = 0; k < pairs; ++k) {
                for (int i = 0; i < step; ++i) {
                    u[step * k + i] = in[4 * k + 1];
                    v[step * k + i] = in[4 * k + 3];
                }
            }
        }
    }

    if (chroma != Chroma::k420) return;
    for (int chromaRow = 0; chromaRow < ch; ++chromaRow) {
        const int top = 2 * chromaRow;
        const int bottom = top + 1 < height ? top + 1 : top;
        const uint8_t* a = packed + static_cast<size_t>(top) * w * 2;
        const uint8_t* b = packed + static_cast<size_t>(bottom) * w * 2;
        uint8_t* u = uPlane + static_cast<size_t>(chromaRow) * static_cast<size_t>(cw);
        uint8_t* v = vPlane + static_cast<size_t>(chromaRow) * static_cast<size_t>(cw);
        for (int k = 0; k < pairs; ++k) {
            u[k] = Average(a[4 * k + 1], b[4 * k + 1]);
            v[k] = Average(a[4 * k + 3], b[4 * k + 3]);
        }
    }
}

}  // namespace host
