// Placed copies of shared rigid models.
#include "scene/model_instance.h"

#include "scene/xmodel.h"

ModelInstance::ModelInstance()
    : m_vPosition(0.0f, 0.0f, 0.0f),
      m_qOrientation(0.0f, 0.0f, 0.0f, 1.0f),
      m_vSpare(0.0f, 0.0f, 0.0f),
      m_dwReserved{},
      m_pModel(nullptr) {
    D3DXMatrixIdentity(&m_matWorld);
    D3DXMatrixIdentity(&m_matSave);
    D3DXMatrixIdentity(&m_matOperand);
    D3DXMatrixIdentity(&m_matSpare);
}

int ModelInstance::SetModel(XModel* model) {
    m_pModel = model;
    return 0;
}

int ModelInstance::SetPosition(float x, float y, float z) {
    m_matWorld._41 = x;
    m_matWorld._42 = y;
    m_matWorld._43 = z;
    return 0;
}

D3DXVECTOR3* ModelInstance::GetPosition(D3DXVECTOR3* out) {
    m_vPosition = D3DXVECTOR3(m_matWorld._41, m_matWorld._42, m_matWorld._43);
    if (out) *out = m_vPosition;
    return out;
}

void ModelInstance::Apply(const D3DXMATRIX& operand, int worldAxes) {
    m_matSave = m_matWorld;
    m_matOperand = operand;
    D3DXMATRIX product;
    if (worldAxes) {
        D3DXMatrixMultiply(&product, &m_matSave, &m_matOperand);
    } else {
        D3DXMatrixMultiply(&product, &m_matOperand, &m_matSave);
    }
    m_matWorld = product;
}

int ModelInstance::Translate(float x, float y, float z, int worldAxes) {
    D3DXMATRIX t;
    Apply(*D3DXMatrixTranslation(&t, x, y, z), worldAxes);
    return 0;
}

int ModelInstance::RotateX(float angle, int worldAxes) {
    D3DXMATRIX r;
    Apply(*D3DXMatrixRotationX(&r, angle), worldAxes);
    return 0;
}

int ModelInstance::RotateZ(float angle, int worldAxes) {
    D3DXMATRIX r;
    Apply(*D3DXMatrixRotationZ(&r, angle), worldAxes);
    return 0;
}

int ModelInstance::Scale(float s) {
    D3DXMATRIX m;
    Apply(*D3DXMatrixScaling(&m, s, s, s), 0);
    return 0;
}

int ModelInstance::LookAt(float x, float y, float z) {
    m_vPosition = D3DXVECTOR3(m_matWorld._41, m_matWorld._42, m_matWorld._43);
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXVECTOR3 zAxis = D3DXVECTOR3(x, y, z) - m_vPosition;
    D3DXVec3Normalize(&zAxis, &zAxis);
    D3DXVECTOR3 xAxis, yAxis;
    D3DXVec3Cross(&xAxis, &up, &zAxis);
    D3DXVec3Normalize(&xAxis, &xAxis);
    D3DXVec3Cross(&yAxis, &zAxis, &xAxis);
    D3DXVec3Normalize(&yAxis, &yAxis);

    m_matWorld._11 = xAxis.x;
    m_matWorld._12 = xAxis.y;
    m_matWorld._13 = xAxis.z;
    m_matWorld._21 = yAxis.x;
    m_matWorld._22 = yAxis.y;
    m_matWorld._23 = yAxis.z;
    m_matWorld._31 = zAxis.x;
    m_matWorld._32 = zAxis.y;
    m_matWorld._33 = zAxis.z;
    m_matWorld._44 = 1.0f;
    return 0;
}

int ModelInstance::TransformBounds(int drawnSet) {
    if (m_pModel) m_pModel->TransformBounds(m_matWorld, drawnSet);
    return 0;
}

HRESULT ModelInstance::Render(IDirect3DDevice8* device, const Camera* camera, const FrustumRecord* frustum,
                              int reserved, ZSortRender* renderer) {
    if (!m_pModel) return E_FAIL;
    TransformBounds(1);
    const HRESULT hr = m_pModel->Render(device, m_matWorld, camera, frustum, reserved, renderer);
    return FAILED(hr) ? hr : 0;
}

Visibility ModelInstance::IsVisible(IDirect3DDevice8* device, const FrustumRecord* frustum) {
    if (!m_pModel) return Visibility::kNoModel;
    TransformBounds(1);
    return m_pModel->IsVisible(device, frustum) ? Visibility::kVisible : Visibility::kHidden;
}

int ModelInstance::HullBoxContains(const D3DXVECTOR3& p, float margin) const {
    return m_pModel ? m_pModel->HullBoxContains(p, m_matWorld, margin) : 0;
}

int ModelInstance::PushOutOfHullBoxes(D3DXVECTOR3* p, float margin) const {
    return m_pModel ? m_pModel->PushOutOfHullBoxes(p, m_matWorld, margin) : 0;
}

int ModelInstance::Intersect(const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal) {
    if (!m_pModel) return 0;
    return m_pModel->Intersect(p, q, normal, m_matWorld) ? 1 : 0;
}
