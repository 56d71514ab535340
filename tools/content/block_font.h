// A small built-in block font for the model generators: upper-case letters
// drawn as thick strokes on a grid, turned into non-overlapping convex
// polygons that lie flat in a plane. Built from code only (no font files),
// so the text meshes are the same on every machine.
//
// Glyph units: cap height 6, stroke width 1, most letters 3.5 wide (M and W
// 4.5, I 1), baseline at 0, u to the right and v up as read. Strokes are
// polylines along the stroke centre with mitred joints and square ends; the
// pieces of a glyph are then made disjoint (later pieces lose what earlier
// ones cover) and clipped to the glyph's box, so a glyph never covers a spot
// twice: with alpha-blended distance fade, overlapping coplanar triangles
// would show as darker or brighter spots.
#pragma once

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/content/xwriter.h"

namespace content {

using Poly2 = std::vector<Vec2>;  // convex, counter-clockwise in (u, v)

namespace font_detail {

inline double Cross2(Vec2 o, Vec2 a, Vec2 b) { return (a.u - o.u) * (b.v - o.v) - (a.v - o.v) * (b.u - o.u); }

inline double Area(const Poly2& p) {
    double a = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const Vec2 s = p[i], t = p[(i + 1) % p.size()];
        a += s.u * t.v - t.u * s.v;
    }
    return 0.5 * a;
}

// Drops repeated and collinear corners, so fans of the result have no
// zero-area triangles.
inline Poly2 Clean(const Poly2& in) {
    Poly2 p;
    for (const Vec2& v : in) {
        if (p.empty() || std::hypot(v.u - p.back().u, v.v - p.back().v) > 1e-7) p.push_back(v);
    }
    while (p.size() > 1 && std::hypot(p.front().u - p.back().u, p.front().v - p.back().v) <= 1e-7) p.pop_back();
    bool changed = true;
    while (changed && p.size() >= 3) {
        changed = false;
        for (std::size_t i = 0; i < p.size(); ++i) {
            const Vec2 a = p[(i + p.size() - 1) % p.size()], b = p[i], c = p[(i + 1) % p.size()];
            if (std::fabs(Cross2(a, b, c)) < 1e-7) {
                p.erase(p.begin() + static_cast<std::ptrdiff_t>(i));
                changed = true;
                break;
            }
        }
    }
    return p.size() >= 3 ? p : Poly2{};
}

// The part of p on the left of the directed line a->b (the inside of a
// counter-clockwise polygon's edge).
inline Poly2 ClipLeft(const Poly2& p, Vec2 a, Vec2 b) {
    Poly2 out;
    const std::size_t n = p.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Vec2 s = p[i], e = p[(i + 1) % n];
        const double ds = Cross2(a, b, s), de = Cross2(a, b, e);
        if (ds >= 0) out.push_back(s);
        if ((ds >= 0) != (de >= 0)) {
            const double t = ds / (ds - de);
            out.push_back({s.u + (e.u - s.u) * t, s.v + (e.v - s.v) * t});
        }
    }
    return out;
}

// q minus the convex polygon e, as disjoint convex pieces; q itself when
// the two only touch.
inline std::vector<Poly2> Subtract(const Poly2& q, const Poly2& e) {
    Poly2 common = q;
    for (std::size_t i = 0; i < e.size() && common.size() >= 3; ++i) common = ClipLeft(common, e[i], e[(i + 1) % e.size()]);
    common = Clean(common);
    if (common.size() < 3 || Area(common) < 2e-3) return {q};
    std::vector<Poly2> pieces;
    Poly2 rest = q;
    for (std::size_t i = 0; i < e.size() && rest.size() >= 3; ++i) {
        const Vec2 a = e[i], b = e[(i + 1) % e.size()];
        Poly2 outside = Clean(ClipLeft(rest, b, a));
        if (outside.size() >= 3 && Area(outside) > 2e-3) pieces.push_back(outside);
        rest = Clean(ClipLeft(rest, a, b));
    }
    return pieces;
}

inline Poly2 MakeCCW(Poly2 p) {
    if (Area(p) < 0) p = Poly2(p.rbegin(), p.rend());
    return p;
}

inline Vec2 Sub(Vec2 a, Vec2 b) { return {a.u - b.u, a.v - b.v}; }
inline Vec2 Add(Vec2 a, Vec2 b) { return {a.u + b.u, a.v + b.v}; }
inline Vec2 Mul(Vec2 a, double s) { return {a.u * s, a.v * s}; }
inline Vec2 Unit(Vec2 a) {
    const double l = std::hypot(a.u, a.v);
    return {a.u / l, a.v / l};
}
inline Vec2 LeftNormal(Vec2 d) { return {-d.v, d.u}; }

// Where the offset lines of two consecutive segments meet (the mitre point),
// at signed offset h from the centre line.
inline Vec2 Mitre(Vec2 prev, Vec2 at, Vec2 next, double h) {
    const Vec2 d0 = Unit(Sub(at, prev)), d1 = Unit(Sub(next, at));
    const Vec2 n0 = LeftNormal(d0), n1 = LeftNormal(d1);
    const Vec2 m = Unit(Add(n0, n1));
    const double c = m.u * n0.u + m.v * n0.v;
    return Add(at, Mul(m, h / c));
}

// The quads of a thick polyline: mitred inner joints; open ends are square,
// extended by half the width (the last one flush with the point when
// squareEnd is false); a closed polyline joins its last point to its first.
inline std::vector<Poly2> Stroke(const std::vector<Vec2>& pts, bool closed, double width, bool squareEnd) {
    const double h = width * 0.5;
    const std::size_t n = pts.size();
    std::vector<Vec2> left(n), right(n);
    for (std::size_t i = 0; i < n; ++i) {
        const bool first = i == 0, last = i + 1 == n;
        if (!closed && (first || last)) {
            const Vec2 d = first ? Unit(Sub(pts[1], pts[0])) : Unit(Sub(pts[n - 1], pts[n - 2]));
            const double extend = first ? -h : (squareEnd ? h : 0.0);
            const Vec2 end = Add(pts[i], Mul(d, extend));
            left[i] = Add(end, Mul(LeftNormal(d), h));
            right[i] = Add(end, Mul(LeftNormal(d), -h));
        } else {
            const Vec2 prev = pts[(i + n - 1) % n], next = pts[(i + 1) % n];
            left[i] = Mitre(prev, pts[i], next, h);
            right[i] = Mitre(prev, pts[i], next, -h);
        }
    }
    std::vector<Poly2> quads;
    const std::size_t segs = closed ? n : n - 1;
    for (std::size_t i = 0; i < segs; ++i) {
        const std::size_t j = (i + 1) % n;
        quads.push_back(MakeCCW({right[i], right[j], left[j], left[i]}));
    }
    return quads;
}

}  // namespace font_detail

struct Glyph {
    double advance = 0;          // width of the glyph box
    std::vector<Poly2> pieces;  // disjoint, convex, counter-clockwise
};

// One glyph of the block font; throws for a character it does not have.
inline Glyph BlockGlyph(char ch) {
    using namespace font_detail;
    constexpr double l = 0.5, b = 0.5, t = 5.5, m = 3.0, k = 0.8;
    double w = 3.5;
    if (ch == 'M' || ch == 'W') w = 4.5;
    if (ch == 'I') w = 1.0;
    if (ch == ' ') w = 2.5;
    const double r = w - 0.5, c = w * 0.5;
    struct Line {
        std::vector<Vec2> pts;
        bool closed;
        bool squareEnd;  // false: the last point ends the stroke flat (it meets another stroke there)
    };
    std::vector<Line> lines;
    auto open = [&](std::vector<Vec2> p) { lines.push_back({std::move(p), false, true}); };
    auto join = [&](std::vector<Vec2> p) { lines.push_back({std::move(p), false, false}); };
    auto loop = [&](std::vector<Vec2> p) { lines.push_back({std::move(p), true, true}); };
    switch (ch) {
        case ' ': break;
        case 'A':
            open({{l, 0}, {l, t - k}, {l + k, t}, {r - k, t}, {r, t - k}, {r, 0}});
            open({{l, m}, {r, m}});
            break;
        case 'B':
            open({{l, m}, {l, t}, {r - k, t}, {r, t - k}, {r, m + 0.6}, {r - 0.6, m}, {l, m}});
            open({{r - 0.6, m}, {r, m - 0.6}, {r, b + k}, {r - k, b}, {l, b}, {l, m}});
            break;
        case 'C': open({{r, t}, {l + k, t}, {l, t - k}, {l, b + k}, {l + k, b}, {r, b}}); break;
        case 'D': loop({{l, b}, {l, t}, {r - k, t}, {r, t - k}, {r, b + k}, {r - k, b}}); break;
        case 'E':
            open({{r, t}, {l, t}, {l, b}, {r, b}});
            open({{l, m}, {r - 0.5, m}});
            break;
        case 'F':
            open({{r, t}, {l, t}, {l, 0}});
            open({{l, m}, {r - 0.5, m}});
            break;
        case 'G':
            open({{r, t}, {l + k, t}, {l, t - k}, {l, b + k}, {l + k, b}, {r - k, b}, {r, b + k}, {r, m}, {c, m}});
            break;
        case 'H':
            open({{l, 0}, {l, 6}});
            open({{r, 0}, {r, 6}});
            open({{l, m}, {r, m}});
            break;
        case 'I': open({{0.5, 0}, {0.5, 6}}); break;
        case 'J': open({{r, 6}, {r, b + k}, {r - k, b}, {l + k, b}, {l, b + k}, {l, 1.8}}); break;
        case 'K':
            open({{l, 0}, {l, 6}});
            join({{r, 6}, {r, t}, {l + 0.5, m - 0.3}});
            open({{l + 1.0, m + 0.4}, {r, b}, {r, 0}});
            break;
        case 'L': open({{l, 6}, {l, b}, {r, b}}); break;
        case 'M':
            open({{l, 0}, {l, 6}});
            open({{r, 0}, {r, 6}});
            open({{l, t}, {c, m - 0.4}, {r, t}});
            break;
        case 'N':
            open({{l, 0}, {l, 6}});
            open({{r, 0}, {r, 6}});
            open({{l, t}, {r, b}});
            break;
        case 'O': loop({{l + k, b}, {r - k, b}, {r, b + k}, {r, t - k}, {r - k, t}, {l + k, t}, {l, t - k}, {l, b + k}}); break;
        case 'P': open({{l, 0}, {l, t}, {r - k, t}, {r, t - k}, {r, m + k}, {r - k, m}, {l, m}}); break;
        case 'R':
            open({{l, 0}, {l, t}, {r - k, t}, {r, t - k}, {r, m + k}, {r - k, m}, {l, m}});
            open({{c - 0.2, m - 0.3}, {r, b}, {r, 0}});
            break;
        case 'S':
            open({{r, t}, {l + k, t}, {l, t - k}, {l, m + 0.6}, {l + 0.6, m}, {r - 0.6, m}, {r, m - 0.6}, {r, b + k},
                  {r - k, b}, {l, b}});
            break;
        case 'T':
            open({{l, t}, {r, t}});
            open({{c, t}, {c, 0}});
            break;
        case 'U': open({{l, 6}, {l, b + k}, {l + k, b}, {r - k, b}, {r, b + k}, {r, 6}}); break;
        case 'V':
            open({{l, 6}, {l, t}, {c, b}, {r, t}, {r, 6}});
            break;
        case 'W':
            open({{l, 0}, {l, 6}});
            open({{r, 0}, {r, 6}});
            open({{l, b}, {c, m + 0.4}, {r, b}});
            break;
        case 'X':
            open({{l, 6}, {l, t}, {r, b}, {r, 0}});
            open({{r, 6}, {r, t}, {l, b}, {l, 0}});
            break;
        case 'Y':
            open({{l, 6}, {l, t}, {c, m}, {c, 0}});
            join({{r, 6}, {r, t}, {c, m}});
            break;
        case 'Z':
            open({{l, t}, {r, t}});
            open({{r, t}, {l, b}});
            open({{l, b}, {r, b}});
            break;
        default: throw std::runtime_error(std::string("block font has no glyph for '") + ch + "'");
    }
    Glyph g;
    g.advance = w;
    const Poly2 box = {{0, 0}, {w, 0}, {w, 6}, {0, 6}};
    for (const Line& line : lines) {
        for (const Poly2& quad : Stroke(line.pts, line.closed, 1.0, line.squareEnd)) {
            Poly2 clipped = quad;
            for (std::size_t i = 0; i < box.size(); ++i) clipped = ClipLeft(clipped, box[i], box[(i + 1) % box.size()]);
            clipped = Clean(clipped);
            if (clipped.size() < 3 || Area(clipped) < 2e-3) continue;
            std::vector<Poly2> fresh = {clipped};
            for (const Poly2& earlier : g.pieces) {
                std::vector<Poly2> next;
                for (const Poly2& f : fresh) {
                    for (Poly2& piece : Subtract(f, earlier)) next.push_back(std::move(piece));
                }
                fresh = std::move(next);
            }
            for (Poly2& f : fresh) g.pieces.push_back(std::move(f));
        }
    }
    for (const Poly2& p : g.pieces) {
        for (std::size_t i = 0; i < p.size(); ++i) {
            if (Cross2(p[i], p[(i + 1) % p.size()], p[(i + 2) % p.size()]) <= 0)
                throw std::runtime_error(std::string("glyph '") + ch + "' has a piece that is not convex");
        }
    }
    return g;
}

// A line of text laid out from u = 0, glyphs `gap` apart, in glyph units.
struct TextLayout {
    double width = 0;
    std::vector<Poly2> pieces;
};

inline TextLayout LayoutText(const std::string& text, double gap) {
    TextLayout out;
    double u = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph g = BlockGlyph(text[i]);
        for (const Poly2& p : g.pieces) {
            Poly2 moved = p;
            for (Vec2& v : moved) v.u += u;
            out.pieces.push_back(std::move(moved));
        }
        u += g.advance;
        if (i + 1 < text.size()) u += gap;
    }
    out.width = u;
    return out;
}

}  // namespace content
