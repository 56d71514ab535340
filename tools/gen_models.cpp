// gen_models: writes every rigid model resource (clock parts, Earth, moon,
// pillars, obstacle) as a text X file, from the definitions in
// tools/content/models.h.
//
//   gen_models OUTDIR         writes OUTDIR/models/<name>.x for every model
//   gen_models --check DIR    rebuilds them in memory and compares them byte
//                             for byte with DIR/models/<name>.x; one line per
//                             file that differs or is missing, exit status 1
//   gen_models --manifest     prints the manifest lines of the models
//
// OUTDIR and DIR are the resources folder (the one holding manifest.txt).
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/content/file_io.h"
#include "tools/content/models.h"

namespace {

int Usage(const char* argv0) {
    std::fprintf(stderr, "usage: %s OUTDIR | --check DIR | --manifest\n", argv0);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<content::ModelFile> models;
    try {
        models = content::BuildRigidModels();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gen_models: %s\n", e.what());
        return 1;
    }

    if (argc == 2 && std::strcmp(argv[1], "--manifest") == 0) {
        for (const content::ModelFile& m : models) {
            std::printf("%-21s Model   %s\n", m.resourceName.c_str(), m.fileName.c_str());
        }
        return 0;
    }

    if (argc == 3 && std::strcmp(argv[1], "--check") == 0) {
        const std::filesystem::path dir = argv[2];
        int differing = 0;
        for (const content::ModelFile& m : models) {
            const std::filesystem::path path = dir / m.fileName;
            std::string onDisk;
            if (!content::ReadFile(path, &onDisk)) {
                std::fprintf(stderr, "%s: missing or unreadable\n", path.c_str());
                ++differing;
            } else if (onDisk != content::WriteXFile(m)) {
                std::fprintf(stderr, "%s: differs from what gen_models builds\n", path.c_str());
                ++differing;
            }
        }
        return differing == 0 ? 0 : 1;
    }

    if (argc != 2 || argv[1][0] == '-') return Usage(argv[0]);
    const std::filesystem::path dir = argv[1];
    for (const content::ModelFile& m : models) {
        const std::filesystem::path path = dir / m.fileName;
        std::error_code ec;
        std::filesystem::create_directories(path.parent_path(), ec);
        if (ec) {
            std::fprintf(stderr, "%s: %s\n", path.parent_path().c_str(), ec.message().c_str());
            return 1;
        }
        const std::string text = content::WriteXFile(m);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            std::fprintf(stderr, "%s: write failed\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
