// The history window for real under Wine: template 140, the tree, MCIWnd playing an
// MP3, record.xml through the real store and MSXML, the Recycle Bin through the shell.
#include <gtest/gtest.h>
#include <windows.h>

#include <vfw.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "../../resources/ids_history.h"
#include "base/Com.h"
#include "base/Notifier.h"
#include "base/StringUtil.h"
#include "history/DlgRecHistory.h"
#include "history/RecordHistory.h"
#include "historyui/TestSupport.h"
#include "skype/ContactList.h"
#include "widgets/MyButtonST.h"

namespace {

const long long NOW = 1273656615;  // fixed clock for day labels and the start-up day row
const long long HOUR = 3600;
long long FixedNow() { return NOW; }

std::wstring TimeText(long long t) { return std::to_wstring(t); }

RecordEntry MakeEntry(const std::wstring& strName, long long t, bool bNew, const std::wstring& strFile = L"",
                      int nType = 2, int nDuration = 61) {
    RecordEntry e;
    e.m_strName = strName;
    e.m_strTime = TimeText(t);
    e.m_bNew = bNew;
    e.m_strFile = strFile;
    e.m_nType = nType;
    e.m_nDuration = nDuration;
    return e;
}

std::string ReadFileBytes(const std::wstring& strPath) {
    std::ifstream in(strPath.c_str(), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool FileExists(const std::wstring& strPath) { return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Wine's Recycle Bin is the desktop trash below the Linux HOME of the prefix; a name
// already used there gets a suffix.
std::wstring TrashFolder() {
    wchar_t szDir[MAX_PATH] = {};
    std::wstring strHome;
    if (::GetEnvironmentVariableW(L"OMBRA_WINE_DIR", szDir, MAX_PATH))
        strHome = std::wstring(szDir) + L"/home";
    else if (::GetEnvironmentVariableW(L"WINEPREFIX", szDir, MAX_PATH))
        strHome = std::wstring(szDir) + L"/../home";
    std::wstring strPath = L"Z:";
    for (wchar_t c : strHome) strPath += (c == L'/') ? L'\\' : c;
    return strPath + L"\\.local\\share\\Trash\\";
}

bool InTrash(const std::wstring& strName) {
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW((TrashFolder() + L"files\\" + strName + L"*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE) return false;
    ::FindClose(hFind);
    return true;
}

void EmptyTrashOf(const std::wstring& strName) {
    for (const wchar_t* pszSub : {L"files\\", L"info\\"}) {
        std::wstring strDir = TrashFolder() + pszSub;
        WIN32_FIND_DATAW fd;
        HANDLE hFind = ::FindFirstFileW((strDir + strName + L"*").c_str(), &fd);
        if (hFind == INVALID_HANDLE_VALUE) continue;
        do {
            ::DeleteFileW((strDir + fd.cFileName).c_str());
        } while (::FindNextFileW(hFind, &fd));
        ::FindClose(hFind);
    }
}

class HistoryWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_fnOldClock = CTreeCtrlBT::SetClock(&FixedNow);
        m_fnOldNotifier = SetNotifier([this](HWND, const std::wstring& strText, const std::wstring& strCaption,
                                             UINT uType) {
            m_questions.push_back(strText);
            m_strLastCaption = strCaption;
            m_uLastType = uType;
            return m_nAnswer;
        });
        m_fnOldOpener = CDlgRecHistory::SetFolderOpener([this](const std::wstring& strFile) {
            m_launched.push_back(strFile);
            return true;
        });
        const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string strName = pInfo->name();
        m_strDir = ScratchFolder(std::wstring(strName.begin(), strName.end()).c_str());
        m_strXml = m_strDir + L"\\record.xml";
        ::DeleteFileW(m_strXml.c_str());
        CRecordHistory::GetInstance()->Open(m_strXml);
    }
    void TearDown() override {
        m_dlg.DestroyWindow();
        CRecordHistory::DestroyInstance();
        CContactList::DestroyInstance();
        CTreeCtrlBT::SetClock(m_fnOldClock);
        SetNotifier(m_fnOldNotifier);
        CDlgRecHistory::SetFolderOpener(m_fnOldOpener);
    }

    // Stores the entries, then fills the window the way the main window does at start-up.
    void Open(const std::vector<RecordEntry>& entries) {
        CRecordHistory* pHistory = CRecordHistory::GetInstance();
        for (const RecordEntry& e : entries) ASSERT_TRUE(pHistory->AddRecord(e));
        ASSERT_TRUE(m_dlg.Create(nullptr));
        int nCount = pHistory->GetCount();
        for (int i = 0; i < nCount; ++i) {
            RecordEntry e;
            ASSERT_TRUE(pHistory->GetRecord(i, e));
            m_dlg.AddRecordItem(e);
        }
        m_dlg.RefreshCounts();
    }

    // A copy of a data file in this test's folder, so it can be deleted.
    std::wstring CopyOfTone(const std::wstring& strName, const wchar_t* pszData = L"tone.mp3") {
        std::wstring strPath = m_strDir + L"\\" + strName;
        ::CopyFileW(DataFile(pszData).c_str(), strPath.c_str(), FALSE);
        return strPath;
    }

    std::vector<HTREEITEM> Children(HTREEITEM hParent) {
        std::vector<HTREEITEM> items;
        for (HTREEITEM h = Tree().GetChildItem(hParent); h; h = Tree().GetNextSiblingItem(h)) items.push_back(h);
        return items;
    }
    std::vector<HTREEITEM> DayRows() { return Children(m_dlg.GetRootItem()); }
    // The first recording row whose entry has this name.
    HTREEITEM RowNamed(const std::wstring& strName) {
        for (HTREEITEM hDay : DayRows())
            for (HTREEITEM h : Children(hDay)) {
                RecordEntry* pEntry = Tree().GetItemData(h)->Entry();
                if (pEntry && pEntry->m_strName == strName) return h;
            }
        return nullptr;
    }
    std::wstring NameOf(HTREEITEM h) { return Tree().GetItemData(h)->Entry()->m_strName; }
    CTreeCtrlBT& Tree() { return m_dlg.GetTree(); }
    HWND Item(UINT nId) { return ::GetDlgItem(m_dlg, (int)nId); }
    void Click(UINT nId) { ::SendMessageW(m_dlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), (LPARAM)Item(nId)); }
    bool Enabled(UINT nId) { return ::IsWindowEnabled(Item(nId)) != FALSE; }
    // A key on the tree, through the dialog manager as the main window's dialog loop hands it over.
    void PressTreeKey(WPARAM wKey) {
        HWND hTree = Item(IDC_HISTORY_TREE);
        for (UINT uMsg : {WM_KEYDOWN, WM_KEYUP}) {
            MSG msg{hTree, uMsg, wKey, uMsg == WM_KEYUP ? (LPARAM)0xC0000001 : 1, ::GetTickCount(), {}};
            if (!::IsDialogMessageW(m_dlg, &msg)) ::DispatchMessageW(&msg);
        }
        PumpMessages(100);
    }
    // The picture the play/pause button shows, read from the screen copy of the button:
    // the play picture is green, the pause picture's bars are blue.
    bool ShowsPlayPicture() {
        HWND hBtn = Item(IDC_HISTORY_PLAY);
        RECT rc;
        ::GetClientRect(hBtn, &rc);
        CBitmap dib;
        DWORD* pBits = nullptr;
        if (!dib.CreateDib32(rc.right, rc.bottom, (void**)&pBits)) return false;
        {
            CCompatibleDC dc(nullptr);
            CSelectObject sel(dc, dib);
            ::PrintWindow(hBtn, dc, PW_CLIENTONLY);
            ::GdiFlush();
        }
        long nGreen = 0, nBlue = 0;
        for (int i = 0; i < rc.right * rc.bottom; ++i) {
            nGreen += (pBits[i] >> 8) & 0xFF;
            nBlue += pBits[i] & 0xFF;
        }
        return nGreen > nBlue;
    }
    // Play state, picture, Stop and the timer after playback stopped, whatever stopped it.
    void ExpectStopped(const char* pszWhen) {
        EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_STOPPED) << pszWhen;
        EXPECT_TRUE(ShowsPlayPicture()) << pszWhen;
        EXPECT_FALSE(Enabled(IDC_HISTORY_STOP)) << pszWhen;
        EXPECT_FALSE(::KillTimer(m_dlg, CDlgRecHistory::HISTORY_TIMER_PLAY)) << pszWhen << ": no timer left";
    }

    CDlgRecHistory m_dlg;
    CComInit m_com;
    std::wstring m_strDir, m_strXml;
    std::vector<std::wstring> m_questions, m_launched;
    std::wstring m_strLastCaption;
    UINT m_uLastType = 0;
    int m_nAnswer = IDNO;
    CTreeCtrlBT::ClockFn m_fnOldClock = nullptr;
    NotifierFn m_fnOldNotifier;
    CDlgRecHistory::OpenFolderFn m_fnOldOpener;
};

}  // namespace

TEST_F(HistoryWindowTest, StartsWithRootAndTodayRowAndDisabledPlayer) {
    Open({});
    HTREEITEM hRoot = m_dlg.GetRootItem();
    ASSERT_NE(hRoot, nullptr);
    EXPECT_EQ(Tree().DescribeRow(hRoot).m_strText, L"Total 0 records");
    EXPECT_EQ(Tree().DescribeRow(hRoot).m_strBadge, L"");
    ASSERT_EQ(DayRows().size(), 1u);
    EXPECT_EQ(*Tree().GetItemData(DayRows()[0])->DayTime(), TimeText(NOW));
    EXPECT_EQ(Tree().DescribeRow(DayRows()[0]).m_strText, L"Today");
    EXPECT_FALSE(Enabled(IDC_HISTORY_PLAY));
    EXPECT_FALSE(Enabled(IDC_HISTORY_STOP));
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_NONE);
    EXPECT_EQ(::SendMessageW(Item(IDC_HISTORY_VOLUME), TBM_GETPOS, 0, 0), 10);
    EXPECT_EQ(::SendMessageW(Item(IDC_HISTORY_VOLUME), TBM_GETRANGEMAX, 0, 0), 10);
    EXPECT_EQ(m_dlg.GetStyle() & WS_CAPTION, 0u);
    EXPECT_NE(m_dlg.GetStyle() & WS_MINIMIZEBOX, 0u);
    EXPECT_FALSE(m_dlg.IsWindowVisible());
}

TEST_F(HistoryWindowTest, GroupsByTwentyFourHourDistanceAndSortsNewestFirst) {
    const long long tWeeks = NOW - 21 * 24 * HOUR;
    Open({MakeEntry(L"early", NOW - 11 * HOUR, true), MakeEntry(L"late", NOW - 1 * HOUR, false),
          MakeEntry(L"edge23", NOW - 23 * HOUR, true), MakeEntry(L"yday25", NOW - 25 * HOUR, true),
          MakeEntry(L"weeks", tWeeks, false), MakeEntry(L"weeks2", tWeeks - 2 * HOUR, false),
          MakeEntry(L"weeks3", tWeeks + 3 * HOUR, true)});
    std::vector<HTREEITEM> days = DayRows();
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(Tree().DescribeRow(days[0]).m_strText, L"Today");
    EXPECT_EQ(Tree().DescribeRow(days[1]).m_strText, L"Yestoday");
    EXPECT_EQ(*Tree().GetItemData(days[1])->DayTime(), TimeText(NOW - 25 * HOUR));
    EXPECT_EQ(Tree().DescribeRow(days[2]).m_strText, L"2010-04-21");

    std::vector<HTREEITEM> today = Children(days[0]);
    ASSERT_EQ(today.size(), 3u);
    EXPECT_EQ(NameOf(today[0]), L"late");
    EXPECT_EQ(NameOf(today[1]), L"early");
    EXPECT_EQ(NameOf(today[2]), L"edge23");
    ASSERT_EQ(Children(days[1]).size(), 1u);
    std::vector<HTREEITEM> weeks = Children(days[2]);
    ASSERT_EQ(weeks.size(), 3u);
    EXPECT_EQ(NameOf(weeks[0]), L"weeks3");
    EXPECT_EQ(NameOf(weeks[1]), L"weeks");
    EXPECT_EQ(NameOf(weeks[2]), L"weeks2");
    EXPECT_TRUE(Tree().IsExpanded(days[0]));
    EXPECT_TRUE(Tree().IsExpanded(m_dlg.GetRootItem()));

    EXPECT_EQ(m_dlg.GetCounts().m_nTotal, 7);
    EXPECT_EQ(m_dlg.GetCounts().m_nNew, 4);
    TreeRowView root = Tree().DescribeRow(m_dlg.GetRootItem());
    EXPECT_EQ(root.m_strText, L"Total 7 records");
    EXPECT_EQ(root.m_strBadge, L"4 new");
}

TEST_F(HistoryWindowTest, RecordingAddedLaterJoinsItsDayAndCountsFollow) {
    Open({MakeEntry(L"a", NOW - 2 * HOUR, false)});
    EXPECT_EQ(Tree().DescribeRow(m_dlg.GetRootItem()).m_strBadge, L"");
    RecordEntry e = MakeEntry(L"b", NOW - HOUR, true);
    CRecordHistory::GetInstance()->AddRecord(e);
    m_dlg.AddRecordItem(e);
    m_dlg.RefreshCounts();
    std::vector<HTREEITEM> today = Children(DayRows()[0]);
    ASSERT_EQ(today.size(), 2u);
    EXPECT_EQ(NameOf(today[0]), L"b");
    EXPECT_EQ(m_dlg.GetCounts().m_nTotal, 2);
    EXPECT_EQ(Tree().DescribeRow(m_dlg.GetRootItem()).m_strBadge, L"1 new");
}

TEST_F(HistoryWindowTest, EmptyTimeTextGroupsNearTimeZero) {
    RecordEntry e = MakeEntry(L"notime", 0, true);
    e.m_strTime = L"";
    Open({e});
    std::vector<HTREEITEM> days = DayRows();
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(*Tree().GetItemData(days[1])->DayTime(), L"");
    ASSERT_EQ(Children(days[1]).size(), 1u);
    EXPECT_EQ(Tree().DescribeRow(Children(days[1])[0]).m_strTime, FormatStartTime(L"0"));
}

TEST_F(HistoryWindowTest, RecordingRowShowsNamesTimeLengthAndIcon) {
    CContactList::GetInstance()->SetFullName(L"alice", L"Alice Smith");
    Open({MakeEntry(L"alice,+456", NOW - HOUR, true, L"", 1, 3725), MakeEntry(L"", NOW - 2 * HOUR, false, L"", 2, 90000),
          MakeEntry(L"bob", NOW - 3 * HOUR, false, L"", 3, 5)});
    TreeRowView two = Tree().DescribeRow(RowNamed(L"alice,+456"));
    EXPECT_EQ(two.m_strText, L"Alice Smith | +456");
    EXPECT_EQ(two.m_strLength, L"   01:02:05");
    EXPECT_EQ(two.m_strTime, FormatStartTime(TimeText(NOW - HOUR)));
    EXPECT_EQ(two.m_nIcon, CALLICON_INCOMING_NEW);
    TreeRowView empty = Tree().DescribeRow(RowNamed(L""));
    EXPECT_EQ(empty.m_strText, L"Null");
    EXPECT_EQ(empty.m_strLength, L"   01:00:00");
    EXPECT_EQ(empty.m_nIcon, CALLICON_OUTGOING);
    EXPECT_EQ(Tree().DescribeRow(RowNamed(L"bob")).m_nIcon, -1);
}

TEST_F(HistoryWindowTest, SelectionEnablesPlayOnlyOnRecordingRows) {
    Open({MakeEntry(L"a", NOW - HOUR, true, L"C:\\x.mp3")});
    Tree().SelectItem(RowNamed(L"a"));
    EXPECT_TRUE(Enabled(IDC_HISTORY_PLAY));
    Tree().SelectItem(DayRows()[0]);
    EXPECT_FALSE(Enabled(IDC_HISTORY_PLAY));
    Tree().SelectItem(m_dlg.GetRootItem());
    EXPECT_FALSE(Enabled(IDC_HISTORY_PLAY));
}

TEST_F(HistoryWindowTest, PlayWithoutFileNameSaysFileNotFound) {
    Open({MakeEntry(L"nofile", NOW - HOUR, true, L"")});
    Tree().SelectItem(RowNamed(L"nofile"));
    Click(IDC_HISTORY_PLAY);
    ASSERT_EQ(m_questions.size(), 1u);
    EXPECT_EQ(m_questions[0], L"'' File not found!");
    EXPECT_EQ(m_strLastCaption, L"Ombra Skype Recorder");
    EXPECT_EQ(m_uLastType, (UINT)MB_OK);
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_NONE);
    // Enter on the row plays it as the button does.
    PressTreeKey(VK_RETURN);
    ASSERT_EQ(m_questions.size(), 2u);
    EXPECT_EQ(m_questions[1], L"'' File not found!");
}

TEST_F(HistoryWindowTest, PlayingToTheEndMarksTheEntryReadAndDropsTheBadge) {
    std::wstring strFile = CopyOfTone(L"played.mp3");
    Open({MakeEntry(L"carol", NOW - HOUR, true, strFile), MakeEntry(L"dave", NOW - 2 * HOUR, true, L"C:\\d.mp3")});
    EXPECT_EQ(Tree().DescribeRow(m_dlg.GetRootItem()).m_strBadge, L"2 new");
    HTREEITEM hRow = RowNamed(L"carol");
    Tree().SelectItem(hRow);
    Click(IDC_HISTORY_PLAY);
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PLAYING);
    EXPECT_EQ(m_dlg.GetCurrentRecord(), Tree().GetItemData(hRow));
    EXPECT_TRUE(Enabled(IDC_HISTORY_STOP));
    HWND hPosition = Item(IDC_HISTORY_POSITION);
    EXPECT_GT(::SendMessageW(hPosition, TBM_GETRANGEMAX, 0, 0), 1000);
    EXPECT_TRUE(PumpUntil([&] { return ::SendMessageW(hPosition, TBM_GETPOS, 0, 0) > 0; }, 3000))
        << "the timer moves the position slider";
    ASSERT_TRUE(PumpUntil([&] { return m_dlg.GetPlayState() == PLAYSTATE_STOPPED; }, 5000));
    EXPECT_FALSE(Enabled(IDC_HISTORY_STOP));
    EXPECT_EQ(::SendMessageW(hPosition, TBM_GETPOS, 0, 0), 0);
    EXPECT_FALSE(Tree().GetItemData(hRow)->Entry()->m_bNew);
    EXPECT_EQ(Tree().DescribeRow(hRow).m_nIcon, CALLICON_OUTGOING);
    EXPECT_EQ(m_dlg.GetCounts().m_nNew, 1);
    EXPECT_EQ(Tree().DescribeRow(m_dlg.GetRootItem()).m_strBadge, L"1 new");
    // Saved: record.xml on disk says carol's entry is no longer new.
    std::string strXml = ReadFileBytes(m_strXml);
    size_t nCarol = strXml.find("<name>carol</name>");
    ASSERT_NE(nCarol, std::string::npos);
    size_t nEnd = strXml.find("</rec", nCarol);
    EXPECT_NE(strXml.substr(nCarol, nEnd - nCarol).find("<new>false</new>"), std::string::npos) << strXml;
    size_t nDave = strXml.find("<name>dave</name>");
    EXPECT_NE(strXml.substr(nDave, strXml.find("</rec", nDave) - nDave).find("<new>true</new>"), std::string::npos);

    // Playing it again works from the start.
    Click(IDC_HISTORY_PLAY);
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PLAYING);
    EXPECT_GT(m_dlg.GetPlayer().GetLength(), 1000);
    Click(IDC_HISTORY_STOP);
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_STOPPED);
}

TEST_F(HistoryWindowTest, PauseThenStopBeforeTheEndLeavesItNew) {
    std::wstring strFile = CopyOfTone(L"paused.mp3");
    Open({MakeEntry(L"erin", NOW - HOUR, true, strFile)});
    HTREEITEM hRow = RowNamed(L"erin");
    Tree().SelectItem(hRow);
    Click(IDC_HISTORY_PLAY);
    ASSERT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PLAYING);
    PumpMessages(600);
    Click(IDC_HISTORY_PLAY);
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PAUSED);
    EXPECT_TRUE(Enabled(IDC_HISTORY_STOP));
    LONG nPaused = m_dlg.GetPlayer().GetPosition();
    PumpMessages(2000);  // longer than the rest of the file
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PAUSED);
    EXPECT_LE(m_dlg.GetPlayer().GetPosition() - nPaused, 50);
    Click(IDC_HISTORY_STOP);
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_STOPPED);
    EXPECT_FALSE(Enabled(IDC_HISTORY_STOP));
    EXPECT_TRUE(Enabled(IDC_HISTORY_PLAY));
    EXPECT_LT(m_dlg.GetPlayer().GetPosition(), 150) << "back at the start";
    PumpMessages(600);
    EXPECT_TRUE(Tree().GetItemData(hRow)->Entry()->m_bNew);
    EXPECT_EQ(m_dlg.GetCounts().m_nNew, 1);
    EXPECT_NE(ReadFileBytes(m_strXml).find("<new>true</new>"), std::string::npos);
}

TEST_F(HistoryWindowTest, PauseAndResumeWorkWheneverThePlayingRecordingIsSelected) {
    std::wstring strFile = CopyOfTone(L"resumed.mp3", L"tone3s.mp3");
    Open({MakeEntry(L"finn", NOW - HOUR, true, strFile), MakeEntry(L"gus", NOW - 2 * HOUR, true, L"C:\\g.mp3")});
    HTREEITEM hFinn = RowNamed(L"finn");
    Tree().SelectItem(hFinn);
    Click(IDC_HISTORY_PLAY);
    PumpMessages(300);
    // Away to the day row and the root row, back to the recording that plays.
    Tree().SelectItem(DayRows()[0]);
    EXPECT_FALSE(Enabled(IDC_HISTORY_PLAY));
    Tree().SelectItem(m_dlg.GetRootItem());
    Tree().SelectItem(hFinn);
    EXPECT_TRUE(Enabled(IDC_HISTORY_PLAY));
    Click(IDC_HISTORY_PLAY);
    ASSERT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PAUSED);
    // Paused, the same: another recording leaves the button alone, this one brings it back.
    Tree().SelectItem(DayRows()[0]);
    Tree().SelectItem(RowNamed(L"gus"));
    EXPECT_FALSE(Enabled(IDC_HISTORY_PLAY));
    Tree().SelectItem(hFinn);
    EXPECT_TRUE(Enabled(IDC_HISTORY_PLAY));
    Click(IDC_HISTORY_PLAY);
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PLAYING);
    ASSERT_TRUE(PumpUntil([&] { return m_dlg.GetPlayState() == PLAYSTATE_STOPPED; }, 6000));
    ExpectStopped("played to the end");
    EXPECT_EQ(m_dlg.GetCounts().m_nNew, 1);
    EXPECT_FALSE(Tree().GetItemData(hFinn)->Entry()->m_bNew);
}

TEST_F(HistoryWindowTest, FileThatCannotBePlayedStopsAtOnceAndIsNotMarkedRead) {
    std::wstring strMissing = m_strDir + L"\\missing.mp3";
    ::DeleteFileW(strMissing.c_str());
    std::wstring strGarbage = m_strDir + L"\\garbage.mp3", strEmpty = m_strDir + L"\\empty.mp3";
    std::ofstream(strGarbage.c_str(), std::ios::binary) << std::string(4000, '\x5a');
    std::ofstream(strEmpty.c_str(), std::ios::binary).close();
    Open({MakeEntry(L"gina", NOW - HOUR, true, strMissing), MakeEntry(L"hugo", NOW - 2 * HOUR, true, strGarbage),
          MakeEntry(L"iris", NOW - 3 * HOUR, true, strEmpty)});
    // The media window reports what it cannot open in a box of its own: dismiss it.
    bool bStop = false;
    HANDLE hThread = ::CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            bool* pbStop = (bool*)p;
            while (!*pbStop) {
                // Only boxes of this process: other test programs may run beside it.
                for (HWND hBox = ::FindWindowW(L"#32770", nullptr); hBox;
                     hBox = ::FindWindowExW(nullptr, hBox, L"#32770", nullptr)) {
                    DWORD dwPid = 0;
                    ::GetWindowThreadProcessId(hBox, &dwPid);
                    if (dwPid == ::GetCurrentProcessId()) ::PostMessageW(hBox, WM_COMMAND, IDOK, 0);
                }
                ::Sleep(50);
            }
            return 0;
        },
        &bStop, 0, nullptr);
    for (const wchar_t* pszName : {L"gina", L"hugo", L"iris"}) {
        std::string strWhen = WideToUtf8(pszName);
        Tree().SelectItem(RowNamed(pszName));
        Click(IDC_HISTORY_PLAY);
        EXPECT_EQ(m_dlg.GetPlayer().GetLength(), 0) << strWhen;
        ExpectStopped(strWhen.c_str());
        EXPECT_TRUE(Enabled(IDC_HISTORY_PLAY)) << strWhen << ": can be tried again";
        PumpMessages(600);
        EXPECT_TRUE(Tree().GetItemData(RowNamed(pszName))->Entry()->m_bNew) << strWhen;
    }
    bStop = true;
    ::WaitForSingleObject(hThread, 2000);
    ::CloseHandle(hThread);
    EXPECT_EQ(m_dlg.GetCounts().m_nNew, 3);
}

TEST_F(HistoryWindowTest, VolumeSliderSetsTheMediaVolume) {
    std::wstring strFile = CopyOfTone(L"volume.mp3");
    Open({MakeEntry(L"hal", NOW - HOUR, true, strFile)});
    Tree().SelectItem(RowNamed(L"hal"));
    Click(IDC_HISTORY_PLAY);
    m_dlg.ShowWindow(SW_SHOWNOACTIVATE);
    // Wine's media window takes the volume without reporting it back: watch what it is sent.
    static LPARAM s_nVolume = -1;
    s_nVolume = -1;
    HWND hMedia = m_dlg.GetPlayer().GetMediaWindow();
    ::SetWindowSubclass(
        hMedia,
        [](HWND h, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) -> LRESULT {
            if (uMsg == MCIWNDM_SETVOLUME) s_nVolume = lParam;
            return ::DefSubclassProc(h, uMsg, wParam, lParam);
        },
        1, 0);
    HWND hVolume = Item(IDC_HISTORY_VOLUME);
    ::SendMessageW(hVolume, TBM_SETPOS, TRUE, 3);
    ::RedrawWindow(hVolume, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(s_nVolume, 300);
    ::SendMessageW(hVolume, TBM_SETPOS, TRUE, 0);
    ::RedrawWindow(hVolume, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(s_nVolume, 0);
    Click(IDC_HISTORY_STOP);
}

namespace {
// Volumes sent to any media window of this thread, seen by a hook since the window
// is made and spoken to inside one click.
std::vector<LPARAM> g_volumesSent;
LRESULT CALLBACK WatchVolume(int nCode, WPARAM wParam, LPARAM lParam) {
    auto* pMsg = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (nCode == HC_ACTION && pMsg->message == MCIWNDM_SETVOLUME) g_volumesSent.push_back(pMsg->lParam);
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}
}  // namespace

TEST_F(HistoryWindowTest, NewRecordingPlaysAtTheVolumeTheSliderShows) {
    std::wstring strFile = CopyOfTone(L"quiet.mp3");
    Open({MakeEntry(L"una", NOW - HOUR, true, strFile)});
    ::SendMessageW(Item(IDC_HISTORY_VOLUME), TBM_SETPOS, TRUE, 2);
    Tree().SelectItem(RowNamed(L"una"));
    g_volumesSent.clear();
    HHOOK hHook = ::SetWindowsHookExW(WH_CALLWNDPROC, &WatchVolume, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hHook, nullptr);
    Click(IDC_HISTORY_PLAY);
    ::UnhookWindowsHookEx(hHook);
    ASSERT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PLAYING);
    ASSERT_FALSE(g_volumesSent.empty()) << "the new media window is told the volume";
    EXPECT_EQ(g_volumesSent.back(), 200);
    Click(IDC_HISTORY_STOP);
}

TEST_F(HistoryWindowTest, PositionSliderReleaseSeeksAndKeepsPaused) {
    std::wstring strFile = CopyOfTone(L"seek.mp3", L"tone3s.mp3");
    Open({MakeEntry(L"ivy", NOW - HOUR, true, strFile)});
    Tree().SelectItem(RowNamed(L"ivy"));
    Click(IDC_HISTORY_PLAY);
    PumpMessages(300);
    Click(IDC_HISTORY_PLAY);
    ASSERT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PAUSED);
    HWND hPosition = Item(IDC_HISTORY_POSITION);
    ::SendMessageW(hPosition, TBM_SETPOS, TRUE, 2000);
    NMHDR hdr = {hPosition, IDC_HISTORY_POSITION, (UINT)NM_RELEASEDCAPTURE};
    ::SendMessageW(m_dlg, WM_NOTIFY, IDC_HISTORY_POSITION, (LPARAM)&hdr);
    EXPECT_NEAR(m_dlg.GetPlayer().GetPosition(), 2000, 200);
    PumpMessages(400);
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PAUSED);
    EXPECT_NEAR(m_dlg.GetPlayer().GetPosition(), 2000, 200) << "paused stays paused";
    // While playing, playback goes on from the new place.
    Click(IDC_HISTORY_PLAY);
    ::SendMessageW(hPosition, TBM_SETPOS, TRUE, 500);
    ::SendMessageW(m_dlg, WM_NOTIFY, IDC_HISTORY_POSITION, (LPARAM)&hdr);
    PumpMessages(400);
    LONG nPos = m_dlg.GetPlayer().GetPosition();
    EXPECT_GT(nPos, 520) << "playing on from 500";
    EXPECT_LT(nPos, 1900) << "from 500, not from where it was";
    Click(IDC_HISTORY_STOP);
}

TEST_F(HistoryWindowTest, DeleteAnsweredNoChangesNothing) {
    std::wstring strFile = CopyOfTone(L"keep.mp3");
    Open({MakeEntry(L"jack", NOW - HOUR, true, strFile)});
    HTREEITEM hRow = RowNamed(L"jack");
    m_nAnswer = IDNO;
    ::PostMessageW(m_dlg, WM_HISTORY_DELETE, (WPARAM)hRow, (LPARAM)Tree().GetItemData(hRow));
    PumpMessages(100);
    ASSERT_EQ(m_questions.size(), 1u);
    EXPECT_EQ(m_questions[0], L"Are you sure you want to delete the selected item?");
    EXPECT_EQ(m_strLastCaption, L"Ombra Skype Recorder");
    EXPECT_EQ(m_uLastType, (UINT)(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(RowNamed(L"jack"), hRow);
    EXPECT_TRUE(FileExists(strFile));
    EXPECT_EQ(CRecordHistory::GetInstance()->GetCount(), 1);
    EXPECT_EQ(m_dlg.GetCounts().m_nTotal, 1);
    // The Delete key asks the same, for the selected row only; the arrows move as in any tree.
    Tree().SelectItem(hRow);
    PressTreeKey(VK_DELETE);
    ASSERT_EQ(m_questions.size(), 2u);
    EXPECT_EQ(m_questions[1], L"Are you sure you want to delete the selected item?");
    PressTreeKey(VK_UP);
    EXPECT_NE(Tree().GetSelectedItem(), hRow);
    PressTreeKey(VK_DELETE);
    EXPECT_EQ(m_questions.size(), 2u);
    EXPECT_EQ(CRecordHistory::GetInstance()->GetCount(), 1);
}

TEST_F(HistoryWindowTest, DeleteAnsweredYesMovesTheFileToTheRecycleBin) {
    std::wstring strFile = CopyOfTone(L"trash_me_\u00e9.mp3");
    EmptyTrashOf(L"trash_me_\u00e9.mp3");
    Open({MakeEntry(L"kim", NOW - HOUR, true, strFile), MakeEntry(L"lee", NOW - 2 * HOUR, false)});
    HTREEITEM hRow = RowNamed(L"kim");
    Tree().SelectItem(hRow);
    m_nAnswer = IDYES;
    ::PostMessageW(m_dlg, WM_HISTORY_DELETE, (WPARAM)hRow, (LPARAM)Tree().GetItemData(hRow));
    // A second click on the spot posts again: it must find the row gone.
    ::PostMessageW(m_dlg, WM_HISTORY_DELETE, (WPARAM)hRow, (LPARAM)Tree().GetItemData(hRow));
    PumpMessages(200);
    EXPECT_EQ(m_questions.size(), 1u);
    EXPECT_EQ(RowNamed(L"kim"), nullptr);
    EXPECT_NE(RowNamed(L"lee"), nullptr);
    EXPECT_FALSE(FileExists(strFile));
    EXPECT_TRUE(InTrash(L"trash_me_\u00e9.mp3")) << "in the Recycle Bin: " << WideToUtf8(TrashFolder());
    EXPECT_EQ(CRecordHistory::GetInstance()->GetCount(), 1);
    RecordEntry left;
    ASSERT_TRUE(CRecordHistory::GetInstance()->GetRecord(0, left));
    EXPECT_EQ(left.m_strName, L"lee");
    EXPECT_EQ(m_dlg.GetCounts().m_nTotal, 1);
    EXPECT_EQ(m_dlg.GetCounts().m_nNew, 0);
    EXPECT_EQ(ReadFileBytes(m_strXml).find("kim"), std::string::npos);
}

TEST_F(HistoryWindowTest, DeleteMovesOnlyOneExistingPlainFile) {
    // Damaged entries: a folder, a pattern, a relative name, and a file already gone.
    std::wstring strSub = m_strDir + L"\\sub";
    ::CreateDirectoryW(strSub.c_str(), nullptr);
    std::wstring strInSub = CopyOfTone(L"sub\\inside.mp3"), strOther = CopyOfTone(L"other.mp3");
    Open({MakeEntry(L"dir", NOW - HOUR, true, strSub), MakeEntry(L"star", NOW - 2 * HOUR, true, m_strDir + L"\\*.mp3"),
          MakeEntry(L"rel", NOW - 3 * HOUR, true, L"other.mp3"),
          MakeEntry(L"gone", NOW - 4 * HOUR, true, m_strDir + L"\\gone.mp3")});
    // The relative name would be found in the current folder.
    wchar_t szOldDir[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, szOldDir);
    ::SetCurrentDirectoryW(m_strDir.c_str());
    m_nAnswer = IDYES;
    for (const wchar_t* pszName : {L"dir", L"star", L"rel", L"gone"}) {
        HTREEITEM hRow = RowNamed(pszName);
        ::SendMessageW(m_dlg, WM_HISTORY_DELETE, (WPARAM)hRow, (LPARAM)Tree().GetItemData(hRow));
        EXPECT_EQ(RowNamed(pszName), nullptr) << WideToUtf8(pszName) << ": the entry goes";
    }
    ::SetCurrentDirectoryW(szOldDir);
    EXPECT_TRUE(FileExists(strInSub));
    EXPECT_TRUE(FileExists(strOther));
    EXPECT_EQ(CRecordHistory::GetInstance()->GetCount(), 0);
    EXPECT_EQ(m_questions.size(), 4u) << "only the four questions, no complaint";
}

TEST_F(HistoryWindowTest, DeletingTheRecordingBeingPlayedStopsAndClosesItFirst) {
    std::wstring strFile = CopyOfTone(L"playing_delete.mp3", L"tone3s.mp3");
    EmptyTrashOf(L"playing_delete.mp3");
    Open({MakeEntry(L"max", NOW - HOUR, true, strFile)});
    HTREEITEM hRow = RowNamed(L"max");
    Tree().SelectItem(hRow);
    Click(IDC_HISTORY_PLAY);
    PumpMessages(300);
    ASSERT_EQ(m_dlg.GetPlayState(), PLAYSTATE_PLAYING);
    m_nAnswer = IDYES;
    ::PostMessageW(m_dlg, WM_HISTORY_DELETE, (WPARAM)hRow, (LPARAM)Tree().GetItemData(hRow));
    PumpMessages(200);
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_STOPPED);
    EXPECT_EQ(m_dlg.GetCurrentRecord(), nullptr);
    EXPECT_EQ(m_dlg.GetPlayer().GetLength(), 0) << "no media open any more";
    EXPECT_FALSE(FileExists(strFile));
    EXPECT_TRUE(InTrash(L"playing_delete.mp3"));
    EXPECT_EQ(m_dlg.GetCounts().m_nTotal, 0);
    EXPECT_FALSE(Enabled(IDC_HISTORY_PLAY)) << "no recording is selected any more";
    PumpMessages(600);  // the timer is gone with it
    EXPECT_EQ(m_dlg.GetPlayState(), PLAYSTATE_STOPPED);
}

TEST_F(HistoryWindowTest, DeleteOfAnEntryTheStoreDoesNotHaveKeepsRowAndFile) {
    std::wstring strFile = CopyOfTone(L"orphan.mp3");
    Open({MakeEntry(L"ned", NOW - HOUR, true, strFile)});
    RecordEntry ghost = MakeEntry(L"ghost", NOW - 2 * HOUR, true, strFile);
    m_dlg.AddRecordItem(ghost);  // shown, but never stored
    m_dlg.RefreshCounts();
    HTREEITEM hGhost = RowNamed(L"ghost");
    m_nAnswer = IDYES;
    ::SendMessageW(m_dlg, WM_HISTORY_DELETE, (WPARAM)hGhost, (LPARAM)Tree().GetItemData(hGhost));
    EXPECT_EQ(RowNamed(L"ghost"), hGhost);
    EXPECT_TRUE(FileExists(strFile));
    EXPECT_EQ(m_dlg.GetCounts().m_nTotal, 2);
}

TEST_F(HistoryWindowTest, OpenFolderShowsTheWholeWidePathEvenWithCommas) {
    std::wstring strFile = L"C:\\Users\\\u5f20\u4f1f\\Om,bra\\\u00e9t\u00e9, call_2010-05-12.mp3";
    Open({MakeEntry(L"olga", NOW - HOUR, true, strFile)});
    HTREEITEM hRow = RowNamed(L"olga");
    ::SendMessageW(m_dlg, WM_HISTORY_OPENFOLDER, (WPARAM)hRow, (LPARAM)Tree().GetItemData(hRow));
    ::SendMessageW(m_dlg, WM_HISTORY_OPENFOLDER, 0, 0);
    ASSERT_EQ(m_launched.size(), 1u);
    EXPECT_EQ(m_launched[0], strFile);
    // Where the shell cannot select the file itself: the Windows folder's explorer.exe,
    // the path quoted so that its commas stay part of it.
    wchar_t szWindows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(szWindows, MAX_PATH);
    EXPECT_EQ(CDlgRecHistory::BuildSelectCommandLine(strFile),
              L"\"" + std::wstring(szWindows) + L"\\explorer.exe\" /select, \"" + strFile + L"\"");
}

TEST_F(HistoryWindowTest, HoverSpotsAndClicksOnTheTree) {
    Open({MakeEntry(L"pam", NOW - HOUR, true, L"C:\\pam.mp3"), MakeEntry(L"quinn", NOW - 2 * HOUR, true, L"C:\\q.mp3")});
    m_dlg.ShowWindow(SW_SHOWNOACTIVATE);
    ::SetWindowPos(m_dlg, nullptr, 0, 0, 500, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    ::UpdateWindow(m_dlg);
    HTREEITEM hPam = RowNamed(L"pam"), hQuinn = RowNamed(L"quinn");
    Tree().SelectItem(hQuinn);
    RECT rc = Tree().GetRowRect(hPam);
    ASSERT_FALSE(::IsRectEmpty(&rc));
    const int y = (rc.top + rc.bottom) / 2;
    ::SendMessageW(Tree(), WM_MOUSEMOVE, 0, MAKELPARAM(rc.right - 12, y));
    EXPECT_EQ(Tree().GetHoverItem(), hPam);
    EXPECT_EQ(Tree().GetHoverSpot(), ROWSPOT_DELETE);
    ::SendMessageW(Tree(), WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Tree().GetHoverSpot(), ROWSPOT_NONE);

    // Click on the open-folder spot of the hover row: selects it and posts the request.
    ::SendMessageW(Tree(), WM_MOUSEMOVE, 0, MAKELPARAM(rc.right - 32, y));
    EXPECT_EQ(Tree().GetHoverSpot(), ROWSPOT_FOLDER);
    ::PostMessageW(Tree(), WM_LBUTTONUP, 0, MAKELPARAM(rc.right - 32, y));
    ::SendMessageW(Tree(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rc.right - 32, y));
    PumpMessages(100);
    EXPECT_EQ(Tree().GetSelectedItem(), hPam);
    ASSERT_EQ(m_launched.size(), 1u);
    EXPECT_EQ(m_launched[0], L"C:\\pam.mp3");

    // A click elsewhere on a row only selects it.
    RECT rcQ = Tree().GetRowRect(hQuinn);
    const int yQ = (rcQ.top + rcQ.bottom) / 2;
    ::SendMessageW(Tree(), WM_MOUSEMOVE, 0, MAKELPARAM(rcQ.left + 120, yQ));
    ::PostMessageW(Tree(), WM_LBUTTONUP, 0, MAKELPARAM(rcQ.left + 120, yQ));
    ::SendMessageW(Tree(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rcQ.left + 120, yQ));
    PumpMessages(100);
    EXPECT_EQ(Tree().GetSelectedItem(), hQuinn);
    EXPECT_EQ(m_launched.size(), 1u);
    EXPECT_TRUE(m_questions.empty());

    // A click on a day row's mark folds it and unfolds it again.
    HTREEITEM hDay = DayRows()[0];
    RECT rcDay = Tree().GetRowRect(hDay), rcMark = {};
    TreeView_GetItemRect(Tree(), hDay, &rcMark, TRUE);
    LPARAM ptMark = MAKELPARAM(rcMark.left + 8, (rcDay.top + rcDay.bottom) / 2);
    ::PostMessageW(Tree(), WM_LBUTTONUP, 0, ptMark);
    ::SendMessageW(Tree(), WM_LBUTTONDOWN, MK_LBUTTON, ptMark);
    PumpMessages(50);
    EXPECT_FALSE(Tree().IsExpanded(hDay));
    ::PostMessageW(Tree(), WM_LBUTTONUP, 0, ptMark);
    ::SendMessageW(Tree(), WM_LBUTTONDOWN, MK_LBUTTON, ptMark);
    PumpMessages(50);
    EXPECT_TRUE(Tree().IsExpanded(hDay));

    // Delete spot click posts the delete request, answered No here.
    ::SendMessageW(Tree(), WM_MOUSEMOVE, 0, MAKELPARAM(rcQ.right - 12, yQ));
    ::PostMessageW(Tree(), WM_LBUTTONUP, 0, MAKELPARAM(rcQ.right - 12, yQ));
    ::SendMessageW(Tree(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rcQ.right - 12, yQ));
    PumpMessages(100);
    EXPECT_EQ(m_questions.size(), 1u);
    EXPECT_NE(RowNamed(L"quinn"), nullptr);
}

TEST_F(HistoryWindowTest, RowMenuOffersAlwaysAndNeverRecordForEachPartner) {
    CContactList::GetInstance()->SetFullName(L"bob", L"Bob & Co");
    Open({MakeEntry(L"alice,bob", NOW - HOUR, true, L"C:\\ab.mp3")});
    std::vector<std::wstring> chosen;
    m_dlg.SetRecordRuleHandler(
        [&](const std::wstring& strHandle, bool bAlways) { chosen.push_back((bAlways ? L"always " : L"never ") + strHandle); });
    m_dlg.ShowWindow(SW_SHOWNOACTIVATE);
    ::SetWindowPos(m_dlg, nullptr, 0, 0, 500, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rc = Tree().GetRowRect(RowNamed(L"alice,bob"));
    POINT pt{rc.left + 120, (rc.top + rc.bottom) / 2};
    ::ClientToScreen(Tree(), &pt);
    ::SetCursorPos(pt.x, pt.y);
    // The menu runs its own loop: another thread reads it and picks the fourth item by keyboard.
    std::vector<std::wstring> items;
    std::thread picker([&] {
        HWND hMenuWnd = nullptr;
        for (int i = 0; i < 300 && !(hMenuWnd = ::FindWindowW(L"#32768", nullptr)); ++i) ::Sleep(10);
        if (!hMenuWnd) return;
        HMENU hMenu = (HMENU)::SendMessageW(hMenuWnd, MN_GETHMENU, 0, 0);
        for (int i = 0; i < ::GetMenuItemCount(hMenu); ++i) {
            wchar_t sz[64] = {};
            ::GetMenuStringW(hMenu, i, sz, 64, MF_BYPOSITION);
            items.push_back(sz);
        }
        for (int i = 0; i < 4; ++i) ::PostMessageW(hMenuWnd, WM_KEYDOWN, VK_DOWN, 0);
        ::PostMessageW(hMenuWnd, WM_KEYDOWN, VK_RETURN, 0);
    });
    NMHDR hdr{Tree().m_hWnd, IDC_HISTORY_TREE, (UINT)NM_RCLICK};
    ::SendMessageW(m_dlg, WM_NOTIFY, IDC_HISTORY_TREE, (LPARAM)&hdr);
    picker.join();
    EXPECT_EQ(items, (std::vector<std::wstring>{L"Always record alice", L"Never record alice", L"",
                                                L"Always record Bob && Co", L"Never record Bob && Co"}));
    EXPECT_EQ(chosen, std::vector<std::wstring>{L"never bob"});
    EXPECT_EQ(Tree().GetSelectedItem(), RowNamed(L"alice,bob"));
}

TEST_F(HistoryWindowTest, RecordingsTakenAwayLeaveWithADayTheyEmpty) {
    const long long tWeeks = NOW - 21 * 24 * HOUR;
    Open({MakeEntry(L"late", NOW - HOUR, false), MakeEntry(L"yday", NOW - 25 * HOUR, true),
          MakeEntry(L"weeks", tWeeks, true), MakeEntry(L"weeks2", tWeeks - HOUR, false)});
    m_dlg.RemoveRecordItems({MakeEntry(L"weeks", tWeeks, true), MakeEntry(L"weeks2", tWeeks - HOUR, false),
                             MakeEntry(L"late", NOW - HOUR, false)});
    std::vector<HTREEITEM> days = DayRows();
    ASSERT_EQ(days.size(), 2u);  // today stays, empty; the weeks-old day goes
    EXPECT_TRUE(Children(days[0]).empty());
    EXPECT_EQ(NameOf(Children(days[1])[0]), L"yday");
    EXPECT_EQ(Tree().DescribeRow(m_dlg.GetRootItem()).m_strText, L"Total 1 records");
}

TEST_F(HistoryWindowTest, LayoutFollowsTheSizeAndRefusesTooSmall) {
    Open({});
    m_dlg.ShowWindow(SW_SHOWNOACTIVATE);
    ::SetWindowPos(m_dlg, nullptr, 0, 0, 600, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    ::RedrawWindow(m_dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT rcClient;
    ::GetClientRect(m_dlg, &rcClient);
    auto RectOf = [&](UINT nId) {
        RECT rc;
        ::GetWindowRect(Item(nId), &rc);
        ::MapWindowPoints(nullptr, m_dlg, (POINT*)&rc, 2);
        return rc;
    };
    const int cx = rcClient.right, cy = rcClient.bottom;
    RECT rcTree = RectOf(IDC_HISTORY_TREE);
    EXPECT_EQ(rcTree.left, 0);
    EXPECT_EQ(rcTree.top, 22);
    EXPECT_EQ(rcTree.right, cx);
    EXPECT_EQ(rcTree.bottom, 22 + cy - 52);
    RECT rcPlay = RectOf(IDC_HISTORY_PLAY), rcStop = RectOf(IDC_HISTORY_STOP);
    EXPECT_EQ(rcPlay.left, 6);
    EXPECT_EQ(rcPlay.top, cy - 27);
    EXPECT_EQ(rcStop.left, rcPlay.right + 3);
    RECT rcSpeaker = RectOf(IDC_HISTORY_SPEAKER), rcVolume = RectOf(IDC_HISTORY_VOLUME);
    EXPECT_EQ(rcSpeaker.left, cx - 110);
    EXPECT_EQ(rcVolume.left, rcSpeaker.right);
    EXPECT_EQ(rcVolume.right, cx - 2);
    RECT rcPosition = RectOf(IDC_HISTORY_POSITION);
    EXPECT_EQ(rcPosition.left, rcStop.right + 2);
    EXPECT_EQ(rcPosition.right, rcSpeaker.left - 2);
    RECT rcClose = RectOf(IDC_HISTORY_CLOSE);
    EXPECT_EQ(rcClose.top, 1);
    EXPECT_EQ(rcClose.right, cx - 1);

    // Only the width changes: the tree and the sliders still follow.
    ::SetWindowPos(m_dlg, nullptr, 0, 0, 700, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    ::RedrawWindow(m_dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ::GetClientRect(m_dlg, &rcClient);
    EXPECT_EQ(RectOf(IDC_HISTORY_TREE).right, rcClient.right);
    EXPECT_EQ(RectOf(IDC_HISTORY_VOLUME).right, rcClient.right - 2);

    MINMAXINFO info = {};
    info.ptMinTrackSize = {100, 100};
    ::SendMessageW(m_dlg, WM_GETMINMAXINFO, 0, (LPARAM)&info);
    EXPECT_EQ(info.ptMinTrackSize.x, 426);
    EXPECT_EQ(info.ptMinTrackSize.y, 162);
    info.ptMinTrackSize = {500, 300};
    ::SendMessageW(m_dlg, WM_GETMINMAXINFO, 0, (LPARAM)&info);
    EXPECT_EQ(info.ptMinTrackSize.x, 500);
    EXPECT_EQ(info.ptMinTrackSize.y, 300);
}

TEST_F(HistoryWindowTest, CloseButtonAndEscapeHideTheWindow) {
    Open({});
    m_dlg.ShowWindow(SW_SHOWNOACTIVATE);
    ASSERT_TRUE(m_dlg.IsWindowVisible());
    Click(IDC_HISTORY_CLOSE);
    EXPECT_FALSE(m_dlg.IsWindowVisible());
    m_dlg.ShowWindow(SW_SHOWNOACTIVATE);
    ::SendMessageW(m_dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(m_dlg.IsWindowVisible());
    EXPECT_TRUE(m_dlg.IsWindow()) << "hidden, never destroyed";
}

TEST_F(HistoryWindowTest, FilterOnTenThousandEntriesShowsMatchesWithTheirDaysAndCountsAndEscapeRestoresAll) {
    // Years of calls, one an hour, with 300 partners; one partner has a display name.
    constexpr int ENTRIES = 10000;
    CContactList::GetInstance()->SetFullName(L"partner.7", L"Zoe Quartermaine");
    ASSERT_TRUE(m_dlg.Create(nullptr));
    std::vector<RecordEntry> entries;
    std::vector<std::wstring> dayLabels;  // the label of each entry's day row: groups of 24 hours from now
    for (int i = 0; i < ENTRIES; ++i) {
        entries.push_back(MakeEntry(FormatW(L"partner.%d", i % 300), NOW - i * HOUR, i % 7 == 0));
        dayLabels.push_back(FormatDayLabel(NOW, NOW - (i / 24) * 24 * HOUR));
    }
    m_dlg.AddRecordItems(entries);
    const size_t nAllDays = DayRows().size();
    ASSERT_EQ(m_dlg.GetCounts().m_nTotal, ENTRIES);
    HWND hFilter = Item(IDC_HISTORY_FILTER);
    auto Type = [&](const std::wstring& strText) {
        for (wchar_t c : strText) ::SendMessageW(hFilter, WM_CHAR, c, 0);
    };
    // What the tree shows: every day row has rows, every row passes, and the counts are theirs.
    auto ExpectShown = [&](const std::function<bool(const RecordEntry&, const std::wstring&)>& fnMatch,
                           const char* pszWhat) {
        int nExpected = 0, nExpectedNew = 0, nShown = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            if (fnMatch(entries[i], dayLabels[i])) ++nExpected, nExpectedNew += entries[i].m_bNew ? 1 : 0;
        }
        for (HTREEITEM hDay : DayRows()) {
            std::vector<HTREEITEM> rows = Children(hDay);
            EXPECT_FALSE(rows.empty()) << pszWhat << ": a day row without matches";
            std::wstring strDay = Tree().DescribeRow(hDay).m_strText;
            for (HTREEITEM h : rows) {
                ++nShown;
                EXPECT_TRUE(fnMatch(*Tree().GetItemData(h)->Entry(), strDay)) << pszWhat;
            }
        }
        EXPECT_EQ(nShown, nExpected) << pszWhat;
        EXPECT_EQ(m_dlg.GetCounts().m_nTotal, nExpected) << pszWhat;
        EXPECT_EQ(m_dlg.GetCounts().m_nNew, nExpectedNew) << pszWhat;
        EXPECT_EQ(Tree().DescribeRow(m_dlg.GetRootItem()).m_strText, FormatTotalText(nExpected)) << pszWhat;
    };

    Type(L"PARTNER.12");
    EXPECT_EQ(m_dlg.GetFilter(), L"partner.12");
    ExpectShown([](const RecordEntry& e, const std::wstring&) { return e.m_strName.find(L"partner.12") == 0; },
                "handle");
    EXPECT_EQ(m_dlg.GetCounts().m_nTotal, 34 + 10 * 33);  // partner.12, and .120 to .129

    ::SendMessageW(hFilter, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(m_dlg.GetFilter(), L"");
    Type(L"zoe q");
    ExpectShown([](const RecordEntry& e, const std::wstring&) { return e.m_strName == L"partner.7"; },
                "display name");

    ::SetWindowTextW(hFilter, L"2010-05-03");
    ExpectShown(
        [](const RecordEntry& e, const std::wstring& strDay) {
            return FormatRecordDate(e.m_strTime) == L"2010-05-03" || strDay == L"2010-05-03";
        },
        "date");
    ::SetWindowTextW(hFilter, L" today ");
    ExpectShown([](const RecordEntry&, const std::wstring& strDay) { return strDay == L"Today" || strDay == L"Yestoday"; },
                "day label");
    ::SetWindowTextW(hFilter, L"nobody");
    EXPECT_TRUE(DayRows().empty());
    EXPECT_EQ(Tree().DescribeRow(m_dlg.GetRootItem()).m_strText, L"Total 0 records");
    EXPECT_EQ(Tree().DescribeRow(m_dlg.GetRootItem()).m_strBadge, L"");

    // Ctrl+F in the tree goes to the box; Esc from the tree empties it too, and
    // everything is back, newest first.
    m_dlg.ShowWindow(SW_SHOW);
    ::SetFocus(Tree());
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::SendMessageW(Tree(), WM_KEYDOWN, 'F', 0);
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    EXPECT_EQ(::GetFocus(), hFilter);
    ::SendMessageW(Tree(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(::GetWindowTextLengthW(hFilter), 0);
    EXPECT_EQ(DayRows().size(), nAllDays);
    EXPECT_EQ(m_dlg.GetCounts().m_nTotal, ENTRIES);
    EXPECT_EQ(m_dlg.GetCounts().m_nNew, (ENTRIES + 6) / 7);
    EXPECT_EQ(NameOf(Children(DayRows()[0])[0]), L"partner.0");
    EXPECT_TRUE(Tree().IsExpanded(DayRows().back()));
}

TEST(HistoryPictures, PlayerButtonsLookDisabledOnlyWhenTheyAre) {
    // A disabled button draws its picture in greys: a grey picture would look disabled always.
    for (UINT nId : {IDB_HISTORY_PLAY, IDB_HISTORY_PAUSE, IDB_HISTORY_STOP}) {
        CBitmap bmp;
        ASSERT_TRUE(bmp.Load(nId)) << nId;
        CBitmap dib;
        DWORD* pBits = nullptr;
        ASSERT_TRUE(dib.CreateDib32(24, 24, (void**)&pBits));
        {
            CCompatibleDC dcSrc(nullptr), dcDst(nullptr);
            CSelectObject selSrc(dcSrc, bmp), selDst(dcDst, dib);
            ::BitBlt(dcDst, 0, 0, 24, 24, dcSrc, 0, 0, SRCCOPY);
            ::GdiFlush();
        }
        int nColoured = 0;
        for (int i = 0; i < 24 * 24; ++i) {
            COLORREF c = RGB((pBits[i] >> 16) & 0xFF, (pBits[i] >> 8) & 0xFF, pBits[i] & 0xFF);
            COLORREF g = GreyOf(c);
            if (abs(GetRValue(c) - GetRValue(g)) + abs(GetGValue(c) - GetGValue(g)) + abs(GetBValue(c) - GetBValue(g)) > 90)
                ++nColoured;
        }
        EXPECT_GT(nColoured, 150) << "bitmap " << nId;
    }
}
