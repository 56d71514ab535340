// gen_whales: writes the whale model resources (the skinned whales
// WHALESKINNED01.X..03.X, the small skinned Dammy.x and the rigid stand-ins
// WHALEDAMMY.X and WHALEDAMMY2.X) as text X files, from the definitions in
// tools/content/whales.h.
//
//   gen_whales OUTDIR         writes OUTDIR/models/<name>.x for every model
//   gen_whales --check DIR    rebuilds them in memory and compares them byte
//                             for byte with DIR/models/<name>.x; one line per
//                             file that differs or is missing, exit status 1
//   gen_whales --manifest     prints the manifest lines of the models
//
// OUTDIR and DIR are the resources folder (the one holding manifest.txt).
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tools/content/file_io.h"
#include "tools/content/whales.h"

namespace {

struct OutFile {
    std::string resourceName, fileName, text;
};

std::vector<OutFile> BuildAll() {
    std::vector<OutFile> files;
    for (const content::SkinnedModel& m : content::BuildSkinnedWhales()) {
        files.push_back({m.resourceName, m.fileName, content::WriteSkinnedXFile(m)});
    }
    for (const content::ModelFile& m : content::BuildWhaleHulls()) {
        files.push_back({m.resourceName, m.fileName, content::WriteWhaleHullXFile(m)});
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<OutFile> files;
    try {
        files = BuildAll();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gen_whales: %s\n", e.what());
        return 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "--manifest") == 0) {
        for (const OutFile& f : files) std::printf("%-21s Model   %s\n", f.resourceName.c_str(), f.fileName.c_str());
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--check") == 0) {
        int differing = 0;
        for (const OutFile& f : files) {
            const std::filesystem::path path = std::filesystem::path(argv[2]) / f.fileName;
            std::string onDisk;
            if (!content::ReadFile(path, &onDisk)) {
                std::fprintf(stderr, "%s: missing or unreadable\n", path.c_str());
                ++differing;
            } else if (onDisk != f.text) {
                std::fprintf(stderr, "%s: differs from what gen_whales builds\n", path.c_str());
                ++differing;
            }
        }
        return differing == 0 ? 0 : 1;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: %s OUTDIR | --check DIR | --manifest\n", argv[0]);
        return 2;
    }
    for (const OutFile& f : files) {
        const std::filesystem::path path = std::filesystem::path(argv[1]) / f.fileName;
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(f.text.data(), static_cast<std::streamsize>(f.text.size()));
        out.close();
        if (ec || !out) {
            std::fprintf(stderr, "%s: write failed\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
