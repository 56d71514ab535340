// Decoding of texture images held in memory (embedded resources) into 32-bit
// pixels for the device's textures. JPEG and BMP go through stb_image;
// DDS is read by our own reader: uncompressed RGB(A) formats with 16, 24 or
// 32 bits per pixel described by channel masks (A8R8G8B8, X8R8G8B8, R8G8B8,
// R5G6B5, ...) and the block-compressed DXT1, DXT3 and DXT5. Only the
// top-level image is read; mip levels, cube faces and volumes are not.
//
// Input is untrusted: every size is checked against the data length, and
// dimensions above kMaxImageDimension are refused before anything is
// allocated for the pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d8/d3d8types.h"

// Largest width or height accepted (8192 x 8192 x 4 bytes = 256 MiB at most).
constexpr unsigned kMaxImageDimension = 8192;

struct Image {
    unsigned width = 0;
    unsigned height = 0;
    // width * height pixels, top row first, 4 bytes each in the order B, G,
    // R, A: a D3DCOLOR (0xAARRGGBB) read as a little-endian 32-bit word.
    // Formats without alpha give A = 255.
    std::vector<std::uint8_t> bgra;
};

// Decodes data[0 .. size) into *out, recognising the format by its signature.
// Returns S_OK, or on failure leaves *out unchanged and returns:
//   D3DERR_INVALIDCALL  null data or out, or size 0;
//   E_FAIL              unrecognised, truncated or malformed data;
//   D3DERR_NOTAVAILABLE a well-formed image this decoder does not support
//                       (a DDS pixel format, cube map, volume or DX10
//                       header; dimensions above kMaxImageDimension);
//   E_OUTOFMEMORY       the pixel buffer could not be allocated.
HRESULT DecodeImage(const std::uint8_t* data, std::size_t size, Image* out);
