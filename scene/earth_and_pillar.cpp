// The Earth, the pillar rings, the moons and the floating ring.
#include "scene/earth_and_pillar.h"

#include <cmath>
#include <new>

#include "platform/os/clock.h"
#include "settings/settings.h"
#include "core/errlog.h"
#include "platform/base/alloc.h"
#include "platform/d3dx/d3dx_resource.h"

float EarthAndPillar::s_fRingAngle = 0.0f;

void EarthAndPillar::PrefetchImages() {
    PrefetchImageResource("EARTH.JPG");  // the textures EARTH.X and MOON01.X name
    PrefetchImageResource("MOONFACE01.JPG");
}

HRESULT EarthAndPillar::InitDeviceObjects(IDirect3DDevice8* device, const Settings* settings, ErrLog* log) {
    m_bEarth = settings->intChkEarth;
    m_bPillar = settings->intChkPillar;
    m_bMoon = settings->intChkMoon;
    m_bFltPillar = settings->intChkFltPillar;
    DeleteDeviceObjects();  // a second start replaces the first

    if (m_bEarth) {
        m_pEarthMdl = NewUnique<XModel>();
        m_pEarthObj = NewUnique<ModelInstance>();
        if (!m_pEarthMdl || !m_pEarthObj) {
            LogLine(log, "\t\tm_pEarthMdl == NULL\n");
            return E_FAIL;
        }
        HRESULT hr = ObjectStep(log, "\t\tm_pEarthMdl->LoadXFile...\n", "\t\tFailed\n",
                [&] { return m_pEarthMdl->LoadXFile(device, "EARTH.X", log); });
        if (FAILED(hr)) return hr;
        m_pEarthObj->SetModel(m_pEarthMdl.get());
        m_pEarthObj->Scale(13000.0f);
        m_pEarthObj->SetPosition(0.0f, -14000.0f, 0.0f);
    }

    if (m_bPillar) {
        m_pPillarBGO = NewUnique<BackGroundObj>();
        m_pPillarBGO2 = NewUnique<BackGroundObj>();
        if (!m_pPillarBGO || !m_pPillarBGO2) {
            LogLine(log, "\t\tm_pPillarBGO == NULL\n");
            return E_FAIL;
        }
        HRESULT hr = ObjectStep(log, "\t\tm_pPillarBGO->InitDeviceObjects...\n", "\t\tFailed\n",
                [&] { return m_pPillarBGO->InitDeviceObjects(device, "PILLAR.X", "PILLAR.BPS", log); });
        if (FAILED(hr)) return hr;
        hr = ObjectStep(log, "\t\tm_pPillarBGO2->InitDeviceObjects...\n", "\t\tFailed\n",
                [&] { return m_pPillarBGO2->InitDeviceObjects(device, "PILLAR.X", "PILLAR2.BPS", log); });
        if (FAILED(hr)) return hr;
    }

    if (m_bMoon) {
        m_pMoonBGO = NewUnique<BackGroundObj>();
        if (!m_pMoonBGO) {
            LogLine(log, "\t\tm_pMoonBGO == NULL\n");
            return E_FAIL;
        }
        HRESULT hr = ObjectStep(log, "\t\tm_pMoonBGO->InitDeviceObject...\n", "\t\tFailed\n",  // fixed log text, sic: keep as is
                [&] { return m_pMoonBGO->InitDeviceObjects(device, "MOON01.X", "MOON.BPS", log); });
        if (FAILED(hr)) return hr;
    }

    if (m_bFltPillar) {
        m_pFltPillarMdl = NewUnique<XModel>();
        m_pFltPillarObj = NewUniqueArray<ModelInstance>(kFloatingCount);
        m_pfPhase = NewUniqueArray<float>(kFloatingCount);
        if (!m_pFltPillarMdl || !m_pFltPillarObj || !m_pfPhase) {
            LogLine(log, "\t\tm_pFltPillarMdl == NULL\n");
            return E_FAIL;
        }
        m_nFloatingNum = kFloatingCount;  // only once the arrays exist: Update walks them
        HRESULT hr = ObjectStep(log, "\t\tm_pFltPillarMdl->LoadXFile..\n", "\t\tFailed\n",  // fixed log text, sic: keep as is
                [&] { return m_pFltPillarMdl->LoadXFile(device, "PILLAR2.X", log); });
        if (FAILED(hr)) return hr;
        for (int i = 0; i < kFloatingCount; ++i) {
            m_pFltPillarObj[i].SetModel(m_pFltPillarMdl.get());
            // Start phases anywhere in (-2π, 2π): two successive draws, first one first.
            float r1 = RandUnit();
            float r2 = RandUnit();
            m_pfPhase[i] = (r1 - r2) * kTwoPi;
        }
    }
    return S_OK;
}

void EarthAndPillar::Update(float dt) {
    s_fRingAngle += kRingSpeed * dt;
    if (s_fRingAngle > kTwoPi) s_fRingAngle = 0.0f;
    if (m_nFloatingNum <= 0) return;

    const float swing = std::sin(s_fRingAngle) * kTwoPi;
    const float step = kTwoPi / static_cast<float>(m_nFloatingNum);
    for (int i = 0; i < m_nFloatingNum; ++i) {
        ModelInstance& p = m_pFltPillarObj[i];
        // W = Rx(φ) Rz(φ) S(1200) L T(0, 2500 sin φ, 0), rebuilt from nothing.
        D3DXMatrixIdentity(&p.m_matWorld);
        D3DXMatrixIdentity(&p.m_matSpare);
        const float theta = static_cast<float>(i) * step - swing;
        p.SetPosition(std::sin(theta) * kRingRadius, 0.0f, std::cos(theta) * kRingRadius);
        p.LookAt(0.0f, 0.0f, 0.0f);
        p.Scale(1200.0f);
        float& phase = m_pfPhase[i];
        phase += kTumbleSpeed * dt;
        if (phase > kTwoPi) phase = 0.0f;
        p.RotateZ(phase, 0);
        p.RotateX(phase, 0);
        p.Translate(0.0f, kBobHeight * std::sin(phase), 0.0f, 1);
    }
}

int EarthAndPillar::Render(IDirect3DDevice8* device, const Camera* camera, const FrustumRecord* frustum, int reserved,
                           ZSortRender* renderer) {
    if (m_bEarth && m_pEarthObj) m_pEarthObj->Render(device, camera, frustum, reserved, renderer);
    if (m_bPillar) {
        if (m_pPillarBGO) m_pPillarBGO->Render(device, camera, frustum, reserved, renderer);
        if (m_pPillarBGO2) m_pPillarBGO2->Render(device, camera, frustum, reserved, renderer);
    }
    if (m_bMoon && m_pMoonBGO) m_pMoonBGO->Render(device, camera, frustum, reserved, renderer);
    if (m_bFltPillar) {
        for (int i = 0; i < m_nFloatingNum; ++i) m_pFltPillarObj[i].Render(device, camera, frustum, reserved, renderer);
    }
    return 0;
}

int EarthAndPillar::DeleteDeviceObjects() {
    // Everything is released whatever the flags say, so a partial start
    // leaves nothing behind.
    // Instances before the models they point at; each model's destructor
    // releases its device objects.
    m_pEarthObj.reset();
    m_pEarthMdl.reset();
    m_pPillarBGO.reset();
    m_pPillarBGO2.reset();
    m_pMoonBGO.reset();
    m_nFloatingNum = 0;
    m_pFltPillarObj.reset();
    m_pfPhase.reset();
    m_pFltPillarMdl.reset();
    return 0;
}
