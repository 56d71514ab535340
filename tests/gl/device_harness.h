// Headless device for the GL tests: the real saver window and device on SDL's
// offscreen driver (SDL_VIDEODRIVER=offscreen, Mesa llvmpipe), with helpers
// that draw through the device's public interface and read pixels back.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "platform/d3d8/d3d8.h"
#include "platform/os/window.h"
#include "render/device_setup.h"

namespace gltest {

struct Rgba {
    int r, g, b, a;
};
inline std::ostream& operator<<(std::ostream& os, const Rgba& c) {
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ", " << c.a << ")";
}
// Colour channels within `tolerance` of each other (alpha ignored).
::testing::AssertionResult ColorNear(const Rgba& actual, const Rgba& expected, int tolerance = 3);

// The cellophane overlay's vertex: D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kScreenFvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// The bubbles' vertex: D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct WorldVertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kWorldFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

// Left-handed perspective projection with D3DX semantics (depth 0..1).
D3DMATRIX PerspectiveFovLH(float fovY, float aspect, float zn, float zf);
D3DMATRIX IdentityMatrix();

class DeviceHarness {
public:
    DeviceHarness() = default;
    DeviceHarness(const DeviceHarness&) = delete;
    DeviceHarness& operator=(const DeviceHarness&) = delete;
    ~DeviceHarness() { Destroy(); }

    // A hidden window with the given client size and a device on it whose
    // back buffer is backWidth x backHeight (0 x 0: the window's size).
    HRESULT Create(int windowWidth, int windowHeight, UINT backWidth = 0, UINT backHeight = 0);
    void Destroy();

    IDirect3DDevice8* Device() const { return m_dev.device; }
    IDirect3D8* D3D() const { return m_dev.d3d; }
    HWND Window() const { return m_hwnd; }
    D3DPRESENT_PARAMETERS& Params() { return m_dev.params; }

    // The saver's renderer states, set by the saver's own function: stage 0
    // texture x diffuse, stage 1 texture x current (alpha x diffuse), depth
    // test, counter-clockwise culling, the default material.
    void SetRendererStages();

    // Pre-transformed rectangle [x0, x1) x [y0, y1) in back-buffer pixels
    // (y down) of one colour at depth z, drawn as a two-triangle strip.
    HRESULT DrawScreenRect(float x0, float y0, float x1, float y1, D3DCOLOR color, float z = 0.0f);

    // Reads the whole back buffer; Pixel then answers from that copy
    // (x right, y down from the top-left corner).
    void Read();
    Rgba Pixel(int x, int y) const;
    Rgba ReadPixel(int x, int y) {
        Read();
        return Pixel(x, y);
    }
    UINT ReadWidth() const { return m_readWidth; }
    UINT ReadHeight() const { return m_readHeight; }

private:
    SaverDevice m_dev;
    HWND m_hwnd = nullptr;
    std::vector<BYTE> m_pixels;
    UINT m_readWidth = 0;
    UINT m_readHeight = 0;
};

// Fixture: a 64 x 48 device, checked for GL errors at the end of each test.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    IDirect3DDevice8* dev() const { return h.Device(); }

    DeviceHarness h;
    static constexpr int kWidth = 64;
    static constexpr int kHeight = 48;
};

}  // namespace gltest
