#pragma once
// Planar YUV (4:2:0, 4:2:2, 4:4:4, grey) to and from the packed 4:2:2 frame
// the denoiser works on (bytes Y0 U Y1 V per pixel pair, rows top-down).
//
// The packed frame carries one chroma pair per two pixels of every row, so:
//   4:2:2  maps exactly, both ways.
//   4:2:0  goes up by repeating each chroma row for its two picture rows and
//          comes back by averaging the two rows, rounding half up:
//          (a + b + 1) >> 1; an odd last row is taken as it is. A frame that
//          goes up and back unchanged is restored exactly.
//   4:4:4  goes down by averaging each horizontal pixel pair, rounding half up,
//          and comes back by giving both pixels the pair's value, so its
//          horizontal chroma resolution is halved.
//   grey   (Y only) goes in with neutral chroma 128 and comes back as Y only.
// Every conversion requires an even width; planes are stored without padding.
#include <cstddef>
#include <cstdint>

namespace host {

enum class Chroma { k420, k422, k444, kMono };

// Size of one chroma plane for a picture of width x height (0 for grey).
int ChromaWidth(Chroma chroma, int width);
int ChromaHeight(Chroma chroma, int height);
// Bytes of one planar frame: Y, then U, then V.
size_t PlanarFrameBytes(Chroma chroma, int width, int height);

// Planar frame (Y, U, V back to back) -> packed 4:2:2, width * height * 2 bytes.
void PlanarToPacked(Chroma chroma, int width, int height, const uint8_t* planar, uint8_t* packed);

// Packed 4:2:2 -> planar frame in the given chroma layout.
void PackedToPlanar(Chroma chroma, int width, int height, const uint8_t* packed, uint8_t* planar);

}  // namespace host
