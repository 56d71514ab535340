// JPEG encoding for the content tools, through stb_image_write (the only
// place that includes it). Output goes to a memory buffer, never a file.
#include "platform/image/image_write.h"

#include <algorithm>
#include <cstddef>
#include <new>

#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

struct Sink {
    std::vector<std::uint8_t>* out;
    bool failed;
};

void Append(void* context, void* data, int size) {
    Sink* sink = static_cast<Sink*>(context);
    if (sink->failed || size <= 0) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    try {
        sink->out->insert(sink->out->end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        sink->failed = true;
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeJpeg(int width, int height, const std::vector<std::uint8_t>& rgb, int quality) {
    std::vector<std::uint8_t> out;
    // stb writes 16-bit dimensions in the frame header.
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return out;
    if (rgb.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) return out;
    Sink sink{&out, false};
    const int ok = stbi_write_jpg_to_func(Append, &sink, width, height, 3, rgb.data(), std::clamp(quality, 1, 100));
    if (!ok || sink.failed) out.clear();
    return out;
}

std::vector<std::uint8_t> EncodePng(int width, int height, const std::vector<std::uint8_t>& rgba) {
    std::vector<std::uint8_t> out;
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535) return out;
    if (rgba.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4) return out;
    Sink sink{&out, false};
    const int ok = stbi_write_png_to_func(Append, &sink, width, height, 4, rgba.data(), width * 4);
    if (!ok || sink.failed) out.clear();
    return out;
}
