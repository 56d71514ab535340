// The GL device's vertex shaders and fixed-function vertex formats, the
// choice of program for the current state, and the draws, each checked
// against the buffers it reads before GL sees it.
#include <algorithm>
#include <cstring>

#include "platform/gl/d3d8_gl_device.h"

namespace d3d8gl {

namespace {

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
// Vertex shaders

GLuint GlDevice::CreateVertexArray(const VertexLayout& layout) {
    GLuint vao = 0;
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    m_bound.vao = vao;
    for (UINT i = 0; i < layout.count; ++i) glEnableVertexAttribArray(layout.attribs[i].location);
    return vao;
}

HRESULT GlDevice::SetVertexShader(DWORD fvfOrHandle) {
    if (fvfOrHandle & 1u) {  // a shader handle (FVF codes never have bit 0 set)
        const DWORD slot = fvfOrHandle >> 1;
        if (slot >= kMaxShaders || !m_programs.shaders[slot].used) return D3DERR_INVALIDCALL;
        m_state.shaderSlot = static_cast<int>(slot);
        m_state.fvfSlot = -1;
        m_dirty.block = true;  // the material fade applies to shader draws only
        return S_OK;
    }
    int free = -1;
    for (UINT i = 0; i < kMaxFvfLayouts; ++i) {
        if (m_programs.fvfs[i].used && m_programs.fvfs[i].fvf == fvfOrHandle) {
            m_state.fvfSlot = static_cast<int>(i);
            m_state.shaderSlot = -1;
            m_dirty.block = true;
            return S_OK;
        }
        if (!m_programs.fvfs[i].used && free < 0) free = static_cast<int>(i);
    }
    // First use of a format: build its layout and vertex array once.
    FvfSlot candidate;
    if (!BuildFvfLayout(fvfOrHandle, &candidate.layout, &candidate.preTransformed)) return D3DERR_INVALIDCALL;
    if (free < 0) return D3DERR_INVALIDCALL;
    FvfSlot& slot = m_programs.fvfs[free];
    slot = candidate;
    slot.used = true;
    slot.fvf = fvfOrHandle;
    slot.vao.vao = CreateVertexArray(slot.layout);
    m_state.fvfSlot = free;
    m_state.shaderSlot = -1;
    m_dirty.block = true;
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
    while (slot < kMaxShaders && m_programs.shaders[slot].used) ++slot;
    if (slot == kMaxShaders) return E_OUTOFMEMORY;

    ProgramSet programs;
    if (!BuildVertexPrograms(&programs, m_programs.builder.CompileFromShaderSource(source, length))) {
        return D3DERR_INVALIDCALL;
    }

    ShaderSlot& s = m_programs.shaders[slot];
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
    if (!(handle & 1u) || slot >= kMaxShaders || !m_programs.shaders[slot].used) return D3DERR_INVALIDCALL;
    ShaderSlot& s = m_programs.shaders[slot];
    if (s.programs.Uses(m_bound.program)) {
        glUseProgram(0);
        m_bound.program = 0;
    }
    if (m_bound.vao == s.vao.vao) {
        glBindVertexArray(0);
        m_bound.vao = 0;
    }
    s.programs.FreeGl();
    glDeleteVertexArrays(1, &s.vao.vao);
    s = ShaderSlot{};
    if (m_state.shaderSlot == static_cast<int>(slot)) m_state.shaderSlot = -1;
    return S_OK;
}

HRESULT GlDevice::SetVertexShaderConstant(DWORD reg, const void* data, DWORD count) {
    if (reg > kVertexShaderConstants || count > kVertexShaderConstants - reg) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    if (!data) return D3DERR_INVALIDCALL;
    std::memcpy(m_state.constants[reg], data, count * sizeof m_state.constants[0]);
    ++m_state.constantsVersion;
    return S_OK;
}

HRESULT GlDevice::GetVertexShaderConstant(DWORD reg, void* data, DWORD count) {
    if (reg > kVertexShaderConstants || count > kVertexShaderConstants - reg) return D3DERR_INVALIDCALL;
    if (count == 0) return S_OK;
    if (!data) return D3DERR_INVALIDCALL;
    std::memcpy(data, m_state.constants[reg], count * sizeof m_state.constants[0]);
    return S_OK;
}

// ---------------------------------------------------------------------------
// Draws

HRESULT GlDevice::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride) {
    if (stream != 0) return D3DERR_INVALIDCALL;  // one stream is all the saver uses
    auto* vb = static_cast<GlVertexBuffer*>(buffer);
    if (vb) vb->AddRef();
    if (m_bindings.stream) m_bindings.stream->Release();
    m_bindings.stream = vb;
    m_bindings.streamStride = vb ? stride : 0;
    return S_OK;
}

HRESULT GlDevice::SetIndices(IDirect3DIndexBuffer8* buffer, UINT baseVertex) {
    auto* ib = static_cast<GlIndexBuffer*>(buffer);
    if (ib) ib->AddRef();
    if (m_bindings.indices) m_bindings.indices->Release();
    m_bindings.indices = ib;
    m_bindings.baseVertex = baseVertex;
    return S_OK;
}

bool GlDevice::CurrentSetup(DrawSetup* setup) {
    if (m_state.shaderSlot >= 0) {
        ShaderSlot& s = m_programs.shaders[m_state.shaderSlot];
        *setup = DrawSetup{SelectProgram(&s.programs), &s.layout, &s.vao, true};
        return setup->program->program != 0;
    }
    if (m_state.fvfSlot >= 0) {
        FvfSlot& f = m_programs.fvfs[m_state.fvfSlot];
        *setup = DrawSetup{SelectProgram(&m_programs.ffp[f.preTransformed ? 1 : 0]), &f.layout, &f.vao, false};
        return setup->program->program != 0;
    }
    return false;
}

// Takes a freshly compiled vertex program into a set; on failure frees what
// was made and returns false. A shader the device cannot draw with is refused
// here: with variants on, a program specialised for the default state is
// linked as a check and dropped at once. The general program, whose fragment
// stage follows the state block, is linked only when a draw needs it
// (GeneralProgram): most sets never do, and each one holds about 1.5 MiB of
// the driver's memory and costs start-up time.
bool GlDevice::BuildVertexPrograms(ProgramSet* set, const VertexProgram& vertex) {
    *set = ProgramSet{};
    set->vertex = vertex;
    if (!m_programs.specialise) return GeneralProgram(set)->program != 0;
    const FragmentKey defaults;
    const GLuint check = m_programs.builder.Link(vertex, &defaults);
    m_bound.program = 0;  // linking bound the new program for its sampler set-up
    if (!check) {
        set->FreeGl();
        return false;
    }
    glDeleteProgram(check);
    return true;
}

// The set's general program, linked at its first use; program 0 when that
// link failed (it is not tried again).
LinkedProgram* GlDevice::GeneralProgram(ProgramSet* set) {
    if (!set->general.program && !set->generalTried) {
        set->generalTried = true;
        set->general.program = m_programs.builder.Link(set->vertex, nullptr);
        m_bound.program = 0;  // linking bound the new program for its sampler set-up
        if (set->general.program) set->general.constants = glGetUniformLocation(set->general.program, "c");
    }
    return &set->general;
}

// at the first draw in that state, or the general program when variants are
// off, the set is full or the variant did not build.
LinkedProgram* GlDevice::SelectProgram(ProgramSet* set) {
    if (!m_programs.specialise) return GeneralProgram(set);
    if (m_dirty.block || m_dirty.textures) m_programs.fragmentKey = CurrentFragmentKey();
    UINT found = set->count;
    if (set->count > 0 && set->keys[set->last] == m_programs.fragmentKey) {
        found = set->last;
    } else {
        for (UINT i = 0; i < set->count; ++i) {
            if (set->keys[i] == m_programs.fragmentKey) {
                found = i;
                break;
            }
        }
    }
    if (found == set->count) {
        if (set->count == kMaxVariants) return GeneralProgram(set);
        LinkedProgram& v = set->variants[found];
        v = LinkedProgram{};
        set->keys[found] = m_programs.fragmentKey;
        v.program = m_programs.builder.Link(set->vertex, &m_programs.fragmentKey);
        m_bound.program = 0;  // linking bound the new program for its sampler set-up
        if (v.program) v.constants = glGetUniformLocation(v.program, "c");
        ++set->count;
    }
    set->last = found;
    LinkedProgram& v = set->variants[found];
    return v.program ? &v : GeneralProgram(set);
}

void GlDevice::Prepare(const DrawSetup& setup) {
    LinkedProgram& program = *setup.program;
    if (m_bound.program != program.program) {
        glUseProgram(program.program);
        m_bound.program = program.program;
    }
    if (setup.shader && program.constants >= 0 && program.constantsVersion != m_state.constantsVersion) {
        glUniform4fv(program.constants, kVertexShaderConstants, &m_state.constants[0][0]);
        program.constantsVersion = m_state.constantsVersion;
    }
    if (m_dirty.renderStates) ApplyRenderStates();
    if (m_dirty.block) UploadStateBlock();
    bool mipCheck = m_dirty.textures;
    for (UINT s = 0; s < kStages; ++s) {
        if (!m_dirty.samplers[s]) continue;
        mipCheck = true;
        const DWORD* t = m_state.tss[s];
        const bool magLinear = t[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR;
        const bool minLinear = t[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
        GLint minFilter;
        switch (t[D3DTSS_MIPFILTER]) {
            case D3DTEXF_POINT: minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST; break;
            case D3DTEXF_LINEAR: minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR; break;
            default: minFilter = minLinear ? GL_LINEAR : GL_NEAREST; break;
        }
        glSamplerParameteri(m_samplers.samplers[s], GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
        glSamplerParameteri(m_samplers.samplers[s], GL_TEXTURE_MIN_FILTER, minFilter);
        glSamplerParameteri(m_samplers.samplers[s], GL_TEXTURE_WRAP_S, AddressToGl(t[D3DTSS_ADDRESSU]));
        glSamplerParameteri(m_samplers.samplers[s], GL_TEXTURE_WRAP_T, AddressToGl(t[D3DTSS_ADDRESSV]));
        m_dirty.samplers[s] = false;
    }
    if (m_dirty.textures) {
        for (UINT s = 0; s < kStages; ++s) {
            const GlTexture* t = m_bindings.textures[s];
            const GLuint name = t && t->gl ? t->gl : m_samplers.white;
            if (m_bound.textures[s] == name) continue;
            glActiveTexture(GL_TEXTURE0 + s);
            glBindTexture(GL_TEXTURE_2D, name);
            m_bound.textures[s] = name;
        }
        m_dirty.textures = false;
    }
    // A full mip chain the first time a texture is sampled with a mip filter,
    // so MIPFILTER is honoured for any texture.
    for (UINT s = 0; mipCheck && s < kStages; ++s) {
        GlTexture* t = m_bindings.textures[s];
        if (!t || !t->gl || t->mipmapped || m_state.tss[s][D3DTSS_MIPFILTER] == D3DTEXF_NONE) continue;
        glActiveTexture(GL_TEXTURE0 + s);
        glGenerateMipmap(GL_TEXTURE_2D);
        t->mipmapped = true;
    }
}

void GlDevice::BindVertexArray(VaoSlot* vao, const VertexLayout& layout, GLuint buffer, std::uint64_t serial,
                               UINT stride, UINT offset) {
    if (m_bound.vao != vao->vao) {
        glBindVertexArray(vao->vao);
        m_bound.vao = vao->vao;
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
    ++m_frame.stats.drawCalls;
    if (IsTriangles(type)) m_frame.stats.triangles += primitiveCount;
}

HRESULT GlDevice::DrawPrimitive(D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
    GLenum mode;
    std::uint64_t count;
    DrawSetup setup;
    if (!PrimitiveToGl(type, primitiveCount, &mode, &count) || !CurrentSetup(&setup) || !m_bindings.stream) {
        return D3DERR_INVALIDCALL;
    }
    if (primitiveCount == 0) return S_OK;
    const VertexLayout& layout = *setup.layout;
    if (m_bindings.streamStride < layout.bytes ||
        !VerticesFit(m_bindings.stream->store.length, m_bindings.streamStride, layout.bytes, startVertex + count)) {
        return D3DERR_INVALIDCALL;
    }
    Prepare(setup);
    const ManagedStore& streamStore = m_bindings.stream->store;
    BindVertexArray(setup.vao, layout, streamStore.gl, streamStore.serial, m_bindings.streamStride, 0);
    glDrawArrays(mode, static_cast<GLint>(startVertex), static_cast<GLsizei>(count));
    CountDraw(type, primitiveCount);
    return S_OK;
}

HRESULT GlDevice::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT, UINT, UINT startIndex, UINT primitiveCount) {
    GLenum mode;
    std::uint64_t count;
    DrawSetup setup;
    if (!PrimitiveToGl(type, primitiveCount, &mode, &count) || !CurrentSetup(&setup) || !m_bindings.stream ||
        !m_bindings.indices) {
        return D3DERR_INVALIDCALL;
    }
    if (primitiveCount == 0) return S_OK;
    const VertexLayout& layout = *setup.layout;
    const std::uint64_t vbBytes = m_bindings.stream->store.length;
    if (m_bindings.streamStride < layout.bytes || vbBytes < layout.bytes) return D3DERR_INVALIDCALL;
    // Every index the buffer holds, moved by the base vertex, must name a
    // vertex inside the vertex buffer; the index range must lie in the buffer.
    const std::uint64_t vertices = (vbBytes - layout.bytes) / m_bindings.streamStride + 1;
    if (static_cast<std::uint64_t>(m_bindings.baseVertex) + m_bindings.indices->maxIndex >= vertices) {
        return D3DERR_INVALIDCALL;
    }
    if (static_cast<std::uint64_t>(startIndex) + count > m_bindings.indices->IndexCount()) return D3DERR_INVALIDCALL;

    Prepare(setup);
    const ManagedStore& streamStore = m_bindings.stream->store;
    BindVertexArray(setup.vao, layout, streamStore.gl, streamStore.serial, m_bindings.streamStride, 0);
    if (setup.vao->elementSerial != m_bindings.indices->store.serial) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m_bindings.indices->store.gl);
        setup.vao->elementSerial = m_bindings.indices->store.serial;
    }
    const UINT size = m_bindings.indices->IndexSize();
    glDrawElementsBaseVertex(mode, static_cast<GLsizei>(count), size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<const void*>(static_cast<std::uintptr_t>(startIndex) * size),
                             static_cast<GLint>(m_bindings.baseVertex));
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
    glBindBuffer(GL_COPY_WRITE_BUFFER, m_staging.buffer);
    if (size > m_staging.capacity - m_staging.cursor) {
        if (size > m_staging.capacity) m_staging.capacity = std::max(size, m_staging.capacity * 2);
        glBufferData(GL_COPY_WRITE_BUFFER, m_staging.capacity, nullptr, GL_STREAM_DRAW);  // orphan
        m_staging.cursor = 0;
    }
    const UINT offset = m_staging.cursor;
    glBufferSubData(GL_COPY_WRITE_BUFFER, offset, size, vertices);
    m_staging.cursor = std::min(m_staging.capacity, (offset + size + 15u) & ~15u);

    Prepare(setup);
    BindVertexArray(setup.vao, *setup.layout, m_staging.buffer, kStreamSerial, stride, offset);
    glDrawArrays(mode, 0, static_cast<GLsizei>(count));
    CountDraw(type, primitiveCount);
    return S_OK;
}

}  // namespace d3d8gl
