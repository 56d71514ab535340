// Inside the platform layer only: the Direct3D 8 shaped device on OpenGL 3.3
// core, declared once for its three source files:
//   d3d8_gl.cpp         creation on the saver's SDL window, the back buffer
//                       (the window itself or off-screen), Present and pacing;
//   d3d8_gl_state.cpp   render and texture-stage state as the caller set it,
//                       and how it reaches GL at draw time;
//   d3d8_gl_draw.cpp    vertex shaders and formats, program selection, draws.
// Buffers and textures are in d3d8_gl_resources.cpp, the GLSL programs in
// d3d8_gl_programs.cpp.
//
// D3D to GL conventions, all decided here:
//  - The back buffer (window or framebuffer object) is stored bottom row first (GL);
//    D3D clip space and GL NDC agree on x right / y up, so a triangle's
//    winding on screen is the same in both and CULLMODE maps directly onto
//    glFrontFace/glCullFace. Only pre-transformed (XYZRHW) vertices, given in
//    y-down pixels, are flipped, by their vertex program.
//  - D3D clip depth 0..w becomes GL's -w..w (z' = 2z - w) in one place: the
//    `main` wrapped around every vertex program, authored or fixed-function
//    (d3d8_gl_programs.cpp). glClipControl would do it but is not core 3.3.
//    glDepthRange stays 0..1, so window depth equals the D3D depth.
//  - ReadBackBuffer flips rows to top first.
//
// Ownership: the device owns every GL object, and holds one reference on each
// texture and buffer bound to it (released by ReleaseBindings).
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/gl/d3d8_gl_internal.h"
#include "platform/os/frame_meter.h"

namespace d3d8gl {

constexpr UINT kStages = 2;
constexpr UINT kMaxShaders = 32;                 // vertex shader slots (the saver creates five)
constexpr UINT kMaxFvfLayouts = 16;              // distinct fixed-function vertex formats
constexpr UINT kStreamBufferBytes = 256 * 1024;  // DrawPrimitiveUP staging, grown on demand
constexpr std::uint64_t kStreamSerial = 1;       // serial of the device's staging buffer
constexpr UINT kMaxVariants = 32;  // specialised programs per vertex program; past that the general one draws

// One linked program and the vertex shader constants last uploaded to it.
struct LinkedProgram {
    GLuint program = 0;
    GLint constants = -1;                // location of c[0], -1 when the shader reads no constant
    std::uint64_t constantsVersion = 0;  // register-file version last uploaded
};

// The programs of one vertex program: the general one, whose fragment stage
// follows the state block (any state), built at its first use; and the programs
// specialised for the fragment states drawn so far, built at their first
// draw. A variant whose build failed keeps program 0 and draws with the
// general one.
struct ProgramSet {
    VertexProgram vertex;
    LinkedProgram general;
    FragmentKey keys[kMaxVariants];
    LinkedProgram variants[kMaxVariants];
    UINT count = 0;
    UINT last = 0;  // the variant found last: most draws repeat it
    bool generalTried = false;  // the general program's link was tried (it is 0 if that failed)

    void FreeGl() {
        if (general.program) glDeleteProgram(general.program);
        for (UINT i = 0; i < count; ++i) {
            if (variants[i].program) glDeleteProgram(variants[i].program);
        }
        if (vertex.shader) glDeleteShader(vertex.shader);
        *this = ProgramSet{};
    }
    bool Uses(GLuint program) const {
        if (program == general.program) return true;
        for (UINT i = 0; i < count; ++i) {
            if (variants[i].program == program) return true;
        }
        return false;
    }
};

struct ShaderSlot {
    bool used = false;
    ProgramSet programs;
    VertexLayout layout;
    VaoSlot vao;
};

struct FvfSlot {
    bool used = false;
    DWORD fvf = 0;
    bool preTransformed = false;
    VertexLayout layout;
    VaoSlot vao;
};

inline D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// D3DCOLOR (A8R8G8B8) as r, g, b, a in 0..1.
void ColorToFloats(D3DCOLOR c, float out[4]);

class GlDevice final : public IDirect3DDevice8 {
public:
    GlDevice(HWND hwnd, SDL_Window* window, SDL_GLContext context);
    ~GlDevice() override;
    HRESULT Initialise(D3DPRESENT_PARAMETERS* params);
    void SimulateLoss() { m_frame.lost = true; }
    DeviceDrawPath DrawPath() const;

    HRESULT TestCooperativeLevel() override { return m_frame.lost ? D3DERR_DEVICENOTRESET : S_OK; }
    HRESULT Reset(D3DPRESENT_PARAMETERS* params) override;
    HRESULT GetDeviceCaps(D3DCAPS8* caps) override;

    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT Present(const void* src, const void* dst, HWND overrideWindow, const void* dirty) override;

    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) override;
    HRESULT SetMaterial(const D3DMATERIAL8* material) override;
    HRESULT GetMaterial(D3DMATERIAL8* material) override;
    HRESULT SetViewport(const D3DVIEWPORT8* viewport) override;
    HRESULT GetViewport(D3DVIEWPORT8* viewport) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
    HRESULT SetTexture(DWORD stage, IDirect3DTexture8* texture) override;

    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** buffer) override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer8** buffer) override;
    HRESULT CreateTextureFromPixels(UINT width, UINT height, const BYTE* bgra, IDirect3DTexture8** texture) override;

    HRESULT SetVertexShader(DWORD fvfOrHandle) override;
    HRESULT CreateVertexShader(const DWORD* declaration, const void* function, DWORD* handle, DWORD usage) override;
    HRESULT DeleteVertexShader(DWORD handle) override;
    HRESULT SetVertexShaderConstant(DWORD reg, const void* data, DWORD count) override;
    HRESULT GetVertexShaderConstant(DWORD reg, void* data, DWORD count) override;

    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) override;
    HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertex) override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT minIndex, UINT numVertices, UINT startIndex,
                                 UINT primitiveCount) override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) override;

    UINT GetBackBufferWidth() const override { return m_back.width; }
    UINT GetBackBufferHeight() const override { return m_back.height; }
    HRESULT ReadBackBuffer(BYTE* rgba) override;
    DeviceFrameStats GetFrameStats() const override { return m_frame.stats; }

private:
    // What the current vertex shader selection draws with.
    struct DrawSetup {
        LinkedProgram* program;
        const VertexLayout* layout;
        VaoSlot* vao;
        bool shader;  // false for fixed-function draws
    };

    // Creation, back buffer and frame (d3d8_gl.cpp).
    HRESULT CreateBackBuffer(D3DPRESENT_PARAMETERS* params);
    void DeleteBackBuffer();
    bool WindowBufferFits(bool depth, bool alpha);
    void PacePresent();
    void WaitForPreviousFrame();
    void WriteScreenshot();
    void CheckGlErrors();
    // State (d3d8_gl_state.cpp).
    void ResetStates();
    void ReleaseBindings();
    FragmentKey CurrentFragmentKey() const;
    // The ramp stage s computes instead of sampling its texture (RampTable),
    // or null when it samples.
    const RampTable* ComputedRamp(UINT stage) const;
    void ApplyRenderStates();
    void UploadStateBlock();
    // Shaders and draws (d3d8_gl_draw.cpp).
    bool CurrentSetup(DrawSetup* setup);
    LinkedProgram* SelectProgram(ProgramSet* set);
    bool BuildVertexPrograms(ProgramSet* set, const VertexProgram& vertex);
    LinkedProgram* GeneralProgram(ProgramSet* set);
    void Prepare(const DrawSetup& setup);
    void BindVertexArray(VaoSlot* vao, const VertexLayout& layout, GLuint buffer, std::uint64_t serial, UINT stride,
                         UINT offset);
    void CountDraw(D3DPRIMITIVETYPE type, UINT primitiveCount);
    GLuint CreateVertexArray(const VertexLayout& layout);

    // The back buffer: the window's own (direct, fbo 0) when it has the back
    // buffer's size and formats, else an off-screen framebuffer scaled at Present.
    struct BackBuffer {
        bool direct = false;
        bool directAllowed = true;  // NEREVAL_OFFSCREEN_BACKBUFFER=1: always off-screen
        GLuint fbo = 0;
        GLuint colorRb = 0;
        GLuint depthRb = 0;
        UINT width = 0;
        UINT height = 0;
        bool hasDepth = false;
        D3DVIEWPORT8 viewport{0, 0, 0, 0, 0.0f, 1.0f};  // the whole buffer after creation and Reset
    };
    // Sizes this GL accepts, read once at creation.
    struct Limits {
        GLint maxRenderbuffer = 0;
        GLint maxTexture = 0;
    };
    // Render, texture-stage, material, transform and shader state as the
    // caller set it (what Get returns).
    struct CallerState {
        DWORD rs[D3DRS_COUNT] = {};
        DWORD tss[kStages][D3DTSS_COUNT] = {};
        D3DMATERIAL8 material{};
        D3DMATRIX world = Identity();
        D3DMATRIX view = Identity();
        D3DMATRIX proj = Identity();
        float constants[kVertexShaderConstants][4] = {};
        std::uint64_t constantsVersion = 1;
        // Current vertex shader: a ShaderSlot (shaderSlot >= 0) or an FvfSlot (fvfSlot >= 0).
        int shaderSlot = -1;
        int fvfSlot = -1;
    };
    // Textures and buffers the caller bound; the device holds a reference on each.
    struct Bindings {
        GlTexture* textures[kStages] = {};
        GlVertexBuffer* stream = nullptr;
        UINT streamStride = 0;
        GlIndexBuffer* indices = nullptr;
        UINT baseVertex = 0;
    };
    // The programs and vertex arrays of every vertex shader and format.
    struct Programs {
        ProgramBuilder builder;
        ProgramSet ffp[2];  // [0] transformed XYZ, [1] pre-transformed XYZRHW
        ShaderSlot shaders[kMaxShaders];
        FvfSlot fvfs[kMaxFvfLayouts];
        // The fragment state of the next draw, recomputed when states changed.
        FragmentKey fragmentKey;
        bool specialise = true;  // NEREVAL_GENERAL_FRAGMENT=1 draws with the general program only
    };
    // The shared uniform block: what the next draw needs and what the buffer holds.
    struct StateUpload {
        GLuint ubo = 0;
        StateBlock next{};
        StateBlock uploaded{};
        bool uploadedOnce = false;
    };
    // Device-wide GL objects: the stage samplers and the opaque white texel.
    struct Samplers {
        GLuint samplers[kStages] = {};
        GLuint white = 0;
    };
    // DrawPrimitiveUP's staging buffer, written at a moving cursor.
    struct Staging {
        GLuint buffer = 0;
        UINT capacity = 0;
        UINT cursor = 0;
    };
    // What GL has bound now, so a draw re-binds only what changed.
    struct GlBound {
        GLuint program = 0;
        GLuint vao = 0;
        GLuint textures[kStages] = {};
    };
    // What must be re-sent before the next draw.
    struct Dirty {
        bool renderStates = true;
        bool block = true;
        bool samplers[kStages] = {true, true};
        bool textures = true;
    };
    struct Frame {
        bool inScene = false;
        bool lost = false;
        DeviceFrameStats stats{};
    };
    // Frame pacing for the default presentation interval: Present returns no
    // sooner than one refresh period after the previous one, also where the
    // driver cannot wait for the vertical blank (a virtual X server), so the
    // saver never spins at thousands of frames per second.
    struct Pacing {
        std::int64_t periodNs = 0;  // 0: unpaced
        std::int64_t lastPresentNs = 0;
        // Benchmark switches, read once at creation: NEREVAL_UNPACED=1 presents as
        // fast as frames are drawn; NEREVAL_FRAME_REPORT=1 prints the presented
        // frames and their CPU and wall time (after a 2 s warm-up) at teardown.
        bool unpaced = false;
        bool frameReport = false;
        FrameMeter meter;
        // On the offscreen driver, whose swaps are not held back, Present
        // waits for the previous frame's end, so at most one frame is queued
        // behind the one being drawn: when the software rasteriser falls
        // behind, frames and their memory would otherwise queue without bound.
        // Window systems hold back swaps themselves.
        bool waitForFrames = false;
        GLsync previousFrame = nullptr;
    };
    // NEREVAL_SCREENSHOT=<file.png>: the first frame presented at least
    // NEREVAL_SCREENSHOT_AFTER seconds (default 4) after creation is written
    // there as a PNG, once (`make run` without a display shows it this way).
    struct Screenshot {
        const char* path = nullptr;
        std::int64_t dueNs = 0;
        bool written = false;
    };

    HWND m_hwnd;
    SDL_Window* m_window;
    SDL_GLContext m_context;
    BackBuffer m_back;
    Limits m_limits;
    CallerState m_state;
    Bindings m_bindings;
    Programs m_programs;
    StateUpload m_stateBlock;
    Samplers m_samplers;
    Staging m_staging;
    GlBound m_bound;
    Dirty m_dirty;
    Frame m_frame;
    Pacing m_pacing;
    Screenshot m_screenshot;
    ResourceNode m_resources;  // sentinel of the live buffers and textures
};

}  // namespace d3d8gl
