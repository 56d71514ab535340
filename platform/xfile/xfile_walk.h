// The one walk over an X-file data object's children, shared by the mesh
// loader, the skinned and rigid model loaders and the file report: in file
// order, each child handed to a visitor as what it is (a data object or a
// reference to one), until the children end or the visitor fails. The walk
// allocates nothing beyond the reader's own child objects.
#pragma once

#include <type_traits>

#include "platform/base/com_ptr.h"
#include "platform/xfile/xfile.h"

// One child of the walk; exactly one of the two pointers is set. Both live
// until the visitor returns (AddRef, or ComPtr::Share, to keep one).
struct XFileChild {
    IDirectXFileData* data = nullptr;
    IDirectXFileDataReference* reference = nullptr;

    // The data object itself (one more reference to it), or the object the
    // reference names; null when the reference resolves to nothing.
    ComPtr<IDirectXFileData> Target() const {
        if (data) return ComPtr<IDirectXFileData>::Share(data);
        ComPtr<IDirectXFileData> target;
        if (FAILED(reference->Resolve(target.Out()))) target.Reset();
        return target;
    }
};

// Calls visit(const XFileChild&) for each child of `object` in file order.
// A visitor returning an HRESULT ends the walk at its first failure, which
// the walk returns; a visitor returning nothing sees every child. S_OK when
// the children end (the reader's DXFILEERR_NOMOREOBJECTS); any other failure
// to get the next child (out of memory) ends the walk with that failure, so a
// loader never takes the children it saw for the whole object.
// A child that is neither kind (the reader makes none) is skipped.
template <typename Visit>
HRESULT ForEachXFileChild(IDirectXFileData* object, Visit&& visit) {
    for (;;) {
        ComPtr<IDirectXFileObject> child;
        const HRESULT next = object->GetNextObject(child.Out());
        if (next == DXFILEERR_NOMOREOBJECTS) return S_OK;
        if (FAILED(next)) return next;
        if (!child) return S_OK;
        ComPtr<IDirectXFileData> data;
        ComPtr<IDirectXFileDataReference> reference;
        XFileChild view;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(data.Out())))) {
            view.data = data.Get();
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference,
                                                   reinterpret_cast<void**>(reference.Out())))) {
            view.reference = reference.Get();
        } else {
            continue;
        }
        if constexpr (std::is_void_v<std::invoke_result_t<Visit&, const XFileChild&>>) {
            visit(static_cast<const XFileChild&>(view));
        } else {
            const HRESULT hr = visit(static_cast<const XFileChild&>(view));
            if (FAILED(hr)) return hr;
        }
    }
}
