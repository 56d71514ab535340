// BackGroundObj: one rigid model drawn at every placement of a placement
// file — the obstacle field, the distant pillars, the moons. The instances
// never move after loading.
#pragma once

#include <memory>

#include "platform/d3d8/d3d8.h"
#include "scene/model_instance.h"
#include "scene/placement.h"
#include "scene/xmodel.h"
#include "view/camera.h"

class ErrLog;
class ZSortRender;

class BackGroundObj {
public:
    BackGroundObj() = default;
    BackGroundObj(const BackGroundObj&) = delete;
    BackGroundObj& operator=(const BackGroundObj&) = delete;
    ~BackGroundObj() { DeleteDeviceObjects(); }

    // Loads the model resource (type "Model") and places one instance per
    // matrix of the placement resource (type "MISC"). Failures are logged
    // with two tabs and returned; what was made stays for DeleteDeviceObjects.
    HRESULT InitDeviceObjects(IDirect3DDevice8* device, const char* modelName, const char* placementName,
                              ErrLog* log);
    // Queues every instance in order; results are ignored. Returns 0.
    int Render(IDirect3DDevice8* device, const Camera* camera, const FrustumRecord* frustum, int reserved,
               ZSortRender* renderer);
    int DeleteDeviceObjects();

    int GetObjectNum() const { return m_nObjectNum; }
    ModelInstance* GetObjects() { return m_pBackGroundObj.get(); }
    XModel* GetModel() { return m_pBackGroundMdl.get(); }

    // Distance within which whales react to these objects (world units).
    float m_fCheckRange = 0.0f;

private:
    std::unique_ptr<XModel> m_pBackGroundMdl;
    std::unique_ptr<ModelInstance[]> m_pBackGroundObj;  // m_nObjectNum entries, placing m_pBackGroundMdl
    int m_nObjectNum = 0;
};
