// The Direct3D 8 shaped device on OpenGL 3.3 core: creation on the saver's
// SDL window, the back buffer (the window itself or off-screen) and Present,
// render and texture-stage state applied at draw time, program selection,
// fixed-function and vertex-shader draws.
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
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include <time.h>

#include <cerrno>

#include "platform/gl/d3d8_gl_internal.h"
#include "platform/os/frame_meter.h"
#include "platform/os/window_sdl.h"

namespace d3d8gl {

namespace {

constexpr UINT kStages = 2;
constexpr UINT kMaxShaders = 32;      // vertex shader slots (the saver creates five)
constexpr UINT kMaxFvfLayouts = 16;   // distinct fixed-function vertex formats
constexpr UINT kStreamBufferBytes = 256 * 1024;  // DrawPrimitiveUP staging, grown on demand
constexpr std::uint64_t kStreamSerial = 1;       // serial of the device's staging buffer

std::uint64_t g_NextSerial = kStreamSerial + 1;
bool g_DeviceAlive = false;  // one device at a time: its GL context is the current one

constexpr UINT kMaxVariants = 32;  // specialised programs per vertex program; past that the general one draws

// One linked program and the vertex shader constants last uploaded to it.
struct LinkedProgram {
    GLuint program = 0;
    GLint constants = -1;                // location of c[0], -1 when the shader reads no constant
    std::uint64_t constantsVersion = 0;  // register-file version last uploaded
};

// The programs of one vertex program: the general one, whose fragment stage
// follows the state block (any state), built at creation; and the programs
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

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1.0f;
    return m;
}

// Row-vector product a x b.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
        }
    }
    return r;
}

void ColorToFloats(D3DCOLOR c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>((c >> 24) & 0xFF) / 255.0f;
}

bool HasAlpha(D3DFORMAT f) { return f == D3DFMT_A8R8G8B8 || f == D3DFMT_A1R5G5B5; }

GLenum CompareToGl(DWORD f) {
    switch (f) {
        case D3DCMP_NEVER: return GL_NEVER;
        case D3DCMP_LESS: return GL_LESS;
        case D3DCMP_EQUAL: return GL_EQUAL;
        case D3DCMP_LESSEQUAL: return GL_LEQUAL;
        case D3DCMP_GREATER: return GL_GREATER;
        case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
        default: return GL_ALWAYS;
    }
}

GLenum BlendToGl(DWORD b, GLenum fallback) {
    switch (b) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        default: return fallback;
    }
}

GLint AddressToGl(DWORD a) {
    switch (a) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        default: return GL_REPEAT;
    }
}

// GL primitive mode and vertex/index count of primitiveCount D3D primitives.
bool PrimitiveToGl(D3DPRIMITIVETYPE type, UINT primitiveCount, GLenum* mode, std::uint64_t* count) {
    const std::uint64_t n = primitiveCount;
    switch (type) {
        case D3DPT_POINTLIST: *mode = GL_POINTS; *count = n; return true;
        case D3DPT_LINELIST: *mode = GL_LINES; *count = 2 * n; return true;
        case D3DPT_LINESTRIP: *mode = GL_LINE_STRIP; *count = n + 1; return true;
        case D3DPT_TRIANGLELIST: *mode = GL_TRIANGLES; *count = 3 * n; return true;
        case D3DPT_TRIANGLESTRIP: *mode = GL_TRIANGLE_STRIP; *count = n + 2; return true;
        case D3DPT_TRIANGLEFAN: *mode = GL_TRIANGLE_FAN; *count = n + 2; return true;
        default: return false;
    }
}

bool IsTriangles(D3DPRIMITIVETYPE type) {
    return type == D3DPT_TRIANGLELIST || type == D3DPT_TRIANGLESTRIP || type == D3DPT_TRIANGLEFAN;
}

void AddAttrib(VertexLayout* layout, GLuint location, GLint size, GLenum type, GLboolean normalized, UINT offset) {
    layout->attribs[layout->count++] = VertexAttrib{location, size, type, normalized, offset};
}

// Fixed-function vertex formats: XYZ or XYZRHW position, optional normal and
// specular (skipped: there are no lights), optional diffuse colour, up to two
// 2D texture-coordinate sets.
bool BuildFvfLayout(DWORD fvf, VertexLayout* layout, bool* preTransformed) {
    constexpr DWORD kPositionMask = 0x00E;
    constexpr DWORD kTexCountMask = 0xF00;
    constexpr DWORD kKnown = kPositionMask | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | kTexCountMask;
    if (fvf & ~kKnown) return false;  // reserved bits, point size, non-2D texture coordinates
    const DWORD position = fvf & kPositionMask;
    if (position != D3DFVF_XYZ && position != D3DFVF_XYZRHW) return false;
    const DWORD texCount = (fvf & kTexCountMask) >> 8;
    if (texCount > 2) return false;

    *layout = VertexLayout{};
    *preTransformed = position == D3DFVF_XYZRHW;
    UINT offset = 0;
    AddAttrib(layout, kFfpPosition, *preTransformed ? 4 : 3, GL_FLOAT, GL_FALSE, offset);
    offset += *preTransformed ? 16 : 12;
    if (fvf & D3DFVF_NORMAL) offset += 12;
    if (fvf & D3DFVF_DIFFUSE) {
        AddAttrib(layout, kFfpDiffuse, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset);
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) offset += 4;
    for (DWORD t = 0; t < texCount; ++t) {
        AddAttrib(layout, kFfpTex0 + t, 2, GL_FLOAT, GL_FALSE, offset);
        offset += 8;
    }
    layout->bytes = offset;
    return true;
}

// Vertex shader declaration: stream 0 only, registers v0..v11, each once.
bool ParseDeclaration(const DWORD* tokens, VertexLayout* layout) {
    *layout = VertexLayout{};
    if (!tokens) return false;
    bool used[kMaxShaderRegister + 1] = {};
    UINT offset = 0;
    for (int i = 0; i < 64; ++i) {  // a declaration without its END token is refused, never overrun far
        const DWORD t = tokens[i];
        if (t == D3DVSD_END()) {
            layout->bytes = offset;
            return true;
        }
        if (t == 0) continue;  // D3DVSD_NOP
        const DWORD kind = t >> 29;
        if (kind == 1) {  // D3DVSD_STREAM
            if (t != D3DVSD_STREAM(0)) return false;
        } else if (kind == 2) {
            const DWORD count = (t >> 16) & 0xF;
            if (t & 0x10000000u) {  // D3DVSD_SKIP: dwords of padding
                offset += 4 * count;
                continue;
            }
            const DWORD type = count;
            const DWORD reg = t & 0x1F;
            if (reg > kMaxShaderRegister || used[reg] || layout->count == kMaxAttribs) return false;
            used[reg] = true;
            switch (type) {
                case D3DVSDT_FLOAT1:
                case D3DVSDT_FLOAT2:
                case D3DVSDT_FLOAT3:
                case D3DVSDT_FLOAT4:
                    AddAttrib(layout, reg, static_cast<GLint>(type + 1), GL_FLOAT, GL_FALSE, offset);
                    offset += 4 * (type + 1);
                    break;
                case D3DVSDT_D3DCOLOR:  // bytes B, G, R, A in memory: seen as (r, g, b, a)
                    AddAttrib(layout, reg, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset);
                    offset += 4;
                    break;
                case D3DVSDT_UBYTE4:  // four unsigned bytes as 0..255 floats
                    AddAttrib(layout, reg, 4, GL_UNSIGNED_BYTE, GL_FALSE, offset);
                    offset += 4;
                    break;
                default:
                    return false;
            }
        } else {
            return false;  // tessellator, constant and extension tokens are not supported
        }
    }
    return false;
}

// 64-bit arithmetic: does [firstVertex, endVertex) of `layoutBytes`-wide
// vertices at `stride` stay inside a buffer of `size` bytes?
bool VerticesFit(std::uint64_t size, UINT stride, UINT layoutBytes, std::uint64_t endVertex) {
    if (endVertex == 0) return true;
    return (endVertex - 1) * stride + layoutBytes <= size;
}

}  // namespace

// ---------------------------------------------------------------------------

class GlDevice final : public IDirect3DDevice8 {
public:
    GlDevice(HWND hwnd, SDL_Window* window, SDL_GLContext context);
    ~GlDevice() override;
    HRESULT Initialise(D3DPRESENT_PARAMETERS* params);
    void SimulateLoss() { m_lost = true; }
    DeviceDrawPath DrawPath() const;

    HRESULT TestCooperativeLevel() override { return m_lost ? D3DERR_DEVICENOTRESET : S_OK; }
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

    UINT GetBackBufferWidth() const override { return m_width; }
    UINT GetBackBufferHeight() const override { return m_height; }
    HRESULT ReadBackBuffer(BYTE* rgba) override;
    DeviceFrameStats GetFrameStats() const override { return m_stats; }

private:
    // What the current vertex shader selection draws with.
    struct DrawSetup {
        LinkedProgram* program;
        const VertexLayout* layout;
        VaoSlot* vao;
        bool shader;  // false for fixed-function draws
    };

    HRESULT CreateBackBuffer(D3DPRESENT_PARAMETERS* params);
    void DeleteBackBuffer();
    bool WindowBufferFits(bool depth, bool alpha);
    void ResetStates();
    void ReleaseBindings();
    bool CurrentSetup(DrawSetup* setup);
    FragmentKey CurrentFragmentKey() const;
    LinkedProgram* SelectProgram(ProgramSet* set);
    bool BuildVertexPrograms(ProgramSet* set, const VertexProgram& vertex);
    void Prepare(const DrawSetup& setup);
    void ApplyRenderStates();
    void UploadStateBlock();
    void BindVertexArray(VaoSlot* vao, const VertexLayout& layout, GLuint buffer, std::uint64_t serial, UINT stride,
                         UINT offset);
    void CountDraw(D3DPRIMITIVETYPE type, UINT primitiveCount);
    void CheckGlErrors();
    GLuint CreateVertexArray(const VertexLayout& layout);

    HWND m_hwnd;
    SDL_Window* m_window;
    SDL_GLContext m_context;

    // Back buffer: the window's own (m_direct, m_fbo 0) when it has the back
    // buffer's size and formats, else an off-screen framebuffer scaled at Present.
    bool m_direct = false;
    bool m_directAllowed = true;  // NEREVAL_OFFSCREEN_BACKBUFFER=1: always off-screen
    GLuint m_fbo = 0;
    GLuint m_colorRb = 0;
    GLuint m_depthRb = 0;
    UINT m_width = 0;
    UINT m_height = 0;
    bool m_hasDepth = false;
    GLint m_maxRenderbuffer = 0;
    GLint m_maxTexture = 0;

    // State as the caller set it.
    DWORD m_rs[D3DRS_COUNT] = {};
    DWORD m_tss[kStages][D3DTSS_COUNT] = {};
    D3DMATERIAL8 m_material{};
    D3DMATRIX m_world = Identity();
    D3DMATRIX m_view = Identity();
    D3DMATRIX m_proj = Identity();
    float m_constants[kVertexShaderConstants][4] = {};
    std::uint64_t m_constantsVersion = 1;
    GlTexture* m_textures[kStages] = {};
    GlVertexBuffer* m_stream = nullptr;
    UINT m_streamStride = 0;
    GlIndexBuffer* m_indices = nullptr;
    UINT m_baseVertex = 0;
    // Current vertex shader: a ShaderSlot (m_shaderSlot >= 0) or an FvfSlot (m_fvfSlot >= 0).
    int m_shaderSlot = -1;
    int m_fvfSlot = -1;

    // GL objects and what is bound.
    ProgramBuilder m_programs;
    ProgramSet m_ffp[2];  // [0] transformed XYZ, [1] pre-transformed XYZRHW
    // The fragment state of the next draw, recomputed when states changed.
    FragmentKey m_fragmentKey;
    bool m_specialise = true;  // NEREVAL_GENERAL_FRAGMENT=1 draws with the general program only
    GLuint m_stateUbo = 0;
    GLuint m_samplers[kStages] = {};
    GLuint m_white = 0;
    GLuint m_streamBuffer = 0;
    UINT m_streamCapacity = 0;
    UINT m_streamCursor = 0;
    GLuint m_boundProgram = 0;
    GLuint m_boundVao = 0;
    GLuint m_boundTextures[kStages] = {};
    ShaderSlot m_shaders[kMaxShaders];
    FvfSlot m_fvfs[kMaxFvfLayouts];
    StateBlock m_block{};
    StateBlock m_uploadedBlock{};  // what the uniform buffer holds
    bool m_blockUploaded = false;
    ResourceNode m_resources;  // sentinel of the live buffers and textures

    // What must be re-sent before the next draw.
    bool m_renderStatesDirty = true;
    bool m_blockDirty = true;
    bool m_samplersDirty[kStages] = {true, true};
    bool m_texturesDirty = true;

    bool m_inScene = false;
    bool m_lost = false;
    // Frame pacing for the default presentation interval: Present returns no
    // sooner than one refresh period after the previous one, also where the
    // driver cannot wait for the vertical blank (a virtual X server), so the
    // saver never spins at thousands of frames per second. 0: unpaced.
    std::int64_t m_presentPeriodNs = 0;
    std::int64_t m_lastPresentNs = 0;
    void PacePresent();
    DeviceFrameStats m_stats{};
    // Benchmark switches, read once at creation: NEREVAL_UNPACED=1 presents as
    // fast as frames are drawn; NEREVAL_FRAME_REPORT=1 prints the presented
    // frames and their CPU and wall time (after a 2 s warm-up) at teardown.
    bool m_unpaced = false;
    bool m_frameReport = false;
    FrameMeter m_meter;
};

GlDevice::GlDevice(HWND hwnd, SDL_Window* window, SDL_GLContext context)
    : m_hwnd(hwnd), m_window(window), m_context(context) {
    WindowAddRef(m_hwnd);  // the context lives on the window: keep it until we are gone
    g_DeviceAlive = true;
    const char* unpaced = SDL_getenv("NEREVAL_UNPACED");
    const char* report = SDL_getenv("NEREVAL_FRAME_REPORT");
    m_unpaced = unpaced && unpaced[0] == '1';
    m_frameReport = report && report[0] == '1';
    const char* general = SDL_getenv("NEREVAL_GENERAL_FRAGMENT");
    m_specialise = !(general && general[0] == '1');
    const char* offscreen = SDL_getenv("NEREVAL_OFFSCREEN_BACKBUFFER");
    m_directAllowed = !(offscreen && offscreen[0] == '1');
}

GlDevice::~GlDevice() {
    if (m_frameReport) m_meter.Print(stderr, "nereval frame report");
    SDL_GL_MakeCurrent(m_window, m_context);
    ReleaseBindings();
    // Resources still referenced by their owners lose their GL objects now;
    // their later Release frees only CPU memory.
    while (m_resources.next != &m_resources) {
        auto* r = static_cast<GlResourceLink*>(m_resources.next);
        r->FreeGl();
        r->Unlink();
    }
    for (ShaderSlot& s : m_shaders) {
        s.programs.FreeGl();
        if (s.vao.vao) glDeleteVertexArrays(1, &s.vao.vao);
    }
    for (FvfSlot& f : m_fvfs) {
        if (f.vao.vao) glDeleteVertexArrays(1, &f.vao.vao);
    }
    for (ProgramSet& p : m_ffp) p.FreeGl();
    m_programs.FreeGl();
    if (m_stateUbo) glDeleteBuffers(1, &m_stateUbo);
    if (m_streamBuffer) glDeleteBuffers(1, &m_streamBuffer);
    glDeleteSamplers(kStages, m_samplers);
    if (m_white) glDeleteTextures(1, &m_white);
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
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &m_maxRenderbuffer);
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTexture);

    if (!BuildVertexPrograms(&m_ffp[0], m_programs.CompileFixedFunction(false)) ||
        !BuildVertexPrograms(&m_ffp[1], m_programs.CompileFixedFunction(true))) {
        return D3DERR_NOTAVAILABLE;
    }

    glGenBuffers(1, &m_stateUbo);
    glBindBuffer(GL_UNIFORM_BUFFER, m_stateUbo);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(StateBlock), nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, kStateBlockBinding, m_stateUbo);

    glGenSamplers(kStages, m_samplers);
    for (UINT i = 0; i < kStages; ++i) glBindSampler(i, m_samplers[i]);

    // Stages without a texture sample this opaque white texel.
    const BYTE white[4] = {255, 255, 255, 255};
    glActiveTexture(kUploadTextureUnit);
    glGenTextures(1, &m_white);
    glBindTexture(GL_TEXTURE_2D, m_white);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);

    glGenBuffers(1, &m_streamBuffer);
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_streamBuffer);
    glBufferData(GL_COPY_WRITE_BUFFER, kStreamBufferBytes, nullptr, GL_STREAM_DRAW);
    m_streamCapacity = kStreamBufferBytes;

    // A fixed-function format without diffuse colour reads opaque white.
    glVertexAttrib4f(kFfpDiffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);

    HRESULT hr = CreateBackBuffer(params);
    if (FAILED(hr)) return hr;
    ResetStates();
    CheckGlErrors();
    return m_stats.glErrors ? D3DERR_NOTAVAILABLE : S_OK;
}

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
    if (w == 0 || h == 0 || w > static_cast<UINT>(m_maxRenderbuffer) || h > static_cast<UINT>(m_maxRenderbuffer)) {
        return D3DERR_INVALIDCALL;
    }
    const bool depth = params->EnableAutoDepthStencil != FALSE;

    DeleteBackBuffer();
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(m_window, &dw, &dh);
    if (m_directAllowed && static_cast<UINT>(dw) == w && static_cast<UINT>(dh) == h &&
        WindowBufferFits(depth, HasAlpha(params->BackBufferFormat))) {
        // The window is the back buffer: drawing goes straight into it and
        // Present only swaps (no off-screen copy of every pixel per frame).
        m_direct = true;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    } else {
        m_direct = false;
        glGenFramebuffers(1, &m_fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
        glGenRenderbuffers(1, &m_colorRb);
        glBindRenderbuffer(GL_RENDERBUFFER, m_colorRb);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, static_cast<GLsizei>(w), static_cast<GLsizei>(h));
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colorRb);
        if (depth) {  // D3DFMT_D16 asks for at least 16 bits; 24 is what every GL gives
            glGenRenderbuffers(1, &m_depthRb);
            glBindRenderbuffer(GL_RENDERBUFFER, m_depthRb);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, static_cast<GLsizei>(w),
                                  static_cast<GLsizei>(h));
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depthRb);
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            DeleteBackBuffer();
            return D3DERR_NOTAVAILABLE;
        }
    }
    m_width = w;
    m_height = h;
    m_hasDepth = depth;
    glViewport(0, 0, static_cast<GLsizei>(w), static_cast<GLsizei>(h));
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    glClear(GL_COLOR_BUFFER_BIT | (depth ? GL_DEPTH_BUFFER_BIT : 0));
    m_renderStatesDirty = true;
    m_blockDirty = true;

    // DEFAULT waits for the vertical blank, IMMEDIATE does not. A driver that
    // cannot change the interval keeps its own; that is not an error.
    const bool paced = params->FullScreen_PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE && !m_unpaced;
    SDL_GL_SetSwapInterval(paced ? 1 : 0);
    m_presentPeriodNs = 0;
    if (paced) {
        SDL_DisplayMode mode;
        int hz = 0;
        if (SDL_GetWindowDisplayMode(m_window, &mode) == 0) hz = mode.refresh_rate;
        if (hz <= 0 || hz > 500) hz = 60;  // unknown refresh: the common rate
        m_presentPeriodNs = 1000000000 / hz;
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
    if (m_fbo) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &m_fbo);
    }
    if (m_colorRb) glDeleteRenderbuffers(1, &m_colorRb);
    if (m_depthRb) glDeleteRenderbuffers(1, &m_depthRb);
    m_fbo = m_colorRb = m_depthRb = 0;
    m_width = m_height = 0;
}

void GlDevice::ReleaseBindings() {
    for (GlTexture*& t : m_textures) {
        if (t) t->Release();
        t = nullptr;
    }
    if (m_stream) m_stream->Release();
    if (m_indices) m_indices->Release();
    m_stream = nullptr;
    m_indices = nullptr;
    m_streamStride = 0;
    m_baseVertex = 0;
    m_texturesDirty = true;
}

// The documented Direct3D 8 defaults; a Reset returns to them too.
void GlDevice::ResetStates() {
    ReleaseBindings();
    std::fill(std::begin(m_rs), std::end(m_rs), 0u);
    m_rs[D3DRS_ZENABLE] = m_hasDepth ? D3DZB_TRUE : D3DZB_FALSE;
    m_rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    m_rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    m_rs[D3DRS_ZWRITEENABLE] = TRUE;
    m_rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    m_rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    m_rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    m_rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    m_rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    m_rs[D3DRS_FOGCOLOR] = 0;
    m_rs[D3DRS_FOGTABLEMODE] = D3DFOG_NONE;
    m_rs[D3DRS_FOGSTART] = FloatToDword(0.0f);
    m_rs[D3DRS_FOGEND] = FloatToDword(1.0f);
    m_rs[D3DRS_FOGDENSITY] = FloatToDword(1.0f);
    m_rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    m_rs[D3DRS_LIGHTING] = TRUE;
    m_rs[D3DRS_AMBIENT] = 0;
    m_rs[D3DRS_FOGVERTEXMODE] = D3DFOG_NONE;
    m_rs[D3DRS_COLORVERTEX] = TRUE;
    m_rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;

    for (UINT s = 0; s < kStages; ++s) {
        DWORD* t = m_tss[s];
        std::fill(t, t + D3DTSS_COUNT, 0u);
        t[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        t[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        t[D3DTSS_TEXCOORDINDEX] = s;
        t[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
        t[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
        t[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        t[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        t[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        m_samplersDirty[s] = true;
    }
    m_material = D3DMATERIAL8{};
    m_world = m_view = m_proj = Identity();
    std::memset(m_constants, 0, sizeof m_constants);
    ++m_constantsVersion;
    m_shaderSlot = m_fvfSlot = -1;
    m_renderStatesDirty = m_blockDirty = m_texturesDirty = true;
}

HRESULT GlDevice::Reset(D3DPRESENT_PARAMETERS* params) {
    if (!params) return D3DERR_INVALIDCALL;
    m_inScene = false;
    HRESULT hr = CreateBackBuffer(params);
    if (FAILED(hr)) {
        m_lost = true;  // no back buffer: stays lost until a Reset succeeds
        return hr;
    }
    ResetStates();
    m_lost = false;
    return S_OK;
}

HRESULT GlDevice::GetDeviceCaps(D3DCAPS8* caps) {
    if (!caps) return D3DERR_INVALIDCALL;
    caps->VertexShaderVersion = D3DVS_VERSION(1, 1);
    caps->MaxVertexShaderConst = kVertexShaderConstants;
    caps->MaxTextureWidth = static_cast<DWORD>(m_maxTexture);
    caps->MaxTextureHeight = static_cast<DWORD>(m_maxTexture);
    return S_OK;
}

DeviceDrawPath GlDevice::DrawPath() const {
    DeviceDrawPath path{m_direct, 0};
    for (const ProgramSet& p : m_ffp) path.fragmentVariants += p.count;
    for (const ShaderSlot& s : m_shaders) path.fragmentVariants += s.programs.count;
    return path;
}

// ---------------------------------------------------------------------------
// Frame

HRESULT GlDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD) {
    if (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) || ((flags & D3DCLEAR_ZBUFFER) && !m_hasDepth)) return D3DERR_INVALIDCALL;
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
        m_renderStatesDirty = true;
    }
    if (!mask) return S_OK;
    if (count == 0) {
        glClear(mask);
        return S_OK;
    }
    // Rectangles are in y-down back-buffer pixels; the framebuffer is y-up.
    glEnable(GL_SCISSOR_TEST);
    for (DWORD i = 0; i < count; ++i) {
        const int x1 = std::clamp(rects[i].x1, 0, static_cast<int>(m_width));
        const int x2 = std::clamp(rects[i].x2, 0, static_cast<int>(m_width));
        const int y1 = std::clamp(rects[i].y1, 0, static_cast<int>(m_height));
        const int y2 = std::clamp(rects[i].y2, 0, static_cast<int>(m_height));
        if (x2 <= x1 || y2 <= y1) continue;
        glScissor(x1, static_cast<int>(m_height) - y2, x2 - x1, y2 - y1);
        glClear(mask);
    }
    glDisable(GL_SCISSOR_TEST);
    return S_OK;
}

HRESULT GlDevice::BeginScene() {
    if (m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = true;
    m_stats.drawCalls = 0;
    m_stats.triangles = 0;
    return S_OK;
}

HRESULT GlDevice::EndScene() {
    if (!m_inScene) return D3DERR_INVALIDCALL;
    m_inScene = false;
    CheckGlErrors();
    return S_OK;
}

// Scales the back buffer to the whole window (as a display-mode change would
// stretch it) with linear filtering, then swaps; a back buffer drawn straight
// into the window is only swapped.
HRESULT GlDevice::Present(const void*, const void*, HWND, const void*) {
    if (m_lost) return D3DERR_DEVICELOST;
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(m_window, &dw, &dh);
    if (dw > 0 && dh > 0) {
        if (!m_direct) {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
            const bool same = static_cast<UINT>(dw) == m_width && static_cast<UINT>(dh) == m_height;
            glBlitFramebuffer(0, 0, static_cast<GLint>(m_width), static_cast<GLint>(m_height), 0, 0, dw, dh,
                              GL_COLOR_BUFFER_BIT, same ? GL_NEAREST : GL_LINEAR);
        }
        SDL_GL_SwapWindow(m_window);
        m_meter.OnPresent();
        glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    }
    PacePresent();
    CheckGlErrors();
    return S_OK;
}

namespace {
std::int64_t MonotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
}  // namespace

void GlDevice::PacePresent() {
    if (m_presentPeriodNs == 0) return;
    const std::int64_t now = MonotonicNs();
    const std::int64_t due = m_lastPresentNs + m_presentPeriodNs;
    if (m_lastPresentNs != 0 && now < due) {
        // A swap that already waited for the blank arrives here on time and
        // does not sleep; only a driver that returned early is held back.
        timespec wait{static_cast<time_t>((due - now) / 1000000000), static_cast<long>((due - now) % 1000000000)};
        while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
        }
        // Keep the cadence: the next period starts when this one was due,
        // unless we are more than a period late.
        m_lastPresentNs = due;
    } else {
        m_lastPresentNs = now;
    }
}

void GlDevice::CheckGlErrors() {
    for (int i = 0; i < 8; ++i) {
        GLenum e = glGetError();
        if (e == GL_NO_ERROR) return;
        if (++m_stats.glErrors <= 4) std::fprintf(stderr, "nereval: GL error 0x%x\n", e);
    }
}

HRESULT GlDevice::ReadBackBuffer(BYTE* rgba) {
    if (!rgba || m_width == 0) return D3DERR_INVALIDCALL;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
    glReadPixels(0, 0, static_cast<GLsizei>(m_width), static_cast<GLsizei>(m_height), GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    // GL rows are bottom first; callers get them top first.
    const size_t row = static_cast<size_t>(m_width) * 4;
    for (UINT y = 0; y < m_height / 2; ++y) {
        BYTE* a = rgba + y * row;
        BYTE* b = rgba + (m_height - 1 - y) * row;
        std::swap_ranges(a, a + row, b);
    }
    CheckGlErrors();
    return S_OK;
}

// ---------------------------------------------------------------------------
// State

HRESULT GlDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= D3DRS_COUNT) return D3DERR_INVALIDCALL;
    if (m_rs[state] == value) return S_OK;
    m_rs[state] = value;
    switch (state) {
        case D3DRS_ZENABLE:
        case D3DRS_ZWRITEENABLE:
        case D3DRS_ZFUNC:
        case D3DRS_CULLMODE:
        case D3DRS_ALPHABLENDENABLE:
        case D3DRS_SRCBLEND:
        case D3DRS_DESTBLEND:
        case D3DRS_FILLMODE:
            m_renderStatesDirty = true;
            break;
        case D3DRS_FOGENABLE:
        case D3DRS_FOGCOLOR:
        case D3DRS_FOGSTART:
        case D3DRS_FOGEND:
        case D3DRS_FOGDENSITY:
        case D3DRS_FOGVERTEXMODE:
        case D3DRS_ALPHATESTENABLE:
        case D3DRS_ALPHAREF:
        case D3DRS_ALPHAFUNC:
        case D3DRS_TEXTUREFACTOR:
            m_blockDirty = true;
            break;
        default:  // kept for Get, no effect on drawing (dither, specular, ambient, ...)
            break;
    }
    return S_OK;
}

HRESULT GlDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (state >= D3DRS_COUNT || !value) return D3DERR_INVALIDCALL;
    *value = m_rs[state];
    return S_OK;
}

HRESULT GlDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kStages || type >= D3DTSS_COUNT) return D3DERR_INVALIDCALL;
    switch (type) {
        case D3DTSS_COLOROP:
        case D3DTSS_ALPHAOP:
            if (value < D3DTOP_DISABLE || value > D3DTOP_ADD) return D3DERR_INVALIDCALL;
            m_blockDirty = true;
            break;
        case D3DTSS_COLORARG1:
        case D3DTSS_COLORARG2:
        case D3DTSS_ALPHAARG1:
        case D3DTSS_ALPHAARG2:
            if ((value & 0xF) > D3DTA_TFACTOR || (value & ~(0xFu | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE))) {
                return D3DERR_INVALIDCALL;
            }
            m_blockDirty = true;
            break;
        case D3DTSS_TEXCOORDINDEX:
            m_blockDirty = true;
            break;
        case D3DTSS_ADDRESSU:
        case D3DTSS_ADDRESSV:
        case D3DTSS_MAGFILTER:
        case D3DTSS_MINFILTER:
        case D3DTSS_MIPFILTER:
            m_samplersDirty[stage] = true;
            break;
        default:
            break;
    }
    m_tss[stage][type] = value;
    return S_OK;
}

HRESULT GlDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (stage >= kStages || type >= D3DTSS_COUNT || !value) return D3DERR_INVALIDCALL;
    *value = m_tss[stage][type];
    return S_OK;
}

HRESULT GlDevice::SetMaterial(const D3DMATERIAL8* material) {
    if (!material) return D3DERR_INVALIDCALL;
    if (material->Diffuse.a != m_material.Diffuse.a) m_blockDirty = true;  // the fade factor
    m_material = *material;
    return S_OK;
}

HRESULT GlDevice::GetMaterial(D3DMATERIAL8* material) {
    if (!material) return D3DERR_INVALIDCALL;
    *material = m_material;
    return S_OK;
}

HRESULT GlDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
        case D3DTS_WORLD: m_world = *matrix; break;
        case D3DTS_VIEW: m_view = *matrix; break;
        case D3DTS_PROJECTION: m_proj = *matrix; break;
        default: return D3DERR_INVALIDCALL;
    }
    m_blockDirty = true;
    return S_OK;
}

HRESULT GlDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
        case D3DTS_WORLD: *matrix = m_world; return S_OK;
        case D3DTS_VIEW: *matrix = m_view; return S_OK;
        case D3DTS_PROJECTION: *matrix = m_proj; return S_OK;
        default: return D3DERR_INVALIDCALL;
    }
}

HRESULT GlDevice::SetTexture(DWORD stage, IDirect3DTexture8* texture) {
    if (stage >= kStages) return D3DERR_INVALIDCALL;
    auto* t = static_cast<GlTexture*>(texture);  // this device made every texture
    if (t == m_textures[stage]) return S_OK;
    if (t) t->AddRef();
    if (m_textures[stage]) m_textures[stage]->Release();
    m_textures[stage] = t;
    m_texturesDirty = true;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Resources

namespace {

// Creates the GL buffer behind a managed store; false when GL is out of memory.
bool CreateGlBuffer(ManagedStore* store) {
    glGenBuffers(1, &store->gl);
    glBindBuffer(GL_COPY_WRITE_BUFFER, store->gl);
    glBufferData(GL_COPY_WRITE_BUFFER, store->length, store->bytes.get(), GL_STATIC_DRAW);
    if (glGetError() == GL_OUT_OF_MEMORY) {
        glDeleteBuffers(1, &store->gl);
        store->gl = 0;
        return false;
    }
    store->serial = g_NextSerial++;
    return true;
}

bool AllocateStore(ManagedStore* store, UINT length) {
    store->bytes.reset(new (std::nothrow) BYTE[length]());
    store->length = length;
    return store->bytes != nullptr;
}

}  // namespace

HRESULT GlDevice::CreateVertexBuffer(UINT length, DWORD, DWORD, D3DPOOL, IDirect3DVertexBuffer8** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (length == 0) return D3DERR_INVALIDCALL;
    auto* vb = new (std::nothrow) GlVertexBuffer;
    if (!vb) return E_OUTOFMEMORY;
    if (!AllocateStore(&vb->store, length) || !CreateGlBuffer(&vb->store)) {
        vb->Release();
        return E_OUTOFMEMORY;
    }
    vb->InsertAfter(&m_resources);
    *buffer = vb;
    return S_OK;
}

HRESULT GlDevice::CreateIndexBuffer(UINT length, DWORD, D3DFORMAT format, D3DPOOL, IDirect3DIndexBuffer8** buffer) {
    if (!buffer) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if (length < (format == D3DFMT_INDEX32 ? 4u : 2u)) return D3DERR_INVALIDCALL;
    auto* ib = new (std::nothrow) GlIndexBuffer;
    if (!ib) return E_OUTOFMEMORY;
    ib->format = format;
    if (!AllocateStore(&ib->store, length) || !CreateGlBuffer(&ib->store)) {
        ib->Release();
        return E_OUTOFMEMORY;
    }
    ib->InsertAfter(&m_resources);
    *buffer = ib;
    return S_OK;
}

HRESULT GlDevice::CreateTextureFromPixels(UINT width, UINT height, const BYTE* bgra, IDirect3DTexture8** texture) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (!bgra || width == 0 || height == 0 || width > static_cast<UINT>(m_maxTexture) ||
        height > static_cast<UINT>(m_maxTexture)) {
        return D3DERR_INVALIDCALL;
    }
    auto* t = new (std::nothrow) GlTexture;
    if (!t) return E_OUTOFMEMORY;
    t->width = width;
    t->height = height;
    // Rows top first, as D3D stores them: texture coordinate v = 0 is the top
    // row in both APIs when the first row uploaded is the top one.
    glActiveTexture(kUploadTextureUnit);
    glGenTextures(1, &t->gl);
    glBindTexture(GL_TEXTURE_2D, t->gl);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, bgra);
    if (glGetError() == GL_OUT_OF_MEMORY) {
        t->FreeGl();  // not linked yet, so its destructor would not free the name
        t->Release();
        return E_OUTOFMEMORY;
    }
    // A full mip chain, so MIPFILTER can be honoured for any texture.
    glGenerateMipmap(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, 0);
    t->InsertAfter(&m_resources);
    *texture = t;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Vertex shaders

GLuint GlDevice::CreateVertexArray(const VertexLayout& layout) {
    GLuint vao = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    m_boundVao = vao;
    for (UINT i = 0; i < layout.count; ++i) glEnableVertexAttribArray(layout.attribs[i].location);
    return vao;
}

HRESULT GlDevice::SetVertexShader(DWORD fvfOrHandle) {
    if (fvfOrHandle & 1u) {  // a shader handle (FVF codes never have bit 0 set)
        const DWORD slot = fvfOrHandle >> 1;
        if (slot >= kMaxShaders || !m_shaders[slot].used) return D3DERR_INVALIDCALL;
        m_shaderSlot = static_cast<int>(slot);
        m_fvfSlot = -1;
        m_blockDirty = true;  // the material fade applies to shader draws only
        return S_OK;
    }
    int free = -1;
    for (UINT i = 0; i < kMaxFvfLayouts; ++i) {
        if (m_fvfs[i].used && m_fvfs[i].fvf == fvfOrHandle) {
            m_fvfSlot = static_cast<int>(i);
            m_shaderSlot = -1;
            m_blockDirty = true;
            return S_OK;
        }
        if (!m_fvfs[i].used && free < 0) free = static_cast<int>(i);
    }
    // First use of a format: build its layout and vertex array once.
    FvfSlot candidate;
    if (!BuildFvfLayout(fvfOrHandle, &candidate.layout, &candidate.preTransformed)) return D3DERR_INVALIDCALL;
    if (free < 0) return D3DERR_INVALIDCALL;
    FvfSlot& slot = m_fvfs[free];
    slot = candidate;
    slot.used = true;
    slot.fvf = fvfOrHandle;
    slot.vao.vao = CreateVertexArray(slot.layout);
    m_fvfSlot = free;
    m_shaderSlot = -1;
    m_blockDirty = true;
    return S_OK;
}

HRESULT GlDevice::CreateVertexShader(const DWORD* declaration, const void* function, DWORD* handle, DWORD) {
    if (!handle) return D3DERR_INVALIDCALL;
    *handle = 0;
    if (!function) return D3DERR_INVALIDCALL;
    VertexLayout layout;
    if (!ParseDeclaration(declaration, &layout)) return D3DERR_INVALIDCALL;
    const char* source = static_cast<const char*>(function);
    constexpr size_t kMaxSource = 256 * 1024;
    const size_t length = strnlen(source, kMaxSource);
    if (length == kMaxSource) return D3DERR_INVALIDCALL;  // not NUL-terminated within reason

    UINT slot = 0;
    while (slot < kMaxShaders && m_shaders[slot].used) ++slot;
    if (slot == kMaxShaders) return E_OUTOFMEMORY;

    ProgramSet programs;
    if (!BuildVertexPrograms(&programs, m_programs.CompileFromShaderSource(source, length))) {
        return D3DERR_INVALIDCALL;
    }

    ShaderSlot& s = m_shaders[slot];
    s = ShaderSlot{};
    s.used = true;
    s.programs = programs;
    s.layout = layout;
    s.vao.vao = CreateVertexArray(layout);
    *handle = (slot << 1) | 1u;
    return S_OK;
}

HRESULT GlDevice::DeleteVertexShader(DWORD handle) {
    const DWORD slot = handle >> 1;
    if (!(handle & 1u) || slot >= kMaxShaders || !m_shaders[slot].used) return D3DERR_INVALIDCALL;
    ShaderSlot& s = m_shaders[slot];
    if (s.programs.Uses(m_boundProgram)) {
        glUseProgram(0);
        m_boundProgram = 0;
    }
    if (m_boundVao == s.vao.vao) {
        glBindVertexArray(0);
        m_boundVao = 0;
    }
    s.programs.FreeGl();
    glDeleteVertexArrays(1, &s.vao.vao);
    s = ShaderSlot{};
    if (m_shaderSlot == static_cast<int>(slot)) m_shaderSlot = -1;
    return S_OK;
}

HRESULT GlDevice::SetVertexShaderConstant(DWORD reg, const void* data, DWORD count) {
    if (reg > kVertexShaderConstants || count > kVertexShaderConstants - reg) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    if (!data) return D3DERR_INVALIDCALL;
    std::memcpy(m_constants[reg], data, count * sizeof m_constants[0]);
    ++m_constantsVersion;
    return S_OK;
}

HRESULT GlDevice::GetVertexShaderConstant(DWORD reg, void* data, DWORD count) {
    if (reg > kVertexShaderConstants || count > kVertexShaderConstants - reg) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    if (!data) return D3DERR_INVALIDCALL;
    std::memcpy(data, m_constants[reg], count * sizeof m_constants[0]);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Draws

HRESULT GlDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) {
    if (stream != 0) return D3DERR_INVALIDCALL;  // one stream is all the saver uses
    auto* vb = static_cast<GlVertexBuffer*>(buffer);
    if (vb) vb->AddRef();
    if (m_stream) m_stream->Release();
    m_stream = vb;
    m_streamStride = vb ? stride : 0;
    return S_OK;
}

HRESULT GlDevice::SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertex) {
    auto* ib = static_cast<GlIndexBuffer*>(buffer);
    if (ib) ib->AddRef();
    if (m_indices) m_indices->Release();
    m_indices = ib;
    m_baseVertex = baseVertex;
    return S_OK;
}

bool GlDevice::CurrentSetup(DrawSetup* setup) {
    if (m_shaderSlot >= 0) {
        ShaderSlot& s = m_shaders[m_shaderSlot];
        *setup = DrawSetup{SelectProgram(&s.programs), &s.layout, &s.vao, true};
        return true;
    }
    if (m_fvfSlot >= 0) {
        FvfSlot& f = m_fvfs[m_fvfSlot];
        *setup = DrawSetup{SelectProgram(&m_ffp[f.preTransformed ? 1 : 0]), &f.layout, &f.vao, false};
        return true;
    }
    return false;
}

// Links the general program of a freshly compiled vertex program; on failure
// frees what was made and returns false.
bool GlDevice::BuildVertexPrograms(ProgramSet* set, const VertexProgram& vertex) {
    *set = ProgramSet{};
    set->vertex = vertex;
    set->general.program = m_programs.Link(vertex, nullptr);
    m_boundProgram = 0;  // linking bound the new program for its sampler set-up
    if (!set->general.program) {
        set->FreeGl();
        return false;
    }
    set->general.constants = glGetUniformLocation(set->general.program, "c");
    return true;
}

// The fragment state as the general program would read it from the state
// block (UploadStateBlock), with what it ignores zeroed.
FragmentKey GlDevice::CurrentFragmentKey() const {
    FragmentKey k;
    for (UINT s = 0; s < kStages; ++s) {
        const DWORD* t = m_tss[s];
        if (t[D3DTSS_COLOROP] == D3DTOP_DISABLE) {  // the cascade ends here
            k.color[s][0] = D3DTOP_DISABLE;
            break;
        }
        auto args = [](std::uint8_t* out, DWORD op, DWORD arg1, DWORD arg2) {
            out[0] = static_cast<std::uint8_t>(op);
            out[1] = op == D3DTOP_SELECTARG2 ? 0 : static_cast<std::uint8_t>(arg1);
            out[2] = op == D3DTOP_SELECTARG1 ? 0 : static_cast<std::uint8_t>(arg2);
        };
        args(k.color[s], t[D3DTSS_COLOROP], t[D3DTSS_COLORARG1], t[D3DTSS_COLORARG2]);
        if (t[D3DTSS_ALPHAOP] == D3DTOP_DISABLE) {
            k.alpha[s][0] = D3DTOP_DISABLE;  // the alpha passes through
        } else {
            args(k.alpha[s], t[D3DTSS_ALPHAOP], t[D3DTSS_ALPHAARG1], t[D3DTSS_ALPHAARG2]);
        }
        k.color[s][3] = (t[D3DTSS_TEXCOORDINDEX] & 0xFFFF) == 1 ? 1 : 0;
        k.texture[s] = m_textures[s] && m_textures[s]->gl ? 1 : 0;
    }
    const DWORD func = m_rs[D3DRS_ALPHATESTENABLE] ? m_rs[D3DRS_ALPHAFUNC] : D3DCMP_ALWAYS;
    k.alphaFunc = static_cast<std::uint8_t>(func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? func : D3DCMP_ALWAYS);
    k.fog = m_rs[D3DRS_FOGENABLE] ? 1 : 0;
    k.fade = m_shaderSlot >= 0 && m_material.Diffuse.a < 1.0f ? 1 : 0;
    return k;
}

// The program for the current fragment state: a specialised variant, built
// at the first draw in that state, or the general program when variants are
// off, the set is full or the variant did not build.
LinkedProgram* GlDevice::SelectProgram(ProgramSet* set) {
    if (!m_specialise) return &set->general;
    if (m_blockDirty || m_texturesDirty) m_fragmentKey = CurrentFragmentKey();
    UINT found = set->count;
    if (set->count > 0 && set->keys[set->last] == m_fragmentKey) {
        found = set->last;
    } else {
        for (UINT i = 0; i < set->count; ++i) {
            if (set->keys[i] == m_fragmentKey) {
                found = i;
                break;
            }
        }
    }
    if (found == set->count) {
        if (set->count == kMaxVariants) return &set->general;
        LinkedProgram& v = set->variants[found];
        v = LinkedProgram{};
        set->keys[found] = m_fragmentKey;
        v.program = m_programs.Link(set->vertex, &m_fragmentKey);
        m_boundProgram = 0;  // linking bound the new program for its sampler set-up
        if (v.program) v.constants = glGetUniformLocation(v.program, "c");
        ++set->count;
    }
    set->last = found;
    LinkedProgram& v = set->variants[found];
    return v.program ? &v : &set->general;
}

void GlDevice::ApplyRenderStates() {
    if (m_hasDepth && m_rs[D3DRS_ZENABLE] != D3DZB_FALSE) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(CompareToGl(m_rs[D3DRS_ZFUNC]));
    } else {
        glDisable(GL_DEPTH_TEST);  // no test also means no depth writes, as in D3D
    }
    glDepthMask(m_rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);

    // Winding on screen is the same in D3D and in our GL set-up (see the top
    // of this file): CCW culls counter-clockwise triangles, CW clockwise ones.
    switch (m_rs[D3DRS_CULLMODE]) {
        case D3DCULL_CCW:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CW);
            glCullFace(GL_BACK);
            break;
        case D3DCULL_CW:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CCW);
            glCullFace(GL_BACK);
            break;
        default:
            glDisable(GL_CULL_FACE);
            break;
    }

    if (m_rs[D3DRS_ALPHABLENDENABLE]) {
        glEnable(GL_BLEND);
        glBlendFunc(BlendToGl(m_rs[D3DRS_SRCBLEND], GL_ONE), BlendToGl(m_rs[D3DRS_DESTBLEND], GL_ZERO));
    } else {
        glDisable(GL_BLEND);
    }

    const DWORD fill = m_rs[D3DRS_FILLMODE];
    glPolygonMode(GL_FRONT_AND_BACK, fill == D3DFILL_POINT ? GL_POINT : fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
    m_renderStatesDirty = false;
}

void GlDevice::UploadStateBlock() {
    StateBlock& b = m_block;
    const D3DMATRIX worldView = Multiply(m_world, m_view);
    const D3DMATRIX wvp = Multiply(worldView, m_proj);
    std::memcpy(b.wvp, &wvp, sizeof b.wvp);
    std::memcpy(b.worldView, &worldView, sizeof b.worldView);
    b.screen[0] = static_cast<float>(m_width);
    b.screen[1] = static_cast<float>(m_height);

    // Fixed-function vertex fog; linear as (end - d) * scale.
    const float start = DwordToFloat(m_rs[D3DRS_FOGSTART]);
    const float end = DwordToFloat(m_rs[D3DRS_FOGEND]);
    const DWORD mode = m_rs[D3DRS_FOGVERTEXMODE];
    b.vertexFog[0] = static_cast<float>(mode <= D3DFOG_LINEAR ? mode : D3DFOG_NONE);
    b.vertexFog[1] = end;
    b.vertexFog[2] = end != start ? 1.0f / (end - start) : 1.0e30f;  // start == end: a step at `end`
    b.vertexFog[3] = DwordToFloat(m_rs[D3DRS_FOGDENSITY]);

    GLint* stages[kStages][2] = {{b.color0, b.alpha0}, {b.color1, b.alpha1}};
    for (UINT s = 0; s < kStages; ++s) {
        const DWORD* t = m_tss[s];
        const DWORD set = t[D3DTSS_TEXCOORDINDEX] & 0xFFFF;
        GLint* c = stages[s][0];
        GLint* a = stages[s][1];
        c[0] = static_cast<GLint>(t[D3DTSS_COLOROP]);
        c[1] = static_cast<GLint>(t[D3DTSS_COLORARG1]);
        c[2] = static_cast<GLint>(t[D3DTSS_COLORARG2]);
        c[3] = set == 1 ? 1 : 0;
        a[0] = static_cast<GLint>(t[D3DTSS_ALPHAOP]);
        a[1] = static_cast<GLint>(t[D3DTSS_ALPHAARG1]);
        a[2] = static_cast<GLint>(t[D3DTSS_ALPHAARG2]);
        a[3] = 0;
    }
    // A disabled stage 0 disables stage 1 too (the cascade ends there).
    if (b.color0[0] == D3DTOP_DISABLE) b.color1[0] = D3DTOP_DISABLE;

    ColorToFloats(m_rs[D3DRS_TEXTUREFACTOR], b.textureFactor);
    ColorToFloats(m_rs[D3DRS_FOGCOLOR], b.fogColor);
    b.fogColor[3] = m_rs[D3DRS_FOGENABLE] ? 1.0f : 0.0f;
    b.alphaState[0] = m_rs[D3DRS_ALPHATESTENABLE] ? static_cast<float>(m_rs[D3DRS_ALPHAFUNC]) : static_cast<float>(D3DCMP_ALWAYS);
    b.alphaState[1] = static_cast<float>(m_rs[D3DRS_ALPHAREF] & 0xFF);
    // Material diffuse alpha below 1 fades shader draws (distance fade of the
    // toon models); fixed-function draws ignore the material.
    const float fade = std::clamp(m_material.Diffuse.a, 0.0f, 1.0f);
    b.alphaState[2] = m_shaderSlot >= 0 && m_material.Diffuse.a < 1.0f ? fade : 1.0f;
    b.alphaState[3] = 0.0f;

    // Most draws change only a part of the block, many nothing at all (a
    // repeated SetTransform): only a block that differs is sent.
    m_blockDirty = false;
    if (m_blockUploaded && std::memcmp(&m_uploadedBlock, &b, sizeof b) == 0) return;
    glBindBuffer(GL_UNIFORM_BUFFER, m_stateUbo);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof b, &b);
    m_uploadedBlock = b;
    m_blockUploaded = true;
}

void GlDevice::Prepare(const DrawSetup& setup) {
    LinkedProgram& program = *setup.program;
    if (m_boundProgram != program.program) {
        glUseProgram(program.program);
        m_boundProgram = program.program;
    }
    if (setup.shader && program.constants >= 0 && program.constantsVersion != m_constantsVersion) {
        glUniform4fv(program.constants, kVertexShaderConstants, &m_constants[0][0]);
        program.constantsVersion = m_constantsVersion;
    }
    if (m_renderStatesDirty) ApplyRenderStates();
    if (m_blockDirty) UploadStateBlock();
    for (UINT s = 0; s < kStages; ++s) {
        if (!m_samplersDirty[s]) continue;
        const DWORD* t = m_tss[s];
        const bool magLinear = t[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
        const bool minLinear = t[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
        GLint minFilter;
        switch (t[D3DTSS_MIPFILTER]) {
            case D3DTEXF_POINT: minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST; break;
            case D3DTEXF_LINEAR: minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR; break;
            default: minFilter = minLinear ? GL_LINEAR : GL_NEAREST; break;
        }
        glSamplerParameteri(m_samplers[s], GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(m_samplers[s], GL_TEXTURE_MIN_FILTER, minFilter);
        glSamplerParameteri(m_samplers[s], GL_TEXTURE_WRAP_S, AddressToGl(t[D3DTSS_ADDRESSU]));
        glSamplerParameteri(m_samplers[s], GL_TEXTURE_WRAP_T, AddressToGl(t[D3DTSS_ADDRESSV]));
        m_samplersDirty[s] = false;
    }
    if (m_texturesDirty) {
        for (UINT s = 0; s < kStages; ++s) {
            const GLuint name = m_textures[s] && m_textures[s]->gl ? m_textures[s]->gl : m_white;
            if (m_boundTextures[s] == name) continue;
            glActiveTexture(GL_TEXTURE0 + s);
            glBindTexture(GL_TEXTURE_2D, name);
            m_boundTextures[s] = name;
        }
        m_texturesDirty = false;
    }
}

void GlDevice::BindVertexArray(VaoSlot* vao, const VertexLayout& layout, GLuint buffer, std::uint64_t serial,
                               UINT stride, UINT offset) {
    if (m_boundVao != vao->vao) {
        glBindVertexArray(vao->vao);
        m_boundVao = vao->vao;
    }
    if (vao->arraySerial == serial && vao->stride == stride && vao->offset == offset) return;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    for (UINT i = 0; i < layout.count; ++i) {
        const VertexAttrib& a = layout.attribs[i];
        glVertexAttribPointer(a.location, a.size, a.type, a.normalized, static_cast<GLsizei>(stride),
                              reinterpret_cast<const void*>(static_cast<std::uintptr_t>(offset + a.offset)));
    }
    vao->arraySerial = serial;
    vao->stride = stride;
    vao->offset = offset;
}

void GlDevice::CountDraw(D3DPRIMITIVETYPE type, UINT primitiveCount) {
    ++m_stats.drawCalls;
    if (IsTriangles(type)) m_stats.triangles += primitiveCount;
}

HRESULT GlDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    GLenum mode;
    std::uint64_t count;
    DrawSetup setup;
    if (!PrimitiveToGl(type, primitiveCount, &mode, &count) || !CurrentSetup(&setup) || !m_stream) {
        return D3DERR_INVALIDCALL;
    }
    if (primitiveCount == 0) return S_OK;
    const VertexLayout& layout = *setup.layout;
    if (m_streamStride < layout.bytes ||
        !VerticesFit(m_stream->store.length, m_streamStride, layout.bytes, startVertex + count)) {
        return D3DERR_INVALIDCALL;
    }
    Prepare(setup);
    BindVertexArray(setup.vao, layout, m_stream->store.gl, m_stream->store.serial, m_streamStride, 0);
    glDrawArrays(mode, static_cast<GLint>(startVertex), static_cast<GLsizei>(count));
    CountDraw(type, primitiveCount);
    return S_OK;
}

HRESULT GlDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT, UINT, UINT startIndex, UINT primitiveCount) {
    GLenum mode;
    std::uint64_t count;
    DrawSetup setup;
    if (!PrimitiveToGl(type, primitiveCount, &mode, &count) || !CurrentSetup(&setup) || !m_stream || !m_indices) {
        return D3DERR_INVALIDCALL;
    }
    if (primitiveCount == 0) return S_OK;
    const VertexLayout& layout = *setup.layout;
    const std::uint64_t vbBytes = m_stream->store.length;
    if (m_streamStride < layout.bytes || vbBytes < layout.bytes) return D3DERR_INVALIDCALL;
    // Every index the buffer holds, moved by the base vertex, must name a
    // vertex inside the vertex buffer; the index range must lie in the buffer.
    const std::uint64_t vertices = (vbBytes - layout.bytes) / m_streamStride + 1;
    if (static_cast<std::uint64_t>(m_baseVertex) + m_indices->maxIndex >= vertices) return D3DERR_INVALIDCALL;
    if (static_cast<std::uint64_t>(startIndex) + count > m_indices->IndexCount()) return D3DERR_INVALIDCALL;

    Prepare(setup);
    BindVertexArray(setup.vao, layout, m_stream->store.gl, m_stream->store.serial, m_streamStride, 0);
    if (setup.vao->elementSerial != m_indices->store.serial) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_indices->store.gl);
        setup.vao->elementSerial = m_indices->store.serial;
    }
    const UINT size = m_indices->IndexSize();
    glDrawElementsBaseVertex(mode, static_cast<GLsizei>(count), size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(static_cast<std::uintptr_t>(startIndex) * size),
                             static_cast<GLint>(m_baseVertex));
    CountDraw(type, primitiveCount);
    return S_OK;
}

// Vertices from the caller's memory, through the device's staging buffer:
// written at a moving cursor, orphaned when full, grown only if one draw
// needs more than it holds. Like D3D, leaves stream 0 unset.
HRESULT GlDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertices, UINT stride) {
    GLenum mode;
    std::uint64_t count;
    DrawSetup setup;
    if (!vertices || !PrimitiveToGl(type, primitiveCount, &mode, &count) || !CurrentSetup(&setup)) {
        return D3DERR_INVALIDCALL;
    }
    if (stride < setup.layout->bytes || stride == 0) return D3DERR_INVALIDCALL;
    SetStreamSource(0, nullptr, 0);
    if (primitiveCount == 0) return S_OK;
    const std::uint64_t bytes = count * stride;
    if (bytes > (64u << 20)) return D3DERR_INVALIDCALL;  // far beyond any use: refuse rather than allocate

    const UINT size = static_cast<UINT>(bytes);
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_streamBuffer);
    if (size > m_streamCapacity - m_streamCursor) {
        if (size > m_streamCapacity) m_streamCapacity = std::max(size, m_streamCapacity * 2);
        glBufferData(GL_COPY_WRITE_BUFFER, m_streamCapacity, nullptr, GL_STREAM_DRAW);  // orphan
        m_streamCursor = 0;
    }
    const UINT offset = m_streamCursor;
    glBufferSubData(GL_COPY_WRITE_BUFFER, offset, size, vertices);
    m_streamCursor = std::min(m_streamCapacity, (offset + size + 15u) & ~15u);

    Prepare(setup);
    BindVertexArray(setup.vao, *setup.layout, m_streamBuffer, kStreamSerial, stride, offset);
    glDrawArrays(mode, 0, static_cast<GLsizei>(count));
    CountDraw(type, primitiveCount);
    return S_OK;
}

// ---------------------------------------------------------------------------

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
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        std::fprintf(stderr, "nereval: no OpenGL 3.3 core context: %s\n", SDL_GetError());
        return D3DERR_NOTAVAILABLE;
    }
    GLint major = 0, minor = 0;
    glGetIntegerv(GL_MAJOR_VERSION, &major);
    glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major * 10 + minor < 33) {
        std::fprintf(stderr, "nereval: OpenGL %d.%d is below 3.3\n", major, minor);
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

IDirect3D8* Direct3DCreate8(UINT sdkVersion) {
    if (sdkVersion != D3D_SDK_VERSION) return nullptr;
    if (!EnsureSdlVideo()) return nullptr;
    if (SdlVideoShowsNothingUnasked()) {
        std::fprintf(stderr, "nereval: no display to draw on (the video system chose its \"%s\" driver)\n",
                     SDL_GetCurrentVideoDriver());
        return nullptr;
    }
    return new (std::nothrow) d3d8gl::GlDirect3D8;
}

void SimulateDeviceLoss(IDirect3DDevice8* device) {
    if (auto* d = dynamic_cast<d3d8gl::GlDevice*>(device)) d->SimulateLoss();
}

DeviceDrawPath GetDeviceDrawPath(IDirect3DDevice8* device) {
    auto* d = dynamic_cast<d3d8gl::GlDevice*>(device);
    return d ? d->DrawPath() : DeviceDrawPath{false, 0};
}
