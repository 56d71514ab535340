// The Windows base types and status codes the rest of the program is written
// in (DWORD, HRESULT, S_OK, E_FAIL, ...), with their documented widths and
// values. A leaf: OS services that only need these include nothing else.
#pragma once

#include <cstdint>

using DWORD = std::uint32_t;
// Shared by the registry and the instance lock: a file exists but cannot be opened or read.
constexpr DWORD ERROR_ACCESS_DENIED = 5;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using UINT = unsigned int;
using BOOL = int;
using HRESULT = std::int32_t;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// 32-bit pattern of a float, as render states such as FOGEND take them.
inline DWORD FloatToDword(float f) {
    DWORD d;
    static_assert(sizeof d == sizeof f);
    __builtin_memcpy(&d, &f, sizeof d);
    return d;
}
inline float DwordToFloat(DWORD d) {
    float f;
    __builtin_memcpy(&f, &d, sizeof f);
    return f;
}
