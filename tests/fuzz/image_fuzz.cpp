// libFuzzer target for the image decoders (JPEG and BMP through stb_image,
// DDS by our own reader): an accepted image has a size within the limit and
// exactly four bytes per pixel.
// Build and run: see README.md in this folder.
#include <cstddef>
#include <cstdint>

#include "platform/image/image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    Image image;
    if (FAILED(DecodeImage(input, size, &image))) {
        if (image.width || image.height || !image.bgra.empty()) __builtin_trap();  // left unchanged
        return 0;
    }
    if (image.width == 0 || image.height == 0 || image.width > kMaxImageDimension ||
        image.height > kMaxImageDimension)
        __builtin_trap();
    if (image.bgra.size() != static_cast<std::size_t>(image.width) * image.height * 4) __builtin_trap();
    // The first and the last pixel can be read (the sanitizer checks the rest of the buffer's bounds).
    volatile std::uint8_t sink = static_cast<std::uint8_t>(image.bgra.front() + image.bgra.back());
    (void)sink;
    return 0;
}
