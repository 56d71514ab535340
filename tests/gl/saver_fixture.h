// A fixture that starts the whole saver in a hidden test window on the real
// device, with private settings and an empty start-up log, and tears it all
// down again; a hand-driven clock is there for tests that time frames.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/os/clock.h"
#include "platform/os/registry.h"
#include "platform/os/window.h"
#include "shell/frametimer.h"
#include "shell/lifecycle.h"
#include "shell/saver.h"

namespace gltest {

class SaverTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_ErrLog = ErrLog();  // each start logs into an empty log, as a new process does
        std::filesystem::remove(RegistryFilePath(kSettingsKey));
        g_Settings.SetDefaults();
    }
    void TearDown() override {
        ReleaseAll();
        if (m_hwnd) DestroyWindow(m_hwnd);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) break;
        }
        SetClockOverride(nullptr);
        FrameTimerForgetState();
        g_bWindowed = 0;
        std::filesystem::remove(RegistryFilePath(kSettingsKey));
    }

    // Starts the saver in a hidden test window of the given client size.
    int Start(int width = 320, int height = 240) {
        g_bWindowed = 1;
        RegisterClassA(kWindowClass, WndProc);
        m_hwnd = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_CAPTION | WS_SYSMENU, 0, 0, width, height);
        if (!m_hwnd) return -1;
        return Initiate(m_hwnd);
    }

    // Starts the full-screen saver (hidden: the offscreen driver shows nothing).
    int StartFullScreen() {
        g_bWindowed = 0;
        RegisterClassA(kWindowClass, WndProc);
        m_hwnd = CreateWindowExA(0, kWindowClass, kWindowTitle, WS_POPUP, 0, 0, 1024, 768);
        if (!m_hwnd) return -1;
        return Initiate(m_hwnd);
    }

    static std::vector<BYTE> Pixels() {
        std::vector<BYTE> rgba(g_pDevice->GetBackBufferWidth() * g_pDevice->GetBackBufferHeight() * 4);
        g_pDevice->ReadBackBuffer(rgba.data());
        return rgba;
    }

    // Replaces the clocks with a hand-driven 1 MHz counter starting at
    // `micros`, and forgets the frame timer's state.
    static void UseManualClock(std::int64_t micros) {
        s_micros = micros;
        SetClockOverride(&s_clock);
        FrameTimerForgetState();
    }
    static void AdvanceClock(std::int64_t micros) { s_micros += micros; }

    HWND m_hwnd = nullptr;

private:
    static std::int64_t Counter() { return s_micros; }
    static DWORD Millis() { return static_cast<DWORD>(s_micros / 1000); }
    static inline std::int64_t s_micros = 0;
    static inline ClockOverride s_clock{Millis, Counter, 1'000'000};
};

}  // namespace gltest
