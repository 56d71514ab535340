// xinfo: prints what a text X file holds (frames, meshes as loaded, materials,
// bones, animations), one fact per line. Exit 0 when the file and all its
// meshes load; 1 with the reason on stderr when not; 2 for a usage error.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/xinfo_report.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: xinfo FILE.x\n");
        return 2;
    }
    const std::string path = argv[1];
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
