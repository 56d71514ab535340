// The camera path: loading, coefficients, evaluation, and moving it onto
// the school's centre. See ferguson.h (the rig that rides it: camera_rig.h).
#include "flock/ferguson.h"

#include <cmath>
#include <cstring>
#include <new>

#include "core/errlog.h"
#include "platform/base/alloc.h"
#include "platform/os/resource.h"

namespace {

constexpr std::size_t kPointBytes = 12;
// Farthest coordinate a path point may have, world units: far beyond the
// scene (fog ends at 10000), and small enough that the cubic coefficients and
// their sums stay finite in float.
constexpr float kMaxCoordinate = 1.0e6f;

float ReadFloat(const std::uint8_t* p) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

void Coefficients(const D3DXVECTOR3* points, int n, Ferguson::Segment* out) {
    for (int i = 0; i < n; ++i) {
        const D3DXVECTOR3& p0 = points[i];
        const D3DXVECTOR3& p1 = points[(i + 1) % n];
        const D3DXVECTOR3& p2 = points[(i + 2) % n];
        const D3DXVECTOR3 t0 = p1 - p0;
        const D3DXVECTOR3 t1 = p2 - p1;
        out[i].a = p0 * 2.0f - p1 * 2.0f + t0 + t1;
        out[i].b = p0 * -3.0f + p1 * 3.0f - t0 * 2.0f - t1;
        out[i].c = t0;
        out[i].d = p0;
    }
}

D3DXVECTOR3 Cubic(const Ferguson::Segment& s, float u, float u2, float u3) {
    return D3DXVECTOR3(((s.a.x * u3 + s.b.x * u2) + s.c.x * u) + s.d.x,
                       ((s.a.y * u3 + s.b.y * u2) + s.c.y * u) + s.d.y,
                       ((s.a.z * u3 + s.b.z * u2) + s.c.z * u) + s.d.z);
}

}  // namespace

HRESULT Ferguson::InitDeviceObjects(const char* name, ErrLog* log) {
    ResourceData res;
    if (FAILED(ObjectStep(log, "\t\tFindResource...\n", "\t\tFailed\n",
                          [&] { return static_cast<bool>(res = name ? FindResourceData(name, "MISC") : ResourceData{}); })) ||
        FAILED(ObjectStep(log, "\t\tLoadResource...\n", "\t\tFailed\n", [&] { return Load(res.data, res.size); }))) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT Ferguson::Load(const std::uint8_t* bytes, std::size_t size) {
    DeleteDeviceObjects();
    if (!bytes || size < 4) return E_FAIL;
    std::int32_t count;
    std::memcpy(&count, bytes, sizeof count);
    if (count < 1 || static_cast<std::size_t>(count) > (size - 4) / kPointBytes) return E_FAIL;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count) * 3; ++i) {
        if (!(std::fabs(ReadFloat(bytes + 4 + i * 4)) <= kMaxCoordinate)) return E_FAIL;  // NaN fails too
    }

    const std::size_t n = static_cast<std::size_t>(count);
    const Segment zeroSegment{{0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    m_pPath = NewUniqueArray<Segment>(n);
    m_pLookAhead = NewUniqueArray<Segment>(n);
    m_pPoints = NewUniqueArray<D3DXVECTOR3>(n);
    m_pShifted = NewUniqueArray<D3DXVECTOR3>(n);
    if (!m_pPath || !m_pLookAhead || !m_pPoints || !m_pShifted) {
        DeleteDeviceObjects();
        return E_FAIL;
    }
    for (std::size_t i = 0; i < n; ++i) {
        m_pPath[i] = m_pLookAhead[i] = zeroSegment;
        m_pShifted[i] = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    }
    m_nCount = count;

    D3DXVECTOR3 sum(0.0f, 0.0f, 0.0f);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = bytes + 4 + i * kPointBytes;
        m_pPoints[i] = D3DXVECTOR3(ReadFloat(p), ReadFloat(p + 4), ReadFloat(p + 8));
        sum += m_pPoints[i];
    }
    m_vCentre = sum * (1.0f / static_cast<float>(count));
    ComputeCoefficients();
    return S_OK;
}

int Ferguson::DeleteDeviceObjects() {
    m_pPath.reset();
    m_pLookAhead.reset();
    m_pPoints.reset();
    m_pShifted.reset();
    m_nCount = 0;
    return 0;
}

void Ferguson::ComputeCoefficients() {
    const int n = m_nCount;
    for (int i = 0; i < n; ++i) m_pShifted[i] = m_pPoints[(i + 1) % n];
    Coefficients(m_pPoints.get(), n, m_pPath.get());
    Coefficients(m_pShifted.get(), n, m_pLookAhead.get());
}

void Ferguson::SetCentre(const D3DXVECTOR3& centre) {
    if (m_nCount <= 0) return;
    const D3DXVECTOR3 delta = centre - m_vCentre;
    m_vCentre += delta;
    for (int i = 0; i < m_nCount; ++i) m_pPoints[i] += delta;
    ComputeCoefficients();
}

int Ferguson::Evaluate(float t, D3DXVECTOR3* point, D3DXVECTOR3* lookAhead) const {
    // The negated test also refuses NaN.
    if (!(t >= 0.0f && t < static_cast<float>(m_nCount))) return 0;
    int k = static_cast<int>(t);
    if (k >= m_nCount) k = m_nCount - 1;  // t just below N may round up in the cast's neighbourhood
    const float u = t - static_cast<float>(k);
    const float u2 = u * u;
    const float u3 = u2 * u;
    *point = Cubic(m_pPath[k], u, u2, u3);
    *lookAhead = Cubic(m_pLookAhead[k], u, u2, u3);
    return 0;
}
