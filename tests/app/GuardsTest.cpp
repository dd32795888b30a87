// The recording guards' decisions, through a host that records what they asked for.
// The drive is the real one; its nearly full state is the end-to-end test's.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/DiskGuard.h"
#include "app/OneSidedGuard.h"

namespace {

class CGuardHost : public IGuardHost {
public:
    bool bActive = true, bBothSides = true;
    int64_t nMicMs = 0, nRemoteMs = 0;
    std::wstring strFolder;
    std::vector<std::wstring> balloons, marks;
    int nStops = 0;

    bool IsRecordingActive() override { return bActive; }
    std::wstring GetRecordFolder() override { return strFolder; }
    void ShowBalloon(const std::wstring& strTitle, const std::wstring&) override { balloons.push_back(strTitle); }
    void StopRecording() override { ++nStops; }
    bool QuietWriteFailures() override { return false; }
    bool GetSilentMs(int64_t& nMic, int64_t& nRemote) override {
        nMic = nMicMs;
        nRemote = nRemoteMs;
        return bActive && bBothSides;
    }
    void MarkOneSided(const std::wstring& strSide) override { marks.push_back(strSide); }
};

}  // namespace

TEST(OneSidedGuard, TellsTheSilentSideOncePerRecordingAndNothingWhenBothAreQuiet) {
    CGuardHost host;
    COneSidedGuard guard(host);
    guard.OnRecordingStarted();
    // A call on hold, or nobody talking: both sides silent is no fault.
    host.nMicMs = host.nRemoteMs = 60000;
    guard.Check();
    // The other side talks, my microphone is silent, but not yet for 15 s.
    host.nMicMs = ONESIDED_SILENT_MS - 1000;
    host.nRemoteMs = 0;
    guard.Check();
    EXPECT_TRUE(host.marks.empty());

    host.nMicMs = 500;
    host.nRemoteMs = ONESIDED_SILENT_MS;
    guard.Check();
    guard.Check();
    EXPECT_EQ((std::vector<std::wstring>{L"remote"}), host.marks);
    EXPECT_EQ((std::vector<std::wstring>{L"The other side is silent"}), host.balloons);

    // The next recording is looked at afresh; a recording of one side is not.
    guard.OnRecordingStarted();
    host.bBothSides = false;
    host.nMicMs = ONESIDED_SILENT_MS;
    host.nRemoteMs = 0;
    guard.Check();
    host.bBothSides = true;
    guard.Check();
    EXPECT_EQ((std::vector<std::wstring>{L"remote", L"mic"}), host.marks);
    EXPECT_EQ(L"Your microphone is silent", host.balloons.back());
}

TEST(DiskGuard, AFolderNotMadeYetIsOnItsParentsDriveAndAnUnknownDriveIsLeftToTheWriter) {
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    ULONGLONG nFree = 0;
    std::wstring strDrive;
    ASSERT_TRUE(GetFolderFreeBytes(std::wstring(szTemp) + L"not\\made\\yet", nFree, strDrive));
    EXPECT_GT(nFree, DISK_STOP_BYTES);
    EXPECT_EQ(std::wstring(szTemp).substr(0, 3), strDrive.substr(0, 3));

    CGuardHost host;
    host.strFolder = L"Q:\\Ombra";  // no such drive
    CDiskGuard guard(host);
    EXPECT_FALSE(GetFolderFreeBytes(host.strFolder, nFree, strDrive));
    EXPECT_TRUE(guard.CanStart());
    guard.Check();
    EXPECT_EQ(0, host.nStops);
    EXPECT_TRUE(host.balloons.empty());
}
