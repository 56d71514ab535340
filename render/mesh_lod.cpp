// Half-edge collapses ordered by quadric error (load time only).
#include "render/mesh_lod.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <queue>
#include <tuple>
#include <utility>

namespace {

using Vec = std::array<double, 3>;

Vec Sub(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double Dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// The symmetric 4 x 4 error quadric of a set of planes: q(p) = sum of the
// squared distances of p from the planes (each weighted by its triangle's area).
struct Quadric {
    double a[10] = {};  // xx xy xz xw yy yz yw zz zw ww
    void AddPlane(const Vec& n, double d, double w) {
        const double p[4] = {n[0], n[1], n[2], d};
        int k = 0;
        for (int i = 0; i < 4; ++i) {
            for (int j = i; j < 4; ++j) a[k++] += w * p[i] * p[j];
        }
    }
    void Add(const Quadric& o) {
        for (int i = 0; i < 10; ++i) a[i] += o.a[i];
    }
    double Error(const Vec& v) const {
        const double p[4] = {v[0], v[1], v[2], 1.0};
        double e = 0.0;
        int k = 0;
        for (int i = 0; i < 4; ++i) {
            for (int j = i; j < 4; ++j) e += (i == j ? 1.0 : 2.0) * a[k++] * p[i] * p[j];
        }
        return e;
    }
};

struct Candidate {
    double cost;
    std::uint32_t from, to;
    std::uint32_t fromVersion, toVersion;
    bool operator>(const Candidate& o) const { return cost > o.cost; }
};

// Collapses run between position groups: the vertices that share one
// position (the copies of a seam, one per side) are one group. A group's
// vertices ("wedges") keep their own attributes; a collapse moves each wedge
// of the removed group onto the wedge of the kept group that it shares a
// triangle with, so both sides of a seam move together and no crack opens.
// Without seam collapses every vertex is a group of its own and a vertex whose
// position another vertex shares is locked.
class Simplifier {
public:
    Simplifier(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices, bool collapseSeams)
        : m_wedges(positions.size() / 3), m_group(m_wedges), m_faces(indices.size() / 3), m_alive(m_faces, true) {
        // Position groups: sorted by position, equal neighbours in that order share it.
        std::vector<std::uint32_t> order(m_wedges);
        for (std::size_t v = 0; v < m_wedges; ++v) order[v] = static_cast<std::uint32_t>(v);
        auto key = [&](std::uint32_t v) { return std::tie(positions[3 * v], positions[3 * v + 1], positions[3 * v + 2]); };
        std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return key(a) < key(b); });
        // A group is numbered by its first wedge, in wedge order.
        std::vector<bool> shared(m_wedges, false);
        std::vector<std::uint32_t> first(m_wedges);
        for (std::size_t v = 0; v < m_wedges; ++v) first[v] = static_cast<std::uint32_t>(v);
        for (std::size_t i = 1; i < m_wedges; ++i) {
            if (key(order[i]) != key(order[i - 1])) continue;
            shared[order[i]] = shared[order[i - 1]] = true;
            if (collapseSeams) first[order[i]] = std::min(first[order[i]], first[order[i - 1]]);
        }
        // Equal positions are consecutive in `order`: carry the smallest forward, then back.
        for (std::size_t i = m_wedges; collapseSeams && i-- > 1;) {
            if (key(order[i]) == key(order[i - 1])) first[order[i - 1]] = first[order[i]];
        }
        for (std::size_t v = 0; v < m_wedges; ++v) {
            if (first[v] == v) {
                m_group[v] = static_cast<std::uint32_t>(m_groups++);
                m_pos.push_back({positions[3 * v], positions[3 * v + 1], positions[3 * v + 2]});
            } else {
                m_group[v] = m_group[first[v]];
            }
        }
        m_adjacent.resize(m_groups);
        m_locked.assign(m_groups, false);
        m_removed.assign(m_groups, false);
        m_version.assign(m_groups, 0);
        m_quadric.resize(m_groups);
        if (!collapseSeams) {
            for (std::size_t v = 0; v < m_wedges; ++v) m_locked[m_group[v]] = m_locked[m_group[v]] || shared[v];
        }
        // Open edges (not exactly two triangles between two groups) lock both ends.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> edges;
        edges.reserve(indices.size());
        m_face.reserve(indices.size());
        for (std::size_t f = 0; f < m_faces; ++f) {
            for (int k = 0; k < 3; ++k) m_face.push_back(indices[3 * f + k]);
            if (!InRange(f)) {
                m_alive[f] = false;  // a broken index: the triangle is dropped, never read
                continue;
            }
            for (int k = 0; k < 3; ++k) {
                std::uint32_t a = GroupAt(f, k), b = GroupAt(f, (k + 1) % 3);
                if (a > b) std::swap(a, b);
                edges.emplace_back(a, b);
            }
        }
        std::sort(edges.begin(), edges.end());
        for (std::size_t i = 0; i < edges.size();) {
            std::size_t j = i;
            while (j < edges.size() && edges[j] == edges[i]) ++j;
            if (j - i != 2) m_locked[edges[i].first] = m_locked[edges[i].second] = true;
            i = j;
        }
        for (std::size_t f = 0; f < m_faces; ++f) {
            if (!m_alive[f]) continue;
            const std::uint32_t g[3] = {GroupAt(f, 0), GroupAt(f, 1), GroupAt(f, 2)};
            const Vec n = Cross(Sub(m_pos[g[1]], m_pos[g[0]]), Sub(m_pos[g[2]], m_pos[g[0]]));
            const double length = std::sqrt(Dot(n, n));
            for (int k = 0; k < 3; ++k) m_adjacent[g[k]].push_back(static_cast<std::uint32_t>(f));
            if (length <= 0.0) continue;
            const Vec unit = {n[0] / length, n[1] / length, n[2] / length};
            for (int k = 0; k < 3; ++k) m_quadric[g[k]].AddPlane(unit, -Dot(unit, m_pos[g[0]]), 0.5 * length);
        }
        m_aliveFaces = 0;
        for (std::size_t f = 0; f < m_faces; ++f) m_aliveFaces += m_alive[f] ? 1 : 0;
    }

    std::vector<std::uint32_t> Run(std::size_t target) {
        for (std::uint32_t g = 0; g < m_groups; ++g) PushFrom(g);
        while (m_aliveFaces > target && !m_heap.empty()) {
            const Candidate c = m_heap.top();
            m_heap.pop();
            if (m_removed[c.from] || m_removed[c.to] || m_version[c.from] != c.fromVersion ||
                m_version[c.to] != c.toVersion || !Collapse(c.from, c.to)) {
                continue;
            }
            Neighbours(c.to, &m_around);
            for (std::uint32_t w : m_around) PushFrom(w);
            PushFrom(c.to);
        }
        std::vector<std::uint32_t> out;
        out.reserve(m_aliveFaces * 3);
        for (std::size_t f = 0; f < m_faces; ++f) {
            if (m_alive[f]) out.insert(out.end(), &m_face[3 * f], &m_face[3 * f] + 3);
        }
        return out;
    }

private:
    bool InRange(std::size_t f) const {
        return m_face[3 * f] < m_wedges && m_face[3 * f + 1] < m_wedges && m_face[3 * f + 2] < m_wedges;
    }
    std::uint32_t GroupAt(std::size_t f, int k) const { return m_group[m_face[3 * f + k]]; }

    // The groups that share a live triangle with g, into `n` (cleared first).
    void Neighbours(std::uint32_t g, std::vector<std::uint32_t>* out) const {
        std::vector<std::uint32_t>& n = *out;
        n.clear();
        for (std::uint32_t f : m_adjacent[g]) {
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t w = GroupAt(f, k);
                if (w != g && std::find(n.begin(), n.end(), w) == n.end()) n.push_back(w);
            }
        }
    }

    void PushFrom(std::uint32_t u) {
        if (m_locked[u] || m_removed[u]) return;
        Neighbours(u, &m_scratchU);
        for (std::uint32_t v : m_scratchU) {
            Quadric q = m_quadric[u];
            q.Add(m_quadric[v]);
            m_heap.push({q.Error(m_pos[v]), u, v, m_version[u], m_version[v]});
        }
    }

    // The wedge of group g in triangle f.
    std::uint32_t WedgeIn(std::uint32_t f, std::uint32_t g) const {
        for (int k = 0; k < 3; ++k) {
            if (GroupAt(f, k) == g) return m_face[3 * f + k];
        }
        return 0;
    }

    // Moves group u onto group v when the surface stays a manifold, no
    // triangle turns over and every wedge of u has one wedge of v to go to.
    bool Collapse(std::uint32_t u, std::uint32_t v) {
        Neighbours(u, &m_scratchU);
        Neighbours(v, &m_scratchV);
        std::size_t common = 0, shared = 0;
        for (std::uint32_t w : m_scratchU) common += std::find(m_scratchV.begin(), m_scratchV.end(), w) != m_scratchV.end() ? 1 : 0;
        for (std::uint32_t f : m_adjacent[u]) shared += HasGroup(f, v) ? 1 : 0;
        if (shared == 0 || common != shared) return false;  // not an edge, or the collapse would pinch the surface
        // Each wedge of u goes to the wedge of v it shares a triangle with.
        m_moves.clear();
        for (std::uint32_t f : m_adjacent[u]) {
            if (!HasGroup(f, v)) continue;
            const std::uint32_t from = WedgeIn(f, u), to = WedgeIn(f, v);
            bool known = false;
            for (const auto& [a, b] : m_moves) {
                if (a != from) continue;
                if (b != to) return false;  // one wedge would split in two
                known = true;
            }
            if (!known) m_moves.emplace_back(from, to);
        }
        for (std::uint32_t f : m_adjacent[u]) {
            if (HasGroup(f, v)) continue;
            const std::uint32_t from = WedgeIn(f, u);
            if (std::none_of(m_moves.begin(), m_moves.end(), [&](const auto& m) { return m.first == from; })) {
                return false;  // a side of u that v does not have: the seam would move
            }
            Vec p[3], q[3];
            for (int k = 0; k < 3; ++k) {
                const std::uint32_t g = GroupAt(f, k);
                p[k] = m_pos[g];
                q[k] = g == u ? m_pos[v] : p[k];
            }
            const Vec before = Cross(Sub(p[1], p[0]), Sub(p[2], p[0]));
            const Vec after = Cross(Sub(q[1], q[0]), Sub(q[2], q[0]));
            const double la = std::sqrt(Dot(after, after)), lb = std::sqrt(Dot(before, before));
            if (la <= 1e-12 * (lb + 1e-30) || Dot(before, after) < 0.3 * la * lb) return false;
        }
        for (std::uint32_t f : m_adjacent[u]) {
            if (HasGroup(f, v)) {
                m_alive[f] = false;
                --m_aliveFaces;
                for (int k = 0; k < 3; ++k) {
                    const std::uint32_t w = GroupAt(f, k);
                    if (w == u) continue;
                    auto& list = m_adjacent[w];
                    list.erase(std::remove(list.begin(), list.end(), f), list.end());
                }
            } else {
                for (int k = 0; k < 3; ++k) {
                    std::uint32_t& w = m_face[3 * f + k];
                    if (m_group[w] != u) continue;
                    for (const auto& [a, b] : m_moves) {
                        if (a == w) {
                            w = b;
                            break;
                        }
                    }
                }
                m_adjacent[v].push_back(f);
            }
        }
        m_adjacent[u].clear();
        m_removed[u] = true;
        m_quadric[v].Add(m_quadric[u]);
        ++m_version[u];
        ++m_version[v];
        return true;
    }

    bool HasGroup(std::uint32_t f, std::uint32_t g) const {
        return GroupAt(f, 0) == g || GroupAt(f, 1) == g || GroupAt(f, 2) == g;
    }

    std::size_t m_wedges;
    std::vector<std::uint32_t> m_group;  // per wedge: its position group
    std::size_t m_groups = 0;
    std::vector<Vec> m_pos;  // per group
    std::size_t m_faces;
    std::vector<std::uint32_t> m_face;  // three wedges per triangle, updated by collapses
    std::vector<bool> m_alive;
    std::size_t m_aliveFaces = 0;
    std::vector<std::vector<std::uint32_t>> m_adjacent;  // live triangles per group
    std::vector<bool> m_locked;
    std::vector<bool> m_removed;
    std::vector<std::uint32_t> m_version;
    std::vector<Quadric> m_quadric;
    std::priority_queue<Candidate, std::vector<Candidate>, std::greater<Candidate>> m_heap;
    std::vector<std::uint32_t> m_around, m_scratchU, m_scratchV;  // neighbour lists, reused
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_moves;  // wedge of u -> wedge of v, per collapse
};

}  // namespace

std::vector<std::uint32_t> SimplifyMesh(const std::vector<float>& positions, const std::vector<std::uint32_t>& indices,
                                        std::size_t targetTriangles, bool collapseSeams) {
    if (positions.size() < 9 || indices.size() < 3) return indices;
    // A position that is not a number cannot be ordered or measured: left as it is.
    for (float p : positions) {
        if (!std::isfinite(p)) return indices;
    }
    return Simplifier(positions, indices, collapseSeams).Run(targetTriangles);
}

std::vector<std::vector<std::uint32_t>> SimplifyLevels(const std::vector<float>& positions,
                                                       const std::vector<std::uint32_t>& indices,
                                                       std::span<const float> shares) {
    std::vector<std::vector<std::uint32_t>> levels;
    const std::size_t faces = indices.size() / 3;
    const std::vector<std::uint32_t>* previous = &indices;
    for (std::size_t level = 0; level < shares.size(); ++level) {
        const auto target = static_cast<std::size_t>(static_cast<float>(faces) * shares[level]);
        std::vector<std::uint32_t> lod = SimplifyMesh(positions, *previous, target, level > 0);
        if (lod.empty() || lod.size() >= previous->size()) break;
        levels.push_back(std::move(lod));
        previous = &levels.back();
    }
    return levels;
}
