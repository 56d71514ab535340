// Encoding of images for the content and review tools: JPEG and PNG through
// stb_image_write, into memory. Deterministic: the same pixels and quality
// always give the same bytes.
#pragma once

#include <cstdint>
#include <vector>

// Encodes a width x height image of tightly packed R, G, B bytes (top row
// first, 3 * width * height bytes) as a baseline JPEG with 4:2:0 chroma
// subsampling at quality 1..100 (clamped). Returns the file bytes, or an
// empty vector when the dimensions are not positive, the pixel buffer is
// too short or the encoder fails.
std::vector<std::uint8_t> EncodeJpeg(int width, int height, const std::vector<std::uint8_t>& rgb, int quality);

// Encodes tightly packed R, G, B, A rows (top first) as a PNG, for review
// images (screenshots, model sheets). Empty on bad input or failure.
std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgba);
