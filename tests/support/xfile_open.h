// Test helper: X data opened with the reader and the standard templates, the
// way every X-file test starts.
#pragma once

#include <cstddef>
#include <string>

#include "platform/base/com_ptr.h"
#include "platform/xfile/xfile.h"

namespace xtest {

// Opens `size` bytes at `data`: DXFILE_OK with the enumerator in *en, or the
// first failing call's result and, when `error` is given, the reader's text
// for it. The enumerator keeps what it needs of the file object.
inline HRESULT OpenX(const void* data, std::size_t size, ComPtr<IDirectXFileEnumObject>* en,
                     std::string* error = nullptr) {
    ComPtr<IDirectXFile> file;
    HRESULT hr = DirectXFileCreate(file.Out());
    if (SUCCEEDED(hr)) hr = file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES);
    if (SUCCEEDED(hr)) hr = file->CreateEnumObject(data, static_cast<DWORD>(size), en->Out());
    if (FAILED(hr) && error && file) *error = file->GetLastErrorText();
    return hr;
}

inline HRESULT OpenX(const std::string& text, ComPtr<IDirectXFileEnumObject>* en, std::string* error = nullptr) {
    return OpenX(text.data(), text.size(), en, error);
}

// The object's name; empty when it has none.
inline std::string NameOf(IDirectXFileObject* object) {
    char buf[256] = {};
    DWORD size = sizeof buf;
    if (FAILED(object->GetName(buf, &size))) return {};
    return buf;
}

}  // namespace xtest
