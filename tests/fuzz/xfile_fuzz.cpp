// libFuzzer target for the text X-file reader: opens the input as an X file
// (after the standard templates) and as a template block, and walks every
// object, child, reference and member the way the loaders do.
// Build and run: see README.md in this folder.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/base/com_ptr.h"
#include "platform/xfile/xfile.h"

namespace {

// Touches every byte handed out, so the sanitizers see any bad pointer.
volatile std::uint8_t g_sink;

void Touch(const void* data, DWORD size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint8_t sum = 0;
    for (DWORD i = 0; i < size; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    g_sink = sum;
}

void WalkName(IDirectXFileObject* object) {
    DWORD size = 0;
    if (FAILED(object->GetName(nullptr, &size)) || size > 4096) return;
    char name[4096];
    DWORD capacity = sizeof name;
    if (SUCCEEDED(object->GetName(name, &capacity)) && capacity > 0 && name[capacity - 1] != '\0') __builtin_trap();
    GUID id;
    object->GetId(&id);
}

void WalkData(IDirectXFileData* data, int depth) {
    WalkName(data);
    const GUID* type = nullptr;
    if (FAILED(data->GetType(&type)) || !type) __builtin_trap();
    DWORD size = 0;
    void* bytes = nullptr;
    if (FAILED(data->GetData(nullptr, &size, &bytes))) __builtin_trap();
    Touch(bytes, size);
    static const char* const kMembers[] = {"nVertices", "vertices", "faces", "keys", "filename",
                                           "transformNodeName", "weights", "matrixOffset", "frameMatrix"};
    for (const char* member : kMembers) {
        if (SUCCEEDED(data->GetData(member, &size, &bytes))) Touch(bytes, size);
    }
    if (*type == TID_D3DRMTextureFilename && SUCCEEDED(data->GetData("filename", &size, &bytes))) {
        const char* text = nullptr;
        std::memcpy(&text, bytes, sizeof text);
        Touch(text, static_cast<DWORD>(std::strlen(text)));
    }
    if (depth > 80) return;  // deeper than the reader allows
    ComPtr<IDirectXFileObject> child;
    while (SUCCEEDED(data->GetNextObject(child.Out()))) {
        WalkName(child);
        ComPtr<IDirectXFileData> childData;
        ComPtr<IDirectXFileDataReference> ref;
        if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileData, reinterpret_cast<void**>(childData.Out())))) {
            WalkData(childData, depth + 1);
        } else if (SUCCEEDED(child->QueryInterface(IID_IDirectXFileDataReference, reinterpret_cast<void**>(ref.Out())))) {
            ComPtr<IDirectXFileData> target;
            if (FAILED(ref->Resolve(target.Out()))) __builtin_trap();
            // Only the target's own data: references may form cycles.
            if (FAILED(target->GetData(nullptr, &size, &bytes))) __builtin_trap();
            Touch(bytes, size);
        } else {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    if (size > 1 << 20) return 0;
    ComPtr<IDirectXFile> file;
    if (FAILED(DirectXFileCreate(file.Out()))) return 0;
    if (FAILED(file->RegisterTemplates(D3DRM_XTEMPLATES, D3DRM_XTEMPLATE_BYTES))) __builtin_trap();

    ComPtr<IDirectXFileEnumObject> en;
    if (SUCCEEDED(file->CreateEnumObject(input, static_cast<DWORD>(size), en.Out()))) {
        ComPtr<IDirectXFileData> data;
        while (SUCCEEDED(en->GetNextDataObject(data.Out()))) WalkData(data, 0);
    }
    en.Reset();
    file->RegisterTemplates(input, static_cast<DWORD>(size));
    return 0;
}
