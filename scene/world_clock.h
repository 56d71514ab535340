// WorldClock: twelve analogue clocks on the walls around the scene. In world
// mode each shows the civil time of its city (from the system's time-zone
// database, summer time included; a fixed offset where the database lacks the
// zone) with the city's name below it; in normal mode all show the local time.
#pragma once

#include <ctime>
#include <memory>

#include "platform/d3d8/d3d8.h"
#include "platform/os/timezone.h"
#include "scene/model_instance.h"
#include "scene/xmodel.h"
#include "view/camera.h"

class ErrLog;
class Settings;
class ZSortRender;

class WorldClock {
public:
    static constexpr int kMaxClocks = 12;        // one per zone
    static constexpr float kHourStep = 0.5235988f;    // 2π / 12, radians per hour
    static constexpr float kMinuteStep = 0.10471976f; // 2π / 60, radians per minute or second
    static constexpr float kLabelRise = 620.0f;   // AM/PM label above the dial, world units
    static constexpr float kNameDrop = 700.0f;    // zone name below the dial, world units
    static constexpr float kNameScale = 1.5f;
    // Hours to add to UTC for clock i where its city's zone is not in the
    // time-zone database: the cities' standard times, summer time ignored.
    static constexpr float kZoneOffsets[kMaxClocks] = {0.0f, 2.0f, 4.5f, 5.5f, 8.0f, 9.0f,
                                                       10.0f, -10.0f, -8.0f, -6.0f, -5.0f, -3.0f};
    // The cities' zones in the database, clock 0 to 11 (the names under the dials).
    static constexpr const char* kZoneIds[kMaxClocks] = {
        "Europe/London", "Europe/Helsinki",   "Asia/Kabul",          "Asia/Kolkata",
        "Asia/Shanghai", "Asia/Tokyo",        "Australia/Sydney",    "Pacific/Honolulu",
        "America/Los_Angeles", "America/Chicago", "America/New_York", "America/Sao_Paulo"};

    // The hands one clock shows.
    struct Reading {
        int hour;       // 0..23
        int minute;
        int second;
        int pm;         // 1 from 12:00 on
        float hourAngle, minuteAngle, secondAngle;  // radians, clockwise on the dial
    };
    // Breaks down `now` (seconds since 1970, UTC) for a clock: local time in
    // normal mode (mode 1), else UTC shifted by the zone's offset in seconds.
    static Reading ReadClock(std::time_t now, int mode, int zoneOffsetSeconds);

    WorldClock() = default;
    WorldClock(const WorldClock&) = delete;
    WorldClock& operator=(const WorldClock&) = delete;
    ~WorldClock() { DeleteDeviceObjects(); }

    HRESULT InitDeviceObjects(IDirect3DDevice8* device, const char* placementName, const Settings* settings,
                              ErrLog* log);
    // Poses hands, labels and names from the dial bodies for the current time.
    int Update();
    int Render(IDirect3DDevice8* device, const Camera* camera, const FrustumRecord* frustum, int reserved,
               ZSortRender* renderer);
    int DeleteDeviceObjects();

    // Where the current time comes from (tests set a fixed one); null: the system clock.
    void SetTimeSource(std::time_t (*now)()) { m_pfnNow = now; }

    // Opens the twelve cities' zones in the time-zone database; world mode's
    // start-up does it once. A zone the database lacks keeps its fixed offset.
    void OpenZones();
    void CloseZones();
    // Seconds to add to UTC at `now` for clock i (0..11): the city's offset
    // when its zone is open, else the fixed offset. The twelve offsets are
    // looked up again only when `now` moves to another second.
    int ZoneOffsetSeconds(int i, std::time_t now);
    bool ZoneFromDatabase(int i) const { return i >= 0 && i < kMaxClocks && m_tzCity[i].IsOpen(); }

    int GetClockCount() const { return m_nClockNum; }
    int GetMode() const { return m_nMode; }
    ModelInstance* Dial(int i) { return &m_pClockBaseObj[i]; }
    ModelInstance* HourHand(int i) { return &m_pHour[i]; }
    ModelInstance* MinuteHand(int i) { return &m_pMinute[i]; }
    ModelInstance* SecondHand(int i) { return &m_pSecond[i]; }
    ModelInstance* Label(int i) { return &m_pAmPm[i]; }
    ModelInstance* ZoneName(int i) { return &m_pName[i]; }
    XModel* AmModel() { return m_pAmMdl.get(); }
    XModel* PmModel() { return m_pPmMdl.get(); }

private:
    static constexpr int kSingleModels = 7;

    std::time_t (*m_pfnNow)() = nullptr;
    int m_bEnabled = 1;
    int m_nMode = 1;  // 1 normal clock (local time), 0 world clock
    int m_nClockNum = 0;

    TimeZone m_tzCity[kMaxClocks];       // the cities' zones; open only in world mode
    bool m_bZoneOffsetsValid = false;    // m_nZoneOffset holds the offsets at m_tZoneOffsetsAt
    std::time_t m_tZoneOffsetsAt = 0;
    int m_nZoneOffset[kMaxClocks] = {};  // seconds to add to UTC, per clock

    std::unique_ptr<XModel> m_pWorldClockBaseMdl;
    std::unique_ptr<XModel> m_pMojiMdl;
    std::unique_ptr<XModel> m_pHourMdl;
    std::unique_ptr<XModel> m_pMinuteMdl;
    std::unique_ptr<XModel> m_pSecondMdl;
    std::unique_ptr<XModel> m_pAmMdl;
    std::unique_ptr<XModel> m_pPmMdl;
    std::unique_ptr<XModel[]> m_pNameMdl;  // kMaxClocks zone names

    std::unique_ptr<ModelInstance[]> m_pClockBaseObj;  // dial bodies, placed by the file
    std::unique_ptr<ModelInstance[]> m_pMoji;
    std::unique_ptr<ModelInstance[]> m_pHour;
    std::unique_ptr<ModelInstance[]> m_pMinute;
    std::unique_ptr<ModelInstance[]> m_pSecond;
    std::unique_ptr<ModelInstance[]> m_pAmPm;
    std::unique_ptr<ModelInstance[]> m_pName;
};
