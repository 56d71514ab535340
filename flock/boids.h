// Boids: the whale school. Creation of the whales with their random draws,
// the per-frame steering step (neighbours, obstacle feeler, regime, pitch,
// speed, yaw rate) and each whale's world matrix. Simulation only: the
// whales are drawn by the shell (shell/whale_drawing.h) at these poses.
//
// Units: positions in world units, angles in radians, time steps in seconds.
// A whale's speed is kept in hundredths of world units per second: a frame
// moves it speed * 100 * dt units. Frames: left-handed, y up, row vectors;
// a whale's nose is the +z axis of its world matrix (its third row).
//
// Ownership: Boids owns the whale array, made once by CreateWhales with the
// configured count and never resized until Release. Update allocates nothing.
#pragma once

#include <memory>

#include "platform/base/wintypes.h"
#include "platform/d3dx/d3dx_math.h"
#include "scene/model_instance.h"

class BackGroundObj;
class ErrLog;
class Settings;


// One whale. Everything after the instance is zero at construction.
struct Boid {
    ModelInstance m_Instance;  // the whale's pose (no model: the shell draws it)
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
    int m_nModelVariant = 0;  // which of the two whale variants this one is (0 or 1)
};

class Boids {
public:
    static constexpr int kModelVariants = 2;
    // Whales made at most: the neighbour pass costs n (n - 1) / 2 pair tests
    // a frame (the dialog offers 1 to 50).
    static constexpr int kMaxWhales = 1000;
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

    void SetGoalPoint(const D3DXVECTOR3& goal) { m_vGoal = goal; }
    const D3DXVECTOR3& GetGoalPoint() const { return m_vGoal; }

    int GetCount() const { return m_nCount; }
    Boid* GetBoids() { return m_pBoids.get(); }
    const Boid* GetBoids() const { return m_pBoids.get(); }
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
    int m_bCollision = 1;   // obstacle avoidance on
    int m_bLargeModel = 0;  // enlarged whales: a wider starting box (the drawing scales them)

private:
    void Feel(Boid* b, BackGroundObj* obstacles);
    void Steer(Boid* b, const D3DXVECTOR3& s, const D3DXVECTOR3& centroid, float dt);

    int m_nCount = 0;
    std::unique_ptr<Boid[]> m_pBoids;  // m_nCount whales
    D3DXVECTOR3 m_vGoal{0.0f, 0.0f, 0.0f};
    DWORD m_dwEscapes = 0;
};
