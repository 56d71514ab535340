// The whales as drawn: the school's and the guide's models (rigid stand-ins
// and skinned, animated whales), loaded at start-up and drawn in each view
// at the poses the flock simulated. flock/ only simulates; this piece sits
// above it and above the scene and renderer it draws with.
//
// Ownership: each WhaleKind owns its stand-in model and its skinned models.
// Drawing never writes a whale's pose: an enlarged whale is drawn with a
// scaled copy, so several views a frame draw the same sizes.
//
// Lifecycle per kind: Init… (load) → RestoreDeviceObjects (shaders; falls
// back to the stand-in when a skinned whale cannot draw) → per frame Animate
// once, Draw per view → Invalidate (shaders) → Delete (models).
#pragma once

#include <memory>

#include "flock/boids.h"
#include "flock/goal.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "render/skinned_mesh.h"
#include "scene/bound_volume.h"
#include "scene/model_instance.h"
#include "scene/xmodel.h"

class Camera;
class ErrLog;
class Settings;
class ZSortRender;

// Enlarged whales (intChkLargeModel) are drawn this many times their size,
// scaled in model space.
constexpr float kLargeModelScale = 4.0f;

// The world matrix a whale is drawn with: its pose, scaled in model space by
// kLargeModelScale when enlarged. A copy: the pose itself is never scaled.
D3DXMATRIX DrawnWorld(const D3DXMATRIX& pose, bool large);

// One kind of whale: a rigid stand-in, and when animated up to
// kMaxVariants skinned models, each with the culling box of its whole
// swimming loop.
class WhaleKind {
public:
    static constexpr int kMaxVariants = 2;

    // Whether the skinned models draw (animated, loaded, and not fallen back).
    bool Animated() const { return m_nVariants > 0; }
    // Whether the last start fell back from skinned whales to the stand-in.
    bool RigidFallback() const { return m_bRigidFallback; }
    SkinnedMesh* Skinned(int variant) const { return variant < m_nVariants ? &m_pSkinned[variant] : nullptr; }

    // Creates each skinned model's shaders. When one cannot draw (its model
    // or a shader failed), every skinned model goes and the stand-in draws
    // instead (RigidFallback true).
    void RestoreDeviceObjects();
    // Advances every skinned model's clock by dt seconds: once a frame.
    void Animate(float dt);
    // Draws one whale at `pose` into the current view, enlarged when the
    // kind is: the skinned model of `variant`, culled by its loop box when
    // `cull`; or the stand-in, queued.
    void Draw(IDirect3DDevice8* device, const D3DXMATRIX& pose, int variant, bool cull, const Camera* camera,
              ZSortRender* zsort, const D3DXVECTOR4& light, float fogFar);
    void Invalidate();
    void Delete();

private:
    friend class WhaleDrawing;
    // Makes `count` skinned models and loads `names` into them, logging one
    // start line and, on a failure, `failLines[variant]` (null: no lines).
    HRESULT LoadSkinned(IDirect3DDevice8* device, D3DCAPS8 caps, const char* const* names, int count,
                        const char* startLine, const char* const* failLines, ErrLog* log);
    // The culling boxes: the skinned models' loop boxes, or the stand-in's.
    void SetLoopBounds();
    // Frees the skinned models; the stand-in draws from then on.
    void DropSkinned();

    std::unique_ptr<XModel> m_pStandIn;
    std::unique_ptr<SkinnedMesh[]> m_pSkinned;
    int m_nVariants = 0;  // skinned models that draw; 0: the stand-in draws
    BoundVolume m_LoopBound[kMaxVariants];
    bool m_bLarge = false;  // drawn kLargeModelScale times its size (intChkLargeModel)
    bool m_bRigidFallback = false;
};

// The school's and the guide's whales.
class WhaleDrawing {
public:
    // Loads the school's stand-in "WHALEDAMMY.X" and, when the settings
    // animate the whales (intChkAnim), the two skinned whales
    // "WHALESKINNED01.X" and "…02.X", logging each step and failure to
    // `log`; they are drawn enlarged when intChkLargeModel is set. E_FAIL
    // on a failure.
    HRESULT InitSchool(IDirect3DDevice8* device, D3DCAPS8 caps, const Settings* settings, ErrLog* log);
    // Loads the guide's stand-in "WHALEDAMMY2.X" and, when animated, the
    // skinned guide "WHALESKINNED03.X" (the settings as for InitSchool); no
    // log lines of its own (the lifecycle logs the step; the loaders write
    // theirs to `log`).
    HRESULT InitGuide(IDirect3DDevice8* device, D3DCAPS8 caps, const Settings* settings, ErrLog* log);

    // The whales' clocks advance once a frame.
    void Animate(float dt);
    // Draws every whale of the school (skinned whales culled by their loop
    // boxes) and the guide (never culled) into the current view, from the
    // camera's view and projection as its UpdateFrustum left them. Returns 0.
    int Render(IDirect3DDevice8* device, const Boids& school, const Goal& guide, const Camera* camera,
               ZSortRender* zsort, const D3DXVECTOR4& light, float fogFar);
    void Invalidate();
    void Delete();

    WhaleKind& School() { return m_School; }
    WhaleKind& Guide() { return m_Guide; }

private:
    WhaleKind m_School;
    WhaleKind m_Guide;
};
