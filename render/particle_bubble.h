// ParticleBubble: the deep sea's rising bubbles. Up to 1000 camera-facing
// textured triangles are emitted in bursts from twelve points on a band just
// above y = -2000, rise with growing speed, sway with a slowly changing drift,
// are now and then swirled about the world's vertical axis, fade in over
// their first 51 s and out over their last 51 s, and are drawn in one call.
//
// Units: world units, seconds; life counts from 255 at birth down by 5 per
// second to -255, where the bubble dies (102 s). Random numbers come from the
// saver's 15-bit Rand() in the documented order, so a seeded run replays.
//
// Memory: the particle records are one pool allocated at start-up and kept on
// a free list; emitting and dying only move records between the live and free
// lists, so no frame allocates. Nothing exists unless the deep sea is on.
#pragma once

#include <memory>

#include "platform/base/com_ptr.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"

class ErrLog;

struct BubbleParticle {
    D3DXVECTOR3 m_vPosition;  // world units
    D3DXVECTOR3 m_vVelocity;  // world units per second
    float m_fLife;            // 255 at birth, -5 per second, dead below -255
    BubbleParticle* m_pNext;  // next of the same list
};

class ParticleBubble {
public:
    static constexpr DWORD kMaxParticles = 1000;
    static constexpr int kEmitters = 12;
    static constexpr float kEmitterInterval = 80.0f;   // seconds between emitter placements
    static constexpr float kEmissionInterval = 1.3f;   // seconds between bursts (at least)
    static constexpr float kDriftInterval = 8.0f;      // seconds between drift directions
    static constexpr float kFirstSwirl = 150.0f;       // seconds before the first swirl
    static constexpr float kBirthLife = 255.0f;
    static constexpr float kDeathLife = -255.0f;
    static constexpr float kLifePerSecond = 5.0f;
    static constexpr float kRise = 1.0f;               // upward acceleration, units/s²
    static constexpr float kSway = 5.0f;               // drift speed scale, units/s
    static constexpr float kSwirlPhaseRate = 0.00005f; // phase per second, per live particle
    static constexpr const char* kTextureName = "ParticleBubble01.dds";

    // One triangle vertex: position, diffuse colour, texture coordinates.
    struct Vertex {
        D3DXVECTOR3 position;
        D3DCOLOR color;
        float u, v;
    };
    static constexpr DWORD kFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
    static constexpr UINT kVertexBytes = kMaxParticles * 3 * sizeof(Vertex);

    // The colour a bubble of this life is drawn in: white with alpha
    // 255 - trunc(|life|), so 0 at birth and death and 255 at life 0.
    static D3DCOLOR ColorForLife(float life);

    ParticleBubble();
    ParticleBubble(const ParticleBubble&) = delete;
    ParticleBubble& operator=(const ParticleBubble&) = delete;
    ~ParticleBubble();

    // Only an `enabled` of 1 (the deep sea) creates anything: reseeds the
    // random generator, loads the texture, creates the vertex buffer and the
    // particle pool. E_FAIL after a logged failure of the texture or buffer.
    HRESULT InitDeviceObjects(IDirect3DDevice8* device, int enabled, ErrLog* log);
    // Places the emitters every 80 s and emits a burst every 1.3 s. dt:
    // this frame's time step, seconds.
    HRESULT Emit(float dt);
    // Drift, swirl, rise, fade and death of every live particle. appTime:
    // seconds since the saver started (the sway follows its sine).
    int Move(float dt, float appTime);
    // Draws every live particle as a triangle turned by the camera's
    // orientation `billboard` (its translation row is ignored).
    HRESULT Render(IDirect3DDevice8* device, D3DXMATRIX billboard);
    int DeleteDeviceObjects();

    int IsEnabled() const { return m_bEnabled; }
    DWORD GetCount() const { return m_dwCount; }
    const BubbleParticle* GetLive() const { return m_pLive; }
    const D3DXVECTOR3& GetEmitter(int i) const { return m_vEmitter[i]; }
    const D3DXVECTOR3& GetDrift() const { return m_vDrift; }
    bool IsSwirling() const { return m_bSwirl; }
    float GetSwirlInterval() const { return m_fSwirlInterval; }
    float GetSwirlTimer() const { return m_fSwirlTimer; }
    float GetSwirlPhase() const { return m_fSwirlPhase; }
    IDirect3DVertexBuffer8* GetVertexBuffer() const { return m_pVB; }
    IDirect3DTexture8* GetTexture() const { return m_pTexture; }

private:
    void ResetSimulation();  // the state of construction, without particles
    void FreePool();

    DWORD m_dwCount = 0;
    BubbleParticle* m_pLive = nullptr;  // newest first
    BubbleParticle* m_pFree = nullptr;  // dead records waiting for reuse
    std::unique_ptr<BubbleParticle[]> m_pPool;  // kMaxParticles records
    ComPtr<IDirect3DVertexBuffer8> m_pVB;
    ComPtr<IDirect3DTexture8> m_pTexture;
    Vertex m_Template[3];
    D3DXMATRIX m_matWorld;
    D3DXVECTOR3 m_vDrift;
    float m_fDriftTimer = 0.0f;
    bool m_bSwirl = false;
    float m_fSwirlInterval = kFirstSwirl;
    float m_fSwirlTimer = 0.0f;
    float m_fSwirlPhase = 0.0f;
    float m_fEmissionTimer = 0.0f;
    D3DXVECTOR3 m_vEmitter[kEmitters];
    float m_fEmitterTimer = kEmitterInterval;  // the first Emit places the emitters
    int m_bEnabled = 0;
};
