// Allocation that reports failure instead of throwing, into an owner: the
// loaders turn a null result into E_OUTOFMEMORY or a logged failure, as the
// rest of the program expects of running out of memory at start-up. With
// ComPtr (com_ptr.h) these are the program's only owners made by hand, so
// no code above the device internals writes `new`, `delete` or `Release`.
//
// The D3DX calls of platform/d3dx work the other way, because their
// containers throw anyway: inside them running out of memory is a
// std::bad_alloc (from a container, std::make_unique or MakeComPtr), and each
// public call turns it into E_OUTOFMEMORY once, with CatchOutOfMemory.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#include "platform/base/wintypes.h"

// One T made from `args`; null when memory ran out.
template <typename T, typename... Args>
std::unique_ptr<T> NewUnique(Args&&... args) {
    return std::unique_ptr<T>(new (std::nothrow) T(std::forward<Args>(args)...));
}

// `count` value-initialised Ts (zero for plain data); null when memory ran out.
template <typename T>
std::unique_ptr<T[]> NewUniqueArray(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
}

// Runs `fn` (returning an HRESULT); running out of memory inside it gives
// E_OUTOFMEMORY instead of an exception. Owners on `fn`'s stack free what
// was made before the failure.
template <typename Fn>
HRESULT CatchOutOfMemory(Fn&& fn) noexcept {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
