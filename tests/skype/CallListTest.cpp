// Slot rules of the call table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skype/CallList.h"
#include "skype/SkypeStatus.h"

namespace {

class CRecordingSink : public ICommandSink {
public:
    bool QueueCommand(const std::wstring& str) override {
        m_commands.push_back(str);
        return true;
    }
    std::vector<std::wstring> m_commands;
};

class CallListTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_list.SetQueue(&m_sink);
        m_list.SetClock([this] { return m_tNow; });
    }
    CRecordingSink m_sink;
    CCallList m_list;
    int64_t m_tNow = 1700000000;
};

}  // namespace

TEST_F(CallListTest, NewCallTakesLowestSlotAndQueuesPartnerQueryOnce) {
    EXPECT_EQ(0, m_list.SetStatus(L"1234", CALL_STATUS_RINGING));
    CCallInfo slot = m_list.GetSlot(0);
    EXPECT_EQ(L"1234", slot.m_strCallId);
    EXPECT_EQ(CALL_STATUS_RINGING, slot.m_nStatus);
    EXPECT_EQ(m_tNow, slot.m_tStart);
    EXPECT_EQ((std::vector<std::wstring>{L"get call 1234 partner_handle"}), m_sink.m_commands);
    m_tNow += 5;
    EXPECT_EQ(0, m_list.SetStatus(L"1234", CALL_STATUS_INPROGRESS));
    EXPECT_EQ(1u, m_sink.m_commands.size());
    EXPECT_EQ(1700000000, m_list.GetSlot(0).m_tStart);  // the slot keeps its time
    EXPECT_EQ(1, m_list.SetStatus(L"77", CALL_STATUS_EARLYMEDIA));
    EXPECT_EQ(L"77", m_list.GetCallId(1));
}

TEST_F(CallListTest, EndedOrUnplacedCallsNeverTakeASlot) {
    for (int nCode : {0, 1, 4, 8, 9, 10, 11, 12}) {
        EXPECT_EQ(-1, m_list.SetStatus(L"9", nCode)) << nCode;
    }
    EXPECT_EQ(-1, m_list.FindCall(L"9"));
    EXPECT_TRUE(m_sink.m_commands.empty());
    for (int nCode : {2, 3, 5, 6, 7}) {
        m_list.Reset();
        EXPECT_EQ(0, m_list.SetStatus(L"9", nCode)) << nCode;
    }
    // Known calls take any code, a finished one can come back.
    EXPECT_EQ(0, m_list.SetStatus(L"9", CALL_STATUS_FINISHED));
    EXPECT_EQ(CALL_STATUS_FINISHED, m_list.GetStatus(0));
    EXPECT_EQ(0, m_list.SetStatus(L"9", CALL_STATUS_INPROGRESS));
    EXPECT_EQ(0, m_list.SetStatus(L"9", CALL_STATUS_UNKNOWN));
    EXPECT_EQ(0, m_list.GetStatus(0));
}

TEST_F(CallListTest, IdsAreTrimmedAndComparedExactly) {
    EXPECT_EQ(0, m_list.AddCall(L"123"));
    EXPECT_EQ(0, m_list.AddCall(L" 123 "));
    EXPECT_EQ(0, m_list.FindCall(L"\t123\r\n"));
    EXPECT_EQ(1, m_list.AddCall(L"0123"));
    EXPECT_EQ(-1, m_list.AddCall(L""));
    EXPECT_EQ(-1, m_list.AddCall(L" \t "));
    EXPECT_EQ(-1, m_list.FindCall(L""));
    EXPECT_EQ(2, m_list.AddCall(L"abc"));
    EXPECT_EQ(-1, m_list.FindCall(L"ABC"));
    EXPECT_EQ(2u + 1u, m_sink.m_commands.size());
    // GetPartner compares the id untrimmed.
    m_list.SetPartner(L"123", L"bob");
    EXPECT_EQ(L"bob", m_list.GetPartner(L"123"));
    EXPECT_EQ(L"", m_list.GetPartner(L" 123"));
}

TEST_F(CallListTest, TableFullTracksNoTwentyFirstCall) {
    for (int i = 0; i < CCallList::CALL_SLOTS; ++i) {
        EXPECT_EQ(i, m_list.SetStatus(std::to_wstring(100 + i), CALL_STATUS_INPROGRESS));
    }
    size_t nQueued = m_sink.m_commands.size();
    EXPECT_EQ(-1, m_list.AddCall(L"999"));
    EXPECT_EQ(-1, m_list.SetStatus(L"999", CALL_STATUS_RINGING));
    EXPECT_EQ(-1, m_list.SetPartner(L"999", L"zed"));
    EXPECT_EQ(nQueued, m_sink.m_commands.size());
    EXPECT_FALSE(m_list.IsCallPartner(L"zed"));
    EXPECT_EQ(20, m_list.CountActiveCalls());
    m_list.Reset();
    EXPECT_EQ(0, m_list.CountActiveCalls());
    for (int i = 0; i < CCallList::CALL_SLOTS; ++i) EXPECT_EQ(L"", m_list.GetCallId(i));
    EXPECT_EQ(0, m_list.SetStatus(L"999", CALL_STATUS_RINGING));
}

TEST_F(CallListTest, PartnerOnlyCallIsNotActive) {
    EXPECT_EQ(0, m_list.SetPartner(L"5", L"Carol"));
    EXPECT_EQ(L"Carol", m_list.GetSlot(0).m_strPartner);
    EXPECT_EQ(0, m_list.GetStatus(0));
    EXPECT_FALSE(m_list.IsAnyCallActive());
    EXPECT_EQ(0, m_list.CountActiveCalls());
    EXPECT_TRUE(m_list.IsCallPartner(L"carol"));
    EXPECT_FALSE(m_list.IsCallPartner(L"caro"));
    m_list.SetStatus(L"5", CALL_STATUS_ONHOLD);
    EXPECT_TRUE(m_list.IsAnyCallActive());
    m_list.SetStatus(L"5", CALL_STATUS_FINISHED);
    EXPECT_FALSE(m_list.IsAnyCallActive());
    EXPECT_EQ(1, m_list.CountActiveCalls());  // ended calls count until Reset
}

TEST_F(CallListTest, CurrentCallIsTheEarliestActive) {
    std::wstring strId = L"x", strPartner = L"y";
    m_list.GetCurrentCall(strId, strPartner);
    EXPECT_EQ(L"", strId);
    EXPECT_EQ(L"", strPartner);

    m_list.SetStatus(L"1", CALL_STATUS_INPROGRESS);
    m_list.SetPartner(L"1", L"first");
    m_tNow += 5;
    m_list.SetStatus(L"2", CALL_STATUS_INPROGRESS);
    m_list.SetPartner(L"2", L"second");
    m_list.GetCurrentCall(strId, strPartner);
    EXPECT_EQ(L"1", strId);
    EXPECT_EQ(L"first", strPartner);

    // Same second: the higher slot wins.
    m_list.SetStatus(L"3", CALL_STATUS_ONHOLD);
    m_list.SetStatus(L"1", CALL_STATUS_FINISHED);
    m_list.GetCurrentCall(strId, strPartner);
    EXPECT_EQ(L"3", strId);
    EXPECT_EQ(L"", strPartner);

    // A slot taken "later" than now (clock set back) is never chosen.
    m_tNow -= 100;
    m_list.GetCurrentCall(strId, strPartner);
    EXPECT_EQ(L"", strId);
}

TEST_F(CallListTest, OutOfRangeSlotsReadAsEmpty) {
    m_list.SetStatus(L"1", CALL_STATUS_INPROGRESS);
    EXPECT_EQ(0, m_list.GetStatus(-1));
    EXPECT_EQ(0, m_list.GetStatus(20));
    EXPECT_EQ(L"", m_list.GetCallId(-1));
    EXPECT_EQ(L"", m_list.GetCallId(20));
    EXPECT_EQ(L"", m_list.GetCallId(1));
    EXPECT_EQ(L"", m_list.GetSlot(99).m_strCallId);
}
