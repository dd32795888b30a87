// The recording controller's rules, driven through a host that records what the
// window, Skype and the audio engine were asked to do. The call table, the
// partner map, the profile and the current record are the real ones; the file
// system is the real one too (the fake engine creates the file as the encoder would).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "app/RecordController.h"
#include "app/RecordRules.h"
#include "base/StringUtil.h"
#include "settings/GeneralProfile.h"
#include "skype/CallList.h"
#include "skype/CallPartnerMap.h"
#include "skype/SkypeStatus.h"

namespace {

std::wstring TempFolder() {
    wchar_t szTemp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, szTemp);
    std::wstring strDir = std::wstring(szTemp) + FormatW(L"ombra-ctl-%lu", ::GetCurrentProcessId());
    ::CreateDirectoryW(strDir.c_str(), nullptr);
    return strDir;
}

class CFakeHost : public IRecordHost {
public:
    std::vector<std::wstring> log;
    std::vector<RecordEntry> records, items;
    int nState = RECSTATE_IDLE;
    int64_t tNow = 1700000000;
    bool bIncoming = true;
    bool bStartFails = false;
    std::wstring strNumber;  // what the engine adds to a taken name, e.g. " (2)"
    int nFinishPosted = 0;
    // The engine's audio follows the clock while it records; the wall clock alone can jump.
    int64_t nAudio = 0;
    bool bAudioRuns = false;
    void Advance(int64_t nSeconds) {
        tNow += nSeconds;
        if (bAudioRuns) nAudio += nSeconds;
    }

    bool IsIncomingCall() override { return bIncoming; }
    void ResetCallInfo() override { log.push_back(L"reset-calls"); }
    void RedirectMicrophone(const std::wstring& id, const std::wstring& port) override {
        log.push_back(L"mic " + id + L" " + port);
    }
    void RedirectOutput(const std::wstring& id, const std::wstring& port) override {
        log.push_back(L"out " + id + L" " + port);
    }
    int GetRecordState() override { return nState; }
    void SetRecordState(int n) override {
        nState = n;
        bAudioRuns = n == RECSTATE_RECORDING || n == RECSTATE_RESUMED;
        log.push_back(FormatW(L"state %d", n));
    }
    bool StartRecording(const std::wstring& path, int rate, int kbps, int mode, std::wstring& file) override {
        log.push_back(FormatW(L"start %d %d %d", rate, kbps, mode));
        strPath = path;
        if (bStartFails) return false;
        // The engine creates the file, numbered when the name is taken.
        file = path + strNumber + L".mp3";
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
        nAudio = 0;
        return true;
    }
    void BeginStopRecorder() override {
        bAudioRuns = false;
        ++nFinishPosted;  // the recorder posts WM_RECORD_FINISHED once it has drained
        log.push_back(L"begin-stop");
    }
    void StopRecorder() override { log.push_back(L"stop-recorder"); }
    int GetRecordedSeconds() override { return static_cast<int>(nAudio); }
    void AddRecord(const RecordEntry& e) override { records.push_back(e); }
    void AddHistoryItem(const RecordEntry& e) override { items.push_back(e); }
    void SetRecordStatus(int n) override { log.push_back(FormatW(L"status %d", n)); }
    void HideRecordStatus() override {}
    void SetRecordButtonStart() override { log.push_back(L"face start"); }
    void SetRecordButtonStop() override { log.push_back(L"face stop"); }
    void SetPauseButtonPause() override { log.push_back(L"face pause"); }
    void SetPauseButtonResume() override { log.push_back(L"face resume"); }
    void EnableRecordButton(bool b) override { log.push_back(b ? L"enable" : L"disable"); }
    void ResetLevelMeters() override { log.push_back(L"meters 0"); }
    void BringMainWindowToFront() override { log.push_back(L"front"); }
    void ShowHistoryWindow() override { log.push_back(L"history"); }
    int64_t Now() override { return tNow; }

    std::wstring strPath;
    bool Logged(const std::wstring& s) const {
        for (auto& l : log)
            if (l == s) return true;
        return false;
    }
    int Count(const std::wstring& prefix) const {
        int n = 0;
        for (auto& l : log)
            if (l.rfind(prefix, 0) == 0) ++n;
        return n;
    }
};

class RecordControllerTest : public ::testing::Test {
protected:
    CFakeHost host;
    CCallList calls;
    CCallPartnerMap partners;
    CGeneralProfile profile;
    CCurrentRecord record;
    CRecordController ctl{host, calls, partners, profile, record};
    std::wstring strFolder = TempFolder();

    void SetUp() override {
        calls.SetClock([this] { return host.tNow; });
        record.SetClock([this] { return host.tNow; });
        profile.m_strFolder = strFolder;
        profile.m_nRecordType = 1;
    }

    // What the Skype parser does for "CALL id STATUS x" and "CALL id PARTNER_HANDLE h".
    void Status(const wchar_t* pszId, int nCode) { ctl.OnCallStatus(calls.SetStatus(pszId, nCode)); }
    void Partner(const wchar_t* pszId, const wchar_t* pszHandle) {
        calls.SetPartner(pszId, pszHandle);
        partners.Set(pszId, pszHandle);
    }
    // The WM_RECORD_FINISHED the recorder posts once it has drained, arriving.
    void DeliverFinish() {
        while (host.nFinishPosted > 0) {
            --host.nFinishPosted;
            ctl.OnRecordFinished();
        }
    }
};

}  // namespace

TEST(RecordTables, FileNamePartReplacesEveryCharacterWindowsForbids) {
    EXPECT_EQ(L"live_alice", MakeFileNamePart(L"live:alice"));
    EXPECT_EQ(L"a_b_c_d_e_f_g_h_i_j", MakeFileNamePart(L"a\\b/c:d*e?f\"g<h>i|j"));
    EXPECT_EQ(L"tab_nl_del_", MakeFileNamePart(L"tab\tnl\ndel\x7f"));
    EXPECT_EQ(L"bob.smith-42 \x00e9\x4e2d", MakeFileNamePart(L"bob.smith-42 \x00e9\x4e2d"));
    EXPECT_EQ(L"", MakeFileNamePart(L""));
}

TEST(RecordTables, RecordPathIsFolderNameAndLocalStartTime) {
    const int64_t t = 1272896530;  // a fixed moment; its local form depends on the time zone
    time_t tt = static_cast<time_t>(t);
    struct tm local {};
    localtime_s(&local, &tt);
    wchar_t szExpected[64];
    wcsftime(szExpected, 64, L"%Y-%m-%d_%H-%M-%S", &local);
    EXPECT_EQ(szExpected, FormatRecordStamp(t));
    EXPECT_EQ(19u, FormatRecordStamp(t).size());
    EXPECT_EQ(std::wstring(L"C:\\rec\\live_alice_") + szExpected,
              BuildRecordPath(L"C:\\rec", L"live:alice", t));
}

TEST(RecordTables, AudioRoutingFollowsTheRecordSide) {
    AudioRoute r[2];
    ASSERT_EQ(2, GetAudioRoutes(0, r));
    EXPECT_FALSE(r[0].bMicrophone);
    EXPECT_STREQ(L"58376", r[0].pszPort);
    EXPECT_TRUE(r[1].bMicrophone);
    EXPECT_STREQ(L"58377", r[1].pszPort);
    ASSERT_EQ(1, GetAudioRoutes(1, r));
    EXPECT_TRUE(r[0].bMicrophone);
    EXPECT_STREQ(L"58377", r[0].pszPort);
    for (int nSide : {2, 3, -1, 100}) {
        ASSERT_EQ(1, GetAudioRoutes(nSide, r));
        EXPECT_FALSE(r[0].bMicrophone);
        EXPECT_STREQ(L"58376", r[0].pszPort);
    }
}

TEST(RecordTables, EncoderSettingsConvertIndexesAndGiveZeroOutside) {
    const int rates[] = {16000, 32000, 44100, 48000};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(rates[i], ConvertSampleRate(i));
    const int kbps[] = {32, 64, 96, 128, 192, 256};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(kbps[i], ConvertBitrate(i));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(i, ConvertChannelMode(i));
    EXPECT_EQ(0, ConvertSampleRate(4));
    EXPECT_EQ(0, ConvertSampleRate(-1));
    EXPECT_EQ(0, ConvertBitrate(6));
    EXPECT_EQ(0, ConvertChannelMode(3));
    EXPECT_EQ(0, ConvertChannelMode(-2));
}

TEST(RecordTables, StatusLineTextsAndColours) {
    EXPECT_EQ(L"Waiting to access Skype ...", GetRecordStatusFace(0).strText);
    EXPECT_EQ(RGB(226, 0, 0), GetRecordStatusFace(0).crText);
    EXPECT_EQ(L"Ready for recording ...", GetRecordStatusFace(1).strText);
    EXPECT_EQ(RGB(0, 0, 0), GetRecordStatusFace(1).crText);
    EXPECT_EQ(L"Recording in progress ...", GetRecordStatusFace(2).strText);
    EXPECT_EQ(RGB(226, 0, 0), GetRecordStatusFace(2).crText);
    EXPECT_EQ(L"Recording pause ...", GetRecordStatusFace(3).strText);
    EXPECT_EQ(RGB(226, 0, 0), GetRecordStatusFace(3).crText);
}

TEST(CurrentRecord, CallIdsAreKeptOnceInJoiningOrder) {
    CCurrentRecord rec;
    rec.AddCallId(L"123");
    rec.AddCallId(L"12");  // a prefix of an item is another id
    rec.AddCallId(L"123");
    rec.AddCallId(L"23");
    rec.AddCallId(L"12");
    EXPECT_EQ(L"123,12,23", rec.GetCallIds());
    rec.Reset();
    EXPECT_EQ(L"", rec.GetCallIds());
    rec.AddCallId(L"9");
    EXPECT_EQ(L"9", rec.GetCallIds());
}

TEST(CurrentRecord, BeginFillsTheEntryAndKeepsTheLow32BitsOfTheStart) {
    int64_t tNow = 0x100000005LL;
    CCurrentRecord rec;
    rec.SetClock([&] { return tNow; });
    rec.Begin(L"alice", 2, L"C:\\rec\\alice_x");
    EXPECT_EQ(L"alice", rec.GetEntry().m_strName);
    EXPECT_EQ(2, rec.GetEntry().m_nType);
    EXPECT_TRUE(rec.GetEntry().m_bNew);
    EXPECT_EQ(L"5", rec.GetEntry().m_strTime);
    EXPECT_EQ(L"C:\\rec\\alice_x.mp3", rec.GetEntry().m_strFile);
    tNow = 0x80000000LL;
    rec.Begin(L"bob", 1, L"b");
    EXPECT_EQ(L"-2147483648", rec.GetEntry().m_strTime);
}

TEST(CurrentRecord, DurationLeavesOutEveryPauseIncludingARunningOne) {
    int64_t tNow = 1000;
    CCurrentRecord rec;
    rec.SetClock([&] { return tNow; });
    rec.Begin(L"alice", 1, L"a");
    tNow = 1010;
    rec.PauseBegin();
    tNow = 1013;
    rec.PauseBegin();  // a second pause start keeps the first moment
    tNow = 1015;
    rec.PauseEnd();
    rec.PauseEnd();  // nothing to end
    EXPECT_EQ(5, rec.GetPausedSeconds());
    tNow = 1030;
    rec.PauseBegin();
    tNow = 1040;
    RecordEntry entry;
    rec.Finish(entry);  // stop while paused
    EXPECT_FALSE(rec.IsPaused());
    EXPECT_EQ(40 - 5 - 10, entry.m_nDuration);
    EXPECT_EQ(L"alice", entry.m_strName);
    EXPECT_EQ(L"a.mp3", entry.m_strFile);
    EXPECT_EQ(L"", entry.m_strNote);
}

TEST_F(RecordControllerTest, AutomaticCallIsRecordedFromInProgressToFinished) {
    host.bIncoming = true;
    Partner(L"17", L"live:alice");
    Status(L"17", CALL_STATUS_RINGING);
    EXPECT_TRUE(host.log.empty());
    Status(L"17", CALL_STATUS_INPROGRESS);
    EXPECT_EQ(RECSTATE_RECORDING, host.nState);
    // Start routes the call, and the in-progress handling that follows routes it again.
    std::vector<std::wstring> expected = {
        L"front",      L"start 32000 64 1", L"state 256",    L"status 2", L"face stop",    L"face pause",
        L"out 17 58376", L"mic 17 58377",   L"enable",       L"out 17 58376", L"mic 17 58377"};
    EXPECT_EQ(expected, host.log);
    EXPECT_EQ(L"17", record.GetCallIds());
    EXPECT_EQ(strFolder + L"\\live_alice_" + FormatRecordStamp(host.tNow), host.strPath);

    host.log.clear();
    host.Advance(21);
    Status(L"17", CALL_STATUS_FINISHED);
    expected = {L"front", L"history", L"begin-stop", L"face start", L"face pause",
                L"meters 0", L"status 1", L"reset-calls", L"disable"};
    EXPECT_EQ(expected, host.log);
    EXPECT_EQ(RECSTATE_RECORDING, host.nState);  // active until the finish has run

    host.log.clear();
    DeliverFinish();
    EXPECT_EQ((std::vector<std::wstring>{L"stop-recorder", L"state 259"}), host.log);
    ASSERT_EQ(1u, host.records.size());
    ASSERT_EQ(1u, host.items.size());
    const RecordEntry& e = host.records[0];
    EXPECT_EQ(L"live:alice", e.m_strName);  // the real handle, not the file-name form
    EXPECT_EQ(1, e.m_nType);
    EXPECT_EQ(21, e.m_nDuration);
    EXPECT_TRUE(e.m_bNew);
    EXPECT_EQ(host.strPath + L".mp3", e.m_strFile);
    EXPECT_EQ(FormatW(L"%ld", static_cast<long>(host.tNow - 21)), e.m_strTime);
    EXPECT_EQ(L"", record.GetCallIds());
}

TEST_F(RecordControllerTest, OutgoingCallAndOptionsReadAtTheMomentOfUse) {
    host.bIncoming = false;
    profile.m_bNotifyConversation = false;
    profile.m_nRecordSide = 1;
    profile.m_nAudioSample = 3;
    profile.m_nAudioBitrate = 9;
    profile.m_nAudioMode = 0;
    Partner(L"5", L"bob");
    Status(L"5", CALL_STATUS_INPROGRESS);
    EXPECT_FALSE(host.Logged(L"front"));
    EXPECT_TRUE(host.Logged(L"start 48000 0 0"));
    EXPECT_EQ(2, host.Count(L"mic 5 58377"));
    EXPECT_EQ(0, host.Count(L"out "));
    profile.m_bNotifyFinish = false;
    profile.m_bNotifyHistory = false;
    host.log.clear();
    Status(L"5", CALL_STATUS_BUSY);
    EXPECT_FALSE(host.Logged(L"front"));
    EXPECT_FALSE(host.Logged(L"history"));
    DeliverFinish();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(2, host.records[0].m_nType);
}

TEST_F(RecordControllerTest, ManualModeRecordsOnlyAfterTheRecordButton) {
    profile.m_nRecordType = 0;
    Partner(L"8", L"carol");
    Status(L"8", CALL_STATUS_INPROGRESS);
    EXPECT_EQ((std::vector<std::wstring>{L"front", L"enable"}), host.log);
    EXPECT_EQ(RECSTATE_IDLE, host.nState);
    host.Advance(3);
    ctl.OnBnClickedRecord();
    EXPECT_EQ(RECSTATE_RECORDING, host.nState);
    EXPECT_TRUE(host.Logged(L"out 8 58376"));
    host.log.clear();
    host.Advance(4);
    ctl.OnBnClickedRecord();  // manual stop: no window comes to the front
    EXPECT_FALSE(host.Logged(L"front"));
    EXPECT_FALSE(host.Logged(L"history"));
    EXPECT_TRUE(host.Logged(L"begin-stop"));
    DeliverFinish();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(4, host.records[0].m_nDuration);
    EXPECT_EQ(L"carol", host.records[0].m_strName);
    // The call is still in progress; when it ends nothing is recorded again.
    host.log.clear();
    Status(L"8", CALL_STATUS_FINISHED);
    EXPECT_EQ((std::vector<std::wstring>{L"reset-calls", L"disable"}), host.log);
    EXPECT_EQ(1u, host.records.size());
}

TEST_F(RecordControllerTest, RecordButtonWithoutACallDoesNothing) {
    ctl.OnBnClickedRecord();
    EXPECT_TRUE(host.log.empty());
    Status(L"3", CALL_STATUS_RINGING);
    ctl.OnBnClickedRecord();
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(RECSTATE_IDLE, host.nState);
}

TEST_F(RecordControllerTest, SlotsOutsideTheTableAndOtherStatusesDoNothing) {
    for (int nSlot : {-1, 20, 25}) ctl.OnCallStatus(nSlot);
    Status(L"4", CALL_STATUS_ROUTING);
    Status(L"4", CALL_STATUS_EARLYMEDIA);
    Status(L"4", CALL_STATUS_ONHOLD);
    EXPECT_TRUE(host.log.empty());
}

TEST_F(RecordControllerTest, DurationIsTheAudioInTheFileWhateverTheClockDoes) {
    Partner(L"10", L"alice");
    Status(L"10", CALL_STATUS_INPROGRESS);
    host.Advance(9);
    host.tNow -= 3600;  // the clock set back an hour during the call
    host.Advance(3);
    Status(L"10", CALL_STATUS_FINISHED);
    DeliverFinish();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(12, host.records[0].m_nDuration);
}
TEST_F(RecordControllerTest, SecondCallJoinsAndTheEntryNamesBothPartners) {
    Partner(L"10", L"alice");
    Status(L"10", CALL_STATUS_INPROGRESS);
    host.Advance(2);
    Partner(L"11", L"bob");
    host.log.clear();
    Status(L"11", CALL_STATUS_INPROGRESS);
    EXPECT_EQ((std::vector<std::wstring>{L"enable", L"out 11 58376", L"mic 11 58377"}), host.log);
    EXPECT_EQ(L"10,11", record.GetCallIds());
    // One of the calls ends while the other goes on: the recording goes on.
    host.log.clear();
    Status(L"10", CALL_STATUS_FINISHED);
    EXPECT_TRUE(host.log.empty());
    EXPECT_EQ(RECSTATE_RECORDING, host.nState);
    host.Advance(5);
    Status(L"11", CALL_STATUS_FINISHED);
    DeliverFinish();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(L"alice,bob", host.records[0].m_strName);
    EXPECT_EQ(7, host.records[0].m_nDuration);
    EXPECT_TRUE(host.Logged(L"reset-calls"));
}

TEST_F(RecordControllerTest, CallOnHoldThatBeganEarlierNamesTheRecording) {
    Partner(L"20", L"held");
    Status(L"20", CALL_STATUS_ONHOLD);
    host.Advance(10);
    Partner(L"21", L"fresh");
    Status(L"21", CALL_STATUS_INPROGRESS);
    EXPECT_EQ(L"20,21", record.GetCallIds());
    EXPECT_EQ(L"held", record.GetEntry().m_strName);
    EXPECT_TRUE(host.Logged(L"out 20 58376"));
    EXPECT_TRUE(host.Logged(L"out 21 58376"));
    // The held call coming back only re-sends its routing.
    host.log.clear();
    Status(L"20", CALL_STATUS_INPROGRESS);
    EXPECT_EQ((std::vector<std::wstring>{L"enable", L"out 20 58376", L"mic 20 58377"}), host.log);
    EXPECT_EQ(L"20,21", record.GetCallIds());
}

TEST_F(RecordControllerTest, RecordingEndsWithItsOwnCallNotWithAnUnjoinedOne) {
    profile.m_nRecordType = 0;
    Partner(L"30", L"alice");
    Status(L"30", CALL_STATUS_INPROGRESS);
    host.Advance(1);
    Partner(L"31", L"bob");
    Status(L"31", CALL_STATUS_INPROGRESS);  // both running before the manual start
    ctl.OnBnClickedRecord();                // records the earliest: 30
    ASSERT_EQ(L"30", record.GetCallIds());
    host.log.clear();
    host.Advance(6);
    Status(L"30", CALL_STATUS_FINISHED);  // 31 goes on, but it was never recorded
    std::vector<std::wstring> expected = {L"front",      L"history",  L"begin-stop", L"face start",
                                          L"face pause", L"meters 0", L"status 1"};
    EXPECT_EQ(expected, host.log);
    DeliverFinish();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(L"alice", host.records[0].m_strName);
    EXPECT_EQ(6, host.records[0].m_nDuration);
    // The last call ending only greys the record button; nothing runs on into a next call.
    host.log.clear();
    Status(L"31", CALL_STATUS_FINISHED);
    EXPECT_EQ((std::vector<std::wstring>{L"reset-calls", L"disable"}), host.log);
    EXPECT_EQ(RECSTATE_STOPPED, host.nState);
    EXPECT_EQ(1u, host.records.size());
}

TEST_F(RecordControllerTest, PauseAndResumeShortenTheDuration) {
    Status(L"40", CALL_STATUS_INPROGRESS);
    host.Advance(5);
    host.log.clear();
    ctl.OnBnClickedPause();
    EXPECT_EQ((std::vector<std::wstring>{L"state 257", L"face resume", L"status 3"}), host.log);
    host.Advance(4);
    host.log.clear();
    ctl.OnBnClickedPause();
    EXPECT_EQ((std::vector<std::wstring>{L"state 258", L"face pause", L"status 2"}), host.log);
    host.Advance(6);
    ctl.OnBnClickedPause();  // paused again, and stopped while paused
    host.Advance(3);
    ctl.OnBnClickedRecord();
    DeliverFinish();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(11, host.records[0].m_nDuration);
}

TEST_F(RecordControllerTest, PauseOutsideARecordingDoesNothing) {
    ctl.OnBnClickedPause();
    host.nState = RECSTATE_STOPPED;
    ctl.OnBnClickedPause();
    EXPECT_TRUE(host.log.empty());
}

// "End one call and answer the next": carol's call goes in progress while bob's
// recording drains. It does not join the recording that is ending; it gets its own
// once bob's is entered, and a click on Record meanwhile is no second stop.
TEST_F(RecordControllerTest, CallInProgressDuringTheStopGetsItsOwnRecordingAfterTheFirstIsEntered) {
    Partner(L"17", L"bob");
    Status(L"17", CALL_STATUS_INPROGRESS);
    host.Advance(5);
    Status(L"17", CALL_STATUS_FINISHED);
    EXPECT_EQ(1, host.nFinishPosted);
    host.log.clear();
    Partner(L"18", L"carol");
    Status(L"18", CALL_STATUS_INPROGRESS);
    ctl.OnBnClickedRecord();
    ctl.OnBnClickedPause();
    EXPECT_EQ((std::vector<std::wstring>{L"front", L"enable"}), host.log);  // no route, no stop, no pause
    EXPECT_EQ(1, host.nFinishPosted);
    EXPECT_EQ(L"17", record.GetCallIds());

    host.log.clear();
    host.strNumber = L" (2)";  // carol's name is taken: the engine numbers it
    DeliverFinish();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(L"bob", host.records[0].m_strName);
    EXPECT_EQ(5, host.records[0].m_nDuration);
    std::vector<std::wstring> expected = {L"stop-recorder", L"state 259",    L"start 32000 64 1", L"state 256",
                                          L"status 2",      L"face stop",    L"face pause",       L"out 18 58376",
                                          L"mic 18 58377",  L"out 18 58376", L"mic 18 58377"};
    EXPECT_EQ(expected, host.log);
    EXPECT_EQ(L"18", record.GetCallIds());
    EXPECT_EQ(host.strPath + L" (2).mp3", record.GetEntry().m_strFile);
    ctl.OnRecordFinished();  // a stray finish: nothing is stopping
    EXPECT_EQ(1u, host.records.size());
    EXPECT_EQ(RECSTATE_RECORDING, host.nState);

    host.Advance(6);
    Status(L"18", CALL_STATUS_FINISHED);
    DeliverFinish();
    ASSERT_EQ(2u, host.records.size());
    EXPECT_EQ(L"carol", host.records[1].m_strName);
    EXPECT_EQ(6, host.records[1].m_nDuration);
    EXPECT_EQ(host.strPath + L" (2).mp3", host.records[1].m_strFile);
    EXPECT_EQ(RECSTATE_STOPPED, host.nState);
}
TEST_F(RecordControllerTest, StartFailureLeavesTheWindowReadyAndRoutesNothing) {
    host.bStartFails = true;
    Status(L"60", CALL_STATUS_INPROGRESS);
    EXPECT_EQ((std::vector<std::wstring>{L"front", L"start 32000 64 1", L"status 1", L"enable"}), host.log);
    EXPECT_EQ(RECSTATE_IDLE, host.nState);
    EXPECT_EQ(L"", record.GetCallIds());
    // The next try starts afresh.
    host.bStartFails = false;
    ctl.OnBnClickedRecord();
    EXPECT_EQ(RECSTATE_RECORDING, host.nState);
    Status(L"60", CALL_STATUS_FINISHED);
    DeliverFinish();
    EXPECT_EQ(1u, host.records.size());
}
TEST_F(RecordControllerTest, QuitDuringARecordingEntersIt) {
    Partner(L"70", L"dave");
    Status(L"70", CALL_STATUS_INPROGRESS);
    host.Advance(9);
    ctl.FinishBeforeExit();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(L"dave", host.records[0].m_strName);
    EXPECT_EQ(9, host.records[0].m_nDuration);
    EXPECT_EQ(RECSTATE_STOPPED, host.nState);
    ctl.FinishBeforeExit();  // nothing running: nothing more
    EXPECT_EQ(1u, host.records.size());
}

TEST_F(RecordControllerTest, NameFallsBackToTheCallIdWithoutAPartner) {
    Status(L"80", CALL_STATUS_INPROGRESS);
    EXPECT_EQ(L"80", record.GetEntry().m_strName);
    Status(L"80", CALL_STATUS_FINISHED);
    DeliverFinish();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(L"80", host.records[0].m_strName);  // the partner map answers the id itself
}

TEST_F(RecordControllerTest, NewRecordingAfterStopDuringTheCall) {
    Status(L"90", CALL_STATUS_INPROGRESS);
    ctl.OnBnClickedRecord();
    DeliverFinish();
    Status(L"90", CALL_STATUS_ONHOLD);
    host.Advance(2);
    Status(L"90", CALL_STATUS_INPROGRESS);  // back from hold while idle and automatic
    EXPECT_EQ(RECSTATE_RECORDING, host.nState);
    EXPECT_EQ(L"90", record.GetCallIds());
}

TEST(RecordRules, AlwaysAndNeverFromTheHistoryMenuMoveTheHandleBetweenModes) {
    int nMode = RULE_RECORD_ALL;
    std::vector<std::wstring> list = {L"stale"};
    AlwaysRecord(nMode, list, L"bob");  // everyone is recorded already
    EXPECT_EQ(RULE_RECORD_ALL, nMode);
    NeverRecord(nMode, list, L"bob");  // the left-over list must not keep "stale" out
    EXPECT_EQ(RULE_RECORD_EXCEPT, nMode);
    EXPECT_EQ(std::vector<std::wstring>{L"bob"}, list);
    EXPECT_FALSE(PassesRecordRule(nMode, list, L"BOB"));
    EXPECT_TRUE(PassesRecordRule(nMode, list, L"stale"));
    AlwaysRecord(nMode, list, L"Bob");
    EXPECT_TRUE(list.empty());
    nMode = RULE_RECORD_ONLY;
    AlwaysRecord(nMode, list, L"carol");
    AlwaysRecord(nMode, list, L"CAROL");
    EXPECT_EQ(std::vector<std::wstring>{L"carol"}, list);
    EXPECT_TRUE(PassesRecordRule(nMode, list, L"Carol"));
    EXPECT_FALSE(PassesRecordRule(nMode, list, L""));  // the partner is not known yet
    NeverRecord(nMode, list, L"carol");
    EXPECT_EQ(RULE_RECORD_ONLY, nMode);
    EXPECT_TRUE(list.empty());
}

TEST_F(RecordControllerTest, RuleDecidesOnceThePartnerIsKnownAndManualRecordingIgnoresIt) {
    profile.m_nRuleMode = RULE_RECORD_ONLY;
    profile.m_ruleList = {L"carol"};
    Partner(L"30", L"eve");
    Status(L"30", CALL_STATUS_ONHOLD);
    host.tNow += 5;
    // Skype tells the partner after the status: nothing starts before it is known.
    Status(L"31", CALL_STATUS_INPROGRESS);
    EXPECT_EQ(RECSTATE_IDLE, host.nState);
    Partner(L"31", L"carol");
    ctl.OnCallPartner(calls.FindCall(L"31"));
    EXPECT_EQ(RECSTATE_RECORDING, host.nState);
    // eve's held call began earlier but is not on the list: carol names the recording.
    EXPECT_EQ(L"carol", record.GetEntry().m_strName);
    Partner(L"32", L"dave");
    Status(L"32", CALL_STATUS_INPROGRESS);
    EXPECT_EQ(L"31", record.GetCallIds());
    EXPECT_FALSE(host.Logged(L"out 32 58376"));
    Status(L"31", CALL_STATUS_FINISHED);
    DeliverFinish();
    ASSERT_EQ(1u, host.records.size());
    EXPECT_EQ(L"carol", host.records[0].m_strName);
    // The user's own start takes whoever is on the line.
    ctl.OnBnClickedRecord();
    EXPECT_EQ(RECSTATE_RECORDING, host.nState);
    Status(L"32", CALL_STATUS_INPROGRESS);
    EXPECT_EQ(L"30,32", record.GetCallIds());
}
