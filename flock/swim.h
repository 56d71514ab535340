// The swimming rules every whale follows, the school's and the guide's alike:
// the feeler, the pitch, speed, ahead-bonus, yaw-rate and roll rules, the
// pose and the move. What differs between the two swimmers is only tuning,
// named once per swimmer in SwimTuning (kSchoolSwim, kGuideSwim).
//
// Units and frames as in boids.h: world units, radians, seconds, speed in
// hundredths of units per second, the nose along the world matrix's third
// row. The rules read no clock and no device.
#pragma once

#include "platform/d3dx/d3dx_math.h"

class BackGroundObj;
class ModelInstance;

// Obstacle avoidance, the same for every swimmer. The feeler reaches the
// swimmer's feelerLength ahead of the nose, or kFeelerSeconds of swimming
// when that is farther: at cruising speed that leaves time to turn out of a
// spire's way. A hit pushes along the hull face's normal (AvoidancePush);
// while the feeler hits, the yaw rate grows by kAvoidanceTurnRate (radians
// per second per second, at the steering's right angle) instead of
// kCruiseTurnRate, and the swimmer brakes by kAvoidanceBrake base speeds per
// second (a swimmer inside a hull feels nothing: the hull's faces are one-sided).
inline constexpr float kFeelerSeconds = 4.0f;
inline constexpr float kAvoidancePush = 10.0f;
inline constexpr float kAvoidanceLean = 0.5f;
inline constexpr float kAvoidanceTurnRate = 1.2f;
inline constexpr float kCruiseTurnRate = 0.15f;
inline constexpr float kAvoidanceBrake = 0.8f;

struct SwimTuning {
    float feelerLength;  // world units ahead of the nose (at least)
    float pitchRate;     // radians per second while climbing or diving
    float pitchRelax;    // share of the pitch given back per second toward level
    float speedDrift;    // per second, back toward the base speed
    // The drift is this share of the speed itself (true) or of the base speed.
    bool driftBySpeed;
    float aheadBonus;   // speed gained per second, in base speeds, with the goal ahead
    float yawRestart;   // the yaw rate a settled swimmer restarts at, radians per second
    float rollPerYaw;   // roll in radians per radian per second of yaw rate (banking into a turn)
};

// The school's whales and the guide whale.
inline constexpr SwimTuning kSchoolSwim{25.0f, 0.1f, 0.7f, 0.3f, false, 0.75f, 0.1f, -0.25f};
inline constexpr SwimTuning kGuideSwim{12.0f, 0.2f, 0.8f, 0.3f, true, 0.5f, 0.01f, -0.2f};

// The body of one swimmer as its owner stores it.
struct SwimBody {
    D3DXVECTOR3& position;
    D3DXVECTOR3& heading;
    float& speed;
    float& yaw;
    float& pitch;
    float& roll;
    float& yawRate;
    ModelInstance& instance;
};

// The feeler: a segment ahead of the nose (feelerLength, or kFeelerSeconds
// at `speed` when that is farther), tested against each obstacle within the
// obstacles' check range in order. True at the first hit, with that face's
// normal in *normal.
bool FeelObstacle(const D3DXVECTOR3& position, const D3DXVECTOR3& heading, float speed, float feelerLength,
                  BackGroundObj* obstacles, D3DXVECTOR3* normal);

// One step of the body: pitch toward the steering's vertical sign, speed
// (climbing slows, diving speeds up, braking while `collided`, drift back to
// `base`, within [base / 2, 2 base], a bonus with the goal ahead), the yaw
// rate (turning faster while `collided`) and the roll that banks into it,
// the pose from yaw, pitch and roll, the new heading, and the move along it.
// `steer` has length at most 1.
void SwimStep(const SwimTuning& tuning, const D3DXVECTOR3& steer, bool collided, float base, float dt,
              const SwimBody& body);

// Turns an obstacle's face normal a quarter turn about the vertical axis,
// toward the side of the migration direction: the +pi/2 turn (x, y, z) ->
// (z, y, -x) when its result points along the migration direction or square
// to it, otherwise the -pi/2 turn (-z, y, x). A whale thus slides along the
// obstacle on the side where its goal lies, and the choice is fixed for the
// frame because the migration direction is.
D3DXVECTOR3 TurnAvoidanceNormal(const D3DXVECTOR3& normal, const D3DXVECTOR3& migration);

// The push of one feeler hit: the hull face's normal made unit length (a
// hull's normal is as long as the sine of the face's corner angle times the
// placement's scale, so a thin face would push less than a square one),
// turned by TurnAvoidanceNormal, leaned back out of the face by
// kAvoidanceLean of the normal (a slide square to the normal would let a
// whale drift in at the yaw rule's dead band), and kAvoidancePush long.
D3DXVECTOR3 AvoidancePush(const D3DXVECTOR3& normal, const D3DXVECTOR3& migration);

// The yaw-rate rule. crossY is the vertical component of heading x steering,
// c their dot product, turn the frame's turn step. Outside the dead band
// (|crossY| > 0.1) the rate grows toward the steering side, its +-0.8 limits
// tested before the change; inside it, with the goal ahead (c > 0), the rate
// decays by 25 per second, or restarts at `restart` once within +-0.01.
// Behind, inside the band, it is left alone.
void UpdateYawRate(float* rate, float crossY, float c, float turn, float dt, float restart);

// `yaw` brought into [-pi, pi]. A swimmer circles for hours: an unwrapped yaw
// reaches thousands of radians, where a float resolves the angle only coarsely.
float WrapYaw(float yaw);

// The pose of a swimming body: rotation of the yaw-pitch-roll quaternion of
// (-yaw, -pitch, -roll), then the translation to `position`.
void BuildSwimmerMatrix(D3DXMATRIX* out, float yaw, float pitch, float roll, const D3DXVECTOR3& position);
