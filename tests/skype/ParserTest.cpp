// What each Skype notification does to the client, the tables and the queue,
// and the exact texts of the commands, driven through the fake host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeSkypeHost.h"
#include "skype/SkypeClient.h"

namespace {

using Commands = std::vector<std::wstring>;
const HWND HWND_FAKE_SKYPE = reinterpret_cast<HWND>(0x5150);
const HWND HWND_FAKE_NOTIFY = reinterpret_cast<HWND>(0x6160);

class ParserTest : public ::testing::Test {
protected:
    ParserTest() : m_client(&m_host) {}

    // Attached with a notify window, but never started: no API window and no
    // sender thread, so every queued command stays for the test to read.
    void SetUp() override {
        m_client.SetNotifyWindow(HWND_FAKE_NOTIFY);
        Attach();
    }
    void Attach() {
        m_client.OnAttachMessage(HWND_FAKE_SKYPE, ATTACH_SUCCESS);
        DrainQueue(m_client.GetQueue());
        m_host.m_events.clear();
    }
    Commands Feed(const std::wstring& strLine) {
        m_client.ParseNotification(strLine);
        return DrainQueue(m_client.GetQueue());
    }
    CCallList* Calls() { return m_client.GetCallList(); }
    CContactList* Contacts() { return m_client.GetContacts(); }
    void ExpectOnlyEvent(UINT uMsg, WPARAM wParam, LPARAM lParam) {
        ASSERT_EQ(1u, m_host.m_events.size());
        EXPECT_EQ(uMsg, m_host.m_events[0].uMsg);
        EXPECT_EQ(wParam, m_host.m_events[0].wParam);
        EXPECT_EQ(lParam, m_host.m_events[0].lParam);
        m_host.m_events.clear();
    }

    CFakeSkypeHost m_host;
    CSkypeClient m_client;
};

}  // namespace

TEST_F(ParserTest, ComposerTexts) {
    m_client.QueryFullName(L"  bob\t");
    m_client.QueryFullName(L" \t ");  // nothing left to ask for
    m_client.QueryCallStatus(L"12");
    m_client.QueryCallPartner(L"12");
    m_client.QueryCallType(L"12");
    m_client.QueryCallTarget(L"12");
    m_client.QueryConfParticipantsCount(L"12");
    m_client.QueryConfParticipant(L"12", L"1");
    EXPECT_TRUE(m_client.RedirectMicrophone(L"1234", L"58377"));
    EXPECT_TRUE(m_client.RedirectOutput(L"1234", L"58376"));
    EXPECT_EQ(
        (Commands{L"get user bob fullname", L"get call 12 status", L"get call 12 partner_handle",
                  L"get call 12 type", L"get call 12 target_identity",
                  L"get call 12 conf_participants_count", L"get call 12 conf_participant 1",
                  L"alter call 1234 set_capture_mic port=\"58377\"",
                  L"alter call 1234 set_output soundcard=\"default\" port=\"58376\""}),
        DrainQueue(m_client.GetQueue()));
    m_client.QueryCallDetails(L"7");
    EXPECT_EQ((Commands{L"get call 7 partner_handle", L"get call 7 type", L"get call 7 status",
                        L"get call 7 conf_participants_count"}),
              DrainQueue(m_client.GetQueue()));
    EXPECT_FALSE(m_client.QueueCommand(L""));
}

TEST(ParserBeforeAttachTest, CommandsAndFriendsAreDroppedUntilTheFirstAttach) {
    CFakeSkypeHost host;
    CSkypeClient client(&host);
    EXPECT_FALSE(client.QueueCommand(L"get connstatus"));
    client.ParseNotification(L"USERS alice, bob");
    EXPECT_EQ(0, client.GetContacts()->GetCount());
    client.ParseNotification(L"CALL 5 STATUS RINGING");  // tracked, but its queries are dropped
    EXPECT_EQ(0, client.GetCallList()->FindCall(L"5"));
    EXPECT_EQ(0u, client.GetQueue()->GetSize());
    EXPECT_FALSE(client.IsFriendsRequested());
    client.OnAttachMessage(HWND_FAKE_SKYPE, ATTACH_SUCCESS);
    EXPECT_TRUE(client.IsFriendsRequested());
    EXPECT_EQ((Commands{L"get currentuserhandle", L"get connstatus", L"get userstatus",
                        L"search friends"}),
              DrainQueue(client.GetQueue()));
}

TEST_F(ParserTest, SplittingIgnoresCaseBlanksAndOneWordTexts) {
    for (const wchar_t* psz :
         {L"", L"   ", L"OK", L"PONG ", L"USERS", L"\tCALL\t1\tSTATUS\tRINGING", L"FOO bar baz",
          L"CALL 1234", L"CALL 1234 STATUS", L"CALL 1234 STATUS  ", L"ERROR 68 Access denied"}) {
        EXPECT_EQ(Commands{}, Feed(psz)) << psz;
    }
    EXPECT_TRUE(m_host.m_events.empty());
    EXPECT_EQ(-1, Calls()->FindCall(L"1234"));
    EXPECT_EQ(-1, Calls()->FindCall(L"1"));
    // Keyword and words in any case; white space at the ends is trimmed.
    Feed(L"  currentUserHandle   Alice \r\n");
    EXPECT_EQ(L"Alice", m_client.GetCurrentUserHandle());
    ExpectOnlyEvent(WM_SKYPE_CURRENT_USER, 0, 0);
}

TEST_F(ParserTest, CallStatusInProgressForANewCall) {
    EXPECT_EQ((Commands{L"get call 1234 type", L"get call 1234 target_identity",
                        L"get call 1234 partner_handle", L"get call 1234 partner_handle"}),
              Feed(L"CALL 1234 STATUS INPROGRESS"));
    ExpectOnlyEvent(WM_SKYPE_CALL, 0, SKYPE_CALL_STATUS);
    EXPECT_EQ(CALL_STATUS_INPROGRESS, Calls()->GetStatus(0));
    EXPECT_EQ(L"1234", Calls()->GetCallId(0));

    // Lower case is the same; a known call queues no second partner query.
    EXPECT_EQ((Commands{L"get call 1234 type", L"get call 1234 target_identity",
                        L"get call 1234 partner_handle"}),
              Feed(L"call 1234 status inprogress"));
    ExpectOnlyEvent(WM_SKYPE_CALL, 0, SKYPE_CALL_STATUS);
    EXPECT_EQ(L"", m_client.GetRoutedCall());
}

TEST_F(ParserTest, CallStatusRoutingRingingAndOtherWords) {
    EXPECT_EQ((Commands{L"get call 8 type", L"get call 8 partner_handle"}),
              Feed(L"CALL 8 STATUS ROUTING"));
    EXPECT_EQ(L"8", m_client.GetRoutedCall());
    EXPECT_EQ((Commands{L"get call 9 type", L"get call 9 partner_handle"}),
              Feed(L"CALL 9 STATUS RINGING"));
    EXPECT_EQ(L"9", m_client.GetRoutedCall());
    EXPECT_EQ(1, Calls()->FindCall(L"9"));
    m_host.m_events.clear();

    Feed(L"CALL 55 STATUS LOCALHOLD");
    EXPECT_EQ(7, Calls()->GetStatus(2));
    Feed(L"CALL 55 STATUS REMOTEHOLD");
    EXPECT_EQ(7, Calls()->GetStatus(2));
    m_host.m_events.clear();
    EXPECT_EQ(Commands{}, Feed(L"CALL 55 STATUS WHATEVER"));
    EXPECT_EQ(0, Calls()->GetStatus(2));
    ExpectOnlyEvent(WM_SKYPE_CALL, 2, SKYPE_CALL_STATUS);

    // An ended call the table never held: event with -1, nothing added.
    EXPECT_EQ(Commands{}, Feed(L"CALL 1234 STATUS FINISHED"));
    ExpectOnlyEvent(WM_SKYPE_CALL, (WPARAM)(INT_PTR)-1, SKYPE_CALL_STATUS);
    EXPECT_EQ(-1, Calls()->FindCall(L"1234"));
}

TEST_F(ParserTest, TableFullGivesMinusOneEvents) {
    for (int i = 0; i < 20; ++i) Feed(L"CALL " + std::to_wstring(i) + L" STATUS RINGING");
    m_host.m_events.clear();
    Feed(L"CALL 99 STATUS INPROGRESS");
    ExpectOnlyEvent(WM_SKYPE_CALL, (WPARAM)(INT_PTR)-1, SKYPE_CALL_STATUS);
    Feed(L"CALL 99 PARTNER_HANDLE zed");
    ExpectOnlyEvent(WM_SKYPE_CALL, (WPARAM)(INT_PTR)-1, SKYPE_CALL_PARTNER);
    Feed(L"CALL 99 DTMF 7");
    ExpectOnlyEvent(WM_SKYPE_DTMF, (WPARAM)(INT_PTR)-1, L'7');
    m_client.ResetCallInfo();
    Feed(L"CALL 99 STATUS INPROGRESS");
    ExpectOnlyEvent(WM_SKYPE_CALL, 0, SKYPE_CALL_STATUS);
}

TEST_F(ParserTest, CallPartnerHandle) {
    EXPECT_EQ((Commands{L"get call 31 partner_handle", L"get user carol fullname"}),
              Feed(L"CALL 31 PARTNER_HANDLE carol"));
    ExpectOnlyEvent(WM_SKYPE_CALL, 0, SKYPE_CALL_PARTNER);
    EXPECT_EQ(L"carol", Calls()->GetPartner(L"31"));
    EXPECT_EQ(0, Calls()->GetStatus(0));
    EXPECT_EQ(L"carol", m_client.GetPartnerMap()->Lookup(L"31"));
    EXPECT_EQ(L"carol", m_client.GetLastPartner());
    ASSERT_EQ(1, Contacts()->GetCount());
    EXPECT_EQ(L"carol", Contacts()->At(0).m_strHandle);

    // The partner's full name is kept, so the history shows a name.
    Feed(L"USER carol FULLNAME Carol Ann");
    EXPECT_EQ(L"Carol Ann", Contacts()->GetFullName(L"carol"));
    // A phone partner is listed as SkypeOut.
    Feed(L"CALL 32 PARTNER_HANDLE +4930123");
    EXPECT_EQ(USER_STATUS_SKYPEOUT, Contacts()->At(1).m_nOnlineStatus);
    EXPECT_EQ(L"+4930123", m_client.GetLastPartner());
}

TEST_F(ParserTest, CallDtmf) {
    Feed(L"CALL 9 DTMF 12");
    Feed(L"CALL 9 DTMF  ");
    EXPECT_TRUE(m_host.m_events.empty());
    EXPECT_EQ(-1, Calls()->FindCall(L"9"));
    EXPECT_EQ((Commands{L"get call 9 partner_handle"}), Feed(L"CALL 9 DTMF 5"));
    ExpectOnlyEvent(WM_SKYPE_DTMF, 0, 0x35);
    Feed(L"CALL 9 DTMF  # ");
    ExpectOnlyEvent(WM_SKYPE_DTMF, 0, L'#');
}

TEST_F(ParserTest, CallDurationAsksForDetailsOnlyWhileNothingIsTracked) {
    EXPECT_EQ((Commands{L"get call 9 partner_handle", L"get call 9 type", L"get call 9 status",
                        L"get call 9 conf_participants_count"}),
              Feed(L"CALL 9 DURATION 17"));
    EXPECT_EQ(L"17", m_client.GetDuration());
    Feed(L"CALL 9 STATUS INPROGRESS");
    EXPECT_EQ(Commands{}, Feed(L"CALL 9 DURATION 18"));
    EXPECT_EQ(L"18", m_client.GetDuration());
    EXPECT_TRUE(m_host.CountEvents(WM_SKYPE_CALL) == 1);  // DURATION posts nothing
    m_client.ResetCallInfo();
    EXPECT_EQ(L"0", m_client.GetDuration());
}

TEST_F(ParserTest, ConferenceParticipants) {
    EXPECT_EQ(Commands{}, Feed(L"CALL 9 CONF_PARTICIPANTS_COUNT 3"));  // no call tracked
    Feed(L"CALL 9 STATUS INPROGRESS");
    EXPECT_EQ((Commands{L"get call 9 conf_participant 0", L"get call 9 conf_participant 1"}),
              Feed(L"CALL 9 CONF_PARTICIPANTS_COUNT 3"));
    EXPECT_EQ(Commands{}, Feed(L"CALL 9 CONF_PARTICIPANTS_COUNT 1"));
    EXPECT_EQ(Commands{}, Feed(L"CALL 9 CONF_PARTICIPANTS_COUNT x2"));
    m_host.m_events.clear();

    Feed(L"CALL 9 CONF_PARTICIPANT 0 alice INPROGRESS Alice");
    Feed(L"CALL 9 CONF_PARTICIPANT 1 bob");
    EXPECT_EQ(L"alice", m_client.GetConfParticipant(0));
    EXPECT_EQ(L"bob", m_client.GetConfParticipant(1));
    Feed(L"CALL 9 CONF_PARTICIPANT 7 dave X");  // any other index is the second slot
    EXPECT_EQ(L"dave", m_client.GetConfParticipant(1));
    EXPECT_TRUE(m_host.m_events.empty());
    m_client.ResetCallInfo();
    EXPECT_EQ(L"", m_client.GetConfParticipant(0));
    EXPECT_EQ(L"", m_client.GetConfParticipant(1));
}

TEST_F(ParserTest, CallTypeSetsTheIncomingFlag) {
    EXPECT_TRUE(m_client.IsIncomingCall());  // true after construction
    Feed(L"CALL 1 TYPE OUTGOING_P2P");
    EXPECT_FALSE(m_client.IsIncomingCall());
    EXPECT_TRUE(m_host.m_events.empty());
    Feed(L"CALL 1 TYPE incoming_P2P");
    EXPECT_TRUE(m_client.IsIncomingCall());
    ExpectOnlyEvent(WM_SKYPE_INCOMING_P2P, 0, 0);
    Feed(L"CALL 2 TYPE OUTGOING_PSTN");
    EXPECT_FALSE(m_client.IsIncomingCall());
    Feed(L"CALL 2 TYPE INCOMING_PSTN");
    ExpectOnlyEvent(WM_SKYPE_INCOMING_PSTN, 0, 0);
    m_client.ResetCallInfo();
    EXPECT_FALSE(m_client.IsIncomingCall());
    // The target identity answer is not used.
    EXPECT_EQ(Commands{}, Feed(L"CALL 2 TARGET_IDENTITY +123"));
}

TEST_F(ParserTest, UsersListsFriendsInOrder) {
    EXPECT_EQ((Commands{L"get user alice fullname", L"get user bob fullname",
                        L"get user carol fullname"}),
              Feed(L"USERS alice, bob, carol"));
    ASSERT_EQ(3, Contacts()->GetCount());
    EXPECT_EQ(L"bob", Contacts()->At(1).m_strHandle);
    // Handles are taken as they stand between the separators.
    EXPECT_EQ((Commands{L"get user dave,erin fullname", L"get user +49 fullname"}),
              Feed(L"USERS dave,erin, , +49"));
    EXPECT_EQ(5, Contacts()->GetCount());
    EXPECT_EQ(USER_STATUS_SKYPEOUT, Contacts()->At(4).m_nOnlineStatus);
    EXPECT_TRUE(m_host.m_events.empty());
}

TEST_F(ParserTest, LongUsersListIsReadInOnePass) {
    // A friend list as long as a hostile peer likes: read once, not re-copied
    // after every handle, which took over a minute for a list like this one.
    const int HANDLES = 200000;
    std::wstring strLine = L"USERS pal";
    for (int i = 1; i < HANDLES; ++i) strLine += L", pal";
    strLine += L", last";
    Commands commands = Feed(strLine);
    // Every handle is listed; the queries stop where the queue is full.
    ASSERT_EQ(CCommandQueue::MAX_WAITING, commands.size());
    EXPECT_EQ(L"get user pal fullname", commands.back());
    ASSERT_EQ(2, Contacts()->GetCount());
    EXPECT_EQ(L"last", Contacts()->At(1).m_strHandle);
}

TEST_F(ParserTest, UserFullName) {
    Feed(L"CURRENTUSERHANDLE me");
    m_host.m_events.clear();
    Feed(L"USER bob FULLNAME");
    EXPECT_EQ(L"bob", Contacts()->GetFullName(L"bob"));
    Feed(L"USER bob FULLNAME   B. Example  ");
    EXPECT_EQ(L"B. Example", Contacts()->GetFullName(L"bob"));
    Feed(L"USER me FULLNAME My Own Name");
    EXPECT_EQ(L"", Contacts()->GetFullName(L"me"));
    EXPECT_EQ(1, Contacts()->GetCount());
    Feed(L"USER bob fullname lower");  // property names ignore case
    EXPECT_EQ(L"lower", Contacts()->GetFullName(L"bob"));
    UINT_PTR uTimer = m_client.GetContactsTimer();
    Feed(L"USER bob");  // no property: ignored completely, the timer is not restarted
    EXPECT_EQ(uTimer, m_client.GetContactsTimer());
    EXPECT_EQ(L"lower", Contacts()->GetFullName(L"bob"));
}

TEST_F(ParserTest, UserOnlineAndBuddyStatus) {
    Feed(L"USERS bob");
    Feed(L"USER BOB ONLINESTATUS away");
    EXPECT_EQ(USER_STATUS_AWAY, Contacts()->At(0).m_nOnlineStatus);
    Feed(L"USER bob ONLINESTATUS SKYPEOUT");
    EXPECT_EQ(USER_STATUS_SKYPEOUT, Contacts()->At(0).m_nOnlineStatus);
    Feed(L"USER bob ONLINESTATUS ONLINE");
    Feed(L"USER bob ONLINESTATUS NONSENSE");
    EXPECT_EQ(USER_STATUS_UNKNOWN, Contacts()->At(0).m_nOnlineStatus);
    Feed(L"USER zoe ONLINESTATUS ONLINE");  // not listed: not added
    EXPECT_EQ(1, Contacts()->GetCount());

    EXPECT_EQ((Commands{L"get user zoe fullname"}), Feed(L"USER zoe BUDDYSTATUS 3"));
    EXPECT_EQ((Commands{L"get user bob fullname"}), Feed(L"USER bob BUDDYSTATUS 2"));
    EXPECT_EQ(2, Contacts()->GetCount());
    EXPECT_EQ(Commands{}, Feed(L"USER bob BUDDYSTATUS 1"));
    EXPECT_EQ(1, Contacts()->GetCount());
    EXPECT_EQ(L"zoe", Contacts()->At(0).m_strHandle);
    EXPECT_EQ(Commands{}, Feed(L"USER zoe BUDDYSTATUS 0"));
    EXPECT_EQ(Commands{}, Feed(L"USER zoe BUDDYSTATUS 99999999999999999999"));
    EXPECT_EQ(Commands{}, Feed(L"USER zoe BUDDYSTATUS +2"));
    EXPECT_EQ(1, Contacts()->GetCount());
}

TEST_F(ParserTest, UserBurstGivesOneContactsEventAfterTheLast) {
    for (int i = 0; i < 10; ++i) {
        Feed(L"USER u" + std::to_wstring(i) + L" ONLINESTATUS ONLINE");
        m_host.Advance(50);  // ten lines within half a second
    }
    UINT_PTR uTimer = m_client.GetContactsTimer();
    ASSERT_NE(0u, uTimer);
    EXPECT_EQ(1000u, m_host.TimerElapse(uTimer));
    m_host.Advance(949);  // 999 ms after the tenth line
    EXPECT_EQ(0u, m_host.CountEvents(WM_SKYPE_CONTACTS_CHANGED));
    m_host.Advance(1);
    EXPECT_EQ(1u, m_host.CountEvents(WM_SKYPE_CONTACTS_CHANGED));
    EXPECT_EQ(0u, m_client.GetContactsTimer());
    EXPECT_FALSE(m_host.HasTimer(uTimer));
    m_host.Advance(5000);
    EXPECT_EQ(1u, m_host.CountEvents(WM_SKYPE_CONTACTS_CHANGED));

    // Any property counts, even one that is not handled; no property does not.
    Feed(L"USER bob LANGUAGE en");
    EXPECT_NE(0u, m_client.GetContactsTimer());
    m_host.Advance(1000);
    EXPECT_EQ(2u, m_host.CountEvents(WM_SKYPE_CONTACTS_CHANGED));
    Feed(L"USER bob");
    EXPECT_EQ(0u, m_client.GetContactsTimer());
}

TEST_F(ParserTest, ConnStatusAndUserStatus) {
    Feed(L"USERSTATUS LOGGEDOUT");
    ExpectOnlyEvent(WM_SKYPE_USER_STATUS, USER_STATUS_LOGGEDOUT, 0);
    EXPECT_TRUE(m_client.IsAttached());
    Feed(L"USERSTATUS dnd");
    ExpectOnlyEvent(WM_SKYPE_USER_STATUS, USER_STATUS_DND, 0);
    EXPECT_EQ(USER_STATUS_DND, m_client.GetUserStatus());
    Feed(L"CONNSTATUS CONNECTING");
    ExpectOnlyEvent(WM_SKYPE_USER_STATUS, USER_STATUS_UNKNOWN, 0);
    Feed(L"CONNSTATUS SKYPEOUT");
    ExpectOnlyEvent(WM_SKYPE_USER_STATUS, USER_STATUS_UNKNOWN, 0);
    Feed(L"CONNSTATUS ONLINE");
    ExpectOnlyEvent(WM_SKYPE_USER_STATUS, USER_STATUS_ONLINE, 0);
    EXPECT_TRUE(m_client.IsAttached());
    Feed(L"CONNSTATUS LOGGEDOUT");
    ExpectOnlyEvent(WM_SKYPE_USER_STATUS, USER_STATUS_LOGGEDOUT, 0);
    EXPECT_FALSE(m_client.IsAttached());
    EXPECT_TRUE(m_client.GetQueue()->IsEnabled());  // the queue stays on
}

TEST_F(ParserTest, VersionAndErrors) {
    Feed(L"SKYPEVERSION 7.40.0.151");
    EXPECT_EQ(L"7.40.0.151", m_client.GetSkypeVersion());
    ExpectOnlyEvent(WM_SKYPE_VERSION, 0, 0);
    EXPECT_EQ(Commands{}, Feed(L"ERROR 7 Invalid command"));
    EXPECT_TRUE(m_host.m_events.empty());
    m_client.ResetCallInfo();
    EXPECT_EQ(L"7.40.0.151", m_client.GetSkypeVersion());
}

TEST_F(ParserTest, NoNotifyWindowNoEvents) {
    m_client.SetNotifyWindow(nullptr);
    Feed(L"CALL 1 STATUS INPROGRESS");
    Feed(L"CONNSTATUS ONLINE");
    EXPECT_TRUE(m_host.m_events.empty());
    EXPECT_EQ(CALL_STATUS_INPROGRESS, Calls()->GetStatus(0));
    EXPECT_EQ(USER_STATUS_ONLINE, m_client.GetUserStatus());
}
