// gen_toon: writes the toon ramp texture resources/Toon.bmp, byte for byte
// what the toon_ramp test expects. Usage: gen_toon <output.bmp>
#include <cstdio>
#include <vector>

#include "render/toon_ramp.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.bmp>\n", argv[0]);
        return 2;
    }
    const std::vector<std::uint8_t> bmp = BuildToonBmp();
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bmp.data(), 1, bmp.size(), f) == bmp.size();
    if (std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "%s: write failed\n", argv[1]);
        return 1;
    }
    return 0;
}
