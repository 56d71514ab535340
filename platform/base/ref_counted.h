// RefCounted<Interface>: the one reference count behind the COM-shaped
// objects that platform/ makes itself (D3DX buffers, meshes, skins). The
// object starts with one reference, the creator's; AddRef adds one and
// Release drops one, deleting the object when none is left. Make one with
// MakeComPtr (com_ptr.h), which hands that first reference to a ComPtr:
//
//   class Buffer final : public RefCounted<ID3DXBuffer> { ... };
//   ComPtr<Buffer> buffer = MakeComPtr<Buffer>(size);
//
// A derived class keeps its destructor private, so only Release ends it.
#pragma once

#include <type_traits>

#include "platform/base/wintypes.h"

template <typename Interface>
class RefCounted : public Interface {
    static_assert(std::has_virtual_destructor_v<Interface>,
                  "Release deletes through the interface: give it a virtual destructor");

public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    DWORD AddRef() final { return ++m_refs; }
    DWORD Release() final {
        if (m_refs == 0) return 0;  // over-release: ignored rather than a double free
        const DWORD left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

protected:
    RefCounted() = default;
    ~RefCounted() override = default;

private:
    DWORD m_refs = 1;  // the creator's reference
};
