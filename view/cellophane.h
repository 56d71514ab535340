// Cellophane: a screen-sized quad drawn over the finished 3D picture that
// tints it blue like a sheet of coloured cellophane (switch intChkCelphn).
// In the deep sea the picture is multiplied by a pale blue; otherwise a
// quarter of full blue is added to every pixel.
#pragma once

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"

class ErrLog;
class Settings;

class Cellophane {
public:
    // Pre-transformed overlay vertex: back-buffer pixels, depth 0, rhw 1.
    struct Vertex {
        float x, y, z, rhw;
        D3DCOLOR color;
        float u, v;
    };
    static constexpr DWORD kFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 324
    static constexpr UINT kBufferBytes = 4 * sizeof(Vertex);                    // 112
    static constexpr D3DCOLOR kDeepSeaColor = 0x40C8C8FF;  // multiplies: red, green x 200/255
    static constexpr D3DCOLOR kNormalColor = 0x400000FF;   // adds alpha x blue: a quarter of full blue

    Cellophane() = default;
    Cellophane(const Cellophane&) = delete;
    Cellophane& operator=(const Cellophane&) = delete;
    ~Cellophane() { DeleteDeviceObjects(); }

    // Copies the tint switch and the deep-sea switch.
    int Configure(const Settings* settings);
    // Builds the quad over width x height back-buffer pixels; creates nothing
    // when the tint is off.
    HRESULT InitDeviceObjects(IDirect3DDevice8* device, UINT width, UINT height, ErrLog* log);
    // Blends the quad over everything drawn so far (depth test as the scene
    // left it; the quad lies at depth 0).
    int Render(IDirect3DDevice8* device);
    int DeleteDeviceObjects();

    int IsEnabled() const { return m_bEnabled; }
    int IsDeepSea() const { return m_bDeepSea; }
    IDirect3DVertexBuffer8* GetVertexBuffer() const { return m_pVB; }

private:
    // Writes the quad covering width x height pixels into the vertex buffer.
    HRESULT FillQuad(UINT width, UINT height);
    int m_bEnabled = 0;
    int m_bDeepSea = 0;
    ComPtr<IDirect3DVertexBuffer8> m_pVB;  // managed pool: survives a device reset
};
