// Inside the platform layer only: the OpenGL 3.3 core objects behind the
// Direct3D 8 shaped device (d3d8.h): resources, vertex layouts and programs.
// The device itself and the D3D-to-GL conventions: d3d8_gl_device.h;
// d3d8_gl_programs.cpp the GLSL programs and the vertex shader source
// rewriting, d3d8_gl_resources.cpp the buffers and textures.
//
// GL entry points are linked directly (libOpenGL through GLVND); the context
// is made current once at device creation and stays current on this thread.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/glcorearb.h>

#include <SDL.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "platform/d3d8/d3d8.h"

namespace d3d8gl {

// ---------------------------------------------------------------------------
// Resources

// Every GL resource is linked into its device's circular list (the device
// holds the sentinel node), so that a device released first can free the GL
// objects while its context still exists; a resource released afterwards then
// frees only its CPU memory.
struct ResourceNode {
    ResourceNode* prev = this;
    ResourceNode* next = this;
    void InsertAfter(ResourceNode* head) {
        prev = head;
        next = head->next;
        head->next->prev = this;
        head->next = this;
    }
    void Unlink() {
        prev->next = next;
        next->prev = prev;
        prev = next = this;
    }
};

class GlResourceLink : public ResourceNode {
public:
    virtual ~GlResourceLink() = default;
    // Deletes the GL object(s); called with the context current.
    virtual void FreeGl() = 0;
    // Called by the resource's destructor: frees GL and leaves the list while
    // the device lives; nothing once the device has detached it.
    void Detach() {
        if (next != this) {
            FreeGl();
            Unlink();
        }
    }
};

// The CPU copy of a managed buffer and its lock bookkeeping, shared by vertex
// and index buffers. Lock hands out pointers into `bytes`; the last Unlock
// uploads the union of the ranges locked for writing.
struct ManagedStore {
    std::unique_ptr<BYTE[]> bytes;
    UINT length = 0;
    GLuint gl = 0;
    // Unique for the life of the process (GL names are reused after deletion),
    // so a vertex array object can tell whether it still points at this buffer.
    std::uint64_t serial = 0;
    UINT lockCount = 0;
    UINT dirtyBegin = 0;  // byte range written since the first Lock
    UINT dirtyEnd = 0;

    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags);
    // Returns the dirty range through begin/end; true when the last lock ended
    // and something must be uploaded.
    HRESULT Unlock(bool* upload, UINT* begin, UINT* end);
    void Upload(UINT begin, UINT end) const;
};

class GlVertexBuffer final : public IDirect3DVertexBuffer8, public GlResourceLink {
public:
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
    HRESULT Unlock() override;
    UINT GetSize() const override { return store.length; }
    void FreeGl() override;

    ManagedStore store;

private:
    ~GlVertexBuffer() override;
};

class GlIndexBuffer final : public IDirect3DIndexBuffer8, public GlResourceLink {
public:
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags) override;
    HRESULT Unlock() override;
    UINT GetSize() const override { return store.length; }
    D3DFORMAT GetFormat() const override { return format; }
    void FreeGl() override;

    UINT IndexSize() const { return format == D3DFMT_INDEX32 ? 4u : 2u; }
    UINT IndexCount() const { return store.length / IndexSize(); }

    ManagedStore store;
    D3DFORMAT format = D3DFMT_INDEX16;
    // Largest index value ever written (scanned at Unlock): lets a draw prove
    // that no index reaches past the end of its vertex buffer.
    DWORD maxIndex = 0;

private:
    ~GlIndexBuffer() override;
};

// A texture whose rows are all alike and whose row changes value at most
// kMaxRampSteps times (a lighting ramp): under linear filtering with the
// coordinate clamped, what it gives at coordinate u is a sum of clamped
// steps, which the fragment program computes instead of sampling (llvmpipe
// samples at about twice the cost of the sum).
constexpr int kMaxRampSteps = 8;
struct RampTable {
    int steps = -1;  // value changes along the row; -1: not a ramp
    float width = 0.0f;  // texels in the row
    // In texel units (0..255), so that between the steps the sum is a whole
    // number and the colour is exactly the texel's.
    float base[4] = {};                   // r, g, b, a of the first texel
    float position[kMaxRampSteps] = {};   // step k rises between texel centres position[k] and position[k] + 1
    float delta[kMaxRampSteps][4] = {};   // the change of r, g, b, a over step k
};
// The ramp of width x height BGRA texels, or steps -1.
RampTable FindRamp(UINT width, UINT height, const BYTE* bgra);

class GlTexture final : public IDirect3DTexture8, public GlResourceLink {
public:
    UINT GetWidth() const override { return width; }
    UINT GetHeight() const override { return height; }
    void FreeGl() override;

    GLuint gl = 0;
    UINT width = 0;
    UINT height = 0;
    // Levels below 0 exist: made by the first draw that samples the texture
    // with a mip filter (see GlDevice::Prepare).
    bool mipmapped = false;
    int rampId = -1;  // its ramp's number (ProgramBuilder::RegisterRamp); -1: not a ramp, sampled

private:
    ~GlTexture() override;
};

// ---------------------------------------------------------------------------
// Vertex layouts and programs

// One vertex attribute read from stream 0.
struct VertexAttrib {
    GLuint location;
    GLint size;  // components, or GL_BGRA for a packed D3DCOLOR
    GLenum type;
    GLboolean normalized;
    UINT offset;  // bytes from the start of the vertex
};

constexpr UINT kMaxAttribs = 16;

struct VertexLayout {
    VertexAttrib attribs[kMaxAttribs];
    UINT count = 0;
    UINT bytes = 0;  // bytes of one vertex the attributes cover (a stride may be larger)
};

// A vertex array object and the stream binding it currently records, so a draw
// re-points the attributes only when buffer, stride or offset changed.
struct VaoSlot {
    GLuint vao = 0;
    std::uint64_t arraySerial = 0;  // ManagedStore::serial of the recorded vertex buffer (0: none)
    UINT stride = 0;
    UINT offset = 0;
    std::uint64_t elementSerial = 0;
};

// Attribute locations of the fixed-function programs. Vertex shaders use the
// declaration's registers 0..11 (v0..v11), so these never collide.
constexpr GLuint kFfpPosition = 12;
constexpr GLuint kFfpDiffuse = 13;
constexpr GLuint kFfpTex0 = 14;
constexpr GLuint kFfpTex1 = 15;
constexpr GLuint kMaxShaderRegister = 11;

// Types a shader may give its texture-coordinate outputs oT0/oT1: the
// fragment program is compiled to match (vec2, vec3 or vec4 each).
enum TexCoordType { kTexVec2 = 0, kTexVec3 = 1, kTexVec4 = 2, kTexTypeCount = 3 };

// The shared uniform block (std140) read by the fixed-function vertex programs
// and by every fragment program. Matrices are D3D row-major memory, which GLSL
// reads as column-major, so `M * v` in GLSL is `v * M` in D3D terms.
struct StateBlock {
    float wvp[16];        // world x view x projection (fixed-function XYZ draws)
    float worldView[16];  // world x view: camera-space depth for vertex fog
    float screen[4];      // viewport width, height, x, y (pre-transformed draws)
    float vertexFog[4];   // x: D3DFOGMODE of the fixed-function path (0 none), y start, z end, w density
    GLint color0[4];      // stage 0 colour: op, arg1, arg2, texture-coordinate set
    GLint alpha0[4];      // stage 0 alpha: op, arg1, arg2, unused
    GLint color1[4];      // stage 1, as stage 0
    GLint alpha1[4];
    float textureFactor[4];  // D3DRS_TEXTUREFACTOR as r, g, b, a
    float fogColor[4];       // r, g, b; a = 1 when fog is enabled
    float alphaState[4];     // x D3DCMPFUNC of the alpha test (8 = off), y reference 0..1, z fade factor
    // Per stage: a ramp computed instead of sampled (RampTable): x steps,
    // y texture width, z 1 when the stage uses it (else it samples).
    float rampInfo[2][4];
    float rampBase[2][4];
    float rampPosition[2][kMaxRampSteps];        // two vec4 per stage
    float rampDelta[2][kMaxRampSteps][4];
};
static_assert(sizeof(StateBlock) == 656, "StateBlock must match the std140 layout of NrvState");

// The state a specialised fragment program is compiled for, normalised so that
// states which draw alike share one program: what a stage ignores (arguments
// an op does not read, everything past a disabled stage) is zero.
struct FragmentKey {
    std::uint8_t color[2][4] = {};  // per stage: colour op, arg1, arg2, texture-coordinate set (0/1)
    std::uint8_t alpha[2][3] = {};  // per stage: alpha op, arg1, arg2
    std::uint8_t alphaFunc = 8;     // D3DCMPFUNC of the alpha test, 8 (ALWAYS) when it is off
    std::uint8_t fog = 0;           // 1: fog blends towards the fog colour
    std::uint8_t fade = 0;          // 1: the material fade multiplies the alpha
    std::uint8_t texture[2] = {};   // 1: a texture is bound on the stage (else it reads white); 2 + id: ramp `id` computed
    bool operator==(const FragmentKey& o) const {
        return std::memcmp(this, &o, sizeof *this) == 0;
    }
};
static_assert(sizeof(FragmentKey) == 19, "FragmentKey is compared bytewise: no padding");

// A compiled vertex shader kept for linking with fragment programs, and the
// types its texture-coordinate outputs have.
struct VertexProgram {
    GLuint shader = 0;
    TexCoordType t0 = kTexVec2;
    TexCoordType t1 = kTexVec2;
};

// Compiles and links GLSL programs; owns the shared general fragment shader
// objects. Failures print the GL info log to stderr and return 0.
class ProgramBuilder {
public:
    ~ProgramBuilder();
    void FreeGl();

    // The fixed-function vertex program: pre-transformed (XYZRHW) or
    // transformed (XYZ) positions.
    VertexProgram CompileFixedFunction(bool preTransformed);
    // A vertex shader in the register contract of d3d8.h, rewritten so the
    // device's depth conversion runs after it.
    VertexProgram CompileFromShaderSource(const char* source, size_t length);
    // Links a vertex shader with the general fragment program (key null) or
    // with one specialised for `key`. The vertex shader stays for more links.
    GLuint Link(const VertexProgram& vertex, const FragmentKey* key);
    // A number for this ramp, the same for equal ramps (at most kMaxRamps
    // kinds; -1 beyond): specialised programs compute ramp `id` with its
    // values as constants.
    int RegisterRamp(const RampTable& ramp);
    const RampTable& Ramp(int id) const { return m_ramps[id]; }
    int RampCount() const { return m_rampCount; }

    static constexpr int kMaxRamps = 16;

private:
    GLuint GeneralFragmentShader(TexCoordType t0, TexCoordType t1);
    GLuint CompileFragment(TexCoordType t0, TexCoordType t1, const FragmentKey* key);

    GLuint m_fragment[kTexTypeCount][kTexTypeCount] = {};
    RampTable m_ramps[kMaxRamps];
    int m_rampCount = 0;
};

// Shared GL helpers.
GLuint CompileShader(GLenum stage, const char* const* sources, GLsizei count);
void SetupProgramBindings(GLuint program);  // samplers to units 0/1, NrvState to binding 0

constexpr GLuint kStateBlockBinding = 0;
constexpr GLenum kUploadTextureUnit = GL_TEXTURE2;  // texture uploads never disturb stages 0/1

}  // namespace d3d8gl
