// The GL device's creation on the saver's SDL window, its back buffer (the
// window itself or off-screen) and the frame: Clear, Begin/EndScene, Present
// with its pacing, and the read-back the tests use. Conventions and the
// device's state: d3d8_gl_device.h.
#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include <time.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/gl/d3d8_gl_device.h"

#include <cstring>
#include "platform/image/image_write.h"
#include "platform/os/display_guard.h"
#include "platform/os/paths.h"
#include "platform/os/window_sdl.h"

namespace d3d8gl {

namespace {

bool g_DeviceAlive = false;  // one device at a time: its GL context is the current one

bool HasAlpha(D3DFORMAT f) { return f == D3DFMT_A8R8G8B8 || f == D3DFMT_A1R5G5B5; }

// NEREVAL_SCREENSHOT_AFTER in seconds: a plain number from 0 to a day, else
// the default with a message (a huge or NaN value must never reach the
// conversion to nanoseconds).
double ScreenshotDelaySeconds(const char* text) {
    constexpr double kDefault = 4.0, kMost = 86400.0;
    if (!text) return kDefault;
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end != text && *end == '\0' && seconds >= 0.0 && seconds <= kMost) return seconds;  // false for NaN
    std::fprintf(stderr, "nereval: NEREVAL_SCREENSHOT_AFTER=%.40s is not a number of seconds from 0 to %.0f; "
                 "the screenshot is taken after %.0f s\n", text, kMost, kDefault);
    return kDefault;
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation

GlDevice::GlDevice(HWND hwnd, SDL_Window* window, SDL_GLContext context)
    : m_hwnd(hwnd), m_window(window), m_context(context) {
    WindowAddRef(m_hwnd);  // the context lives on the window: keep it until we are gone
    g_DeviceAlive = true;
    const char* unpaced = SDL_getenv("NEREVAL_UNPACED");
    const char* report = SDL_getenv("NEREVAL_FRAME_REPORT");
    m_pacing.unpaced = unpaced && unpaced[0] == '1';
    m_pacing.frameReport = report && report[0] == '1';
    const char* video = SDL_GetCurrentVideoDriver();
    m_pacing.waitForFrames = video && std::strcmp(video, "offscreen") == 0;
    m_screenshot.path = SDL_getenv("NEREVAL_SCREENSHOT");
    if (m_screenshot.path) {
        const double seconds = ScreenshotDelaySeconds(SDL_getenv("NEREVAL_SCREENSHOT_AFTER"));
        m_screenshot.dueNs = MonotonicNs() + static_cast<std::int64_t>(seconds * 1e9);
    }
    const char* general = SDL_getenv("NEREVAL_GENERAL_FRAGMENT");
    m_programs.specialise = !(general && general[0] == '1');
    const char* offscreen = SDL_getenv("NEREVAL_OFFSCREEN_BACKBUFFER");
    m_back.directAllowed = !(offscreen && offscreen[0] == '1');
}

GlDevice::~GlDevice() {
    if (m_pacing.frameReport) m_pacing.meter.Print(stderr, "nereval frame report");
    SDL_GL_MakeCurrent(m_window, m_context);
    if (m_pacing.previousFrame) glDeleteSync(m_pacing.previousFrame);
    ReleaseBindings();
    // Resources still referenced by their owners lose their GL objects now;
    // their later Release frees only CPU memory.
    while (m_resources.next != &m_resources) {
        auto* r = static_cast<GlResourceLink*>(m_resources.next);
        r->FreeGl();
        r->Unlink();
    }
    for (ShaderSlot& s : m_programs.shaders) {
        s.programs.FreeGl();
        if (s.vao.vao) glDeleteVertexArrays(1, &s.vao.vao);
    }
    for (FvfSlot& f : m_programs.fvfs) {
        if (f.vao.vao) glDeleteVertexArrays(1, &f.vao.vao);
    }
    for (ProgramSet& p : m_programs.ffp) p.FreeGl();
    m_programs.builder.FreeGl();
    if (m_stateBlock.ubo) glDeleteBuffers(1, &m_stateBlock.ubo);
    if (m_staging.buffer) glDeleteBuffers(1, &m_staging.buffer);
    glDeleteSamplers(kStages, m_samplers.samplers);
    if (m_samplers.white) glDeleteTextures(1, &m_samplers.white);
    DeleteBackBuffer();
    SDL_GL_MakeCurrent(m_window, nullptr);
    SDL_GL_DeleteContext(m_context);
    WindowRelease(m_hwnd);
    g_DeviceAlive = false;
}

HRESULT GlDevice::Initialise(D3DPRESENT_PARAMETERS* params) {
    // Whatever context creation left behind is not ours to count.
    for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
    }
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &m_limits.maxRenderbuffer);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_limits.maxTexture);

    if (!BuildVertexPrograms(&m_programs.ffp[0], m_programs.builder.CompileFixedFunction(false)) ||
        !BuildVertexPrograms(&m_programs.ffp[1], m_programs.builder.CompileFixedFunction(true))) {
        return D3DERR_NOTAVAILABLE;
    }

    glGenBuffers(1, &m_stateBlock.ubo);
    glBindBuffer(GL_UNIFORM_BUFFER, m_stateBlock.ubo);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(StateBlock), nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, kStateBlockBinding, m_stateBlock.ubo);

    glGenSamplers(kStages, m_samplers.samplers);
    for (UINT i = 0; i < kStages; ++i) glBindSampler(i, m_samplers.samplers[i]);

    // Stages without a texture sample this opaque white texel.
    const BYTE white[4] = {255, 255, 255, 255};
    glActiveTexture(kUploadTextureUnit);
    glGenTextures(1, &m_samplers.white);
    glBindTexture(GL_TEXTURE_2D, m_samplers.white);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);

    glGenBuffers(1, &m_staging.buffer);
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_staging.buffer);
    glBufferData(GL_COPY_WRITE_BUFFER, kStreamBufferBytes, nullptr, GL_STREAM_DRAW);
    m_staging.capacity = kStreamBufferBytes;

    // A fixed-function format without diffuse colour reads opaque white.
    glVertexAttrib4f(kFfpDiffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);

    HRESULT hr = CreateBackBuffer(params);
    if (FAILED(hr)) return hr;
    ResetStates();
    CheckGlErrors();
    return m_frame.stats.glErrors ? D3DERR_NOTAVAILABLE : S_OK;
}

// ---------------------------------------------------------------------------
// Back buffer

// Back buffer of the requested size (0 x 0: the window's client size), RGBA8
// colour and, with an automatic depth buffer, 24-bit depth. The chosen size
// and format are written back into the parameters as D3D does.
HRESULT GlDevice::CreateBackBuffer(D3DPRESENT_PARAMETERS* params) {
    UINT w = params->BackBufferWidth;
    UINT h = params->BackBufferHeight;
    if (w == 0 || h == 0) {
        int ww = 0, wh = 0;
        SDL_GetWindowSize(m_window, &ww, &wh);
        w = ww > 0 ? static_cast<UINT>(ww) : 0;
        h = wh > 0 ? static_cast<UINT>(wh) : 0;
    }
    const UINT maxSize = static_cast<UINT>(m_limits.maxRenderbuffer);
    if (w == 0 || h == 0 || w > maxSize || h > maxSize) {
        return D3DERR_INVALIDCALL;
    }
    const bool depth = params->EnableAutoDepthStencil != FALSE;

    DeleteBackBuffer();
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(m_window, &dw, &dh);
    if (m_back.directAllowed && static_cast<UINT>(dw) == w && static_cast<UINT>(dh) == h &&
        WindowBufferFits(depth, HasAlpha(params->BackBufferFormat))) {
        // The window is the back buffer: drawing goes straight into it and
        // Present only swaps (no off-screen copy of every pixel per frame).
        m_back.direct = true;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    } else {
        m_back.direct = false;
        glGenFramebuffers(1, &m_back.fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, m_back.fbo);
        glGenRenderbuffers(1, &m_back.colorRb);
        glBindRenderbuffer(GL_RENDERBUFFER, m_back.colorRb);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(w), static_cast<GLsizei>(h));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_back.colorRb);
        if (depth) {  // D3DFMT_D16 asks for at least 16 bits; 24 is what every GL gives
            glGenRenderbuffers(1, &m_back.depthRb);
            glBindRenderbuffer(GL_RENDERBUFFER, m_back.depthRb);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, static_cast<GLsizei>(w),
                                  static_cast<GLsizei>(h));
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_back.depthRb);
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            DeleteBackBuffer();
            return D3DERR_NOTAVAILABLE;
        }
    }
    m_back.width = w;
    m_back.height = h;
    m_back.hasDepth = depth;
    glViewport(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h));
    glDepthRange(0.0, 1.0);
    m_back.viewport = D3DVIEWPORT8{0, 0, w, h, 0.0f, 1.0f};
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | (depth ? GL_DEPTH_BUFFER_BIT : 0));
    m_dirty.renderStates = true;
    m_dirty.block = true;

    // DEFAULT waits for the vertical blank, IMMEDIATE does not. A driver that
    // cannot change the interval keeps its own; that is not an error.
    const bool paced = params->FullScreen_PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE && !m_pacing.unpaced;
    SDL_GL_SetSwapInterval(paced ? 1 : 0);
    m_pacing.periodNs = 0;
    if (paced) {
        SDL_DisplayMode mode;
        int hz = 0;
        if (SDL_GetWindowDisplayMode(m_window, &mode) == 0) hz = mode.refresh_rate;
        if (hz <= 0 || hz > 500) hz = 60;  // unknown refresh: the common rate
        m_pacing.periodNs = 1000000000 / hz;
    }

    params->BackBufferWidth = w;
    params->BackBufferHeight = h;
    if (params->BackBufferFormat == D3DFMT_UNKNOWN) params->BackBufferFormat = D3DFMT_X8R8G8B8;
    if (params->BackBufferCount == 0) params->BackBufferCount = 1;
    return S_OK;
}

// Whether the window's own buffers can serve as the back buffer: 8-bit colour
// channels (and alpha where the format has it), a 24-bit depth buffer when
// one is asked for, no multisampling.
bool GlDevice::WindowBufferFits(bool depth, bool alpha) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    GLint r = 0, g = 0, b = 0, a = 0, z = 0, samples = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE, &r);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_GREEN_SIZE, &g);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_BLUE_SIZE, &b);
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_BACK_LEFT, GL_FRAMEBUFFER_ATTACHMENT_ALPHA_SIZE, &a);
    if (depth) {
        glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_DEPTH, GL_FRAMEBUFFER_ATTACHMENT_DEPTH_SIZE, &z);
    }
    glGetIntegerv(GL_SAMPLES, &samples);
    const bool ok = glGetError() == GL_NO_ERROR;  // e.g. a single-buffered window has no GL_BACK_LEFT
    return ok && r == 8 && g == 8 && b == 8 && (!alpha || a >= 8) && (!depth || z >= 24) && samples == 0;
}

void GlDevice::DeleteBackBuffer() {
    if (m_back.fbo) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &m_back.fbo);
    }
    if (m_back.colorRb) glDeleteRenderbuffers(1, &m_back.colorRb);
    if (m_back.depthRb) glDeleteRenderbuffers(1, &m_back.depthRb);
    m_back.fbo = m_back.colorRb = m_back.depthRb = 0;
    m_back.width = m_back.height = 0;
}

HRESULT GlDevice::Reset(D3DPRESENT_PARAMETERS* params) {
    if (!params) return D3DERR_INVALIDCALL;
    m_frame.inScene = false;
    HRESULT hr = CreateBackBuffer(params);
    if (FAILED(hr)) {
        m_frame.lost = true;  // no back buffer: stays lost until a Reset succeeds
        return hr;
    }
    ResetStates();
    m_frame.lost = false;
    return S_OK;
}

HRESULT GlDevice::GetDeviceCaps(D3DCAPS8* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    caps->VertexShaderVersion = D3DVS_VERSION(1, 1);
    caps->MaxVertexShaderConst = kVertexShaderConstants;
    caps->MaxTextureWidth = static_cast<DWORD>(m_limits.maxTexture);
    caps->MaxTextureHeight = static_cast<DWORD>(m_limits.maxTexture);
    return S_OK;
}

DeviceDrawPath GlDevice::DrawPath() const {
    DeviceDrawPath path{m_back.direct, 0, static_cast<DWORD>(m_programs.builder.RampCount())};
    for (const ProgramSet& p : m_programs.ffp) path.fragmentVariants += p.count;
    for (const ShaderSlot& s : m_programs.shaders) path.fragmentVariants += s.programs.count;
    return path;
}

// ---------------------------------------------------------------------------
// Frame

HRESULT GlDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD) {
    if (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) || ((flags & D3DCLEAR_ZBUFFER) && !m_back.hasDepth)) return D3DERR_INVALIDCALL;
    if (count > 0 && !rects) return D3DERR_INVALIDCALL;
    if (!std::isfinite(z) || z < 0.0f || z > 1.0f) return D3DERR_INVALIDCALL;
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) {
        float c[4];
        ColorToFloats(color, c);
        glClearColor(c[0], c[1], c[2], c[3]);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        glDepthMask(GL_TRUE);  // D3D clears depth whatever ZWRITEENABLE says
        glClearDepth(z);
        mask |= GL_DEPTH_BUFFER_BIT;
        m_dirty.renderStates = true;
    }
    if (!mask) return S_OK;
    const D3DVIEWPORT8& vp = m_back.viewport;
    if (count == 0 && vp.X == 0 && vp.Y == 0 && vp.Width == m_back.width && vp.Height == m_back.height) {
        glClear(mask);
        return S_OK;
    }
    if (count == 0) {  // the viewport only
        const D3DRECT whole{static_cast<std::int32_t>(vp.X), static_cast<std::int32_t>(vp.Y),
                            static_cast<std::int32_t>(vp.X + vp.Width), static_cast<std::int32_t>(vp.Y + vp.Height)};
        return Clear(1, &whole, flags, color, z, 0);
    }
    // Rectangles are in y-down back-buffer pixels; the framebuffer is y-up.
    glEnable(GL_SCISSOR_TEST);
    for (DWORD i = 0; i < count; ++i) {
        const int x1 = std::clamp(rects[i].x1, 0, static_cast<int>(m_back.width));
        const int x2 = std::clamp(rects[i].x2, 0, static_cast<int>(m_back.width));
        const int y1 = std::clamp(rects[i].y1, 0, static_cast<int>(m_back.height));
        const int y2 = std::clamp(rects[i].y2, 0, static_cast<int>(m_back.height));
        if (x2 <= x1 || y2 <= y1) continue;
        glScissor(x1, static_cast<int>(m_back.height) - y2, x2 - x1, y2 - y1);
        glClear(mask);
    }
    glDisable(GL_SCISSOR_TEST);
    return S_OK;
}

HRESULT GlDevice::BeginScene() {
    if (m_frame.inScene) return D3DERR_INVALIDCALL;
    m_frame.inScene = true;
    m_frame.stats.drawCalls = 0;
    m_frame.stats.triangles = 0;
    return S_OK;
}

HRESULT GlDevice::EndScene() {
    if (!m_frame.inScene) return D3DERR_INVALIDCALL;
    m_frame.inScene = false;
    CheckGlErrors();
    return S_OK;
}

// Scales the back buffer to the whole window (as a display-mode change would
// stretch it) with linear filtering, then swaps; a back buffer drawn straight
// into the window is only swapped.
HRESULT GlDevice::Present(const void*, const void*, HWND, const void*) {
    if (m_frame.lost) return D3DERR_DEVICELOST;
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(m_window, &dw, &dh);
    if (dw > 0 && dh > 0) {
        if (!m_back.direct) {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m_back.fbo);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            const bool same = static_cast<UINT>(dw) == m_back.width && static_cast<UINT>(dh) == m_back.height;
            glBlitFramebuffer(0, 0, static_cast<GLint>(m_back.width), static_cast<GLint>(m_back.height), 0, 0, dw, dh,
                              GL_COLOR_BUFFER_BIT, same ? GL_NEAREST : GL_LINEAR);
        }
        if (m_screenshot.path && !m_screenshot.written && MonotonicNs() >= m_screenshot.dueNs) WriteScreenshot();
        SDL_GL_SwapWindow(m_window);
        WaitForPreviousFrame();
        m_pacing.meter.OnPresent();
        glBindFramebuffer(GL_FRAMEBUFFER, m_back.fbo);
    }
    PacePresent();
    CheckGlErrors();
    return S_OK;
}

void GlDevice::WaitForPreviousFrame() {
    if (!m_pacing.waitForFrames) return;
    if (m_pacing.previousFrame) {
        constexpr GLuint64 kTimeoutNs = 1000000000;  // a stuck driver delays a frame, never hangs the saver
        glClientWaitSync(m_pacing.previousFrame, GL_SYNC_FLUSH_COMMANDS_BIT, kTimeoutNs);
        glDeleteSync(m_pacing.previousFrame);
    }
    m_pacing.previousFrame = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}

void GlDevice::PacePresent() {
    if (m_pacing.periodNs == 0) return;
    const std::int64_t now = MonotonicNs();
    const std::int64_t due = m_pacing.lastPresentNs + m_pacing.periodNs;
    if (m_pacing.lastPresentNs != 0 && now < due) {
        // A swap that already waited for the blank arrives here on time and
        // does not sleep; only a driver that returned early is held back.
        timespec wait{static_cast<time_t>((due - now) / 1000000000), static_cast<long>((due - now) % 1000000000)};
        while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
        }
        // Keep the cadence: the next period starts when this one was due,
        // unless we are more than a period late.
        m_pacing.lastPresentNs = due;
    } else {
        m_pacing.lastPresentNs = now;
    }
}

// Reads the back buffer before the swap (the window's own back buffer is
// undefined after it) and writes it as a PNG; a failure is reported, once.
void GlDevice::WriteScreenshot() {
    m_screenshot.written = true;
    std::vector<std::uint8_t> rgba(static_cast<size_t>(m_back.width) * m_back.height * 4);
    const std::vector<std::uint8_t> png =
        SUCCEEDED(ReadBackBuffer(rgba.data()))
            ? EncodePng(static_cast<int>(m_back.width), static_cast<int>(m_back.height), rgba)
            : std::vector<std::uint8_t>{};
    // A new temporary file beside it, renamed: a reader never sees half a
    // PNG, and nothing is written through a file someone else put there.
    const bool ok = !png.empty() && ReplaceFile(m_screenshot.path, png.data(), png.size());
    if (!ok) std::fprintf(stderr, "nereval: could not write the screenshot %s\n", m_screenshot.path);
}

void GlDevice::CheckGlErrors() {
    for (int i = 0; i < 8; ++i) {
        GLenum e = glGetError();
        if (e == GL_NO_ERROR) return;
        if (++m_frame.stats.glErrors <= 4) std::fprintf(stderr, "nereval: GL error 0x%x\n", e);
    }
}

HRESULT GlDevice::ReadBackBuffer(BYTE* rgba) {
    if (!rgba || m_back.width == 0) return D3DERR_INVALIDCALL;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_back.fbo);
    glReadPixels(0, 0, static_cast<GLsizei>(m_back.width), static_cast<GLsizei>(m_back.height), GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba);
    // GL rows are bottom first; callers get them top first.
    const size_t row = static_cast<size_t>(m_back.width) * 4;
    for (UINT y = 0; y < m_back.height / 2; ++y) {
        BYTE* a = rgba + y * row;
        BYTE* b = rgba + (m_back.height - 1 - y) * row;
        std::swap_ranges(a, a + row, b);
    }
    CheckGlErrors();
    return S_OK;
}

// ---------------------------------------------------------------------------
// The adapter

class GlDirect3D8 final : public IDirect3D8 {
public:
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat, D3DFORMAT backBufferFormat,
                            BOOL windowed) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD behaviourFlags,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) override;
};

HRESULT GlDirect3D8::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) {
    if (adapter != D3DADAPTER_DEFAULT || !mode) return D3DERR_INVALIDCALL;
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) return D3DERR_NOTAVAILABLE;
    mode->Width = static_cast<UINT>(desktop.w);
    mode->Height = static_cast<UINT>(desktop.h);
    mode->RefreshRate = static_cast<UINT>(std::max(desktop.refresh_rate, 0));
    mode->Format = D3DFMT_X8R8G8B8;
    return S_OK;
}

// Every 16- and 32-bit RGB format is "supported": GL renders RGBA8 whatever
// the caller asks for. 24-bit packed RGB is not a back-buffer format.
HRESULT GlDirect3D8::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT displayFormat,
                                     D3DFORMAT backBufferFormat, BOOL) {
    if (adapter != D3DADAPTER_DEFAULT || (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF)) return D3DERR_INVALIDCALL;
    auto displayOk = [](D3DFORMAT f) {
        return f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5;
    };
    auto backOk = [&](D3DFORMAT f) { return displayOk(f) || f == D3DFMT_A8R8G8B8 || f == D3DFMT_A1R5G5B5; };
    return displayOk(displayFormat) && backOk(backBufferFormat) ? S_OK : D3DERR_NOTAVAILABLE;
}

namespace {
constexpr const char* kNoContext = "no usable OpenGL 3.3 context could be made";
char g_ContextFailure[256] = "";
}  // namespace

HRESULT GlDirect3D8::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focusWindow, DWORD,
                                  D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!params || adapter != D3DADAPTER_DEFAULT || (type != D3DDEVTYPE_HAL && type != D3DDEVTYPE_REF)) {
        return D3DERR_INVALIDCALL;
    }
    HWND hwnd = params->hDeviceWindow ? params->hDeviceWindow : focusWindow;
    SDL_Window* window = SdlWindowOf(hwnd);
    if (!window) return D3DERR_INVALIDCALL;
    if (g_DeviceAlive) return D3DERR_NOTAVAILABLE;
    if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_OPENGL)) return D3DERR_NOTAVAILABLE;

    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    g_ContextFailure[0] = '\0';
    SDL_GLContext context = SDL_GL_CreateContext(window);
    ReportXErrors();
    if (!context) {
        // X errors of the window's and the context's GLX requests were held
        // back, not reported: the last one joins SDL's reason here.
        const char* x = LastXError();
        std::snprintf(g_ContextFailure, sizeof g_ContextFailure, "%s (%s%s%s)", kNoContext, SDL_GetError(),
                      *x ? "; X error " : "", x);
        return D3DERR_NOTAVAILABLE;
    }
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major * 10 + minor < 33) {
        std::snprintf(g_ContextFailure, sizeof g_ContextFailure, "%s (the driver offers OpenGL %d.%d)", kNoContext,
                      major, minor);
        SDL_GL_DeleteContext(context);
        return D3DERR_NOTAVAILABLE;
    }
    auto* dev = new (std::nothrow) GlDevice(hwnd, window, context);
    if (!dev) {
        SDL_GL_DeleteContext(context);
        return E_OUTOFMEMORY;
    }
    HRESULT hr = dev->Initialise(params);
    if (FAILED(hr)) {
        delete dev;  // deletes the context and drops the window reference
        return hr;
    }
    *device = dev;
    return S_OK;
}

}  // namespace d3d8gl

DWORD IDirect3DDevice8::Release() {
    delete this;
    return 0;
}

DWORD IDirect3D8::Release() {
    delete this;
    return 0;
}

namespace {

// The software GL driver takes its per-frame binning memory in blocks of
// 64 KiB and more and frees them once the frame is drawn. glibc raises its
// mmap threshold to the size of any large block that is freed (an 8 MiB
// texture's decode buffer, at load); from then on those per-frame blocks come
// from the brk heap, fragment it, and the process's resident size creeps up
// for hours. Fixing the threshold at glibc's default keeps every block of
// 128 KiB or more in a mapping of its own, returned to the system when freed.
void KeepLargeBlocksOutOfTheHeap() {
#if defined(__GLIBC__)
    static const bool once = mallopt(M_MMAP_THRESHOLD, 128 * 1024) == 1;
    (void)once;
#endif
}

}  // namespace

IDirect3D8* Direct3DCreate8(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    KeepLargeBlocksOutOfTheHeap();
    if (!EnsureSdlVideo()) return nullptr;
    if (SdlVideoShowsNothingUnasked()) {
        std::fprintf(stderr, "nereval: no display to draw on (the video system chose its \"%s\" driver)\n",
                     SDL_GetCurrentVideoDriver());
        return nullptr;
    }
    return new (std::nothrow) d3d8gl::GlDirect3D8;
}

const char* DeviceContextFailure() { return d3d8gl::g_ContextFailure; }

void SimulateDeviceLoss(IDirect3DDevice8* device) {
    if (auto* d = dynamic_cast<d3d8gl::GlDevice*>(device)) d->SimulateLoss();
}

DeviceDrawPath GetDeviceDrawPath(IDirect3DDevice8* device) {
    auto* d = dynamic_cast<d3d8gl::GlDevice*>(device);
    return d ? d->DrawPath() : DeviceDrawPath{false, 0, 0};
}
