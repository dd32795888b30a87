#include "app/DiskGuard.h"

#include "base/Notifier.h"
#include "base/StringUtil.h"

namespace {
constexpr wchar_t APP_TITLE[] = L"Ombra Skype Recorder";
}  // namespace

bool GetFolderFreeBytes(const std::wstring& strFolder, ULONGLONG& nFree, std::wstring& strDrive) {
    // A recording folder not made yet is on the drive of its nearest existing parent.
    std::wstring strPath = strFolder;
    for (;;) {
        ULARGE_INTEGER avail{};
        if (!strPath.empty() && ::GetDiskFreeSpaceExW(strPath.c_str(), &avail, nullptr, nullptr)) {
            nFree = avail.QuadPart;
            wchar_t szVolume[MAX_PATH] = {};
            strDrive = ::GetVolumePathNameW(strPath.c_str(), szVolume, MAX_PATH) ? szVolume : strPath;
            return true;
        }
        if (strPath.size() <= 3) return false;  // the drive's root itself failed
        size_t nSlash = strPath.find_last_of(L"\\/");
        if (nSlash == std::wstring::npos || nSlash == 0) return false;
        strPath.resize(nSlash);
        if (strPath.size() == 2 && strPath[1] == L':') strPath += L'\\';
    }
}

std::wstring FormatMegabytes(ULONGLONG nBytes) {
    return FormatW(L"%llu MB", static_cast<unsigned long long>(nBytes / (1024 * 1024)));
}

bool CDiskGuard::CanStart() {
    m_bWarned = false;
    ULONGLONG nFree = 0;
    std::wstring strDrive;
    // A drive that cannot be asked is left to the writer, which reports its own failures.
    if (!GetFolderFreeBytes(m_host.GetRecordFolder(), nFree, strDrive)) return true;
    if (nFree >= DISK_STOP_BYTES) {
        if (nFree < DISK_LOW_BYTES) WarnLow(nFree, strDrive);
        return true;
    }
    ShowBox(L"The recording did not start: only " + FormatMegabytes(nFree) + L" are left on the drive " + strDrive +
            L" of the recording folder.\nPlease make room there (at least " + FormatMegabytes(DISK_STOP_BYTES) +
            L") or choose another folder in the options.");
    return false;
}

void CDiskGuard::Check() {
    if (!m_host.IsRecordingActive()) return;
    ULONGLONG nFree = 0;
    std::wstring strDrive;
    if (!GetFolderFreeBytes(m_host.GetRecordFolder(), nFree, strDrive)) return;
    if (nFree < DISK_STOP_BYTES) {
        // One box: a drive filled faster than the checks has had the writer's already,
        // and the writer keeps quiet about the last writes of this one.
        bool bTold = m_host.QuietWriteFailures();
        m_host.StopRecording();
        if (!bTold)
            ShowBox(L"The recording was stopped: only " + FormatMegabytes(nFree) + L" are left on the drive " +
                    strDrive + L" of the recording folder.\nWhat was recorded up to now is saved and listed in the history.");
        return;
    }
    if (nFree < DISK_LOW_BYTES) WarnLow(nFree, strDrive);
}

void CDiskGuard::WarnLow(ULONGLONG nFree, const std::wstring& strDrive) {
    if (m_bWarned) return;
    m_bWarned = true;
    m_host.ShowBalloon(L"Little disk space left", L"Only " + FormatMegabytes(nFree) + L" are left on the drive " +
                                                      strDrive + L". The recording stops when less than " +
                                                      FormatMegabytes(DISK_STOP_BYTES) + L" are left.");
}

void CDiskGuard::ShowBox(const std::wstring& strText) {
    if (m_pBoxUp->exchange(true)) return;
    NotifyMessageBoxAside(strText, APP_TITLE, MB_ICONWARNING | MB_SETFOREGROUND, [pBoxUp = m_pBoxUp] { *pBoxUp = false; });
}
