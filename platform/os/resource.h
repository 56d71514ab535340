// Resources embedded in the executable at build time (see resources/manifest.txt),
// looked up by name and type with case ignored, as the original platform does.
#pragma once

#include <cstddef>
#include <cstdint>

struct ResourceEntry {
    const char* name;
    const char* type;
    const unsigned char* begin;
    const unsigned char* end;  // one past the last byte; a NUL byte follows it
};

// The generated table, ended by an entry with a null name. Every executable
// links exactly one table (nereval_resources, or the tests' own).
const ResourceEntry* NerevalResourceTable();

// A found resource: read-only bytes that live as long as the process.
struct ResourceData {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    explicit operator bool() const { return data != nullptr; }
};

// Null data when no resource has that name and type.
ResourceData FindResourceData(const char* name, const char* type);

// Tests only: makes FindResourceData answer "not found" for `name` (any
// type), so a start-up step can be made to fail the way a damaged build
// would. Null shows every resource again.
void HideResourceForTest(const char* name);
