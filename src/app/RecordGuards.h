#pragma once
// The recording guards (free disk space, a silent side) as the main window runs
// them: their timers on the window, and what they need from the controller, the
// audio engine, the settings, the current record and the tray icon.
#include <windows.h>

#include <string>

#include "app/DiskGuard.h"
#include "app/OneSidedGuard.h"

class CAudioServer;
class CCurrentRecord;
class CGeneralProfile;
class CRecordController;

class CRecordGuards : private IGuardHost {
public:
    // hWnd owns the timers and the tray icon nTrayId.
    CRecordGuards(HWND hWnd, UINT nTrayId, CRecordController& controller, CGeneralProfile& profile,
                  CAudioServer* pAudio, CCurrentRecord& record);
    ~CRecordGuards() override;
    CRecordGuards(const CRecordGuards&) = delete;
    CRecordGuards& operator=(const CRecordGuards&) = delete;

    // Before a recording starts: false when it must not (the user is told why).
    bool CanStart() { return m_disk.CanStart(); }
    void OnRecordingStarted() { m_oneSided.OnRecordingStarted(); }
    // WM_TIMER: true when nId is one of the guards' timers.
    bool OnTimer(UINT_PTR nId);

private:
    bool IsRecordingActive() override;
    std::wstring GetRecordFolder() override;
    void ShowBalloon(const std::wstring& strTitle, const std::wstring& strText) override;
    void StopRecording() override;
    bool QuietWriteFailures() override;
    bool GetSilentMs(int64_t& nMicMs, int64_t& nRemoteMs) override;
    void MarkOneSided(const std::wstring& strSide) override;

    HWND m_hWnd;
    UINT m_nTrayId;
    CRecordController& m_controller;
    CGeneralProfile& m_profile;
    CAudioServer* m_pAudio;
    CCurrentRecord& m_record;
    CDiskGuard m_disk{*this};
    COneSidedGuard m_oneSided{*this};
};
