// The frame-rate text in the top-left corner (switch intChkFPS): frames are
// counted and the rate refreshed about once a second, averaged over that
// second. With the debug switch (environment variable NEREVAL_DEBUG_STATS=1)
// a second line shows the device's draw and triangle counts of the frame.
#pragma once

#include "platform/d3d8/d3d8.h"
#include "platform/os/window.h"

class ID3DXFont;
class Settings;

// True when NEREVAL_DEBUG_STATS is set to a value other than "0" or empty.
bool DebugStatsRequested();

// One view's frame-rate text: the font sized for the view, and the view's
// rectangle in back-buffer pixels (the text stands in its top-left corner).
struct FrameRateView {
    ID3DXFont* font;
    RECT area;
};

class FrameRateText {
public:
    // The text is sized for a view of this many lines; a taller view takes a
    // proportionally larger font (CellHeightFor), a smaller one keeps it.
    static constexpr int kBaseLines = 480;
    static constexpr D3DCOLOR kColor = 0x88BBBBFF;  // light blue at alpha 0x88
    static constexpr double kRefreshSeconds = 1.0;

    // Copies the frame-rate switch (debugStats adds the counts line) and
    // starts counting afresh.
    int Configure(const Settings* settings, bool debugStats);
    // Counts one frame at `now` (seconds of an absolute clock) and refreshes
    // the rate when more than a second has passed since the last refresh.
    // Formats the text either way.
    void Count(double now);
    // The frame's text step: fog off; when the rate is on, counts the frame
    // once and draws the text in each of the `count` views with its font
    // (a null font draws nothing there); fog on.
    int Draw(IDirect3DDevice8* device, const FrameRateView* views, int count, double now);
    // The font cell height, in pixels, for a view `lines` high, given the
    // cell height at kBaseLines.
    static int CellHeightFor(int lines, int baseCell);

    int IsEnabled() const { return m_bEnabled; }
    int GetFrameCount() const { return m_nFrames; }
    float GetRate() const { return m_fRate; }
    const char* GetText() const { return m_szText; }
    const char* GetStatsText() const { return m_szStats; }

private:
    int m_bEnabled = 0;
    bool m_bStats = false;
    int m_nFrames = 0;
    // Seconds on the absolute clock. Double: that clock counts from boot, and
    // a float of it would lose the frame's milliseconds after days of uptime.
    double m_dLastUpdate = 0.0;
    float m_fRate = 0.0f;  // frames per second
    char m_szText[32] = "";
    char m_szStats[64] = "";
};
