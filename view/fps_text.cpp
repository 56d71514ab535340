// The frame-rate text: counting, formatting and drawing.
#include "view/fps_text.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/font/d3dx_font.h"
#include "settings/settings.h"

bool DebugStatsRequested() {
    const char* v = std::getenv("NEREVAL_DEBUG_STATS");
    return v && *v && std::strcmp(v, "0") != 0;
}

int FrameRateText::Configure(const Settings* settings, bool debugStats) {
    m_bEnabled = settings->intChkFPS;
    m_bStats = debugStats;
    // Each run counts afresh from a zero clock reading, as at process start.
    m_nFrames = 0;
    m_dLastUpdate = 0.0;
    m_fRate = 0.0f;
    m_szText[0] = '\0';
    m_szStats[0] = '\0';
    return 0;
}

void FrameRateText::Count(double now) {
    ++m_nFrames;
    const double since = now - m_dLastUpdate;
    if (since > kRefreshSeconds) {
        m_fRate = static_cast<float>(m_nFrames / since);
        m_dLastUpdate = now;
        m_nFrames = 0;
    }
    std::snprintf(m_szText, sizeof m_szText, " %.02f ", static_cast<double>(m_fRate));
}

int FrameRateText::CellHeightFor(int lines, int baseCell) {
    if (lines <= kBaseLines) return baseCell;
    return static_cast<int>((static_cast<long long>(baseCell) * lines + kBaseLines / 2) / kBaseLines);
}

int FrameRateText::Draw(IDirect3DDevice8* device, const FrameRateView* views, int count, double now) {
    assert(device && "FrameRateText::Draw needs the device");
    assert((views || count == 0) && "FrameRateText::Draw: `count` views need the array");
    device->SetRenderState(D3DRS_FOGENABLE, FALSE);
    if (m_bEnabled == 1) {
        // The counts so far this frame: the whole scene, before the text itself.
        const DeviceFrameStats stats = device->GetFrameStats();
        Count(now);
        if (m_bStats) {
            std::snprintf(m_szStats, sizeof m_szStats, " draws %u  triangles %u ",
                          static_cast<unsigned>(stats.drawCalls), static_cast<unsigned>(stats.triangles));
        }
        for (int i = 0; views && i < count; ++i) {
            if (!views[i].font) continue;
            RECT r = views[i].area;
            const int lineHeight = views[i].font->DrawTextA(m_szText, -1, &r, DT_SINGLELINE | DT_NOCLIP, kColor);
            if (m_bStats) {
                r.top += lineHeight;
                views[i].font->DrawTextA(m_szStats, -1, &r, DT_SINGLELINE | DT_NOCLIP, kColor);
            }
        }
    }
    device->SetRenderState(D3DRS_FOGENABLE, TRUE);
    return 0;
}
