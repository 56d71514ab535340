// Image decoding for textures: DDS by our own reader, JPEG and BMP through
// stb_image. All output is B, G, R, A bytes, top row first.
#include "platform/image/image.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint16_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Pixels of a w x h image, allocated only after the caller has validated
// the dimensions; false when out of memory.
bool AllocatePixels(Image& img, unsigned w, unsigned h) {
    try {
        img.width = w;
        img.height = h;
        img.bgra.assign(static_cast<std::size_t>(w) * h * 4, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// ---- DDS ----
//
// File layout: "DDS " magic, then a 124-byte header (all fields little-endian
// 32-bit words), then the top-level image, then the mip levels. Offsets below
// are from the start of the header.
constexpr std::size_t kDdsMagicSize = 4;
constexpr std::size_t kDdsHeaderSize = 124;
constexpr std::size_t kDdsPixelFormatSize = 32;
constexpr std::size_t kOffHeaderSize = 0, kOffHeight = 8, kOffWidth = 12, kOffPixelFormat = 72, kOffCaps2 = 108;
// Pixel format fields, from the start of the pixel format block.
constexpr std::size_t kOffPfSize = 0, kOffPfFlags = 4, kOffPfFourCC = 8, kOffPfBitCount = 12, kOffPfRMask = 16,
                      kOffPfGMask = 20, kOffPfBMask = 24, kOffPfAMask = 28;

constexpr std::uint32_t kDdpfAlphaPixels = 0x1;
constexpr std::uint32_t kDdpfFourCC = 0x4;
constexpr std::uint32_t kDdpfRgb = 0x40;
constexpr std::uint32_t kDdsCaps2CubeMap = 0x200;
constexpr std::uint32_t kDdsCaps2Volume = 0x200000;

constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24);
}

bool IsDds(const std::uint8_t* data, std::size_t size) {
    return size >= kDdsMagicSize && std::memcmp(data, "DDS ", kDdsMagicSize) == 0;
}

// One colour channel of an uncompressed pixel, given by a contiguous bit mask.
struct Channel {
    std::uint32_t mask = 0;
    unsigned shift = 0;
    std::uint32_t max = 0;  // mask >> shift

    explicit Channel(std::uint32_t m) : mask(m) {
        if (!mask) return;
        while (!((mask >> shift) & 1u)) ++shift;
        max = mask >> shift;
    }
    bool Contiguous() const { return (max & (max + 1)) == 0; }
    // The channel scaled to 0..255, rounded.
    std::uint8_t Extract(std::uint32_t pixel) const {
        const std::uint64_t v = (pixel & mask) >> shift;
        return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
    }
};

HRESULT DecodeDdsUncompressed(const std::uint8_t* pf, const std::uint8_t* pixels, std::size_t available,
                              unsigned w, unsigned h, Image& img) {
    const std::uint32_t flags = ReadU32(pf + kOffPfFlags);
    const std::uint32_t bits = ReadU32(pf + kOffPfBitCount);
    if (bits != 16 && bits != 24 && bits != 32) return D3DERR_NOTAVAILABLE;
    const Channel r(ReadU32(pf + kOffPfRMask)), g(ReadU32(pf + kOffPfGMask)), b(ReadU32(pf + kOffPfBMask));
    const Channel a((flags & kDdpfAlphaPixels) ? ReadU32(pf + kOffPfAMask) : 0u);
    const std::uint64_t fits = bits == 32 ? 0xFFFFFFFFull : ((1ull << bits) - 1);
    for (const Channel* c : {&r, &g, &b, &a}) {
        if (c->mask & ~fits) return E_FAIL;  // a mask wider than the pixel
        if (!c->Contiguous()) return D3DERR_NOTAVAILABLE;
    }
    if (!r.mask || !g.mask || !b.mask) return D3DERR_NOTAVAILABLE;  // luminance, alpha-only, ...

    // Rows are tightly packed: pitch = ceil(width * bits / 8).
    const std::uint64_t bytesPerPixel = bits / 8;
    const std::uint64_t pitch = w * bytesPerPixel;
    if (pitch * h > available) return E_FAIL;

    if (!AllocatePixels(img, w, h)) return E_OUTOFMEMORY;
    std::uint8_t* dst = img.bgra.data();
    for (unsigned y = 0; y < h; ++y) {
        const std::uint8_t* src = pixels + y * pitch;
        for (unsigned x = 0; x < w; ++x, src += bytesPerPixel, dst += 4) {
            std::uint32_t p = src[0] | (static_cast<std::uint32_t>(src[1]) << 8);
            if (bits >= 24) p |= static_cast<std::uint32_t>(src[2]) << 16;
            if (bits == 32) p |= static_cast<std::uint32_t>(src[3]) << 24;
            dst[0] = b.Extract(p);
            dst[1] = g.Extract(p);
            dst[2] = r.Extract(p);
            dst[3] = a.mask ? a.Extract(p) : 255;
        }
    }
    return S_OK;
}

// The four colours of a DXT colour block (two RGB565 end points, 2-bit
// indices), B, G, R, A each. In DXT1 a block with c0 <= c1 is in its
// three-colour mode and index 3 is transparent black; DXT3/5 colour blocks
// always use four colours.
void DxtPalette(const std::uint8_t* block, bool allowThreeColour, std::uint8_t pal[4][4]) {
    const std::uint16_t c0 = ReadU16(block), c1 = ReadU16(block + 2);
    for (int i = 0; i < 2; ++i) {
        const std::uint16_t c = i == 0 ? c0 : c1;
        const unsigned r5 = (c >> 11) & 31, g6 = (c >> 5) & 63, b5 = c & 31;
        pal[i][0] = static_cast<std::uint8_t>((b5 << 3) | (b5 >> 2));
        pal[i][1] = static_cast<std::uint8_t>((g6 << 2) | (g6 >> 4));
        pal[i][2] = static_cast<std::uint8_t>((r5 << 3) | (r5 >> 2));
        pal[i][3] = 255;
    }
    const bool fourColour = !allowThreeColour || c0 > c1;
    for (int k = 0; k < 3; ++k) {
        if (fourColour) {
            pal[2][k] = static_cast<std::uint8_t>((2 * pal[0][k] + pal[1][k] + 1) / 3);
            pal[3][k] = static_cast<std::uint8_t>((pal[0][k] + 2 * pal[1][k] + 1) / 3);
        } else {
            pal[2][k] = static_cast<std::uint8_t>((pal[0][k] + pal[1][k]) / 2);
            pal[3][k] = 0;
        }
    }
    pal[2][3] = 255;
    pal[3][3] = fourColour ? 255 : 0;
}

// The sixteen alphas of a DXT5 alpha block (two end points, 3-bit indices).
void Dxt5Alpha(const std::uint8_t* block, std::uint8_t alpha[16]) {
    const unsigned a0 = block[0], a1 = block[1];
    unsigned pal[8] = {a0, a1, 0, 0, 0, 0, 0, 0};
    if (a0 > a1) {
        for (unsigned i = 1; i < 7; ++i) pal[i + 1] = ((7 - i) * a0 + i * a1 + 3) / 7;
    } else {
        for (unsigned i = 1; i < 5; ++i) pal[i + 1] = ((5 - i) * a0 + i * a1 + 2) / 5;
        pal[6] = 0;
        pal[7] = 255;
    }
    std::uint64_t indices = 0;
    for (int i = 0; i < 6; ++i) indices |= static_cast<std::uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i) alpha[i] = static_cast<std::uint8_t>(pal[(indices >> (3 * i)) & 7]);
}

HRESULT DecodeDdsDxt(std::uint32_t fourCC, const std::uint8_t* pixels, std::size_t available, unsigned w,
                     unsigned h, Image& img) {
    const bool dxt1 = fourCC == FourCC('D', 'X', 'T', '1');
    const std::uint64_t blockBytes = dxt1 ? 8 : 16;
    const unsigned blocksX = (w + 3) / 4, blocksY = (h + 3) / 4;
    if (std::uint64_t(blocksX) * blocksY * blockBytes > available) return E_FAIL;

    if (!AllocatePixels(img, w, h)) return E_OUTOFMEMORY;
    const std::uint8_t* block = pixels;
    for (unsigned by = 0; by < blocksY; ++by) {
        for (unsigned bx = 0; bx < blocksX; ++bx, block += blockBytes) {
            std::uint8_t alpha[16];
            const std::uint8_t* colour = block;
            if (fourCC == FourCC('D', 'X', 'T', '3')) {
                for (int i = 0; i < 16; ++i) {
                    const unsigned nibble = (block[i / 2] >> (4 * (i & 1))) & 15;
                    alpha[i] = static_cast<std::uint8_t>(nibble * 17);
                }
                colour = block + 8;
            } else if (fourCC == FourCC('D', 'X', 'T', '5')) {
                Dxt5Alpha(block, alpha);
                colour = block + 8;
            }
            std::uint8_t pal[4][4];
            DxtPalette(colour, dxt1, pal);
            const std::uint32_t indices = ReadU32(colour + 4);
            for (unsigned py = 0; py < 4; ++py) {
                const unsigned y = by * 4 + py;
                if (y >= h) break;
                for (unsigned px = 0; px < 4; ++px) {
                    const unsigned x = bx * 4 + px;
                    if (x >= w) break;
                    const unsigned i = py * 4 + px;
                    std::uint8_t* dst = img.bgra.data() + (static_cast<std::size_t>(y) * w + x) * 4;
                    std::memcpy(dst, pal[(indices >> (2 * i)) & 3], 4);
                    if (!dxt1) dst[3] = alpha[i];
                }
            }
        }
    }
    return S_OK;
}

HRESULT DecodeDds(const std::uint8_t* data, std::size_t size, Image& img) {
    if (size < kDdsMagicSize + kDdsHeaderSize) return E_FAIL;
    const std::uint8_t* hdr = data + kDdsMagicSize;
    const std::uint8_t* pf = hdr + kOffPixelFormat;
    if (ReadU32(hdr + kOffHeaderSize) != kDdsHeaderSize || ReadU32(pf + kOffPfSize) != kDdsPixelFormatSize)
        return E_FAIL;
    const std::uint32_t w = ReadU32(hdr + kOffWidth), h = ReadU32(hdr + kOffHeight);
    if (w == 0 || h == 0) return E_FAIL;
    if (w > kMaxImageDimension || h > kMaxImageDimension) return D3DERR_NOTAVAILABLE;
    if (ReadU32(hdr + kOffCaps2) & (kDdsCaps2CubeMap | kDdsCaps2Volume)) return D3DERR_NOTAVAILABLE;

    const std::uint8_t* pixels = hdr + kDdsHeaderSize;
    const std::size_t available = size - kDdsMagicSize - kDdsHeaderSize;
    const std::uint32_t flags = ReadU32(pf + kOffPfFlags);
    if (flags & kDdpfFourCC) {
        const std::uint32_t fourCC = ReadU32(pf + kOffPfFourCC);
        if (fourCC == FourCC('D', 'X', 'T', '1') || fourCC == FourCC('D', 'X', 'T', '3') ||
            fourCC == FourCC('D', 'X', 'T', '5'))
            return DecodeDdsDxt(fourCC, pixels, available, w, h, img);
        return D3DERR_NOTAVAILABLE;  // DX10 header, premultiplied DXT2/4, float formats, ...
    }
    if (flags & kDdpfRgb) return DecodeDdsUncompressed(pf, pixels, available, w, h, img);
    return D3DERR_NOTAVAILABLE;  // luminance, alpha-only, YUV
}

// ---- JPEG and BMP through stb_image ----

// The stb_image in use (2.27) has two known faults with hostile JPEG huffman
// tables, both fixed upstream later: a DHT segment whose code counts sum
// past 256 overruns its fixed tables, and a scan that selects a table no DHT
// defined decodes with uninitialised tables and indexes far out of bounds.
// This walks the file's marker segments the way its decoder does and
// refuses both. Entropy-coded data between segments is skipped: there 0xFF
// is followed by 0x00 (a stuffed byte) or a restart marker.
bool JpegHuffmanTablesAreSafe(const std::uint8_t* d, std::size_t n) {
    auto byteAt = [d, n](std::size_t i) -> unsigned { return i < n ? d[i] : 0; };  // stb reads 0 past the end
    // Start of image: 0xFF, any further 0xFF fill bytes, 0xD8.
    if (byteAt(0) != 0xFF) return true;  // not a JPEG
    std::size_t i = 1;
    while (i < n && d[i] == 0xFF) ++i;
    if (byteAt(i++) != 0xD8) return true;
    bool defined[2][4] = {};  // [DC, AC][table id]
    bool progressive = false;
    while (i < n) {
        if (d[i++] != 0xFF) continue;
        while (i < n && d[i] == 0xFF) ++i;  // fill bytes
        if (i >= n) break;
        const unsigned marker = d[i++];
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
        if (marker == 0xD9) break;  // end of image
        const std::size_t length = (byteAt(i) << 8) | byteAt(i + 1);
        if (marker == 0xC2) progressive = true;
        if (marker == 0xC4) {
            // Tables follow one another until the segment length is used up;
            // like the decoder, keep reading past a table that overruns it.
            long remaining = static_cast<long>(length) - 2;
            std::size_t p = i + 2;
            while (remaining > 0) {
                const unsigned cls = byteAt(p) >> 4, id = byteAt(p) & 15;
                if (cls > 1 || id > 3) return false;
                unsigned codes = 0;
                for (std::size_t k = 1; k <= 16; ++k) codes += byteAt(p + k);
                if (codes > 256) return false;
                defined[cls][id] = true;
                p += 17 + codes;
                remaining -= static_cast<long>(17 + codes);
            }
        } else if (marker == 0xDA) {
            // Scan header: component count, (component, DC/AC table) pairs,
            // spectral start and end, successive approximation. A baseline
            // scan uses both tables of each component; a progressive DC scan
            // only the DC table on its first pass, an AC scan only the AC table.
            const unsigned count = byteAt(i + 2);
            const std::size_t tail = i + 3 + 2 * static_cast<std::size_t>(count);
            const unsigned spectralStart = byteAt(tail), approxHigh = byteAt(tail + 2) >> 4;
            const bool usesDc = !progressive || (spectralStart == 0 && approxHigh == 0);
            const bool usesAc = !progressive || spectralStart != 0;
            for (unsigned c = 0; c < count; ++c) {
                const unsigned tables = byteAt(i + 4 + 2 * c);
                if ((tables >> 4) > 3 || (tables & 15) > 3) return false;
                if (usesDc && !defined[0][tables >> 4]) return false;
                if (usesAc && !defined[1][tables & 15]) return false;
            }
        }
        i += length;
    }
    return true;
}

HRESULT DecodeWithStb(const std::uint8_t* data, std::size_t size, Image& img) {
    if (size > static_cast<std::size_t>(INT_MAX)) return D3DERR_NOTAVAILABLE;
    const int len = static_cast<int>(size);
    if (!JpegHuffmanTablesAreSafe(data, size)) return E_FAIL;
    int w = 0, h = 0, comp = 0;
    // The header alone first, so that oversized images are refused before
    // the decoder allocates for them.
    if (!stbi_info_from_memory(data, len, &w, &h, &comp)) return E_FAIL;
    if (w <= 0 || h <= 0) return E_FAIL;
    if (static_cast<unsigned>(w) > kMaxImageDimension || static_cast<unsigned>(h) > kMaxImageDimension)
        return D3DERR_NOTAVAILABLE;

    // Four components requested: stb fills alpha with 255 for opaque formats.
    stbi_uc* rgba = stbi_load_from_memory(data, len, &w, &h, &comp, 4);
    if (!rgba) return E_FAIL;
    HRESULT hr = S_OK;
    if (w <= 0 || h <= 0 || static_cast<unsigned>(w) > kMaxImageDimension ||
        static_cast<unsigned>(h) > kMaxImageDimension) {
        hr = E_FAIL;
    } else if (!AllocatePixels(img, static_cast<unsigned>(w), static_cast<unsigned>(h))) {
        hr = E_OUTOFMEMORY;
    } else {
        const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
        std::uint8_t* dst = img.bgra.data();
        for (std::size_t i = 0; i < count; ++i, dst += 4) {
            const stbi_uc* src = rgba + i * 4;
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
            dst[3] = src[3];
        }
    }
    stbi_image_free(rgba);
    return hr;
}

}  // namespace

HRESULT DecodeImage(const std::uint8_t* data, std::size_t size, Image* out) {
    if (!data || !out || size == 0) return D3DERR_INVALIDCALL;
    Image img;
    const HRESULT hr = IsDds(data, size) ? DecodeDds(data, size, img) : DecodeWithStb(data, size, img);
    if (SUCCEEDED(hr)) *out = std::move(img);
    return hr;
}
