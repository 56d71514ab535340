// EarthAndPillar: the set piece around the school — a huge Earth below the
// scene, two sets of distant pillars, four moons, and a ring of twelve
// floating pillars that swings slowly around the scene while each pillar
// tumbles and bobs. Each group is switched by its setting at start-up.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "scene/background_obj.h"
#include "scene/model_instance.h"
#include "scene/xmodel.h"
#include "view/camera.h"

class ErrLog;
class Settings;
class ZSortRender;

class EarthAndPillar {
public:
    static constexpr int kFloatingCount = 12;
    static constexpr float kTwoPi = 6.2831855f;
    static constexpr float kRingRadius = 4500.0f;   // world units
    static constexpr float kRingSpeed = 0.005f;     // ring angle, rad/s of frame time
    static constexpr float kTumbleSpeed = 0.1f;     // each pillar's phase, rad/s
    static constexpr float kBobHeight = 2500.0f;    // world units

    EarthAndPillar() = default;
    EarthAndPillar(const EarthAndPillar&) = delete;
    EarthAndPillar& operator=(const EarthAndPillar&) = delete;
    ~EarthAndPillar() { DeleteDeviceObjects(); }

    HRESULT InitDeviceObjects(IDirect3DDevice8* device, const Settings* settings, ErrLog* log);
    // Advances the ring by dt seconds (the frame step) and poses the floating pillars.
    void Update(float dt);
    int Render(IDirect3DDevice8* device, const Camera* camera, const FrustumRecord* frustum, int reserved,
               ZSortRender* renderer);
    int DeleteDeviceObjects();

    int GetFloatingCount() const { return m_nFloatingNum; }
    ModelInstance* GetFloating() { return m_pFltPillarObj; }
    float* GetPhases() { return m_pfPhase; }

    // The swing of the floating ring, radians; shared by every frame of the
    // process and advanced even when the floating pillars are off.
    static float s_fRingAngle;

private:
    int m_bEarth = 1;
    XModel* m_pEarthMdl = nullptr;
    ModelInstance* m_pEarthObj = nullptr;

    int m_bPillar = 1;
    BackGroundObj* m_pPillarBGO = nullptr;
    BackGroundObj* m_pPillarBGO2 = nullptr;

    int m_bMoon = 1;
    BackGroundObj* m_pMoonBGO = nullptr;

    int m_bFltPillar = 0;
    int m_nFloatingNum = 0;
    XModel* m_pFltPillarMdl = nullptr;
    ModelInstance* m_pFltPillarObj = nullptr;  // m_nFloatingNum entries
    float* m_pfPhase = nullptr;                // radians, one per floating pillar
};
