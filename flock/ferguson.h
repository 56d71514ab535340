// Ferguson: the closed camera path — a chain of cubic Hermite segments, one
// per point, with forward-difference tangents — read from a path resource
// and moved rigidly every frame so that the mean of its points sits on the
// school's centre. The camera rig that rides it: camera_rig.h.
//
// Path resource (type "MISC", little-endian): int32 count N, then N points of
// three float32; anything after them is not read. Segment i runs from point
// i to point (i + 1) mod N; the parameter t in [0, N) selects segment
// floor(t) at u = t - floor(t).
//
// Ownership: the path owns its ten arrays of N vectors, made once by loading;
// nothing is allocated per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/base/wintypes.h"
#include "platform/d3dx/d3dx_math.h"
#include "scene/model_instance.h"

class ErrLog;

class Ferguson {
public:
    // Cubic coefficients of one segment: p(u) = a u^3 + b u^2 + c u + d.
    struct Segment {
        D3DXVECTOR3 a, b, c, d;
    };

    Ferguson() = default;
    Ferguson(const Ferguson&) = delete;
    Ferguson& operator=(const Ferguson&) = delete;

    // Finds the path resource `name` (type "MISC") and loads it. A missing
    // resource, a count below 1, a resource shorter than its count says or a
    // point that is not finite or lies farther than a million units on an axis
    // logs "\t\tFailed\n" and gives E_FAIL.
    HRESULT InitDeviceObjects(const char* name, ErrLog* log);
    // Loads a path from bytes in the resource layout (the checks above, no log).
    HRESULT Load(const std::uint8_t* bytes, std::size_t size);
    // Moves the whole path so the mean of its points is `centre`.
    void SetCentre(const D3DXVECTOR3& centre);
    // The path point at t and the point one segment further on. Returns 0;
    // for t outside [0, N) (or an empty path) the outputs are left unchanged.
    int Evaluate(float t, D3DXVECTOR3* point, D3DXVECTOR3* lookAhead) const;
    int DeleteDeviceObjects();

    int GetCount() const { return m_nCount; }
    const D3DXVECTOR3& GetPoint(int i) const { return m_pPoints[i]; }
    const D3DXVECTOR3& GetCentre() const { return m_vCentre; }
    const Segment& GetSegment(int i) const { return m_pPath[i]; }
    const Segment& GetLookAheadSegment(int i) const { return m_pLookAhead[i]; }

private:
    void ComputeCoefficients();

    int m_nCount = 0;
    // The ten arrays of N vectors: path and look-ahead coefficients (a, b, c,
    // d per segment), the moved points and the shifted points.
    std::unique_ptr<Segment[]> m_pPath;
    std::unique_ptr<Segment[]> m_pLookAhead;
    std::unique_ptr<D3DXVECTOR3[]> m_pPoints;
    std::unique_ptr<D3DXVECTOR3[]> m_pShifted;  // point (i + 1) mod N at index i
    D3DXVECTOR3 m_vCentre{0.0f, 0.0f, 0.0f};
};
