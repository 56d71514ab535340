// Textures and vertex shader sources from the executable's embedded resources.
#include "platform/d3dx/d3dx_resource.h"

#include <cstring>

#include "platform/image/image.h"
#include "platform/os/resource.h"

HRESULT D3DXCreateTextureFromResourceA(IDirect3DDevice8* device, const char* resourceName,
                                       IDirect3DTexture8** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!device || !resourceName) return D3DERR_INVALIDCALL;

    const ResourceData res = FindResourceData(resourceName, "RCDATA");
    if (!res || res.size == 0) return D3DXERR_INVALIDDATA;
    // Decoded once at load time; the pixels are freed when the device has
    // its own copy.
    Image image;
    const HRESULT decoded = DecodeImage(res.data, res.size, &image);
    if (decoded == E_OUTOFMEMORY) return E_OUTOFMEMORY;
    if (FAILED(decoded) || image.width == 0 || image.height == 0) return D3DXERR_INVALIDDATA;
    return device->CreateTextureFromPixels(image.width, image.height, image.bgra.data(), texture);
}

HRESULT D3DXAssembleShaderFromResourceA(const char* resourceName, DWORD, ID3DXBuffer** constants,
                                        ID3DXBuffer** code, ID3DXBuffer** errors) {
    // Our shaders carry no separate constant declarations, and compile errors
    // surface when the device builds the program, so both outputs stay empty.
    if (constants) *constants = nullptr;
    if (errors) *errors = nullptr;
    if (!code) return D3DERR_INVALIDCALL;
    *code = nullptr;
    if (!resourceName) return D3DERR_INVALIDCALL;

    const ResourceData res = FindResourceData(resourceName, "RCDATA");
    if (!res) return D3DXERR_INVALIDDATA;
    // The text up to its first NUL (the resource table puts one after the
    // data), so an embedded NUL cannot hide a tail CreateVertexShader skips.
    const std::size_t length = strnlen(reinterpret_cast<const char*>(res.data), res.size);
    if (length == 0 || length + 1 > 0xFFFFFFFFu) return D3DXERR_INVALIDDATA;

    ID3DXBuffer* buffer = nullptr;
    const HRESULT hr = D3DXCreateBuffer(static_cast<DWORD>(length + 1), &buffer);
    if (FAILED(hr)) return hr;
    char* text = static_cast<char*>(buffer->GetBufferPointer());
    std::memcpy(text, res.data, length);
    text[length] = '\0';
    *code = buffer;
    return S_OK;
}
