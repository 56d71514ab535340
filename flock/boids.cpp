// The whale school's simulation: creation, neighbour pass, feeler, steering
// and motion. See boids.h for units and frames.
#include "flock/boids.h"

#include <cmath>

#include "core/errlog.h"
#include "flock/swim.h"
#include "platform/base/alloc.h"
#include "platform/os/clock.h"
#include "scene/background_obj.h"
#include "settings/settings.h"

namespace {

float Length(const D3DXVECTOR3& v) { return D3DXVec3Length(&v); }

D3DXVECTOR3 Normalised(const D3DXVECTOR3& v) {
    D3DXVECTOR3 out;
    D3DXVec3Normalize(&out, &v);
    return out;
}

}  // namespace

void Boids::ApplySettings(const Settings* s) {
    m_nConfiguredCount = s->intWhlNumCur;
    m_fRange = static_cast<float>(s->intWhlRadiusCur);
    m_fBaseSpeed = s->intWhlSpeedCur / 100.0f * 0.03f + 0.03f;
    m_fSeparation = s->intWhlSepForceCur / 100.0f;
    m_fAlignment = s->intWhlAliForceCur / 100.0f;
    m_fCohesion = s->intWhlCohForceCur / 100.0f;
    m_fMigration = s->intWhlMigForceCur / 100.0f;
    m_fCentreWeight = s->intWhlCenForceCur / 100.0f;
    m_bCollision = s->intChkClsn;
    m_bLargeModel = s->intChkLargeModel;
}

HRESULT Boids::CreateWhales(unsigned seed, ErrLog* log) {
    Release();
    SRand(seed);
    // Settings are stored unchecked: a hand-edited count below 1 would leave
    // no school to centre on (a division by zero), a huge one would stall
    // every frame. Both are brought into [1, kMaxWhales].
    int count = m_nConfiguredCount;
    if (count < 1) count = 1;
    if (count > kMaxWhales) count = kMaxWhales;
    m_pBoids = NewUniqueArray<Boid>(static_cast<std::size_t>(count));
    if (!m_pBoids) {
        LogLine(log, "\t\t m_pBoids == NULL\n");  // fixed log text (the blank is part of it)
        return E_FAIL;
    }
    m_nCount = count;
    m_vGoal = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    m_dwEscapes = 0;

    // The school starts in a box around (-150, 25, -160); the difference of
    // two uniform values gives a triangular spread.
    const float spread = m_bLargeModel ? 90.0f : 30.0f;
    for (int i = 0; i < m_nCount; ++i) {
        Boid& b = m_pBoids[i];
        float u[6], p[6];
        for (float& v : u) v = RandUnit();
        for (float& v : p) v = RandUnit();
        b.m_vHeading = Normalised(D3DXVECTOR3(u[3] - u[4], u[1] - u[2], u[5] - u[0]));
        b.m_vPosition = D3DXVECTOR3((p[3] - p[4]) * spread - 150.0f, (p[1] - p[2]) * spread + 25.0f,
                                    (p[5] - p[0]) * spread - 160.0f);
        b.m_fYaw = b.m_fPitch = b.m_fRoll = b.m_fYawRate = 0.0f;
        b.m_fSpeed = 0.01f;
        b.m_bCollided = 0;
        b.m_nMisaligned = 0;
        b.m_nNeighbours = 0;
        // Drawn here, in this place of the sequence, whether or not the
        // skinned models are in use.
        b.m_nModelVariant = Rand() % kModelVariants;
    }
    return S_OK;
}

void Boids::Release() {
    m_pBoids.reset();
    m_nCount = 0;
}

D3DXVECTOR3 Boids::GetCentre() const {
    D3DXVECTOR3 sum(0.0f, 0.0f, 0.0f);
    if (m_nCount <= 0) return sum;
    for (int i = 0; i < m_nCount; ++i) sum += m_pBoids[i].m_vPosition;
    return sum / static_cast<float>(m_nCount);
}

int Boids::Update(float dt, BackGroundObj* obstacles) {
    if (m_nCount <= 0) return 0;
    const D3DXVECTOR3 centroid = ComputeTerms(obstacles);
    // Every term came from the positions and headings at the start of the
    // step, so moving whale i does not change the steering of whale i + 1.
    for (int i = 0; i < m_nCount; ++i) Steer(&m_pBoids[i], SteeringFor(i, centroid), centroid, dt);
    return 0;
}

D3DXVECTOR3 Boids::ComputeTerms(BackGroundObj* obstacles) {
    const int n = m_nCount;
    D3DXVECTOR3 centroid(0.0f, 0.0f, 0.0f);
    if (n <= 0) return centroid;
    for (int i = 0; i < n; ++i) centroid += m_pBoids[i].m_vPosition;
    centroid *= 1.0f / static_cast<float>(n);

    for (int i = 0; i < n; ++i) {
        Boid& b = m_pBoids[i];
        b.m_vSeparation = b.m_vAlignment = b.m_vCohesion = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        b.m_vCentre = b.m_vAvoidance = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        b.m_nNeighbours = 0;
        b.m_nMisaligned = 0;
        b.m_bCollided = 0;
    }

    const float range = m_fRange;
    for (int i = 0; i < n; ++i) {
        Boid& bi = m_pBoids[i];
        // Every unordered pair once; both whales of a pair are updated.
        for (int j = i + 1; j < n; ++j) {
            Boid& bj = m_pBoids[j];
            const D3DXVECTOR3 d = bi.m_vPosition - bj.m_vPosition;
            const float dist = Length(d);
            if (dist < range) {
                if (dist >= kCoincident) {
                    const float w = 1.0f / (dist * dist * 0.6f);
                    bi.m_vSeparation += d * w;
                    bj.m_vSeparation -= d * w;
                    bi.m_vAlignment += bj.m_vHeading * (1.0f / dist);
                    bj.m_vAlignment += bi.m_vHeading * (1.0f / dist);
                }
                bi.m_vCohesion += bj.m_vPosition;
                bj.m_vCohesion += bi.m_vPosition;
                ++bi.m_nNeighbours;
                ++bj.m_nNeighbours;
            }
            if (D3DXVec3Dot(&bi.m_vHeading, &bj.m_vHeading) < 0.5f) {  // more than 60 degrees apart
                ++bi.m_nMisaligned;
                ++bj.m_nMisaligned;
            }
        }

        // All pairs touching whale i are done: finish its terms.
        bi.m_vMigration = Normalised(m_vGoal - bi.m_vPosition);
        if (m_bCollision && obstacles) Feel(&bi, obstacles);
        bi.m_vCentre = Normalised(centroid - bi.m_vPosition);
        if (bi.m_nNeighbours != 0) {
            const float count = static_cast<float>(bi.m_nNeighbours);
            bi.m_vCohesion = Normalised(bi.m_vCohesion / count - bi.m_vPosition);
            const D3DXVECTOR3 a = bi.m_vAlignment / count;
            const float l = Length(a);
            // Divided by the length of the averaged sum, not by the difference's own.
            if (l > 0.0f) bi.m_vAlignment = (a / l - bi.m_vHeading) / l;
        }
    }
    return centroid;
}

void Boids::Feel(Boid* b, BackGroundObj* obstacles) {
    D3DXVECTOR3 normal;
    if (FeelObstacle(b->m_vPosition, b->m_vHeading, b->m_fSpeed, kSchoolSwim.feelerLength, obstacles, &normal)) {
        b->m_vAvoidance += AvoidancePush(normal, b->m_vMigration);
        b->m_bCollided = 1;
    }
}

D3DXVECTOR3 Boids::SteeringFor(int i, const D3DXVECTOR3& centroid) const {
    const Boid* b = &m_pBoids[i];
    const float dC = Length(centroid - b->m_vPosition);
    const float dG = Length(m_vGoal - b->m_vPosition);

    // The steering regime; the first that applies wins.
    D3DXVECTOR3 s(0.0f, 0.0f, 0.0f);
    if (Length(b->m_vAvoidance) > 0.0f) s += b->m_vAvoidance;
    if (dC > m_fRange + 100.0f) {
        s += b->m_vCentre * m_fCentreWeight;  // strayed from the school
    } else if (dG > m_fRange + 150.0f) {
        s += b->m_vMigration * m_fMigration;  // the school is far from the goal
    } else if (b->m_nMisaligned <= m_nCount / 3 || m_fRange <= 40.0f) {
        s += b->m_vAvoidance;
        s += b->m_vSeparation * m_fSeparation;
        s += b->m_vAlignment * m_fAlignment;
        s += b->m_vCohesion * m_fCohesion;
        s += b->m_vCentre * m_fCentreWeight;
        s += b->m_vMigration * m_fMigration;
    } else if (b->m_nNeighbours >= 2) {
        s += b->m_vAlignment * (m_fAlignment * 2.0f);  // many misaligned: fall in line first
    } else {
        s += b->m_vMigration * m_fMigration;
    }
    const float sLength = Length(s);
    if (sLength > 1.0f) s /= sLength;
    return s;
}

void Boids::Steer(Boid* b, const D3DXVECTOR3& s, const D3DXVECTOR3& centroid, float dt) {
    // Distances before the whale moves.
    const float dC = Length(centroid - b->m_vPosition);
    const float dO = Length(b->m_vPosition);
    SwimStep(kSchoolSwim, s, b->m_bCollided != 0, m_fBaseSpeed, dt,
             {b->m_vPosition, b->m_vHeading, b->m_fSpeed, b->m_fYaw, b->m_fPitch, b->m_fRoll, b->m_fYawRate,
              b->m_Instance});

    bool escaped = false;
    if (dC > kCentroidEscape) {
        b->m_vPosition = centroid;
        escaped = true;
    }
    if (dO > kOriginEscape) {
        b->m_vPosition = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        escaped = true;
    }
    if (escaped) ++m_dwEscapes;
}
