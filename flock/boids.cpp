// The whale school's simulation: creation, neighbour pass, feeler, steering
// and motion. See boids.h for units and frames.
#include "flock/boids.h"

#include <cmath>
#include <new>

#include "core/errlog.h"
#include "platform/os/clock.h"
#include "scene/background_obj.h"
#include "settings/settings.h"

namespace {

// A random value in [0, 1].
float Unit() { return static_cast<float>(Rand() / 32767.0); }

float Length(const D3DXVECTOR3& v) { return D3DXVec3Length(&v); }

D3DXVECTOR3 Normalised(const D3DXVECTOR3& v) {
    D3DXVECTOR3 out;
    D3DXVec3Normalize(&out, &v);
    return out;
}

}  // namespace

D3DXVECTOR3 TurnAvoidanceNormal(const D3DXVECTOR3& normal, const D3DXVECTOR3& migration) {
    const D3DXVECTOR3 plus(normal.z, normal.y, -normal.x);  // row vector times the y rotation of +pi/2
    if (D3DXVec3Dot(&plus, &migration) >= 0.0f) return plus;
    return D3DXVECTOR3(-normal.z, normal.y, normal.x);  // the y rotation of -pi/2
}

D3DXVECTOR3 AvoidancePush(const D3DXVECTOR3& normal, const D3DXVECTOR3& migration) {
    const D3DXVECTOR3 n = Normalised(normal);
    return (TurnAvoidanceNormal(n, migration) + n * Boids::kAvoidanceLean) * Boids::kAvoidancePush;
}

void UpdateYawRate(float* rate, float crossY, float c, float turn, float dt, float restart) {
    if (crossY > 0.1f) {
        if (*rate > -0.8f) *rate -= std::fabs(turn);
    } else if (crossY < -0.1f) {
        if (*rate < 0.8f) *rate += std::fabs(turn);
    } else if (c > 0.0f) {
        if (*rate > 0.01f) {
            *rate -= std::fabs(*rate) * 25.0f * dt;
        } else if (*rate < -0.01f) {
            *rate += std::fabs(*rate) * 25.0f * dt;
        } else {
            *rate = restart;
        }
    }
}

float WrapYaw(float yaw) {
    constexpr double kTurn = 6.283185307179586;
    if (yaw >= -3.14159265f && yaw <= 3.14159265f) return yaw;
    return static_cast<float>(std::remainder(static_cast<double>(yaw), kTurn));
}

void BuildSwimmerMatrix(D3DXMATRIX* out, float yaw, float pitch, float roll, const D3DXVECTOR3& position) {
    D3DXQUATERNION q;
    D3DXQuaternionRotationYawPitchRoll(&q, -yaw, -pitch, -roll);
    D3DXMATRIX rotation, translation;
    D3DXMatrixRotationQuaternion(&rotation, &q);
    D3DXMatrixTranslation(&translation, position.x, position.y, position.z);
    D3DXMatrixMultiply(out, &rotation, &translation);
}

void Boids::ApplySettings(const Settings* s) {
    m_nConfiguredCount = s->intWhlNumCur;
    m_fRange = static_cast<float>(s->intWhlRadiusCur);
    m_fBaseSpeed = s->intWhlSpeedCur / 100.0f * 0.03f + 0.03f;
    m_fSeparation = s->intWhlSepForceCur / 100.0f;
    m_fAlignment = s->intWhlAliForceCur / 100.0f;
    m_fCohesion = s->intWhlCohForceCur / 100.0f;
    m_fMigration = s->intWhlMigForceCur / 100.0f;
    m_fCentreWeight = s->intWhlCenForceCur / 100.0f;
    m_bAnimation = s->intChkAnim;
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
    m_pBoids = new (std::nothrow) Boid[static_cast<std::size_t>(count)];
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
        for (float& v : u) v = Unit();
        for (float& v : p) v = Unit();
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
    delete[] m_pBoids;
    m_pBoids = nullptr;
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
    const int count = obstacles->GetObjectNum();
    ModelInstance* objects = obstacles->GetObjects();
    if (!objects) return;
    const float reach = std::fmax(kFeelerLength, b->m_fSpeed * 100.0f * kFeelerSeconds);
    const D3DXVECTOR3 tip = b->m_vPosition + b->m_vHeading * reach;
    for (int k = 0; k < count; ++k) {
        D3DXVECTOR3 at;
        objects[k].GetPosition(&at);
        if (!(Length(b->m_vPosition - at) < obstacles->m_fCheckRange)) continue;
        D3DXVECTOR3 normal;
        if (objects[k].Intersect(b->m_vPosition, tip, &normal) == 1) {
            b->m_vAvoidance += AvoidancePush(normal, b->m_vMigration);
            b->m_bCollided = 1;
            return;
        }
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
    const float base = m_fBaseSpeed;
    // Distances before the whale moves.
    const float dC = Length(centroid - b->m_vPosition);
    const float dO = Length(b->m_vPosition);

    // Pitch: climb or dive at 0.1 rad/s up to 0.8 rad, else relax toward level.
    if (s.y > 0.01f) {
        b->m_fPitch += 0.1f * dt;
        if (b->m_fPitch > 0.8f) b->m_fPitch = 0.8f;
    } else if (s.y < -0.01f) {
        b->m_fPitch -= 0.1f * dt;
        if (b->m_fPitch < -0.8f) b->m_fPitch = -0.8f;
    } else {
        if (b->m_fPitch > 0.0f) b->m_fPitch -= std::fabs(b->m_fPitch) * 0.7f * dt;
        if (b->m_fPitch < 0.0f) b->m_fPitch += std::fabs(b->m_fPitch) * 0.7f * dt;
    }

    // Speed: climbing slows, diving speeds up; drift back to the base speed
    // and stay within [base / 2, 2 base].
    float& speed = b->m_fSpeed;
    speed -= b->m_fPitch * base * 0.25f * dt;
    if (speed > base) speed -= base * 0.3f * dt;
    if (speed < base) speed += base * 0.3f * dt;
    if (speed < base / 2.0f) speed = base / 2.0f;
    if (speed > 2.0f * base) speed = 2.0f * base;

    // Horizontal steering: a bonus for a goal ahead, a turn toward the side it lies on.
    const D3DXVECTOR3 h = Normalised(D3DXVECTOR3(s.x, 0.0f, s.z));
    const D3DXVECTOR3 d = Normalised(b->m_vHeading);
    const float c = D3DXVec3Dot(&h, &d);
    if (c > 0.0f) speed += 0.75f * base * dt;
    D3DXVECTOR3 x;
    D3DXVec3Cross(&x, &d, &h);
    const float turn = (1.0f - c) * (b->m_bCollided ? kAvoidanceTurnRate : 0.15f) * dt;

    // Yaw rate: the +-0.8 limits are tested before the change. Inside the
    // dead band with the goal ahead the rate decays, or restarts at 0.1.
    float& rate = b->m_fYawRate;
    UpdateYawRate(&rate, x.y, c, turn, dt, 0.1f);
    b->m_fYaw = WrapYaw(b->m_fYaw + rate * dt);
    b->m_fRoll = -0.25f * rate;  // bank into the turn

    D3DXMATRIX world;
    BuildSwimmerMatrix(&world, b->m_fYaw, b->m_fPitch, b->m_fRoll, b->m_vPosition);
    b->m_Instance.SetWorldMatrix(world);
    b->m_vHeading = D3DXVECTOR3(world._31, world._32, world._33);

    // The matrix keeps the position from before this move until the next step.
    b->m_vPosition += b->m_vHeading * (speed * 100.0f * dt);

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
