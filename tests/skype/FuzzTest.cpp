// Garbage from Skype's side: random and mutated notification lines must not
// crash the parser, and the call table's invariants must hold throughout.
#include <gtest/gtest.h>

#include <cwctype>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "FakeSkypeHost.h"
#include "skype/SkypeClient.h"

namespace {

const HWND HWND_FAKE_SKYPE = reinterpret_cast<HWND>(0x5150);

const std::vector<std::wstring> SEEDS = {L"CALL 1234 STATUS INPROGRESS",
                                         L"CALL 1234 STATUS FINISHED",
                                         L"CALL 17 STATUS RINGING",
                                         L"CALL 17 PARTNER_HANDLE bob",
                                         L"CALL 17 DTMF 5",
                                         L"CALL 17 DURATION 12",
                                         L"CALL 17 CONF_PARTICIPANTS_COUNT 3",
                                         L"CALL 17 CONF_PARTICIPANT 0 alice INPROGRESS A",
                                         L"CALL 17 TYPE INCOMING_P2P",
                                         L"CALL 9 STATUS LOCALHOLD",
                                         L"USERS alice, bob, carol",
                                         L"USER bob FULLNAME Bob B",
                                         L"USER bob ONLINESTATUS ONLINE",
                                         L"USER bob BUDDYSTATUS 1",
                                         L"USER +123 BUDDYSTATUS 3",
                                         L"CONNSTATUS LOGGEDOUT",
                                         L"USERSTATUS AWAY",
                                         L"CURRENTUSERHANDLE me",
                                         L"SKYPEVERSION 7.0",
                                         L"ERROR 68 denied",
                                         L"PONG",
                                         L"OK"};

const wchar_t PIECES[] = {L' ',   L'\t',  L'\r',  L'\n',  L',', 0x3000, 0xFEFF,
                          0x0001, 0xD800, 0xDC00, 0xFFFF, L'0', L'1',   L'9',
                          L'a',   L'X',   L'+',   L'_',   L'-', L'"',   0};

std::wstring Mutate(std::mt19937& rng, std::wstring str) {
    std::uniform_int_distribution<int> op(0, 9);
    int nOps = 1 + (int)(rng() % 4);
    for (int k = 0; k < nOps; ++k) {
        size_t nPos = str.empty() ? 0 : rng() % (str.size() + 1);
        switch (op(rng)) {
            case 0:  // insert a separator or odd character
                str.insert(nPos, 1, PIECES[rng() % (sizeof(PIECES) / sizeof(wchar_t) - 1)]);
                break;
            case 1:  // delete a run
                if (!str.empty() && nPos < str.size()) str.erase(nPos, 1 + rng() % 5);
                break;
            case 2:  // any code unit at all
                str.insert(nPos, 1, (wchar_t)(rng() & 0xFFFF));
                break;
            case 3:  // a huge id or number
                str.insert(nPos, std::wstring(1 + rng() % 40, L'9'));
                break;
            case 4:  // a long word
                str.insert(nPos, std::wstring(rng() % 3000, (wchar_t)(L'a' + rng() % 26)));
                break;
            case 5:  // only blanks
                str = std::wstring(rng() % 50, L' ');
                break;
            case 6:  // case flip
                for (wchar_t& ch : str) {
                    if (rng() % 3 == 0)
                        ch = (wchar_t)(std::iswupper(ch) ? std::towlower(ch) : std::towupper(ch));
                }
                break;
            case 7:  // splice another seed
                str.insert(nPos, SEEDS[rng() % SEEDS.size()]);
                break;
            case 8:  // truncate
                str.resize(nPos);
                break;
            default:  // a random id for a real call line
                str = L"CALL " + std::to_wstring(rng() % 60) + L" STATUS " +
                      (rng() % 2 ? L"INPROGRESS" : L"RINGING");
                break;
        }
    }
    return str;
}

std::wstring RandomLine(std::mt19937& rng) {
    switch (rng() % 4) {
        case 0: {  // pure noise, binary included
            std::wstring str(rng() % 80, L'\0');
            for (wchar_t& ch : str) ch = (wchar_t)(rng() & 0xFFFF);
            return str;
        }
        case 1:
            return SEEDS[rng() % SEEDS.size()];
        default:
            return Mutate(rng, SEEDS[rng() % SEEDS.size()]);
    }
}

void CheckTable(const CCallList& calls) {
    std::set<std::wstring> ids;
    int nActive = 0;
    for (int i = 0; i < CCallList::CALL_SLOTS; ++i) {
        CCallInfo slot = calls.GetSlot(i);
        ASSERT_GE(slot.m_nStatus, 0);
        ASSERT_LE(slot.m_nStatus, 12);
        if (slot.m_strCallId.empty()) {
            ASSERT_EQ(0, slot.m_nStatus);  // a free slot holds nothing
            ASSERT_TRUE(slot.m_strPartner.empty());
            continue;
        }
        ASSERT_FALSE(std::iswspace(slot.m_strCallId.front()));  // stored trimmed
        ASSERT_FALSE(std::iswspace(slot.m_strCallId.back()));
        ASSERT_TRUE(ids.insert(slot.m_strCallId).second) << "id held twice";
        ASSERT_EQ(i, calls.FindCall(slot.m_strCallId));
        if (slot.m_nStatus != 0) ++nActive;
    }
    ASSERT_EQ(nActive, calls.CountActiveCalls());
}

}  // namespace

TEST(ParserFuzzTest, HundredThousandBadLinesBreakNothing) {
    std::mt19937 rng(20260512);
    const int LINES = 100000, PER_CLIENT = 2000;
    int nLines = 0;
    while (nLines < LINES) {
        CFakeSkypeHost host;
        CSkypeClient client(&host);
        client.SetNotifyWindow(reinterpret_cast<HWND>(0x6160));
        client.OnAttachMessage(HWND_FAKE_SKYPE, ATTACH_SUCCESS);
        for (int i = 0; i < PER_CLIENT; ++i, ++nLines) {
            std::wstring strLine = RandomLine(rng);
            client.ParseNotification(strLine);
            if (i % 97 == 0) client.GetQueue()->Clear();
            if (i % 50 == 0) {
                ASSERT_NO_FATAL_FAILURE(CheckTable(*client.GetCallList())) << nLines;
            }
            if (i % 400 == 399) client.ResetCallInfo();
            if (!client.IsAttached()) client.OnAttachMessage(HWND_FAKE_SKYPE, ATTACH_SUCCESS);
        }
        ASSERT_NO_FATAL_FAILURE(CheckTable(*client.GetCallList()));
        for (const RecordedEvent& e : host.m_events) {
            if (e.uMsg == WM_SKYPE_CALL || e.uMsg == WM_SKYPE_DTMF) {
                int nSlot = (int)(INT_PTR)e.wParam;
                ASSERT_TRUE(nSlot >= -1 && nSlot < 20);
            }
            if (e.uMsg == WM_SKYPE_USER_STATUS) {
                ASSERT_LE(e.wParam, 8u);
            }
        }
        // Every queued command is one line of text.
        for (const std::wstring& str : DrainQueue(client.GetQueue())) {
            ASSERT_FALSE(str.empty());
        }
    }
}

TEST(ParserFuzzTest, GarbageThroughTheWindowAsBytes) {
    CFakeSkypeHost host;
    CSkypeClient client(&host);
    ASSERT_TRUE(client.Start(nullptr));
    HWND hwndApi = client.GetApiWindow();
    ::SendMessageW(hwndApi, client.GetAttachMessage(), (WPARAM)HWND_FAKE_SKYPE, ATTACH_SUCCESS);
    std::mt19937 rng(7);
    for (int i = 0; i < 5000; ++i) {
        std::string bytes(rng() % 200, '\0');
        for (char& ch : bytes) ch = (char)(rng() & 0xFF);
        if (i % 3 == 0) bytes = "CALL " + std::to_string(rng() % 30) + " STATUS INPROGRESS" + bytes;
        COPYDATASTRUCT cds{0, (DWORD)bytes.size(), bytes.data()};
        ASSERT_EQ(1, ::SendMessageW(hwndApi, WM_COPYDATA, (WPARAM)HWND_FAKE_SKYPE, (LPARAM)&cds));
        if (i % 100 == 0) client.ResetCallInfo();
    }
    ASSERT_NO_FATAL_FAILURE(CheckTable(*client.GetCallList()));
    client.Stop();
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}
