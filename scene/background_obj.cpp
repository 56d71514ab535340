// Background sets: a model and its placement file.
#include "scene/background_obj.h"

#include <new>

#include "core/errlog.h"
#include "platform/base/alloc.h"

HRESULT BackGroundObj::InitDeviceObjects(IDirect3DDevice8* device, const char* modelName, const char* placementName,
                                         ErrLog* log) {
    DeleteDeviceObjects();  // a second start replaces the first, nothing leaks
    LogLine(log, "\t\tm_pBackGroundMdl->LoadXFile...\n");
    m_pBackGroundMdl = NewUnique<XModel>();
    if (!m_pBackGroundMdl) {
        LogLine(log, "\t\tm_pBackGroundMdl == NULL\n");
        return E_FAIL;
    }
    HRESULT hr = ObjectStep(log, "", "\t\tFailed\n", [&] { return m_pBackGroundMdl->LoadXFile(device, modelName, log); });
    if (FAILED(hr)) return hr;

    PlacementFile placements;
    hr = LoadPlacementResource(placementName, "\t\tFineResource...\n", log, &placements);
    if (FAILED(hr)) return hr;

    m_pBackGroundObj = NewUniqueArray<ModelInstance>(static_cast<std::size_t>(placements.count));
    if (!m_pBackGroundObj) {
        LogLine(log, "\t\tm_pBackGroundObj == NULL\n");
        return E_FAIL;
    }
    m_nObjectNum = placements.count;
    for (int i = 0; i < m_nObjectNum; ++i) {
        m_pBackGroundObj[i].SetModel(m_pBackGroundMdl.get());
        m_pBackGroundObj[i].SetWorldMatrix(placements.Matrix(i));
    }
    return S_OK;
}

int BackGroundObj::Render(IDirect3DDevice8* device, const Camera* camera, const FrustumRecord* frustum, int reserved,
                          ZSortRender* renderer) {
    for (int i = 0; i < m_nObjectNum; ++i) m_pBackGroundObj[i].Render(device, camera, frustum, reserved, renderer);
    return 0;
}

int BackGroundObj::DeleteDeviceObjects() {
    // The instances go first: they point at the model.
    m_pBackGroundObj.reset();
    m_nObjectNum = 0;
    m_pBackGroundMdl.reset();  // its destructor releases its device objects
    return 0;
}
