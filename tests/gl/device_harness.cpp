// Headless device harness: window and device creation on the offscreen
// driver, and pixel read-back through the device.
#include "tests/gl/device_harness.h"

#include <cmath>
#include <cstdlib>

#include "render/renderer_states.h"

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
    if (!RegisterClassA("NerevalGlTest", TestWindowProc)) return E_FAIL;
    m_hwnd = CreateWindowExA(0, "NerevalGlTest", "device test", WS_CAPTION, 0, 0, windowWidth, windowHeight);
    if (!m_hwnd) return E_FAIL;
    // The saver's own bring-up, presenting at once so tests do not wait.
    DeviceRequest request;
    request.hwnd = m_hwnd;
    request.windowed = true;
    request.width = backWidth;
    request.height = backHeight;
    request.presentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return CreateSaverDevice(request, &m_dev, nullptr);
}

void DeviceHarness::Destroy() {
    ReleaseSaverDevice(&m_dev);
    if (m_hwnd) DestroyWindow(m_hwnd);
    m_hwnd = nullptr;
}

void DeviceHarness::SetRendererStages() { SetRendererStates(m_dev.device); }

HRESULT DeviceHarness::DrawScreenRect(float x0, float y0, float x1, float y1, D3DCOLOR color, float z) {
    const ScreenVertex quad[4] = {
        {x0, y0, z, 1.0f, color, 0.0f, 0.0f},
        {x1, y0, z, 1.0f, color, 1.0f, 0.0f},
        {x0, y1, z, 1.0f, color, 0.0f, 1.0f},
        {x1, y1, z, 1.0f, color, 1.0f, 1.0f},
    };
    HRESULT hr = m_dev.device->SetVertexShader(kScreenFvf);
    if (FAILED(hr)) return hr;
    return m_dev.device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(ScreenVertex));
}

void DeviceHarness::Read() {
    m_readWidth = m_dev.device->GetBackBufferWidth();
    m_readHeight = m_dev.device->GetBackBufferHeight();
    m_pixels.assign(static_cast<size_t>(m_readWidth) * m_readHeight * 4, 0);
    EXPECT_EQ(m_dev.device->ReadBackBuffer(m_pixels.data()), S_OK);
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
