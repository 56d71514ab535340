// gen_tune: writes the built-in tune from its score (tools/content/tune.h),
// or checks that a committed copy is exactly what the score gives.
//
//   gen_tune FILE            write the tune to FILE (resources/tune_main.mid)
//   gen_tune --check FILE    exit 1 when FILE differs from the score's bytes
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/content/tune.h"

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (!check && (argc != 2 || argv[1][0] == '-')) {
        std::fprintf(stderr, "usage: gen_tune FILE | gen_tune --check FILE\n");
        return 2;
    }
    const char* path = argv[check ? 2 : 1];
    const std::vector<std::uint8_t> bytes = content::BuildTune();
    if (check) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<std::uint8_t> existing((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "%s: missing or unreadable\n", path);
            return 1;
        }
        if (existing != bytes) {
            std::fprintf(stderr, "%s: differs from the score (%zu bytes on disk, %zu generated)\n", path,
                         existing.size(), bytes.size());
            return 1;
        }
        std::printf("%s matches the score\n", path);
        return 0;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())) ||
        !out.flush()) {
        std::fprintf(stderr, "%s: cannot write\n", path);
        return 1;
    }
    std::printf("%s: %zu bytes\n", path, bytes.size());
    return 0;
}
