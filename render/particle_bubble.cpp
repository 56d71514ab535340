// The bubbles: emission, motion, drawing and the particle pool.
#include "render/particle_bubble.h"

#include <cmath>

#include "core/errlog.h"
#include "platform/base/alloc.h"
#include "platform/d3dx/d3dx_resource.h"
#include "platform/os/clock.h"

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kRandScale = 1.0f / static_cast<float>(kRandMax);

// The triangle every bubble is drawn as, in its own plane (world units).
const ParticleBubble::Vertex kTriangle[3] = {
    {D3DXVECTOR3(-20.0f, -20.0f, 0.0f), 0xFFFFFFFF, 0.0f, 1.0f},
    {D3DXVECTOR3(0.0f, 20.0f, 0.0f), 0xFFFFFFFF, 0.5f, 0.0f},
    {D3DXVECTOR3(20.0f, -20.0f, 0.0f), 0xFFFFFFFF, 1.0f, 1.0f},
};

}  // namespace

D3DCOLOR ParticleBubble::ColorForLife(float life) {
    float a = 255.0f - std::trunc(std::fabs(life));
    if (!(a >= 0.0f)) a = 0.0f;  // also catches NaN
    if (a > 255.0f) a = 255.0f;
    return (static_cast<D3DCOLOR>(a) << 24) | 0x00FFFFFFu;
}

ParticleBubble::ParticleBubble() : m_Template{}, m_vDrift(0.0f, 0.0f, 0.0f) {
    D3DXMatrixIdentity(&m_matWorld);
    for (D3DXVECTOR3& e : m_vEmitter) e = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

ParticleBubble::~ParticleBubble() {
    DeleteDeviceObjects();
    FreePool();
}

void ParticleBubble::ResetSimulation() {
    FreePool();
    m_vDrift = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    m_fDriftTimer = 0.0f;
    m_bSwirl = false;
    m_fSwirlInterval = kFirstSwirl;
    m_fSwirlTimer = 0.0f;
    m_fSwirlPhase = 0.0f;
    m_fEmissionTimer = 0.0f;
    for (D3DXVECTOR3& e : m_vEmitter) e = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    m_fEmitterTimer = kEmitterInterval;
}

void ParticleBubble::FreePool() {
    m_pPool.reset();
    m_pLive = nullptr;
    m_pFree = nullptr;
    m_dwCount = 0;
}

HRESULT ParticleBubble::InitDeviceObjects(IDirect3DDevice8* device, int enabled, ErrLog* log) {
    // A new start begins as a newly constructed object would.
    DeleteDeviceObjects();
    ResetSimulation();
    m_bEnabled = enabled;
    if (m_bEnabled != 1) return S_OK;
    SRand(timeGetTime());

    if (FAILED(ObjectStep(log, "\t\t\tD3DXCreateTextureFromResource...\n", "\t\t\tFailed\n",  // fixed log texts
                          [&] { return D3DXCreateTextureFromResourceA(device, kTextureName, m_pTexture.Out()); }))) {
        return E_FAIL;
    }
    for (int i = 0; i < 3; ++i) m_Template[i] = kTriangle[i];

    if (FAILED(ObjectStep(log, "\t\t\tCreateVertexBuffer...\n", "\t\t\tFailed\n", [&] {  // fixed log texts
            return device->CreateVertexBuffer(kVertexBytes, D3DUSAGE_WRITEONLY, kFvf, D3DPOOL_MANAGED, m_pVB.Out());
        }))) {
        return E_FAIL;
    }

    // Every record the bubbles will ever need, made now so no frame allocates.
    m_pPool = NewUniqueArray<BubbleParticle>(kMaxParticles);
    if (!m_pPool) return E_OUTOFMEMORY;
    for (DWORD i = 0; i < kMaxParticles; ++i) {
        m_pPool[i].m_pNext = m_pFree;
        m_pFree = &m_pPool[i];
    }
    return S_OK;
}

HRESULT ParticleBubble::Emit(float dt) {
    if (m_bEnabled != 1) return S_OK;

    m_fEmitterTimer += dt;
    if (m_fEmitterTimer > kEmitterInterval) {
        m_fEmitterTimer = 0.0f;
        for (D3DXVECTOR3& e : m_vEmitter) {
            const int r1 = Rand();
            const int r2 = Rand();
            const int r3 = Rand();
            e = D3DXVECTOR3(static_cast<float>(r3 % 4000 - 2000), static_cast<float>(r2 % 50 - 2000),
                            static_cast<float>(r1 % 4000 - 2000));
        }
    }

    m_fEmissionTimer += dt;
    if (m_fEmissionTimer < kEmissionInterval) return S_OK;
    m_fEmissionTimer = 0.0f;
    for (int i = 0; i < kEmitters && m_dwCount < kMaxParticles; ++i) {
        BubbleParticle* p = m_pFree;
        if (!p) return E_OUTOFMEMORY;  // the pool holds kMaxParticles: only a broken count gets here
        m_pFree = p->m_pNext;
        p->m_pNext = m_pLive;
        m_pLive = p;
        ++m_dwCount;
        const int ra = Rand();
        const int rb = Rand();
        p->m_vPosition = m_vEmitter[i];
        p->m_vVelocity = D3DXVECTOR3(static_cast<float>(rb) * kRandScale * 3.0f, 0.0f,
                                     static_cast<float>(ra) * kRandScale * 3.0f);
        p->m_fLife = kBirthLife;
    }
    return S_OK;
}

int ParticleBubble::Move(float dt, float appTime) {
    if (m_bEnabled != 1) return 0;

    m_fDriftTimer += dt;
    if (m_fDriftTimer >= kDriftInterval) {
        const int q1 = Rand();
        const int q2 = Rand();
        const int q3 = Rand();
        m_vDrift = D3DXVECTOR3(static_cast<float>(q3) * kRandScale, static_cast<float>(q2) * kRandScale,
                               static_cast<float>(q1) * kRandScale);
        m_fDriftTimer = 0.0f;
    }

    m_fSwirlTimer += dt;
    if (m_fSwirlTimer > m_fSwirlInterval && !m_bSwirl) {
        m_bSwirl = true;
        // Integer quotient: 1 only for a draw of exactly kRandMax.
        m_fSwirlInterval = 600.0f + 200.0f * static_cast<float>(Rand() / kRandMax);
        m_fSwirlTimer = 0.0f;
        m_fSwirlPhase = 0.0f;
    }

    const D3DXVECTOR3 sway = m_vDrift * (kSway * std::sin(appTime)) * dt;
    for (BubbleParticle** link = &m_pLive; *link;) {
        BubbleParticle* p = *link;
        p->m_vVelocity.y += dt * kRise;
        p->m_vPosition += p->m_vVelocity * dt;
        p->m_vPosition += sway;
        if (m_bSwirl) {
            const float age = 1.0f - (p->m_fLife - kDeathLife) / (kBirthLife - kDeathLife);  // 0 at birth, 1 at death
            // The phase advances once per particle: with more bubbles alive
            // a swirl runs its half turn of the sine sooner.
            m_fSwirlPhase += dt * kSwirlPhaseRate;
            if (m_fSwirlPhase > kPi) m_bSwirl = false;  // this particle is still swirled
            float s = std::sin(m_fSwirlPhase) * 0.5f * age;
            if (s < 0.0f) s = 0.0f;
            D3DXMATRIX turn;
            D3DXMatrixRotationY(&turn, -s * dt);
            D3DXVec3TransformCoord(&p->m_vPosition, &p->m_vPosition, &turn);
        }
        p->m_fLife -= dt * kLifePerSecond;
        if (p->m_fLife < kDeathLife) {
            *link = p->m_pNext;
            p->m_pNext = m_pFree;
            m_pFree = p;
            --m_dwCount;
            continue;
        }
        link = &p->m_pNext;
    }
    return 0;
}

HRESULT ParticleBubble::Render(IDirect3DDevice8* device, D3DXMATRIX billboard) {
    if (m_bEnabled != 1 || m_dwCount == 0 || !m_pVB) return S_OK;

    // Fill the buffer before touching any state: a failed lock then leaves
    // the device exactly as it was.
    const UINT bytes = m_dwCount * 3 * sizeof(Vertex);
    BYTE* data = nullptr;
    HRESULT hr = m_pVB->Lock(0, bytes, &data, 0);
    if (FAILED(hr)) return hr;
    // The triangle turned by the camera's orientation: p x (upper 3 x 3 of B).
    D3DXVECTOR3 turned[3];
    for (int j = 0; j < 3; ++j) {
        const D3DXVECTOR3& t = m_Template[j].position;
        turned[j] = D3DXVECTOR3(t.x * billboard._11 + t.y * billboard._21 + t.z * billboard._31,
                                t.x * billboard._12 + t.y * billboard._22 + t.z * billboard._32,
                                t.x * billboard._13 + t.y * billboard._23 + t.z * billboard._33);
    }
    Vertex* v = reinterpret_cast<Vertex*>(data);
    DWORD k = 0;
    for (const BubbleParticle* p = m_pLive; p && k < m_dwCount; p = p->m_pNext, ++k) {
        const D3DCOLOR alpha = ColorForLife(p->m_fLife) & 0xFF000000u;
        for (int j = 0; j < 3; ++j) {
            Vertex& out = v[k * 3 + j];
            out.position = turned[j] + p->m_vPosition;
            out.color = (m_Template[j].color & 0x00FFFFFFu) | alpha;
            out.u = m_Template[j].u;
            out.v = m_Template[j].v;
        }
    }
    m_pVB->Unlock();

    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    // Stage 1 off for this draw: the renderer set-up takes stage 1's alpha
    // from the vertex colour, which would drop the texture's alpha and turn
    // every bubble into a solid triangle.
    DWORD stage1 = D3DTOP_MODULATE;
    device->GetTextureStageState(1, D3DTSS_COLOROP, &stage1);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
    device->SetTransform(D3DTS_WORLD, &m_matWorld);
    device->SetTexture(0, m_pTexture);
    device->SetStreamSource(0, m_pVB, sizeof(Vertex));
    device->SetVertexShader(kFvf);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, k);
    device->SetTexture(0, nullptr);  // the bubbles' texture is not left on later draws
    device->SetTextureStageState(1, D3DTSS_COLOROP, stage1);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    return S_OK;
}

int ParticleBubble::DeleteDeviceObjects() {
    m_pTexture.Reset();
    m_pVB.Reset();
    return 0;
}
