// Small helpers shared by the scene-object tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "platform/d3dx/d3dx_math.h"
#include "render/zsort_render.h"
#include "scene/xmodel.h"

namespace gltest {

// Entries of the queue drawn from one of `model`'s meshes.
inline int QueuedFrom(const ZSortRender& renderer, const XModel* model) {
    int n = 0;
    for (DWORD e = 0; e < renderer.GetCount(); ++e) {
        for (DWORD m = 0; m < model->m_dwMeshDisplayNum; ++m) {
            if (renderer.GetEntry(e).m_pVB == model->m_pMeshDisplay[m].m_pVB) ++n;
        }
    }
    return n;
}

// Every element within `tolerance`; the first that is not is named.
inline ::testing::AssertionResult MatrixNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected, float tolerance) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (std::fabs(actual.m[r][c] - expected.m[r][c]) > tolerance) {
                return ::testing::AssertionFailure() << "element _" << r + 1 << c + 1 << ": " << actual.m[r][c]
                                                     << " vs " << expected.m[r][c];
            }
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace gltest
