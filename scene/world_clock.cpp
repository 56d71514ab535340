// The twelve clocks: loading, time of day, posing and drawing.
#include "scene/world_clock.h"

#include <cstdio>
#include <initializer_list>
#include <new>

#include "platform/os/resource.h"
#include "scene/placement.h"
#include "settings/settings.h"
#include "core/errlog.h"
#include "platform/base/alloc.h"

namespace {

constexpr const char* kNameResources[WorldClock::kMaxClocks] = {
    "NAME00.X", "NAME01.X", "NAME02.X", "NAME03.X", "NAME04.X", "NAME05.X",
    "NAME06.X", "NAME07.X", "NAME08.X", "NAME09.X", "NAME10.X", "NAME11.X"};

}  // namespace

WorldClock::Reading WorldClock::ReadClock(std::time_t now, int mode, int zoneOffsetSeconds) {
    std::tm parts{};
    if (mode == 1) {
        localtime_r(&now, &parts);
    } else {
        std::time_t t = now + zoneOffsetSeconds;
        gmtime_r(&t, &parts);
    }
    Reading r{};
    r.hour = parts.tm_hour;
    r.minute = parts.tm_min;
    r.second = parts.tm_sec;
    r.pm = r.hour >= 12 ? 1 : 0;
    const int h = r.hour > 12 ? r.hour - 12 : r.hour;  // 0 stays 0, 12 stays 12
    r.hourAngle = static_cast<float>(h) * kHourStep + static_cast<float>(r.minute) * (kHourStep / 60.0f);
    r.minuteAngle = static_cast<float>(r.minute) * kMinuteStep;
    r.secondAngle = static_cast<float>(r.second) * kMinuteStep;
    return r;
}

HRESULT WorldClock::InitDeviceObjects(IDirect3DDevice8* device, const char* placementName, const Settings* settings,
                                      ErrLog* log) {
    m_bEnabled = settings->intChkClock;
    m_nMode = settings->intClkMod;
    if (m_bEnabled == 0) return S_OK;

    DeleteDeviceObjects();  // a second start replaces the first
    if (m_nMode == 0) OpenZones();
    std::unique_ptr<XModel>* singles[kSingleModels] = {&m_pWorldClockBaseMdl, &m_pMojiMdl, &m_pHourMdl, &m_pMinuteMdl,
                                                       &m_pSecondMdl,         &m_pAmMdl,   &m_pPmMdl};
    bool made = true;
    for (std::unique_ptr<XModel>* m : singles) {
        *m = NewUnique<XModel>();
        made = *m != nullptr && made;
    }
    m_pNameMdl = NewUniqueArray<XModel>(kMaxClocks);
    if (!made || !m_pNameMdl) {
        LogLine(log, "\t\tm_pWorldClockBaseMdl == NULL");  // fixed log text, sic: keep as is
        return E_FAIL;
    }

    // One start line for all the models; the first that fails ends the step.
    const char* singleNames[kSingleModels] = {"BASE.X", "MOJI.X", "HARI01.X", "HARI02.X", "HARI03.X", "AM.X", "PM.X"};
    auto loadAll = [&]() -> HRESULT {
        for (int i = 0; i < kSingleModels; ++i) {
            if (HRESULT hr = (*singles[i])->LoadXFile(device, singleNames[i], log); FAILED(hr)) return hr;
        }
        for (int i = 0; i < kMaxClocks; ++i) {
            if (HRESULT hr = m_pNameMdl[i].LoadXFile(device, kNameResources[i], log); FAILED(hr)) return hr;
        }
        return S_OK;
    };
    if (HRESULT hr = ObjectStep(log, "\t\tm_pWorldClockBaseMdl.LoadXFile..\n", "\t\tFailed\n",  // fixed log text, sic
                                loadAll);
        FAILED(hr)) {
        return hr;
    }

    PlacementFile placements;
    HRESULT hr = LoadPlacementResource(placementName, "\t\tFinedResource...\n", log, &placements);
    if (FAILED(hr)) return hr;
    // The zone offsets and names cover twelve clocks: more placements are
    // not drawn.
    const int count = placements.count < kMaxClocks ? placements.count : kMaxClocks;

    made = true;
    for (std::unique_ptr<ModelInstance[]>* a : {&m_pClockBaseObj, &m_pMoji, &m_pHour, &m_pMinute, &m_pSecond, &m_pAmPm,
                                                &m_pName}) {
        *a = NewUniqueArray<ModelInstance>(static_cast<std::size_t>(count));
        made = *a != nullptr && made;
    }
    if (!made) {
        LogLine(log, "\t\tm_pClockBaseObj == NULL\n");
        return E_FAIL;
    }
    m_nClockNum = count;
    for (int i = 0; i < count; ++i) {
        m_pClockBaseObj[i].SetModel(m_pWorldClockBaseMdl.get());
        m_pMoji[i].SetModel(m_pMojiMdl.get());
        m_pHour[i].SetModel(m_pHourMdl.get());
        m_pMinute[i].SetModel(m_pMinuteMdl.get());
        m_pSecond[i].SetModel(m_pSecondMdl.get());
        m_pName[i].SetModel(&m_pNameMdl[i]);
        m_pClockBaseObj[i].SetWorldMatrix(placements.Matrix(i));
    }
    return S_OK;
}

void WorldClock::OpenZones() {
    for (int i = 0; i < kMaxClocks; ++i) {
        m_tzCity[i] = TimeZone(kZoneIds[i]);
        if (!m_tzCity[i].IsOpen()) {
            std::fprintf(stderr, "nereval: the time-zone database has no %s; its clock shows UTC%+g h all year\n",
                         kZoneIds[i], static_cast<double>(kZoneOffsets[i]));
        }
    }
    m_bZoneOffsetsValid = false;
}

void WorldClock::CloseZones() {
    for (TimeZone& zone : m_tzCity) zone = TimeZone();
    m_bZoneOffsetsValid = false;
}

int WorldClock::ZoneOffsetSeconds(int i, std::time_t now) {
    if (i < 0 || i >= kMaxClocks) return 0;
    if (!m_bZoneOffsetsValid || now != m_tZoneOffsetsAt) {
        for (int k = 0; k < kMaxClocks; ++k) {
            // The fixed offset in whole seconds, truncated toward zero.
            const int fixed = static_cast<int>(kZoneOffsets[k] * 3600.0f);
            m_nZoneOffset[k] = m_tzCity[k].OffsetAt(now, fixed);
        }
        m_tZoneOffsetsAt = now;
        m_bZoneOffsetsValid = true;
    }
    return m_nZoneOffset[i];
}

int WorldClock::Update() {
    if (m_bEnabled == 0) return 0;
    const std::time_t now = m_pfnNow ? m_pfnNow() : std::time(nullptr);
    // Normal mode: every clock shows the one local time, read once.
    const Reading local = m_nMode == 1 ? ReadClock(now, 1, 0) : Reading{};
    for (int i = 0; i < m_nClockNum; ++i) {
        const Reading r = m_nMode == 1 ? local : ReadClock(now, m_nMode, ZoneOffsetSeconds(i, now));
        m_pAmPm[i].SetModel(r.pm ? m_pPmMdl.get() : m_pAmMdl.get());

        const D3DXMATRIX& dial = m_pClockBaseObj[i].GetWorldMatrix();
        for (ModelInstance* part : {&m_pMoji[i], &m_pHour[i], &m_pMinute[i], &m_pSecond[i], &m_pAmPm[i], &m_pName[i]}) {
            part->SetWorldMatrix(dial);
        }
        m_pAmPm[i].Translate(0.0f, kLabelRise, 0.0f, 1);
        m_pName[i].Scale(kNameScale);
        m_pName[i].Translate(0.0f, -kNameDrop, 0.0f, 1);
        m_pHour[i].RotateZ(r.hourAngle, 0);
        m_pMinute[i].RotateZ(r.minuteAngle, 0);
        m_pSecond[i].RotateZ(r.secondAngle, 0);
    }
    return 0;
}

int WorldClock::Render(IDirect3DDevice8* device, const Camera* camera, const FrustumRecord* frustum, int reserved,
                       ZSortRender* renderer) {
    if (m_bEnabled == 0) return 0;
    for (int i = 0; i < m_nClockNum; ++i) {
        for (ModelInstance* part : {&m_pClockBaseObj[i], &m_pMoji[i], &m_pHour[i], &m_pMinute[i], &m_pSecond[i],
                                    &m_pAmPm[i]}) {
            part->Render(device, camera, frustum, reserved, renderer);
        }
        if (m_nMode == 0) m_pName[i].Render(device, camera, frustum, reserved, renderer);
    }
    return 0;
}

int WorldClock::DeleteDeviceObjects() {
    // The instances go first: they point at the models. Each model's
    // destructor releases its device objects.
    for (std::unique_ptr<ModelInstance[]>* a : {&m_pClockBaseObj, &m_pMoji, &m_pHour, &m_pMinute, &m_pSecond, &m_pAmPm,
                                                &m_pName}) {
        a->reset();
    }
    m_nClockNum = 0;
    for (std::unique_ptr<XModel>* m : {&m_pWorldClockBaseMdl, &m_pMojiMdl, &m_pHourMdl, &m_pMinuteMdl, &m_pSecondMdl,
                                       &m_pAmMdl, &m_pPmMdl}) {
        m->reset();
    }
    m_pNameMdl.reset();
    CloseZones();
    return 0;
}
