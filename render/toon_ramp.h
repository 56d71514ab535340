// The toon ramp image "Toon.bmp": a 128 x 128 greyscale strip of six bands,
// black on the left to near-white on the right, every row the same. The toon
// shaders index it by u = (n·L + 1) / 2, so the band under a vertex picks how
// much of its colour survives. tools/gen_toon writes the committed resource
// from here, and a test checks that the two still agree byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr unsigned kToonRampSize = 128;  // texels, both width and height

// The grey level (0..255) of texel column x (0 = left); 0 beyond the image.
std::uint8_t ToonRampLevel(unsigned x);

// The complete file: a bottom-up, uncompressed 24-bit BMP (BITMAPFILEHEADER,
// BITMAPINFOHEADER, then rows of B, G, R bytes; 384-byte rows need no padding).
std::vector<std::uint8_t> BuildToonBmp();
