// The saver's camera and its fog holder.
//
// Frames: world space is left-handed with y up; matrices are row-major and
// used with row vectors (p' = p * M). The pose maps camera space to world
// space, so its translation row (_41, _42, _43) is the eye position; the
// view matrix is the inverse of the pose.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"

// The view frustum in world space, refreshed once per frame by UpdateFrustum
// and handed to the object drawers for culling. Plane normals point inwards:
// a point p is inside a plane when a*x + b*y + c*z + d >= 0.
struct FrustumRecord {
    D3DXVECTOR3 corners[8];  // near: (-1,-1) (1,-1) (-1,1) (1,1); far: the same at z = 1
    D3DXPLANE planes[6];     // near, far, left, right, top, bottom
};

enum FrustumPlane { kPlaneNear = 0, kPlaneFar, kPlaneLeft, kPlaneRight, kPlaneTop, kPlaneBottom };

class Camera {
public:
    static constexpr float kFieldOfView = 0.8975979f;  // 2π/7 radians, about 51.4°

    Camera();

    void SetPose(const D3DXMATRIX& m) { m_matPose = m; }
    void SetProjMatrix(const D3DXMATRIX& m) { m_matProj = m; }
    void SetPosition(float x, float y, float z);
    // Moves the eye along the world axes (inWorld != 0) or the camera's own axes.
    int Translate(float x, float y, float z, int inWorld);
    // Turns the camera at its eye toward `at`, sets the device's view transform.
    int LookAt(IDirect3DDevice8* device, const D3DXVECTOR3& at, const D3DXVECTOR3& up);
    // Standard perspective with the fixed field of view; sets the device's projection.
    int SetProjection(IDirect3DDevice8* device, float aspect, float nearZ, float farZ);
    // The pose without its translation: turns sprites to face the camera.
    D3DXMATRIX GetBillboard();
    int ResetMatrices();
    // Recomputes view, the frustum corners and planes from pose and projection.
    void UpdateFrustum();

    const D3DXMATRIX& GetPose() const { return m_matPose; }
    const D3DXMATRIX& GetProjection() const { return m_matProj; }
    const D3DXMATRIX& GetView() const { return m_matView; }
    void SetView(const D3DXMATRIX& m) { m_matView = m; }
    D3DXVECTOR3 GetPosition() const { return D3DXVECTOR3(m_matPose._41, m_matPose._42, m_matPose._43); }
    const FrustumRecord& GetFrustum() const { return m_Frustum; }

private:
    D3DXMATRIX m_matPose;
    D3DXMATRIX m_matProj;
    D3DXMATRIX m_matPrevPose;
    D3DXMATRIX m_matView;  // also Translate's scratch; valid after LookAt/UpdateFrustum
    D3DXMATRIX m_matSpare;
    D3DXMATRIX m_matBillboard;
    FrustumRecord m_Frustum;
};

// Linear vertex fog and, with it, the standard projection: the fog's far
// distance is also the far plane and the distance the shaded objects fade at.
class FogState {
public:
    static constexpr float kNear = 1.0f;

    int SetColor(D3DCOLOR colour);
    // Sets the fog states and the camera projection when the colour changed
    // since the last Apply, or always when force is 1.
    int Apply(IDirect3DDevice8* device, Camera* camera, float aspect, int force);

    float GetFar() const { return m_fFar; }
    D3DCOLOR GetColor() const { return m_dwColor; }
    bool IsDirty() const { return m_bDirty != 0; }

private:
    float m_fFar = 10000.0f;
    D3DCOLOR m_dwColor = 0xFFFFFFFF;
    int m_bDirty = 0;
};
