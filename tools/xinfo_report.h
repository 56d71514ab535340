// The report of the `xinfo` tool: what a text X file holds, as the model
// loaders see it, one fact per line in a stable form (the tool's README
// section lists the lines). Uses only the X-file reader and the D3DX mesh
// loader, so it needs no window or GL context.
#pragma once

#include <cstddef>
#include <string>

struct XInfoResult {
    bool ok = false;     // the reader opened the file and every mesh loaded
    std::string report;  // the fact lines, each ending in '\n' (empty when the reader failed)
    std::string error;   // why not ok: the reader's error text, or the mesh that failed to load
};

// Reports on the X file held in data (size bytes), read from path (used
// only in the report's first line).
XInfoResult XInfoReport(const std::string& path, const void* data, std::size_t size);
