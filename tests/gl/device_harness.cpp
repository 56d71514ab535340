// Headless device harness: window and device creation on the offscreen
// driver, and pixel read-back through the device.
#include "tests/gl/device_harness.h"

#include <cmath>
#include <cstdlib>

namespace gltest {

namespace {

LRESULT TestWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

}  // namespace

::testing::AssertionResult ColorNear(const Rgba& actual, const Rgba& expected, int tolerance) {
    if (std::abs(actual.r - expected.r) <= tolerance && std::abs(actual.g - expected.g) <= tolerance &&
        std::abs(actual.b - expected.b) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "colour " << actual << " is not within " << tolerance << " of "
                                         << expected;
}

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

D3DMATRIX PerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
    const float ys = 1.0f / std::tan(fovY / 2.0f);
    D3DMATRIX m{};
    m._11 = ys / aspect;
    m._22 = ys;
    m._33 = zf / (zf - zn);
    m._34 = 1.0f;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

HRESULT DeviceHarness::Create(int windowWidth, int windowHeight, UINT backWidth, UINT backHeight) {
    Destroy();
    m_d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!m_d3d) return E_FAIL;
    if (!RegisterClassA("NerevalGlTest", TestWindowProc)) return E_FAIL;
    m_hwnd = CreateWindowExA(0, "NerevalGlTest", "device test", WS_CAPTION, 0, 0, windowWidth, windowHeight);
    if (!m_hwnd) return E_FAIL;
    m_params = D3DPRESENT_PARAMETERS{};
    m_params.BackBufferWidth = backWidth;
    m_params.BackBufferHeight = backHeight;
    m_params.BackBufferFormat = D3DFMT_X8R8G8B8;
    m_params.BackBufferCount = 1;
    m_params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    m_params.hDeviceWindow = m_hwnd;
    m_params.Windowed = TRUE;
    m_params.EnableAutoDepthStencil = TRUE;
    m_params.AutoDepthStencilFormat = D3DFMT_D16;
    m_params.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return m_d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, m_hwnd, D3DCREATE_SOFTWARE_VERTEXPROCESSING,
                               &m_params, &m_device);
}

void DeviceHarness::Destroy() {
    if (m_device) m_device->Release();
    if (m_hwnd) DestroyWindow(m_hwnd);
    if (m_d3d) m_d3d->Release();
    m_device = nullptr;
    m_hwnd = nullptr;
    m_d3d = nullptr;
}

void DeviceHarness::SetRendererStages() {
    IDirect3DDevice8* d = m_device;
    d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_MODULATE);
    d->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_CURRENT);
    d->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    d->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
}

HRESULT DeviceHarness::DrawScreenRect(float x0, float y0, float x1, float y1, D3DCOLOR color, float z) {
    const ScreenVertex quad[4] = {
        {x0, y0, z, 1.0f, color, 0.0f, 0.0f},
        {x1, y0, z, 1.0f, color, 1.0f, 0.0f},
        {x0, y1, z, 1.0f, color, 0.0f, 1.0f},
        {x1, y1, z, 1.0f, color, 1.0f, 1.0f},
    };
    HRESULT hr = m_device->SetVertexShader(kScreenFvf);
    if (FAILED(hr)) return hr;
    return m_device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
}

void DeviceHarness::Read() {
    m_readWidth = m_device->GetBackBufferWidth();
    m_readHeight = m_device->GetBackBufferHeight();
    m_pixels.assign(static_cast<size_t>(m_readWidth) * m_readHeight * 4, 0);
    EXPECT_EQ(m_device->ReadBackBuffer(m_pixels.data()), S_OK);
}

Rgba DeviceHarness::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || static_cast<UINT>(x) >= m_readWidth || static_cast<UINT>(y) >= m_readHeight) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") outside the " << m_readWidth << " x " << m_readHeight
                      << " back buffer";
        return Rgba{-1, -1, -1, -1};
    }
    const BYTE* p = &m_pixels[(static_cast<size_t>(y) * m_readWidth + x) * 4];
    return Rgba{p[0], p[1], p[2], p[3]};
}

void DeviceTest::SetUp() {
    ASSERT_EQ(h.Create(kWidth, kHeight), S_OK) << "no device on the offscreen driver (SDL_VIDEODRIVER=offscreen?)";
}

void DeviceTest::TearDown() {
    if (h.Device()) {
        EXPECT_EQ(h.Device()->GetFrameStats().glErrors, 0u) << "the device raised GL errors";
    }
}

}  // namespace gltest
