#pragma once
// Free space on the recording folder's drive: a recording warns once when less
// than 1 GB is left and is finished cleanly below 100 MB; no recording starts
// below 100 MB, and the user is told why instead of getting a broken file.
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "app/GuardHost.h"

constexpr ULONGLONG DISK_LOW_BYTES = 1024ULL * 1024 * 1024;
constexpr ULONGLONG DISK_STOP_BYTES = 100ULL * 1024 * 1024;
// At the highest bit rate a recording takes about 2 MB a minute: 10 s between two
// checks cannot eat the 100 MB kept in hand.
constexpr UINT DISK_CHECK_MS = 10000;

// Bytes the user may still write on the drive of strFolder (or of its nearest
// existing parent); false when the drive cannot be asked.
bool GetFolderFreeBytes(const std::wstring& strFolder, ULONGLONG& nFree, std::wstring& strDrive);

std::wstring FormatMegabytes(ULONGLONG nBytes);

class CDiskGuard {
public:
    explicit CDiskGuard(IGuardHost& host) : m_host(host) {}

    // Before a recording starts: false, with a box saying why, when the drive is too
    // full; otherwise the recording that follows may be warned about once.
    bool CanStart();
    // Every DISK_CHECK_MS; acts only while a recording is active.
    void Check();

private:
    void WarnLow(ULONGLONG nFree, const std::wstring& strDrive);
    // One box at a time, shown beside the call: the GUI thread is not held up.
    void ShowBox(const std::wstring& strText);

    IGuardHost& m_host;
    bool m_bWarned = false;  // this recording's low-space balloon is given
    std::shared_ptr<std::atomic<bool>> m_pBoxUp = std::make_shared<std::atomic<bool>>(false);
};
