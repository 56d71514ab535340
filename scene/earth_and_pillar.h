// EarthAndPillar: the set piece around the school — a huge Earth below the
// scene, two sets of distant pillars, four moons, and a ring of twelve
// floating pillars that swings slowly around the scene while each pillar
// tumbles and bobs. Each group is switched by its setting at start-up.
#pragma once

#include <memory>

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
    // Start-up, before the window and the device exist: starts decoding the
    // Earth's and the moon's images on worker threads for InitDeviceObjects
    // to take (ReleasePrefetchedImages frees them if those pieces are off).
    static void PrefetchImages();
    // Advances the ring by dt seconds (the frame step) and poses the floating pillars.
    void Update(float dt);
    int Render(IDirect3DDevice8* device, const Camera* camera, const FrustumRecord* frustum, int reserved,
               ZSortRender* renderer);
    int DeleteDeviceObjects();

    int GetFloatingCount() const { return m_nFloatingNum; }
    ModelInstance* GetFloating() { return m_pFltPillarObj.get(); }
    float* GetPhases() { return m_pfPhase.get(); }

    // The swing of the floating ring, radians; shared by every frame of the
    // process and advanced even when the floating pillars are off.
    static float s_fRingAngle;

private:
    int m_bEarth = 1;
    std::unique_ptr<XModel> m_pEarthMdl;
    std::unique_ptr<ModelInstance> m_pEarthObj;

    int m_bPillar = 1;
    std::unique_ptr<BackGroundObj> m_pPillarBGO;
    std::unique_ptr<BackGroundObj> m_pPillarBGO2;

    int m_bMoon = 1;
    std::unique_ptr<BackGroundObj> m_pMoonBGO;

    int m_bFltPillar = 0;
    int m_nFloatingNum = 0;
    std::unique_ptr<XModel> m_pFltPillarMdl;
    std::unique_ptr<ModelInstance[]> m_pFltPillarObj;  // m_nFloatingNum entries
    std::unique_ptr<float[]> m_pfPhase;                // radians, one per floating pillar
};
