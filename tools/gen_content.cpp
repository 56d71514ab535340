// gen_content: writes the placement files, the camera path and the textures
// that the program embeds (resources/misc, resources/textures), or checks
// that committed copies are exactly what the generators produce.
//
//   gen_content OUTDIR          write every file under OUTDIR
//   gen_content --check DIR     regenerate in memory and compare with the
//                               files under DIR byte for byte; exit 1 and
//                               name each file that differs or is missing
//
// Every generator is deterministic: no clock, no library random generator.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tools/content/placement_format.h"
#include "tools/content/placement_layouts.h"
#include "tools/content/texture_files.h"

namespace {

struct Output {
    const char* path;  // relative to the output folder
    std::function<std::vector<std::uint8_t>()> make;
};

std::vector<Output> Outputs() {
    using namespace content;
    return {
        {"misc/OBSTACLE01.BPS", [] { return EncodePlacementFile(ObstaclePlacements()); }},
        {"misc/PILLAR.BPS", [] { return EncodePlacementFile(PillarPlacements()); }},
        {"misc/PILLAR2.BPS", [] { return EncodePlacementFile(Pillar2Placements()); }},
        {"misc/MOON.BPS", [] { return EncodePlacementFile(MoonPlacements()); }},
        {"misc/WORLDCLOCK.TPS", [] { return EncodePlacementFile(WorldClockPlacements()); }},
        {"misc/CLOCK.FPP", [] { return EncodePathFile(ClockPathPoints(), ClockPathTrailing()); }},
        {"textures/EARTH.JPG", EarthJpeg},
        {"textures/MOONFACE01.JPG", MoonFaceJpeg},
        {"textures/ParticleBubble01.dds", BubbleDds},
    };
}

bool ReadFile(const std::filesystem::path& path, std::vector<std::uint8_t>& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

int Usage() {
    std::fprintf(stderr, "usage: gen_content OUTDIR | gen_content --check DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (!check && (argc != 2 || argv[1][0] == '-')) return Usage();
    const std::filesystem::path root = argv[check ? 2 : 1];

    int failures = 0;
    for (const Output& o : Outputs()) {
        const std::vector<std::uint8_t> bytes = o.make();
        const std::filesystem::path path = root / o.path;
        if (bytes.empty()) {
            std::fprintf(stderr, "%s: generator produced no data\n", o.path);
            ++failures;
            continue;
        }
        if (check) {
            std::vector<std::uint8_t> existing;
            if (!ReadFile(path, existing)) {
                std::fprintf(stderr, "%s: missing or unreadable\n", path.c_str());
                ++failures;
            } else if (existing != bytes) {
                std::size_t at = 0;
                while (at < existing.size() && at < bytes.size() && existing[at] == bytes[at]) ++at;
                std::fprintf(stderr, "%s: differs from the generator (%zu bytes on disk, %zu generated, first difference at byte %zu)\n",
                             path.c_str(), existing.size(), bytes.size(), at);
                ++failures;
            }
        } else if (!WriteFile(path, bytes)) {
            std::fprintf(stderr, "%s: cannot write\n", path.c_str());
            ++failures;
        } else {
            std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
        }
    }
    if (check && failures == 0) std::printf("all generated content matches\n");
    return failures ? 1 : 0;
}
