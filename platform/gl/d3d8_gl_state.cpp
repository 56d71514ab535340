// The GL device's state: render and texture-stage states, material,
// transforms and bound textures as the caller set them, the Direct3D 8
// defaults a Reset returns to, and how that state reaches GL before a draw
// (fixed GL state, the shared uniform block, the fragment program key).
#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/gl/d3d8_gl_device.h"

namespace d3d8gl {

namespace {

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

}  // namespace

void ColorToFloats(D3DCOLOR c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>((c >> 24) & 0xFF) / 255.0f;
}

// ---------------------------------------------------------------------------
// State

void GlDevice::ReleaseBindings() {
    for (GlTexture*& t : m_bindings.textures) {
        if (t) t->Release();
        t = nullptr;
    }
    if (m_bindings.stream) m_bindings.stream->Release();
    if (m_bindings.indices) m_bindings.indices->Release();
    m_bindings.stream = nullptr;
    m_bindings.indices = nullptr;
    m_bindings.streamStride = 0;
    m_bindings.baseVertex = 0;
    m_dirty.textures = true;
}

// The documented Direct3D 8 defaults; a Reset returns to them too.
void GlDevice::ResetStates() {
    ReleaseBindings();
    std::fill(std::begin(m_state.rs), std::end(m_state.rs), 0u);
    m_state.rs[D3DRS_ZENABLE] = m_back.hasDepth ? D3DZB_TRUE : D3DZB_FALSE;
    m_state.rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    m_state.rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    m_state.rs[D3DRS_ZWRITEENABLE] = TRUE;
    m_state.rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    m_state.rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    m_state.rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    m_state.rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    m_state.rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    m_state.rs[D3DRS_FOGCOLOR] = 0;
    m_state.rs[D3DRS_FOGTABLEMODE] = D3DFOG_NONE;
    m_state.rs[D3DRS_FOGSTART] = FloatToDword(0.0f);
    m_state.rs[D3DRS_FOGEND] = FloatToDword(1.0f);
    m_state.rs[D3DRS_FOGDENSITY] = FloatToDword(1.0f);
    m_state.rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    m_state.rs[D3DRS_LIGHTING] = TRUE;
    m_state.rs[D3DRS_AMBIENT] = 0;
    m_state.rs[D3DRS_FOGVERTEXMODE] = D3DFOG_NONE;
    m_state.rs[D3DRS_COLORVERTEX] = TRUE;
    m_state.rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;

    for (UINT s = 0; s < kStages; ++s) {
        DWORD* t = m_state.tss[s];
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
        m_dirty.samplers[s] = true;
    }
    m_state.material = D3DMATERIAL8{};
    m_state.world = m_state.view = m_state.proj = Identity();
    std::memset(m_state.constants, 0, sizeof m_state.constants);
    ++m_state.constantsVersion;
    m_state.shaderSlot = m_state.fvfSlot = -1;
    m_dirty.renderStates = m_dirty.block = m_dirty.textures = true;
}

HRESULT GlDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= D3DRS_COUNT) return D3DERR_INVALIDCALL;
    if (m_state.rs[state] == value) return S_OK;
    m_state.rs[state] = value;
    switch (state) {
        case D3DRS_ZENABLE:
        case D3DRS_ZWRITEENABLE:
        case D3DRS_ZFUNC:
        case D3DRS_CULLMODE:
        case D3DRS_ALPHABLENDENABLE:
        case D3DRS_SRCBLEND:
        case D3DRS_DESTBLEND:
        case D3DRS_FILLMODE:
            m_dirty.renderStates = true;
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
            m_dirty.block = true;
            break;
        default:  // kept for Get, no effect on drawing (dither, specular, ambient, ...)
            break;
    }
    return S_OK;
}

HRESULT GlDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
    if (state >= D3DRS_COUNT || !value) return D3DERR_INVALIDCALL;
    *value = m_state.rs[state];
    return S_OK;
}

HRESULT GlDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kStages || type >= D3DTSS_COUNT) return D3DERR_INVALIDCALL;
    switch (type) {
        case D3DTSS_COLOROP:
        case D3DTSS_ALPHAOP:
            if (value < D3DTOP_DISABLE || value > D3DTOP_ADD) return D3DERR_INVALIDCALL;
            m_dirty.block = true;
            break;
        case D3DTSS_COLORARG1:
        case D3DTSS_COLORARG2:
        case D3DTSS_ALPHAARG1:
        case D3DTSS_ALPHAARG2:
            if ((value & 0xF) > D3DTA_TFACTOR || (value & ~(0xFu | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE))) {
                return D3DERR_INVALIDCALL;
            }
            m_dirty.block = true;
            break;
        case D3DTSS_TEXCOORDINDEX:
            m_dirty.block = true;
            break;
        case D3DTSS_ADDRESSU:
        case D3DTSS_ADDRESSV:
        case D3DTSS_MAGFILTER:
        case D3DTSS_MINFILTER:
        case D3DTSS_MIPFILTER:
            m_dirty.samplers[stage] = true;
            m_dirty.block = true;  // whether a ramp is computed
            break;
        default:
            break;
    }
    m_state.tss[stage][type] = value;
    return S_OK;
}

HRESULT GlDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) {
    if (stage >= kStages || type >= D3DTSS_COUNT || !value) return D3DERR_INVALIDCALL;
    *value = m_state.tss[stage][type];
    return S_OK;
}

HRESULT GlDevice::SetMaterial(const D3DMATERIAL8* material) {
    if (!material) return D3DERR_INVALIDCALL;
    if (material->Diffuse.a != m_state.material.Diffuse.a) m_dirty.block = true;  // the fade factor
    m_state.material = *material;
    return S_OK;
}

HRESULT GlDevice::GetMaterial(D3DMATERIAL8* material) {
    if (!material) return D3DERR_INVALIDCALL;
    *material = m_state.material;
    return S_OK;
}

HRESULT GlDevice::SetViewport(const D3DVIEWPORT8* viewport) {
    if (!viewport || viewport->Width == 0 || viewport->Height == 0 || viewport->X > m_back.width ||
        viewport->Y > m_back.height || viewport->Width > m_back.width - viewport->X ||
        viewport->Height > m_back.height - viewport->Y || !(viewport->MinZ >= 0.0f) ||
        !(viewport->MaxZ <= 1.0f) || !(viewport->MinZ <= viewport->MaxZ)) {
        return D3DERR_INVALIDCALL;
    }
    m_back.viewport = *viewport;
    // The back buffer is stored bottom row first.
    glViewport(static_cast<GLint>(viewport->X), static_cast<GLint>(m_back.height - viewport->Y - viewport->Height),
               static_cast<GLsizei>(viewport->Width), static_cast<GLsizei>(viewport->Height));
    glDepthRange(viewport->MinZ, viewport->MaxZ);
    m_dirty.block = true;
    return S_OK;
}

HRESULT GlDevice::GetViewport(D3DVIEWPORT8* viewport) {
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = m_back.viewport;
    return S_OK;
}

HRESULT GlDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
        case D3DTS_WORLD: m_state.world = *matrix; break;
        case D3DTS_VIEW: m_state.view = *matrix; break;
        case D3DTS_PROJECTION: m_state.proj = *matrix; break;
        default: return D3DERR_INVALIDCALL;
    }
    m_dirty.block = true;
    return S_OK;
}

HRESULT GlDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
        case D3DTS_WORLD: *matrix = m_state.world; return S_OK;
        case D3DTS_VIEW: *matrix = m_state.view; return S_OK;
        case D3DTS_PROJECTION: *matrix = m_state.proj; return S_OK;
        default: return D3DERR_INVALIDCALL;
    }
}

HRESULT GlDevice::SetTexture(DWORD stage, IDirect3DTexture8* texture) {
    if (stage >= kStages) return D3DERR_INVALIDCALL;
    auto* t = static_cast<GlTexture*>(texture);  // this device made every texture
    if (t == m_bindings.textures[stage]) return S_OK;
    if (t) t->AddRef();
    if (m_bindings.textures[stage]) m_bindings.textures[stage]->Release();
    m_bindings.textures[stage] = t;
    m_dirty.textures = true;
    m_dirty.block = true;  // the stage's ramp, if it has one
    return S_OK;
}

const RampTable* GlDevice::ComputedRamp(UINT stage) const {
    const GlTexture* t = m_bindings.textures[stage];
    const DWORD* s = m_state.tss[stage];
    // Linear filtering without mip levels, the coordinate clamped to the row:
    // what the sum reproduces. (Any v reads the same row.)
    if (!t || !t->gl || t->rampId < 0 || s[D3DTSS_MAGFILTER] < D3DTEXF_LINEAR ||
        s[D3DTSS_MINFILTER] < D3DTEXF_LINEAR || s[D3DTSS_MIPFILTER] != D3DTEXF_NONE ||
        s[D3DTSS_ADDRESSU] != D3DTADDRESS_CLAMP) {
        return nullptr;
    }
    return &m_programs.builder.Ramp(t->rampId);
}

// The fragment state as the general program would read it from the state
// block (UploadStateBlock), with what it ignores zeroed.
FragmentKey GlDevice::CurrentFragmentKey() const {
    FragmentKey k;
    for (UINT s = 0; s < kStages; ++s) {
        const DWORD* t = m_state.tss[s];
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
        k.texture[s] = ComputedRamp(s) ? static_cast<std::uint8_t>(2 + m_bindings.textures[s]->rampId)
                                       : m_bindings.textures[s] && m_bindings.textures[s]->gl ? 1 : 0;
    }
    const DWORD func = m_state.rs[D3DRS_ALPHATESTENABLE] ? m_state.rs[D3DRS_ALPHAFUNC] : D3DCMP_ALWAYS;
    k.alphaFunc = static_cast<std::uint8_t>(func >= D3DCMP_NEVER && func <= D3DCMP_ALWAYS ? func : D3DCMP_ALWAYS);
    k.fog = m_state.rs[D3DRS_FOGENABLE] ? 1 : 0;
    k.fade = m_state.shaderSlot >= 0 && m_state.material.Diffuse.a < 1.0f ? 1 : 0;
    return k;
}

// The program for the current fragment state: a specialised variant, built
// at the first draw in that state, or the general program when variants are

void GlDevice::ApplyRenderStates() {
    if (m_back.hasDepth && m_state.rs[D3DRS_ZENABLE] != D3DZB_FALSE) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(CompareToGl(m_state.rs[D3DRS_ZFUNC]));
    } else {
        glDisable(GL_DEPTH_TEST);  // no test also means no depth writes, as in D3D
    }
    glDepthMask(m_state.rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);

    // Winding on screen is the same in D3D and in our GL set-up (see
    // d3d8_gl_device.h): CCW culls counter-clockwise triangles, CW clockwise ones.
    switch (m_state.rs[D3DRS_CULLMODE]) {
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

    if (m_state.rs[D3DRS_ALPHABLENDENABLE]) {
        glEnable(GL_BLEND);
        glBlendFunc(BlendToGl(m_state.rs[D3DRS_SRCBLEND], GL_ONE), BlendToGl(m_state.rs[D3DRS_DESTBLEND], GL_ZERO));
    } else {
        glDisable(GL_BLEND);
    }

    const DWORD fill = m_state.rs[D3DRS_FILLMODE];
    glPolygonMode(GL_FRONT_AND_BACK, fill == D3DFILL_POINT ? GL_POINT : fill == D3DFILL_WIREFRAME ? GL_LINE : GL_FILL);
    m_dirty.renderStates = false;
}

void GlDevice::UploadStateBlock() {
    StateBlock& b = m_stateBlock.next;
    const D3DMATRIX worldView = Multiply(m_state.world, m_state.view);
    const D3DMATRIX wvp = Multiply(worldView, m_state.proj);
    std::memcpy(b.wvp, &wvp, sizeof b.wvp);
    std::memcpy(b.worldView, &worldView, sizeof b.worldView);
    // Pre-transformed vertices are back-buffer pixels: their program maps
    // them through the viewport's size and origin.
    b.screen[0] = static_cast<float>(m_back.viewport.Width);
    b.screen[1] = static_cast<float>(m_back.viewport.Height);
    b.screen[2] = static_cast<float>(m_back.viewport.X);
    b.screen[3] = static_cast<float>(m_back.viewport.Y);

    // Fixed-function vertex fog; linear as (end - d) * scale.
    const float start = DwordToFloat(m_state.rs[D3DRS_FOGSTART]);
    const float end = DwordToFloat(m_state.rs[D3DRS_FOGEND]);
    const DWORD mode = m_state.rs[D3DRS_FOGVERTEXMODE];
    b.vertexFog[0] = static_cast<float>(mode <= D3DFOG_LINEAR ? mode : D3DFOG_NONE);
    b.vertexFog[1] = end;
    b.vertexFog[2] = end != start ? 1.0f / (end - start) : 1.0e30f;  // start == end: a step at `end`
    b.vertexFog[3] = DwordToFloat(m_state.rs[D3DRS_FOGDENSITY]);

    GLint* stages[kStages][2] = {{b.color0, b.alpha0}, {b.color1, b.alpha1}};
    for (UINT s = 0; s < kStages; ++s) {
        const DWORD* t = m_state.tss[s];
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
    static const RampTable kNoRamp{0};
    for (UINT s = 0; s < kStages; ++s) {
        const RampTable* computed = ComputedRamp(s);
        const RampTable& r = computed ? *computed : kNoRamp;
        b.rampInfo[s][0] = static_cast<float>(r.steps);
        b.rampInfo[s][1] = r.width;
        b.rampInfo[s][2] = computed ? 1.0f : 0.0f;
        b.rampInfo[s][3] = 0.0f;
        std::memcpy(b.rampBase[s], r.base, sizeof r.base);
        std::memcpy(b.rampPosition[s], r.position, sizeof r.position);
        std::memcpy(b.rampDelta[s], r.delta, sizeof r.delta);
    }

    ColorToFloats(m_state.rs[D3DRS_TEXTUREFACTOR], b.textureFactor);
    ColorToFloats(m_state.rs[D3DRS_FOGCOLOR], b.fogColor);
    b.fogColor[3] = m_state.rs[D3DRS_FOGENABLE] ? 1.0f : 0.0f;
    const DWORD alphaFunc = m_state.rs[D3DRS_ALPHATESTENABLE] ? m_state.rs[D3DRS_ALPHAFUNC] : D3DCMP_ALWAYS;
    b.alphaState[0] = static_cast<float>(alphaFunc);
    b.alphaState[1] = static_cast<float>(m_state.rs[D3DRS_ALPHAREF] & 0xFF);
    // Material diffuse alpha below 1 fades shader draws (distance fade of the
    // toon models); fixed-function draws ignore the material.
    const float fade = std::clamp(m_state.material.Diffuse.a, 0.0f, 1.0f);
    b.alphaState[2] = m_state.shaderSlot >= 0 && m_state.material.Diffuse.a < 1.0f ? fade : 1.0f;
    b.alphaState[3] = 0.0f;

    // Most draws change only a part of the block, many nothing at all (a
    // repeated SetTransform): only a block that differs is sent.
    m_dirty.block = false;
    if (m_stateBlock.uploadedOnce && std::memcmp(&m_stateBlock.uploaded, &b, sizeof b) == 0) return;
    glBindBuffer(GL_UNIFORM_BUFFER, m_stateBlock.ubo);
    glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof b, &b);
    m_stateBlock.uploaded = b;
    m_stateBlock.uploadedOnce = true;
}

}  // namespace d3d8gl
