#pragma once
// What the recording guards (free disk space, a silent side) need from the main
// window: the running recording, the tray icon's balloon and the stop button.
#include <cstdint>
#include <string>

class IGuardHost {
public:
    virtual ~IGuardHost() = default;
    // A recording is running or paused.
    virtual bool IsRecordingActive() = 0;
    virtual std::wstring GetRecordFolder() = 0;
    // A balloon at the tray icon.
    virtual void ShowBalloon(const std::wstring& strTitle, const std::wstring& strText) = 0;
    // Ends the recording as the stop button does: the file is closed and entered.
    virtual void StopRecording() = 0;
    // The guard tells the user why the recording ends: the writer no longer reports
    // failed writes. True when it had reported one already.
    virtual bool QuietWriteFailures() = 0;
    // Milliseconds each side has been digitally silent; false unless a recording of
    // both sides is running (not paused).
    virtual bool GetSilentMs(int64_t& nMicMs, int64_t& nRemoteMs) = 0;
    // The running recording's entry is marked: "mic" or "remote" was silent.
    virtual void MarkOneSided(const std::wstring& strSide) = 0;
};
