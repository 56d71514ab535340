// Boids: the whale school. Creation of the whales with their random draws,
// the per-frame steering step (neighbours, obstacle feeler, regime, pitch,
// speed, yaw rate) and each whale's world matrix (boids.cpp: no device); and
// the whale models, loaded at start-up and drawn every frame at those poses
// (boids_draw.cpp).
//
// Units: positions in world units, angles in radians, time steps in seconds.
// A whale's speed is kept in hundredths of world units per second: a frame
// moves it speed * 100 * dt units. Frames: left-handed, y up, row vectors;
// a whale's nose is the +z axis of its world matrix (its third row).
//
// Ownership: Boids owns the whale array, made once by CreateWhales with the
// configured count and never resized until Release, the rigid stand-in
// "WHALEDAMMY.X" every whale's instance points at, and the two skinned
// whales (only when animated). Update and Render allocate nothing.
#pragma once

#include <memory>

#include "platform/base/wintypes.h"
#include "platform/d3d8/d3d8.h"
#include "platform/d3dx/d3dx_math.h"
#include "render/skinned_mesh.h"
#include "scene/bound_volume.h"
#include "scene/model_instance.h"
#include "scene/xmodel.h"

class BackGroundObj;
class Camera;
class ErrLog;
class Settings;
class ZSortRender;


// One whale. Everything after the instance is zero at construction.
struct Boid {
    ModelInstance m_Instance;  // the whale's pose; the model is set by the drawing side
    D3DXVECTOR3 m_vPosition{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_vHeading{0.0f, 0.0f, 0.0f};  // unit vector along the nose
    float m_fSpeed = 0.0f;                     // hundredths of units per second
    int m_bCollided = 0;                       // the feeler hit an obstacle this frame
    int m_nMisaligned = 0;   // whales of the whole school heading more than 60 degrees away
    float m_fYaw = 0.0f;
    float m_fPitch = 0.0f;  // positive is nose up
    float m_fRoll = 0.0f;
    float m_fYawRate = 0.0f;  // radians per second
    // Per-frame steering terms (the first three are sums until the end of the
    // neighbour pass, then directions).
    D3DXVECTOR3 m_vSeparation{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_vAlignment{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_vCohesion{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_vCentre{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_vMigration{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 m_vAvoidance{0.0f, 0.0f, 0.0f};
    int m_nNeighbours = 0;   // whales within the influence range this frame
    int m_nModelVariant = 0;  // which of the two skinned whales draws this one (0 or 1)
};

class Boids {
public:
    static constexpr int kModelVariants = 2;
    // Whales made at most: the neighbour pass costs n (n - 1) / 2 pair tests
    // a frame (the dialog offers 1 to 50).
    static constexpr int kMaxWhales = 1000;
    // Obstacle avoidance. The feeler reaches kFeelerLength ahead of the nose,
    // or kFeelerSeconds of swimming when that is farther: at cruising speed
    // that leaves time to turn out of a spire's way. A hit pushes along the
    // hull face's normal (AvoidancePush); while the feeler hits, the yaw rate
    // grows by kAvoidanceTurnRate (radians per second per second, at the
    // steering's right angle) instead of the cruising 0.15, and the whale
    // does not brake.
    static constexpr float kFeelerLength = 25.0f;      // world units ahead of the nose
    static constexpr float kFeelerSeconds = 4.0f;
    static constexpr float kAvoidancePush = 10.0f;
    static constexpr float kAvoidanceLean = 0.5f;
    static constexpr float kAvoidanceTurnRate = 1.2f;
    static constexpr float kCentroidEscape = 4000.0f;  // farther from the centroid: back to it
    static constexpr float kOriginEscape = 8000.0f;    // farther from the origin: back to it
    // Pairs closer than this (world units) count as one spot: their separation
    // and alignment weights 1 / (0.6 d^2) and 1 / d would overflow.
    static constexpr float kCoincident = 1.0e-3f;

    Boids() = default;
    Boids(const Boids&) = delete;
    Boids& operator=(const Boids&) = delete;
    ~Boids() { Release(); }

    // Copies the flock's values from the settings record (once, before creation).
    void ApplySettings(const Settings* settings);
    // Seeds the random generator with `seed`, makes the configured number of
    // whales and draws their headings, positions and model variants in index
    // order. The start-up passes the millisecond clock; tools and tests a
    // fixed seed. E_FAIL (logged) when the array cannot be made.
    HRESULT CreateWhales(unsigned seed, ErrLog* log);
    // One simulation step of dt seconds (at most 0.05). The obstacle set may
    // be null (no obstacles). Returns 0.
    int Update(float dt, BackGroundObj* obstacles);
    // The two halves of Update, public for inspection: ComputeTerms resets
    // and fills every whale's steering terms from the positions and headings
    // as they are and returns the step's centroid (the sum times the float
    // 1 / n); SteeringFor gives whale i's steering vector S from its terms,
    // the regime chosen and S shortened to length 1 at most.
    D3DXVECTOR3 ComputeTerms(BackGroundObj* obstacles);
    D3DXVECTOR3 SteeringFor(int i, const D3DXVECTOR3& centroid) const;
    // The school's centre: the mean of the whales' positions, summed in index
    // order and divided by the count as a float. (0, 0, 0) without whales.
    D3DXVECTOR3 GetCentre() const;
    // Frees the whale array.
    void Release();

    // Device side. Makes the whales (CreateWhales with `seed`), loads the
    // rigid stand-in and, when animated, the two skinned whales, logging each
    // step and failure to `log`.
    HRESULT InitDeviceObjects(IDirect3DDevice8* device, D3DCAPS8 caps, unsigned seed, ErrLog* log);
    // Creates the skinned whales' shaders (when animated). When a skinned
    // whale cannot draw (its model or a shader failed), the school falls back
    // to the rigid stand-in (animation off, RigidFallback true). Returns 0.
    HRESULT RestoreDeviceObjects();
    // Whether the last start fell back from skinned to rigid whales.
    bool RigidFallback() const { return m_bRigidFallback; }
    // Draws every whale: rigid instances into the Z-sort queue, or, when
    // animated, each visible whale with the skinned model of its variant
    // after advancing both models' clocks by dt seconds. Enlarged whales are
    // scaled by kLargeModelScale first. Stores the view in `camera`. Returns 0.
    int Render(IDirect3DDevice8* device, Camera* camera, ZSortRender* zsort, D3DXVECTOR4 light, float fogFar,
               float dt);
    // Releases the skinned whales' device-dependent objects. Returns 0.
    HRESULT InvalidateDeviceObjects();
    // Frees the whales, the stand-in and the skinned whales. Returns 0.
    HRESULT DeleteDeviceObjects();
    SkinnedMesh* GetSkinnedMesh(int variant) { return m_pSkinnedSkm ? &m_pSkinnedSkm[variant & 1] : nullptr; }

    void SetGoalPoint(const D3DXVECTOR3& goal) { m_vGoal = goal; }
    const D3DXVECTOR3& GetGoalPoint() const { return m_vGoal; }

    int GetCount() const { return m_nCount; }
    Boid* GetBoids() { return m_pBoids; }
    const Boid* GetBoids() const { return m_pBoids; }
    // Whales sent back to the centroid or the origin since creation.
    DWORD GetEscapeCount() const { return m_dwEscapes; }

    int m_nConfiguredCount = 40;
    float m_fRange = 70.0f;      // influence range, world units
    float m_fBaseSpeed = 0.1f;   // cruising speed, hundredths of units per second
    float m_fSeparation = 1.0f;  // the five weights
    float m_fAlignment = 0.25f;
    float m_fCohesion = 1.0f;
    float m_fCentreWeight = 1.0f;
    float m_fMigration = 1.0f;
    int m_bAnimation = 1;   // draw skinned, animated whales
    int m_bCollision = 1;   // obstacle avoidance on
    int m_bLargeModel = 0;  // enlarged whales (wider starting box, 4x drawing scale)

private:
    void Feel(Boid* b, BackGroundObj* obstacles);
    void Steer(Boid* b, const D3DXVECTOR3& s, const D3DXVECTOR3& centroid, float dt);

    int m_nCount = 0;
    Boid* m_pBoids = nullptr;  // m_nCount whales, owned
    D3DXVECTOR3 m_vGoal{0.0f, 0.0f, 0.0f};
    DWORD m_dwEscapes = 0;
    std::unique_ptr<XModel> m_pDammyMdl;            // the rigid stand-in
    std::unique_ptr<SkinnedMesh[]> m_pSkinnedSkm;  // kModelVariants, when animated
    BoundVolume m_LoopBound[kModelVariants];       // the culling box of each skinned whale
    bool m_bRigidFallback = false;
};

// Turns an obstacle's face normal a quarter turn about the vertical axis,
// toward the side of the migration direction: the +pi/2 turn (x, y, z) ->
// (z, y, -x) when its result points along the migration direction or square
// to it, otherwise the -pi/2 turn (-z, y, x). A whale thus slides along the
// obstacle on the side where its goal lies, and the choice is fixed for the
// frame because the migration direction is.
D3DXVECTOR3 TurnAvoidanceNormal(const D3DXVECTOR3& normal, const D3DXVECTOR3& migration);

// The push of one feeler hit, for every swimmer: the hull face's normal
// made unit length (a hull's normal is as long as the sine of the face's
// corner angle times the placement's scale, so a thin face would push less
// than a square one), turned by TurnAvoidanceNormal, leaned back out of the
// face by kAvoidanceLean of the normal (a slide square to the normal would
// let a whale drift in at the yaw rule's dead band), and kAvoidancePush long.
D3DXVECTOR3 AvoidancePush(const D3DXVECTOR3& normal, const D3DXVECTOR3& migration);

// The yaw-rate rule of every swimmer. crossY is the vertical component of
// heading x steering, c their dot product, turn the frame's turn step. Outside
// the dead band (|crossY| > 0.1) the rate grows toward the steering side, its
// +-0.8 limits tested before the change; inside it, with the goal ahead
// (c > 0), the rate decays by 25 per second, or restarts at `restart` once
// within +-0.01. Behind, inside the band, it is left alone.
void UpdateYawRate(float* rate, float crossY, float c, float turn, float dt, float restart);

// `yaw` brought into [-pi, pi]. A swimmer circles for hours: an unwrapped yaw
// reaches thousands of radians, where a float resolves the angle only coarsely.
float WrapYaw(float yaw);

// The pose of a swimming body: rotation of the yaw-pitch-roll quaternion of
// (-yaw, -pitch, -roll), then the translation to `position`.
void BuildSwimmerMatrix(D3DXMATRIX* out, float yaw, float pitch, float roll, const D3DXVECTOR3& position);
