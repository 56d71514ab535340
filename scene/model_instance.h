// ModelInstance: one placed copy of a shared XModel — a world matrix and a
// reference to the model — with the matrix operations the scene objects pose
// themselves with, drawing and culling through the model, and the segment
// query the flock and the guide whale use to find obstacles.
//
// Frames: the world matrix maps the model's space to world space with row
// vectors (p' = p * W, translation in _41, _42, _43), left-handed, y up.
// Operations with a "world axes" flag apply their matrix after W (along the
// world axes) when it is non-zero and before W (along the instance's own,
// rotated and scaled axes) when it is 0.
//
// Ownership: the instance never owns its model. Usable for matrix operations
// at once, for drawing once a model is set.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "view/camera.h"

class XModel;
class ZSortRender;

// The answer of ModelInstance::IsVisible. The numbers are the status values
// callers of the original interface compare against (1, 0, E_FAIL); the type
// keeps "no model" from reading as "visible" in a boolean test, which a plain
// int would (E_FAIL is non-zero).
enum class Visibility : int {
    kHidden = 0,
    kVisible = 1,
    kNoModel = static_cast<int>(E_FAIL),
};

class ModelInstance {
public:
    ModelInstance();

    int SetModel(XModel* model);
    XModel* GetModel() const { return m_pModel; }

    int SetPosition(float x, float y, float z);
    // The translation row, also kept as the cached position.
    D3DXVECTOR3* GetPosition(D3DXVECTOR3* out);
    int Translate(float x, float y, float z, int worldAxes);
    int RotateX(float angle, int worldAxes);  // radians
    int RotateZ(float angle, int worldAxes);  // radians
    // Uniform scale in the instance's own axes: W = S * W.
    int Scale(float s);
    // Turns the instance in place so its local z axis points at the world
    // point (x, y, z), world y as the up reference. Rows lose any scale; the
    // translation row and fourth column are kept. Undefined straight up or down.
    int LookAt(float x, float y, float z);

    // The model's TransformBounds with this instance's world matrix.
    int TransformBounds(int drawnSet);
    // Brings the model's drawn bounds to this placement and queues the model.
    // E_FAIL without a model; a negative model status is passed on, else 0.
    HRESULT Render(IDirect3DDevice8* device, const Camera* camera, const FrustumRecord* frustum, int reserved,
                   ZSortRender* renderer);
    // kVisible when the model at this placement meets the frustum, else
    // kHidden; kNoModel without a model.
    Visibility IsVisible(IDirect3DDevice8* device, const FrustumRecord* frustum);
    // 1 when the world segment p-q meets the front of a collision face of the
    // model at this placement; *normal then holds that face's world normal
    // (not unit length). 0, *normal unchanged, otherwise or without a model.
    int Intersect(const D3DXVECTOR3& p, const D3DXVECTOR3& q, D3DXVECTOR3* normal);
    // The model's HullBoxContains and PushOutOfHullBoxes at this placement
    // (0 without a model).
    int HullBoxContains(const D3DXVECTOR3& p, float margin) const;
    int PushOutOfHullBoxes(D3DXVECTOR3* p, float margin) const;

    const D3DXMATRIX& GetWorldMatrix() const { return m_matWorld; }
    void SetWorldMatrix(const D3DXMATRIX& world) { m_matWorld = world; }

    D3DXMATRIX m_matWorld;    // the placement
    D3DXVECTOR3 m_vPosition;  // translation row as last read by GetPosition or LookAt
    D3DXMATRIX m_matSave;     // scratch: W before the last multiplying operation
    D3DXMATRIX m_matOperand;  // scratch: the last translation, rotation or scale applied
    D3DXQUATERNION m_qOrientation;  // (0, 0, 0, 1); kept for the owners, unused here
    D3DXVECTOR3 m_vSpare;           // zero; kept for the owners, unused here
    D3DXMATRIX m_matSpare;          // identity; the floating pillars reset it each frame
    DWORD m_dwReserved[6];          // zero; unused

private:
    // W = operand * W (local axes) or W * operand (world axes).
    void Apply(const D3DXMATRIX& operand, int worldAxes);

    XModel* m_pModel;
};
