// xinfo: prints what a text X file holds (frames, meshes as loaded, materials,
// bones, animations), one fact per line. Exit 0 when the file and all its
// meshes load; 1 with the reason on stderr when not; 2 for a usage error.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/xinfo_report.h"

namespace {
constexpr const char* kUsage =
    "usage: xinfo FILE.x\n"
    "Prints what a text X file holds, one fact per line. Exit status: 0 when the\n"
    "file and all its meshes load, 1 when not (reason on stderr), 2 for usage.\n";
}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 2 || argv[1][0] == '-') {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string path = argv[1];
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        std::fprintf(stderr, "xinfo: %s: is a directory\n", path.c_str());
        return 1;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "xinfo: %s: cannot open\n", path.c_str());
        return 1;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        std::fprintf(stderr, "xinfo: %s: cannot read\n", path.c_str());
        return 1;
    }
    const XInfoResult result = XInfoReport(path, bytes.data(), bytes.size());
    std::fputs(result.report.c_str(), stdout);
    if (!result.ok) {
        std::fprintf(stderr, "xinfo: %s: %s\n", path.c_str(), result.error.c_str());
        return 1;
    }
    return 0;
}
