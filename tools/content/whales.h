// The whale models, built from code: the skinned humpbacks "WHALESKINNED01.X"
// (the school's first variant), "WHALESKINNED02.X" (second variant: stockier,
// more white), "WHALESKINNED03.X" (the guide: slate blue, longer flippers),
// the small skinned "Dammy.x", and the rigid stand-ins "WHALEDAMMY.X" and
// "WHALEDAMMY2.X" (a drawn low-detail hull of the same body plus a box
// collision hull, fitted to their listed extents).
//
// Frames: left-handed, y up, the nose along +z; +x is the whale's right.
// Body length L = 9.476 units; s runs from 0 at the snout to 1 at the fluke
// notch, and z(s) = (0.42 - s) L, so the origin sits at the widest girth.
// Proportions, colours, bones and the swimming wave are a humpback's.
//
// Bones (17): frame "Whale" (static top frame, identity) holds the mesh and
// the animated "Root"; every bone frame carries a translation only, and its
// keys carry the whole rotation. Each bone turns by theta(t) = Theta sin(w t
// + phi) with w = 4 beats per loop (2.34 s a beat), Theta and phi derived
// from a body wave running head to tail; pitch is about x, positive = nose up,
// which is RotationX(-theta) in this left-handed frame. Keys: 51 at multiples
// of 899 ticks (0..44950); the last repeats the first, so every track ends at
// the loop length and the loop has no seam. The sampler negates w, so keys
// store (x, y, z, -w) of the rotation quaternion; the file writes w first.
// Whales of one variant share one clock, so the variants swim out of step:
// the second half a beat later, the guide a quarter beat.
//
// Colours: every vertex carries its region's colour (back, blend ring,
// belly, pleats, lips, fins); the skinned files hold one white material, so
// a whale is one attribute group and draws with one call.
#pragma once

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/content/mesh_builder.h"
#include "tools/content/models.h"
#include "tools/content/xwriter.h"

namespace content {

constexpr double kWhaleLength = 9.476;
constexpr std::uint32_t kWhaleLoopTicks = 44950;
constexpr std::uint32_t kWhaleKeyStep = 899;
constexpr int kWhaleKeys = 51;
constexpr int kWhaleBeats = 4;

inline double WhaleZ(double s) { return (0.42 - s) * kWhaleLength; }

inline double Smooth01(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// A quaternion with D3DX's meaning: (x, y, z, w) = (axis sin(a/2), cos(a/2)),
// and q1 then q2 (row vectors: M(q1) x M(q2)) is the Hamilton product q2 q1.
struct Quat {
    double x = 0, y = 0, z = 0, w = 1;
};
inline Quat AxisAngle(Vec3 axis, double a) {
    const Vec3 n = Normalise(axis);
    const double s = std::sin(a / 2);
    return {n.x * s, n.y * s, n.z * s, std::cos(a / 2)};
}
inline Quat Then(const Quat& first, const Quat& then) {
    const Quat& a = then;
    const Quat& b = first;
    return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y, a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w, a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

// One bone of the rig: its frame, parent, pivot (model space, bind pose)
// and motion terms (angles in degrees, phases in degrees).
struct WhaleBone {
    std::string name;
    int parent;  // -1: child of the top frame
    Vec3 pivot;
    double pitch = 0, pitchPhase = 0;  // about x, positive = nose up
    double roll = 0, rollPhase = 0;    // about z (flap of fins), positive = right side up
    double yaw = 0, yawPhase = 0;      // about y (feathering)
    double heave = 0, heavePhase = 0;  // y translation, in units
    bool animated = true;
};

struct VertexWeights {
    int bone[2] = {0, 0};
    double weight[2] = {1, 0};  // weight[1] = 0: one bone
};

struct SkinnedModel {
    std::string resourceName;
    std::string fileName;
    std::string comment;
    MeshData mesh;
    std::vector<VertexWeights> weights;  // per vertex
    std::vector<WhaleBone> bones;
    std::uint32_t loopTicks = kWhaleLoopTicks;
    std::uint32_t keyStep = kWhaleKeyStep;
    int keys = kWhaleKeys;
    int beats = kWhaleBeats;
    double phaseShift = 0;  // degrees added to every phase
};

// What distinguishes one whale from another.
struct WhaleStyle {
    double width = 1.0, height = 1.0;  // section scales
    double flipperLength = 0.28;       // of L
    double whiteLine = -0.25;          // section ny above which the back colour runs
    // A mid-tone back: the toon ramp keeps from 14 % (facing away) to 99 %
    // (facing the light) of a colour, so a near-black back would leave every
    // band near-black; this one shows five distinct bands.
    Colour back{120 / 255.0, 128 / 255.0, 142 / 255.0};
    Colour blend{164 / 255.0, 170 / 255.0, 180 / 255.0};
    Colour belly{218 / 255.0, 222 / 255.0, 228 / 255.0};
    Colour pleat{176 / 255.0, 182 / 255.0, 192 / 255.0};
    Colour fin{242 / 255.0, 244 / 255.0, 247 / 255.0};
    Colour lip{52 / 255.0, 56 / 255.0, 66 / 255.0};
    int ring = 16;  // vertices around the body
    bool pleats = true;
    bool detailed = true;  // dorsal fin, eye line
};

namespace whale {

// Body sections: s, half-width, half-height, centre y (fractions of L).
struct Section {
    double s, hw, hh, cy;
};
inline const std::vector<Section>& Sections() {
    static const std::vector<Section> t = {
        {0.00, 0.000, 0.000, -0.010}, {0.05, 0.035, 0.022, -0.010}, {0.12, 0.060, 0.045, -0.015},
        {0.20, 0.078, 0.068, -0.020}, {0.30, 0.095, 0.090, -0.015}, {0.42, 0.100, 0.100, -0.005},
        {0.55, 0.090, 0.095, 0.000},  {0.65, 0.068, 0.083, 0.005},  {0.75, 0.042, 0.065, 0.005},
        {0.85, 0.022, 0.045, 0.003},  {0.92, 0.014, 0.026, 0.000},  {1.00, 0.006, 0.008, 0.000},
    };
    return t;
}

// Catmull-Rom through the table (non-uniform, tangents from neighbours).
inline Section SectionAt(double s) {
    const auto& t = Sections();
    if (s < t[1].s) {
        // The rostrum is rounded, not a cone: an elliptical cap up to the
        // first section.
        const double r = std::sqrt(std::max(0.0, s / t[1].s));
        return {s, t[1].hw * r, t[1].hh * r, t[1].cy};
    }
    std::size_t i = 0;
    while (i + 2 < t.size() && t[i + 1].s < s) ++i;
    const Section& a = t[i];
    const Section& b = t[i + 1];
    const double h = b.s - a.s;
    const double u = std::clamp((s - a.s) / h, 0.0, 1.0);
    auto value = [&](double Section::*f) {
        auto slope = [&](std::size_t k) {
            if (k == 0) return (t[1].*f - t[0].*f) / (t[1].s - t[0].s);
            if (k + 1 == t.size()) return (t[k].*f - t[k - 1].*f) / (t[k].s - t[k - 1].s);
            return (t[k + 1].*f - t[k - 1].*f) / (t[k + 1].s - t[k - 1].s);
        };
        const double m0 = slope(i) * h, m1 = slope(i + 1) * h;
        const double u2 = u * u, u3 = u2 * u;
        return (2 * u3 - 3 * u2 + 1) * (a.*f) + (u3 - 2 * u2 + u) * m0 + (-2 * u3 + 3 * u2) * (b.*f) +
               (u3 - u2) * m1;
    };
    return {s, std::max(0.0, value(&Section::hw)), std::max(0.0, value(&Section::hh)), value(&Section::cy)};
}

// The flipper's span direction at rest, side -1 (left) or +1 (right):
// swept back 55 degrees, drooped 10.
inline Vec3 FlipperDir(double side) {
    const double sweep = 55 * kPi / 180, droop = 10 * kPi / 180;
    return {side * std::cos(sweep) * std::cos(droop), -std::sin(droop), -std::sin(sweep) * std::cos(droop)};
}

// The body wave: the centre line at s heaves by y(s, t) = a(s) sin(w t +
// psi(s)) body lengths, psi(s) = 2 pi (1 - s) / 1.25, so the wave is 1.25 L
// long and runs from head to tail (the phase falls toward the tail). It is
// held as the complex amplitude a(s) e^(i psi(s)): y = Im(Y e^(i w t)).
// The amplitude is small and steady over the chest, where a whale stays
// stiff, and grows over the tail stock to the flukes.
inline std::complex<double> WaveAt(double s) {
    static const double kS[] = {0.00, 0.20, 0.38, 0.55, 0.65, 0.75, 0.85, 0.93, 1.00};
    static const double kA[] = {0.012, 0.009, 0.006, 0.012, 0.024, 0.042, 0.066, 0.090, 0.115};
    std::size_t i = 0;
    while (i + 2 < std::size(kS) && kS[i + 1] < s) ++i;
    const double u = std::clamp((s - kS[i]) / (kS[i + 1] - kS[i]), 0.0, 1.0);
    const double a = kA[i] + (kA[i + 1] - kA[i]) * u;
    return std::polar(a, 2 * kPi * (1 - s) / 1.25);
}

// The pitch (radians, positive = nose up) of the chord from s0 to s1 > s0 as
// the wave bends it: the front end higher is nose up.
inline std::complex<double> ChordPitch(double s0, double s1) { return (WaveAt(s0) - WaveAt(s1)) / (s1 - s0); }

// The fluke blade pitches ahead of the wave: nose up by kFlukeAttack cos(w t)
// on top of its chord, a quarter beat ahead of the notch's heave (leading edge
// up on the upstroke).
constexpr double kFlukeAttackDeg = 25.0;

// Flipper strokes (degrees): the upper bone flaps (roll) and feathers (yaw),
// the lower one flaps a little later, so the flipper bends through the stroke.
constexpr double kFlipperFlapDeg = 12.0, kFlipperFeatherDeg = 6.0, kFlipperTipFlapDeg = 9.0;

// The rig; pivots on the body's centre line. Each spine bone turns its part
// of the body to the chord of the wave between its pivot and the next one;
// its key rotation is that pitch less its parent's (the frames nest), an
// amplitude and phase read off the difference of the two complex pitches.
inline std::vector<WhaleBone> Rig(const WhaleStyle& st) {
    const double L = kWhaleLength;
    constexpr double kDeg = 180 / kPi;
    auto axis = [&](double s) { return Vec3{0, SectionAt(s).cy * L, WhaleZ(s)}; };
    auto turn = [&](const std::string& name, int parent, double s, std::complex<double> pitch) {
        WhaleBone b{name, parent, axis(s)};
        b.pitch = std::abs(pitch) * kDeg;
        b.pitchPhase = std::arg(pitch) * kDeg;
        return b;
    };
    std::vector<WhaleBone> b;
    // Root: the middle of the body (head pivot to first spine pivot); it also
    // carries the heave of the centre at its pivot.
    const std::complex<double> root = ChordPitch(0.30, 0.48);
    b.push_back(turn("Root", -1, 0.42, root));
    b.back().heave = std::abs(WaveAt(0.42)) * L;
    b.back().heavePhase = std::arg(WaveAt(0.42)) * kDeg;
    b.push_back(turn("Head", 0, 0.30, ChordPitch(0.0, 0.30) - root));
    const double pivots[9] = {0.48, 0.54, 0.60, 0.66, 0.72, 0.78, 0.84, 0.89, 0.93};
    std::complex<double> parent = root;
    for (int i = 0; i < 8; ++i) {
        const std::complex<double> chord = ChordPitch(pivots[i], pivots[i + 1]);
        b.push_back(turn(i < 7 ? "Spine" + std::to_string(i + 1) : "Peduncle", i == 0 ? 0 : 1 + i, pivots[i], chord - parent));
        parent = chord;
    }
    const std::complex<double> fluke = ChordPitch(0.93, 1.0) + std::complex<double>(0, kFlukeAttackDeg / kDeg);
    b.push_back(turn("Fluke", 9, 0.93, fluke - parent));
    // Fluke tips: the blades bend, mirrored (right up while left down would
    // roll the tail; mirrored they cup together).
    b.push_back({"FlukeTipL", 10, Vec3{-0.05 * L, 0, WhaleZ(0.95)}, 0, 0, -8, 0});
    b.push_back({"FlukeTipR", 10, Vec3{0.05 * L, 0, WhaleZ(0.95)}, 0, 0, 8, 0});
    const Vec3 rootL{-0.085 * L, -0.04 * L, WhaleZ(0.30)};
    const Vec3 rootR{0.085 * L, -0.04 * L, WhaleZ(0.30)};
    const Vec3 dirL = FlipperDir(-1), dirR = FlipperDir(1);
    const double half = st.flipperLength * L * 0.5;
    b.push_back({"FlipperUpperL", 0, rootL, 0, 0, -kFlipperFlapDeg, 90, kFlipperFeatherDeg, 0});
    b.push_back({"FlipperLowerL", 13, rootL + dirL * half, 0, 0, -kFlipperTipFlapDeg, 30});
    b.push_back({"FlipperUpperR", 0, rootR, 0, 0, kFlipperFlapDeg, 90, -kFlipperFeatherDeg, 0});
    b.push_back({"FlipperLowerR", 15, rootR + dirR * half, 0, 0, kFlipperTipFlapDeg, 30});
    return b;
}

}  // namespace whale

// A mesh builder that also records each vertex's bone weights, with one
// vertex per (grid point, material) so every vertex has one colour.
class SkinBuilder {
public:
    explicit SkinBuilder(std::string name) : m_b(std::move(name)) {}
    std::uint32_t Material(const Colour& c) {
        for (std::size_t i = 0; i < m_colours.size(); ++i) {
            if (m_colours[i].r == c.r && m_colours[i].g == c.g && m_colours[i].b == c.b) return static_cast<std::uint32_t>(i);
        }
        m_colours.push_back(c);
        return m_b.AddMaterial(Diffuse(c.r, c.g, c.b));
    }
    // The vertex of grid point `key` in material `mat`, made on first use.
    std::uint32_t Vertex(std::uint64_t key, std::uint32_t mat, Vec3 p, Vec3 n, const VertexWeights& w) {
        const auto k = std::make_pair(key, mat);
        auto it = m_index.find(k);
        if (it != m_index.end()) return it->second;
        const std::uint32_t i = m_b.AddVertex(p, {}, n);
        m_weights.push_back(w);
        m_index.emplace(k, i);
        return i;
    }
    void Tri(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t mat) {
        const auto& p = m_b.Positions();
        const Vec3 fn = Cross(p[b] - p[a], p[c] - p[a]);
        if (Length(fn) < 1e-9) return;  // a sliver where a loft pinches: skip it
        const Vec3 vn = m_normals(a) + m_normals(b) + m_normals(c);
        if (Dot(fn, vn) < 0) std::swap(b, c);
        m_b.AddTri(a, b, c, mat);
    }
    MeshBuilder& Builder() { return m_b; }
    // The finished mesh, keeping only the materials that faces use.
    MeshData Build() const {
        MeshData m = m_b.Build();
        std::vector<int> remap(m.materials.size(), -1);
        std::vector<content::Material> used;
        for (std::uint32_t& f : m.faceMaterials) {
            if (remap[f] < 0) {
                remap[f] = static_cast<int>(used.size());
                used.push_back(m.materials[f]);
            }
            f = static_cast<std::uint32_t>(remap[f]);
        }
        m.materials = used;
        return m;
    }
    std::vector<VertexWeights>& Weights() { return m_weights; }
    std::function<Vec3(std::uint32_t)> m_normals;

private:
    MeshBuilder m_b;
    std::vector<Colour> m_colours;
    std::vector<VertexWeights> m_weights;
    std::map<std::pair<std::uint64_t, std::uint32_t>, std::uint32_t> m_index;
};

// A closed loft: rings of equal size (each a closed loop of points), with
// optional tip points before the first and after the last ring. colour(i,
// k) gives the material of the quad from ring i, point k to ring i + 1,
// point k + 1 (and of the tip fans with i = -1 and i = rings - 1); weights(i,
// k) the weights of grid point (i, k) (tips: k = -1). Normals are smooth,
// from the grid's neighbours, turned away from each ring's centre.
struct Loft {
    std::vector<std::vector<Vec3>> rings;
    bool startTip = false, endTip = false;
    Vec3 start, end;
};

inline void AddLoft(SkinBuilder& sb, std::uint32_t keyBase, const Loft& lf,
                    const std::function<std::uint32_t(int, int)>& colour,
                    const std::function<VertexWeights(int, int)>& weights) {
    const int R = static_cast<int>(lf.rings.size());
    const int N = static_cast<int>(lf.rings[0].size());
    auto centre = [&](int i) {
        Vec3 c;
        for (const Vec3& p : lf.rings[i]) c = c + p;
        return c * (1.0 / N);
    };
    auto at = [&](int i, int k) -> Vec3 {
        if (i < 0) return lf.startTip ? lf.start : lf.rings[0][((k % N) + N) % N];
        if (i >= R) return lf.endTip ? lf.end : lf.rings[R - 1][((k % N) + N) % N];
        return lf.rings[i][((k % N) + N) % N];
    };
    auto normal = [&](int i, int k) {
        const Vec3 along = at(i + 1, k) - at(i - 1, k);
        const Vec3 around = at(i, k + 1) - at(i, k - 1);
        Vec3 n = Normalise(Cross(along, around));
        if (Dot(n, at(i, k) - centre(i)) < 0) n = n * -1.0;
        if (Length(n) < 0.5) n = Normalise(at(i, k) - centre(i));
        return n;
    };
    auto key = [&](int i, int k) { return (std::uint64_t{keyBase} << 32) | std::uint64_t((i + 1) * 1024 + ((k % N) + N) % N); };
    std::vector<Vec3> normals;
    std::map<std::uint32_t, Vec3> given;
    sb.m_normals = [&given](std::uint32_t v) { return given.count(v) ? given[v] : Vec3{0, 0, 0}; };
    auto vertex = [&](int i, int k, std::uint32_t mat) {
        Vec3 n;
        Vec3 p;
        if (i < 0) {
            p = lf.start;
            n = Normalise(lf.start - centre(0));
        } else if (i >= R) {
            p = lf.end;
            n = Normalise(lf.end - centre(R - 1));
        } else {
            p = lf.rings[i][((k % N) + N) % N];
            n = normal(i, k);
        }
        const int wk = (i < 0 || i >= R) ? -1 : ((k % N) + N) % N;
        const std::uint32_t v = sb.Vertex(key(i < 0 ? -1 : (i >= R ? R : i), wk < 0 ? 0 : wk), mat, p, n, weights(i < 0 ? -1 : (i >= R ? R : i), wk));
        given[v] = n;
        return v;
    };
    for (int i = 0; i + 1 < R; ++i) {
        for (int k = 0; k < N; ++k) {
            const std::uint32_t m = colour(i, k);
            const std::uint32_t a = vertex(i, k, m), b = vertex(i, k + 1, m), c = vertex(i + 1, k + 1, m),
                                d = vertex(i + 1, k, m);
            sb.Tri(a, b, c, m);
            sb.Tri(a, c, d, m);
        }
    }
    if (lf.startTip) {
        for (int k = 0; k < N; ++k) {
            const std::uint32_t m = colour(-1, k);
            sb.Tri(vertex(-1, 0, m), vertex(0, k, m), vertex(0, k + 1, m), m);
        }
    }
    if (lf.endTip) {
        for (int k = 0; k < N; ++k) {
            const std::uint32_t m = colour(R - 1, k);
            sb.Tri(vertex(R, 0, m), vertex(R - 1, k + 1, m), vertex(R - 1, k, m), m);
        }
    }
    sb.m_normals = nullptr;
}

// Weights along the spine: the bone whose segment holds s, blended with the
// next one over +-0.02 around each pivot.
inline VertexWeights SpineWeights(double s) {
    // Segment boundaries (pivots) and the bone tailward of each.
    static const double pivots[] = {0.30, 0.48, 0.54, 0.60, 0.66, 0.72, 0.78, 0.84, 0.89, 0.93};
    static const int tailward[] = {0, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    int bone = 1;  // Head, ahead of the first pivot
    VertexWeights w;
    for (int j = 0; j < 10; ++j) {
        const double t = (s - (pivots[j] - 0.02)) / 0.04;
        if (t <= 0) break;
        if (t >= 1) {
            bone = tailward[j];
            continue;
        }
        const double u = Smooth01(t);
        if (u >= 1.0) {
            bone = tailward[j];
            continue;
        }
        w.bone[0] = bone;
        w.bone[1] = tailward[j];
        w.weight[0] = 1 - u;
        w.weight[1] = u;
        return w;
    }
    w.bone[0] = bone;
    return w;
}

inline VertexWeights Blend(int a, int b, double u) {
    VertexWeights w;
    u = Smooth01(u);  // tested after smoothing: near the ends it rounds to exactly 0 or 1
    if (u <= 0) {
        w.bone[0] = a;
    } else if (u >= 1) {
        w.bone[0] = b;
    } else {
        w.bone[0] = a;
        w.bone[1] = b;
        w.weight[0] = 1 - u;
        w.weight[1] = u;
    }
    return w;
}

// Body stations (s): denser where the tail bends.
inline std::vector<double> BodyStations(bool detailed) {
    if (!detailed) return {0.02, 0.06, 0.12, 0.20, 0.30, 0.42, 0.55, 0.65, 0.75, 0.85, 0.92, 0.97, 1.0};
    return {0.003, 0.012, 0.035, 0.065, 0.10, 0.14, 0.18, 0.22, 0.26, 0.30, 0.35, 0.40, 0.45, 0.48, 0.51, 0.54, 0.57, 0.60,
            0.63, 0.66, 0.69, 0.72, 0.75, 0.78, 0.81, 0.84, 0.865, 0.89, 0.91, 0.93, 0.95, 0.97, 0.985, 1.0};
}

inline void AddBody(SkinBuilder& sb, const WhaleStyle& st) {
    const double L = kWhaleLength;
    const std::vector<double> stations = BodyStations(st.detailed);
    const int N = st.ring;
    Loft lf;
    for (double s : stations) {
        const whale::Section sec = whale::SectionAt(s);
        std::vector<Vec3> ring;
        for (int k = 0; k < N; ++k) {
            const double a = 2 * kPi * k / N;  // 0 at the top, turning toward +x
            // A slightly squarer section than an ellipse (fuller flanks).
            const double c = std::cos(a), sn = std::sin(a);
            const double sx = (sn < 0 ? -1 : 1) * std::pow(std::fabs(sn), 0.85);
            const double cy = (c < 0 ? -1 : 1) * std::pow(std::fabs(c), 0.85);
            ring.push_back({sx * sec.hw * st.width * L, (sec.cy + cy * sec.hh * st.height) * L, WhaleZ(s)});
        }
        lf.rings.push_back(ring);
    }
    lf.startTip = true;
    lf.start = {0, whale::SectionAt(0).cy * L, WhaleZ(0)};
    lf.endTip = true;
    lf.end = {0, 0, WhaleZ(1.0) - 0.004 * L};
    const std::uint32_t back = sb.Material(st.back), blend = sb.Material(st.blend), belly = sb.Material(st.belly),
                        pleat = sb.Material(st.pleats ? st.pleat : st.belly), lip = sb.Material(st.lip);
    auto colour = [&](int i, int k) -> std::uint32_t {
        const double a = 2 * kPi * (k + 0.5) / N;
        const double ny = std::cos(a);
        const double s = i < 0 ? 0.0 : stations[std::min<std::size_t>(i, stations.size() - 1)];
        if (st.detailed && s >= 0.02 && s < 0.20 && std::fabs(ny + 0.15) < 0.2) return lip;  // mouth line
        if (ny > st.whiteLine) return back;
        if (ny > st.whiteLine - 0.25) return blend;
        if (s >= 0.02 && s < 0.50 && (k % 2) == 0) return pleat;
        return belly;
    };
    auto weights = [&](int i, int) {
        const double s = i < 0 ? 0.0 : (i >= static_cast<int>(stations.size()) ? 1.0 : stations[i]);
        return SpineWeights(s);
    };
    AddLoft(sb, 1, lf, colour, weights);
}

// A fin blade lofted along its span from root to tip: each station is a thin
// lens (chord along `chordDir`, thickness along `thickDir`).
struct FinShape {
    Vec3 root;
    Vec3 span;  // root to tip
    Vec3 chordDir, thickDir;
    std::function<double(double)> chord;      // at span fraction u
    std::function<double(double)> chordShift; // leading edge offset along chordDir
    double thickness = 0.23;                  // of the chord
    int stations = 8, around = 6;
};

inline Loft FinLoft(const FinShape& f) {
    Loft lf;
    for (int i = 0; i < f.stations; ++i) {
        const double u = 0.02 + 0.96 * i / (f.stations - 1);
        const Vec3 c = f.root + f.span * u;
        const double ch = f.chord(u);
        const double shift = f.chordShift ? f.chordShift(u) : 0.0;
        std::vector<Vec3> ring;
        for (int k = 0; k < f.around; ++k) {
            const double a = 2 * kPi * k / f.around;
            const double x = 0.5 * ch * std::cos(a) + shift;
            const double y = 0.5 * ch * f.thickness * std::sin(a);
            ring.push_back(c + f.chordDir * x + f.thickDir * y);
        }
        lf.rings.push_back(ring);
    }
    lf.startTip = false;
    lf.endTip = true;
    lf.end = f.root + f.span * 1.0;
    return lf;
}

inline void AddFlippers(SkinBuilder& sb, const WhaleStyle& st) {
    const double L = kWhaleLength;
    const std::uint32_t white = sb.Material(st.fin);
    for (int side = -1; side <= 1; side += 2) {
        const Vec3 dir = whale::FlipperDir(side);
        FinShape f;
        f.root = {side * 0.075 * L, -0.04 * L, WhaleZ(0.30)};
        f.span = dir * (st.flipperLength * L);
        // Chord lies in the plane of the body's axis and the span, roughly
        // along the body; the leading edge faces forward (+z side).
        f.chordDir = Normalise(Cross(Vec3{0, 1, 0}, dir) * static_cast<double>(-side));
        f.thickDir = Normalise(Cross(dir, f.chordDir));
        // Root chord 0.07 L to tip 0.02 L, with leading-edge bumps.
        f.chord = [L](double u) { return (0.07 - 0.05 * u) * L; };
        f.chordShift = [L](double u) { return 0.004 * L * std::max(0.0, std::sin(u * kPi * 4.5)); };
        f.stations = st.detailed ? 10 : 4;
        f.around = st.detailed ? 6 : 4;
        const Loft lf = FinLoft(f);
        const int upper = side < 0 ? 13 : 15, lower = upper + 1;
        const int stations = f.stations;
        auto weights = [&](int i, int) {
            const double u = i >= stations ? 1.0 : 0.02 + 0.96 * i / (stations - 1);
            if (u < 0.25) return Blend(0, upper, u / 0.2);
            return Blend(upper, lower, (u - 0.4) / 0.2);
        };
        AddLoft(sb, side < 0 ? 2 : 3, lf, [&](int, int) { return white; }, weights);
    }
}

inline void AddFlukes(SkinBuilder& sb, const WhaleStyle& st) {
    const double L = kWhaleLength;
    const std::uint32_t top = sb.Material(st.back), under = sb.Material(st.fin);
    for (int side = -1; side <= 1; side += 2) {
        FinShape f;
        f.root = {side * 0.004 * L, 0, WhaleZ(0.955)};
        f.span = Vec3{side * 0.15 * L, 0, 0};
        f.chordDir = {0, 0, 1};
        f.thickDir = {0, 1, 0};
        // Root chord 0.09 L; the leading edge sweeps back, the trailing edge
        // is concave toward the notch.
        f.chord = [L](double u) { return (0.10 - 0.055 * u - 0.01 * std::sin(u * kPi)) * L; };
        f.chordShift = [L](double u) { return -0.0485 * L * u; };  // leading edge swept back about 27 degrees
        f.thickness = 0.14;
        f.stations = st.detailed ? 8 : 3;
        f.around = st.detailed ? 6 : 4;
        const Loft lf = FinLoft(f);
        const int stations = f.stations;
        const int tip = side < 0 ? 11 : 12;
        auto weights = [&](int i, int) {
            const double u = i >= stations ? 1.0 : 0.02 + 0.96 * i / (stations - 1);
            return Blend(10, tip, (u * 0.15 - 0.05) / 0.06);
        };
        const int around = f.around;
        // Underside white, top and edges dark.
        auto colour = [&](int, int k) {
            const double a = 2 * kPi * (k + 0.5) / around;
            return std::sin(a) < -0.5 ? under : top;
        };
        AddLoft(sb, side < 0 ? 4 : 5, lf, colour, weights);
    }
}

inline void AddDorsalFin(SkinBuilder& sb, const WhaleStyle& st) {
    const double L = kWhaleLength;
    const std::uint32_t back = sb.Material(st.back);
    const whale::Section sec = whale::SectionAt(0.68);
    const double topY = (sec.cy + sec.hh * st.height) * L;
    FinShape f;
    f.root = {0, topY - 0.01 * L, WhaleZ(0.675)};
    f.span = Vec3{0, 0.035 * L * st.height, -0.02 * L};
    f.chordDir = {0, 0, 1};
    f.thickDir = {1, 0, 0};
    f.chord = [L](double u) { return (0.05 - 0.04 * u) * L; };
    f.chordShift = [L](double u) { return -0.01 * L * u; };
    f.thickness = 0.3;
    f.stations = 3;
    f.around = 6;
    const Loft lf = FinLoft(f);
    AddLoft(sb, 6, lf, [&](int, int) { return back; }, [&](int, int) { return SpineWeights(0.68); });
}

inline SkinnedModel BuildWhale(const std::string& resource, const std::string& file, const std::string& meshName,
                               const WhaleStyle& st, double phaseShift) {
    SkinBuilder sb(meshName);
    AddBody(sb, st);
    AddFlippers(sb, st);
    AddFlukes(sb, st);
    if (st.detailed) AddDorsalFin(sb, st);
    SkinnedModel m;
    m.resourceName = resource;
    m.fileName = file;
    m.mesh = sb.Build();
    m.weights = sb.Weights();
    m.bones = whale::Rig(st);
    m.phaseShift = phaseShift;
    return m;
}

// The rigid stand-in: the same body at low detail in one colour, fitted to
// the listed extents, with its box collision hull.
inline ModelFile BuildWhaleHull(const std::string& resource, const std::string& file, const Colour& colour,
                                const Box& drawn, const Box& hull, int hullVertices, double flipperLength) {
    WhaleStyle st;
    st.ring = 8;
    st.detailed = false;
    st.pleats = false;
    st.back = st.blend = st.belly = st.pleat = st.fin = st.lip = colour;
    st.flipperLength = flipperLength;
    SkinBuilder sb(file.substr(file.find('/') + 1, file.find('.') - file.find('/') - 1) + "_display");
    AddBody(sb, st);
    AddFlippers(sb, st);
    AddFlukes(sb, st);
    sb.Builder().FitTo(drawn);
    ModelFile m;
    m.resourceName = resource;
    m.fileName = file;
    MeshData display = sb.Build();
    m.meshes.push_back(display);
    m.meshes.push_back(BoxHull(display.name.substr(0, display.name.size() - 8) + "_dammy", hull, hullVertices));
    return m;
}

// --- the X text of a skinned model ------------------------------------------

inline void AppendMatrix(std::string& out, const double (&m)[16]) {
    for (int i = 0; i < 16; ++i) {
        detail::AppendNumber(out, m[i]);
        out += i == 15 ? ";;" : ",";
    }
}

inline void AppendTranslation(std::string& out, Vec3 t) {
    const double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, t.x, t.y, t.z, 1};
    AppendMatrix(out, m);
}

// The key rotation of bone b at key k: pitch, then roll, then yaw.
inline Quat BoneRotation(const SkinnedModel& m, const WhaleBone& b, int k) {
    const int kk = k == m.keys - 1 ? 0 : k;  // the last key repeats the first exactly
    const double t = 2 * kPi * m.beats * static_cast<double>(kk) / (m.keys - 1);
    const double deg = kPi / 180;
    const double pitch = b.pitch * std::sin(t + (b.pitchPhase + m.phaseShift) * deg) * deg;
    const double roll = b.roll * std::sin(t + (b.rollPhase + m.phaseShift) * deg) * deg;
    const double yaw = b.yaw * std::sin(t + (b.yawPhase + m.phaseShift) * deg) * deg;
    Quat q = AxisAngle({1, 0, 0}, -pitch);  // nose up: RotationX(-pitch)
    q = Then(q, AxisAngle({0, 0, 1}, roll));
    q = Then(q, AxisAngle({0, 1, 0}, yaw));
    return q;
}

inline double BoneHeave(const SkinnedModel& m, const WhaleBone& b, int k) {
    const int kk = k == m.keys - 1 ? 0 : k;
    const double t = 2 * kPi * m.beats * static_cast<double>(kk) / (m.keys - 1);
    return b.heave * std::sin(t + (b.heavePhase + m.phaseShift) * kPi / 180);
}

inline std::string WriteSkinnedXFile(const SkinnedModel& m) {
    using detail::AppendNumber;
    using detail::AppendUint;
    std::string out = "xof 0303txt 0032\n";
    out += "// " + m.resourceName + ": generated by tools/gen_whales.cpp; edit the generator, not this file.\n";

    // The mesh text, then the skin added before its closing brace.
    // Colours live in the vertices; one white material keeps the whole
    // whale one attribute group, so it draws with a single call.
    std::string mesh;
    AppendMesh(mesh, m.mesh);
    mesh.resize(mesh.find("\n MeshMaterialList {"));
    mesh += "\n MeshMaterialList {\n  1;\n  ";
    AppendUint(mesh, m.mesh.faces.size());
    mesh += ";\n";
    for (std::size_t f = 0; f < m.mesh.faces.size(); ++f) mesh += f + 1 < m.mesh.faces.size() ? "  0,\n" : "  0;\n";
    mesh += "\n  Material {\n   1.000000;1.000000;1.000000;1.000000;;\n   0.000000;\n   0.000000;0.000000;0.000000;;\n"
            "   0.000000;0.000000;0.000000;;\n  }\n }\n";
    std::vector<std::vector<std::pair<std::uint32_t, double>>> perBone(m.bones.size());
    int maxPerVertex = 0;
    for (std::size_t v = 0; v < m.weights.size(); ++v) {
        const VertexWeights& w = m.weights[v];
        int used = 0;
        for (int j = 0; j < 2; ++j) {
            if (w.weight[j] > 0) {
                perBone[w.bone[j]].emplace_back(static_cast<std::uint32_t>(v), w.weight[j]);
                ++used;
            }
        }
        maxPerVertex = std::max(maxPerVertex, used);
    }
    mesh += "\n XSkinMeshHeader {\n  ";
    AppendUint(mesh, maxPerVertex);
    mesh += ";\n  ";
    AppendUint(mesh, maxPerVertex * 3);
    mesh += ";\n  ";
    AppendUint(mesh, m.bones.size());
    mesh += ";\n }\n";
    for (std::size_t b = 0; b < m.bones.size(); ++b) {
        const auto& list = perBone[b];
        if (list.empty()) throw std::runtime_error(m.resourceName + ": bone " + m.bones[b].name + " moves no vertex");
        mesh += "\n SkinWeights {\n  \"" + m.bones[b].name + "\";\n  ";
        AppendUint(mesh, list.size());
        mesh += ";\n";
        for (std::size_t i = 0; i < list.size(); ++i) {
            mesh += i == 0 ? "  " : ",";
            AppendUint(mesh, list[i].first);
        }
        mesh += ";\n";
        for (std::size_t i = 0; i < list.size(); ++i) {
            mesh += i == 0 ? "  " : ",";
            AppendNumber(mesh, list[i].second);
        }
        mesh += ";\n  ";
        // Offset: model space to bone space in the bind pose (bones carry
        // translations only, so this is the pivot's negation).
        AppendTranslation(mesh, m.bones[b].pivot * -1.0);
        mesh += "\n }\n";
    }
    mesh += "}\n";

    // Frames: the static top frame holds the mesh and the bone tree.
    std::vector<std::vector<int>> children(m.bones.size());
    std::vector<int> tops;
    for (std::size_t b = 0; b < m.bones.size(); ++b) {
        if (m.bones[b].parent < 0) {
            tops.push_back(static_cast<int>(b));
        } else {
            children[m.bones[b].parent].push_back(static_cast<int>(b));
        }
    }
    std::function<void(int, int)> frame = [&](int b, int depth) {
        const std::string pad(static_cast<std::size_t>(depth), ' ');
        const WhaleBone& bone = m.bones[b];
        const Vec3 parentPivot = bone.parent < 0 ? Vec3{} : m.bones[bone.parent].pivot;
        out += pad + "Frame " + bone.name + " {\n" + pad + " FrameTransformMatrix {\n" + pad + "  ";
        AppendTranslation(out, bone.pivot - parentPivot);
        out += "\n" + pad + " }\n";
        for (int c : children[b]) frame(c, depth + 1);
        out += pad + "}\n";
    };
    out += "\nFrame Whale {\n FrameTransformMatrix {\n  ";
    AppendTranslation(out, {0, 0, 0});
    out += "\n }\n";
    for (int t : tops) frame(t, 1);
    out += "\n" + mesh + "}\n";

    // One animation set: every animated bone gets a rotation track, a bone
    // that heaves also a position track.
    out += "\nAnimationSet Swim {\n";
    for (const WhaleBone& b : m.bones) {
        if (!b.animated) continue;
        out += " Animation {\n  { " + b.name + " }\n  AnimationKey {\n   0;\n   ";
        AppendUint(out, m.keys);
        out += ";\n";
        for (int k = 0; k < m.keys; ++k) {
            const Quat q = BoneRotation(m, b, k);
            out += "   ";
            AppendUint(out, std::uint64_t{m.keyStep} * k);
            out += ";4;";
            // Stored as (x, y, z, -w), written w first.
            AppendNumber(out, -q.w);
            out += ',';
            AppendNumber(out, q.x);
            out += ',';
            AppendNumber(out, q.y);
            out += ',';
            AppendNumber(out, q.z);
            out += k + 1 < m.keys ? ";;,\n" : ";;;\n";
        }
        out += "  }\n";
        if (b.heave != 0) {
            const Vec3 rest = b.parent < 0 ? b.pivot : b.pivot - m.bones[b.parent].pivot;
            out += "  AnimationKey {\n   2;\n   ";
            AppendUint(out, m.keys);
            out += ";\n";
            for (int k = 0; k < m.keys; ++k) {
                out += "   ";
                AppendUint(out, std::uint64_t{m.keyStep} * k);
                out += ";3;";
                AppendNumber(out, rest.x);
                out += ',';
                AppendNumber(out, rest.y + BoneHeave(m, b, k));
                out += ',';
                AppendNumber(out, rest.z);
                out += k + 1 < m.keys ? ";;,\n" : ";;;\n";
            }
            out += "  }\n";
        }
        out += " }\n";
    }
    out += "}\n";
    return out;
}

// The small skinned model the application loads and never draws: a box of
// two bones that bends once a second.
inline SkinnedModel BuildDammy() {
    SkinBuilder sb("Dammy_display");
    const std::uint32_t mat = sb.Material({0.8, 0.8, 0.8});
    Loft lf;
    for (int i = 0; i < 3; ++i) {
        std::vector<Vec3> ring;
        for (int k = 0; k < 4; ++k) {
            const double a = 2 * kPi * (k + 0.5) / 4;
            ring.push_back({0.5 * std::sin(a), 0.5 * std::cos(a), 1.0 - i});
        }
        lf.rings.push_back(ring);
    }
    lf.startTip = lf.endTip = true;
    lf.start = {0, 0, 1.4};
    lf.end = {0, 0, -1.4};
    AddLoft(sb, 1, lf, [&](int, int) { return mat; },
            [](int i, int) { return i <= 0 ? Blend(0, 0, 0) : (i == 1 ? Blend(0, 1, 0.5) : Blend(1, 1, 0)); });
    SkinnedModel m;
    m.resourceName = "Dammy.x";
    m.fileName = "models/dammy.x";
    m.mesh = sb.Build();
    m.weights = sb.Weights();
    m.bones = {{"DammyRoot", -1, {0, 0, 0.5}, 10, 0}, {"DammyTail", 0, {0, 0, -0.5}, 20, 90}};
    m.loopTicks = 4800;
    m.keyStep = 1200;
    m.keys = 5;
    m.beats = 1;
    return m;
}

inline std::vector<SkinnedModel> BuildSkinnedWhales() {
    WhaleStyle first;
    WhaleStyle second;
    second.width = 1.07;
    second.height = 1.04;
    second.whiteLine = 0.05;  // more white up the flanks
    second.back = {100 / 255.0, 104 / 255.0, 114 / 255.0};  // a darker, warmer grey
    second.blend = {150 / 255.0, 154 / 255.0, 162 / 255.0};
    WhaleStyle guide;
    guide.flipperLength = 0.32;
    guide.back = {70 / 255.0, 120 / 255.0, 200 / 255.0};  // a clear blue: the one to follow
    guide.blend = {130 / 255.0, 168 / 255.0, 220 / 255.0};
    guide.belly = {232 / 255.0, 238 / 255.0, 246 / 255.0};
    guide.pleat = {176 / 255.0, 196 / 255.0, 226 / 255.0};
    guide.whiteLine = -0.1;
    std::vector<SkinnedModel> out;
    out.push_back(BuildWhale("WHALESKINNED01.X", "models/whaleskinned01.x", "Whale01_display", first, 0));
    out.push_back(BuildWhale("WHALESKINNED02.X", "models/whaleskinned02.x", "Whale02_display", second, 180));
    out.push_back(BuildWhale("WHALESKINNED03.X", "models/whaleskinned03.x", "Whale03_display", guide, 90));
    out.push_back(BuildDammy());
    return out;
}

inline std::vector<ModelFile> BuildWhaleHulls() {
    return {
        BuildWhaleHull("WHALEDAMMY.X", "models/whaledammy.x", {1, 1, 1, 1}, MakeBox(-2.27, 2.28, -0.96, 0.94, -5.53, 3.98),
                       MakeBox(-1.96, 1.91, -0.96, 1.04, -6.55, 4.85), 20, 0.28),
        BuildWhaleHull("WHALEDAMMY2.X", "models/whaledammy2.x", {0.863, 0.863, 1, 1},
                       MakeBox(-2.14, 1.99, -1.17, 1.05, -5.37, 3.99), MakeBox(-2.04, 1.94, -1.00, 1.00, -5.81, 4.27), 14,
                       0.28),
    };
}

}  // namespace content

// The X text of a rigid hull, naming this generator.
namespace content {
inline std::string WriteWhaleHullXFile(const ModelFile& m) {
    std::string text = WriteXFile(m);
    const std::string from = "tools/gen_models.cpp", to = "tools/gen_whales.cpp";
    const std::size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}
}  // namespace content
