// The one reference count of the COM-shaped objects that platform/ makes
// itself (D3DX buffers, meshes, skins; the X-file reader's objects and documents):
//  - RefCountedInterface: the counting half of their interfaces (AddRef,
//    Release), which ComPtr calls. Only Release ends an object: the
//    destructors of the interfaces are protected.
//  - RefCounted<Interface>: the count behind one interface. The object
//    starts with one reference, the creator's; Release deletes it when none
//    is left. Make one with MakeComPtr (com_ptr.h), which hands that first
//    reference to a ComPtr:
//
//   class Buffer final : public RefCounted<ID3DXBuffer> { ... };
//   ComPtr<Buffer> buffer = MakeComPtr<Buffer>(size);
#pragma once

#include <type_traits>

#include "platform/base/wintypes.h"

class RefCountedInterface {
public:
    RefCountedInterface(const RefCountedInterface&) = delete;
    RefCountedInterface& operator=(const RefCountedInterface&) = delete;
    virtual DWORD AddRef() = 0;
    virtual DWORD Release() = 0;

protected:
    RefCountedInterface() = default;
    virtual ~RefCountedInterface() = default;
};

template <typename Interface>
class RefCounted : public Interface {
    static_assert(std::is_base_of_v<RefCountedInterface, Interface>,
                  "an interface counted here derives from RefCountedInterface");

public:
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
