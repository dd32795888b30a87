// The small containers of the Skype link: QList, the contact list and the
// call-partner map, and the status word tables.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "DebugOutputCapture.h"
#include "skype/CallPartnerMap.h"
#include "skype/CommandQueue.h"
#include "skype/ContactList.h"
#include "skype/QList.h"
#include "skype/SkypeStatus.h"

namespace {

// An element whose copy can be made to fail, like an allocation would.
struct Fragile {
    static inline bool s_bFailCopies = false;
    int n = 0;
    Fragile() = default;
    explicit Fragile(int v) : n(v) {}
    Fragile(const Fragile& o) : n(o.n) {
        if (s_bFailCopies) throw std::runtime_error("copy");
    }
    Fragile& operator=(const Fragile&) = default;
};

std::vector<int> Values(const QList<Fragile>& l) {
    std::vector<int> v;
    l.ForEach([&](const Fragile& f) { v.push_back(f.n); });
    return v;
}

}  // namespace

TEST(QListTest, AppendReplaceRemoveKeepOrder) {
    QList<std::wstring> l;
    EXPECT_EQ(0, l.GetCount());
    EXPECT_EQ(L"", l.At(0));  // empty list: default element
    l.Append(L"a");
    l.Append(L"b");
    l.Append(L"c");
    ASSERT_EQ(3, l.GetCount());
    EXPECT_EQ(L"b", l.At(1));
    EXPECT_TRUE(l.Replace(1, L"B"));
    EXPECT_EQ(L"B", l.At(1));
    EXPECT_TRUE(l.Replace(2, L"C"));
    EXPECT_FALSE(l.Replace(3, L"x"));  // index == GetCount
    EXPECT_FALSE(l.Replace(-1, L"x"));
    EXPECT_EQ(3, l.GetCount());
    l.Remove2(-1);
    l.Remove2(3);
    EXPECT_EQ(3, l.GetCount());
    l.Remove2(0);
    EXPECT_EQ(L"B", l.At(0));
    l.Remove2(1);
    ASSERT_EQ(1, l.GetCount());
    EXPECT_EQ(L"B", l.At(0));
    l.Remove2(0);
    EXPECT_EQ(0, l.GetCount());
    l.Remove2(0);  // empty list: nothing
    l.Append(L"again");
    EXPECT_EQ(L"again", l.At(0));
}

TEST(QListTest, FailuresAreTracedAndLeaveTheListUnchanged) {
    CDebugOutputCapture capture;
    QList<Fragile> l;
    l.Append(Fragile(1));
    l.Append(Fragile(2));
    EXPECT_EQ(L"", capture.Text());

    Fragile::s_bFailCopies = true;
    l.Append(Fragile(3));
    EXPECT_FALSE(l.Replace(0, Fragile(9)));
    EXPECT_EQ(0, l.At(1).n);  // the copy out failed: a default element
    Fragile::s_bFailCopies = false;
    EXPECT_EQ((std::vector<int>{1, 2}), Values(l));
    EXPECT_EQ(0, l.At(5).n);

    std::wstring strTrace = capture.Text();
    if (strTrace.empty()) GTEST_SKIP() << "debugger output cannot be captured here";
    EXPECT_NE(std::wstring::npos, strTrace.find(L"QList<T>::Append\n"));
    EXPECT_NE(std::wstring::npos, strTrace.find(L"QList<T>::Replace"));
    EXPECT_NE(std::wstring::npos, strTrace.find(L"QList<T>::At("));
}

TEST(QListTest, ReplaceAtHeadAndTailRelinks) {
    QList<Fragile> l;
    for (int i = 0; i < 5; ++i) l.Append(Fragile(i));
    EXPECT_TRUE(l.Replace(0, Fragile(10)));
    EXPECT_TRUE(l.Replace(4, Fragile(14)));
    EXPECT_EQ((std::vector<int>{10, 1, 2, 3, 14}), Values(l));
    l.Remove2(4);
    l.Append(Fragile(20));
    EXPECT_EQ((std::vector<int>{10, 1, 2, 3, 20}), Values(l));
    EXPECT_EQ(3, l.FindIndex([](const Fragile& f) { return f.n == 3; }));
    EXPECT_EQ(-1, l.FindIndex([](const Fragile& f) { return f.n == 99; }));
}

TEST(ContactListTest, AddContactStatusAndUniqueness) {
    CContactList list;
    list.AddContact(L"+123");
    list.AddContact(L"bob");
    list.AddContact(L"bob");  // already there: unchanged
    list.AddContact(L"Bob");  // handles are case-sensitive
    ASSERT_EQ(3, list.GetCount());
    EXPECT_EQ(USER_STATUS_SKYPEOUT, list.At(0).m_nOnlineStatus);
    EXPECT_EQ(USER_STATUS_UNKNOWN, list.At(1).m_nOnlineStatus);
    EXPECT_EQ(L"", list.At(1).m_strFullName);

    // Online status matches ignoring case and changes only the first match.
    EXPECT_TRUE(list.SetOnlineStatus(L"BOB", USER_STATUS_ONLINE));
    EXPECT_EQ(USER_STATUS_ONLINE, list.At(1).m_nOnlineStatus);
    EXPECT_EQ(USER_STATUS_UNKNOWN, list.At(2).m_nOnlineStatus);
    EXPECT_FALSE(list.SetOnlineStatus(L"nobody", USER_STATUS_AWAY));
    EXPECT_EQ(3, list.GetCount());
}

TEST(ContactListTest, SetFullNameKeepsStatusOrAppends) {
    CContactList list;
    EXPECT_EQ(-1, list.SetFullName(L"+123", L"Phone"));
    EXPECT_EQ(USER_STATUS_UNKNOWN, list.At(0).m_nOnlineStatus);  // not SKYPEOUT this way
    list.AddContact(L"alice");
    list.SetOnlineStatus(L"alice", USER_STATUS_AWAY);
    EXPECT_EQ(1, list.SetFullName(L"alice", L"Alice A."));
    EXPECT_EQ(L"Alice A.", list.GetFullName(L"alice"));
    EXPECT_EQ(USER_STATUS_AWAY, list.At(1).m_nOnlineStatus);
    EXPECT_EQ(L"", list.GetFullName(L"ALICE"));  // exact comparison
    EXPECT_EQ(L"", list.GetFullName(L"nobody"));
}

TEST(ContactListTest, RemoveContactExactOnly) {
    CContactList list;
    list.AddContact(L"a");
    list.AddContact(L"b");
    list.AddContact(L"c");
    EXPECT_FALSE(list.RemoveContact(L"B"));
    EXPECT_TRUE(list.RemoveContact(L"b"));
    EXPECT_FALSE(list.RemoveContact(L"b"));
    ASSERT_EQ(2, list.GetCount());
    EXPECT_EQ(L"a", list.At(0).m_strHandle);
    EXPECT_EQ(L"c", list.At(1).m_strHandle);
}

TEST(ContactListTest, FormatDisplayNamesJoinsPieces) {
    CContactList list;
    list.SetFullName(L"alice", L"Alice Liddell");
    list.SetFullName(L"b", L"Bee");
    EXPECT_EQ(L"", list.FormatDisplayNames(L""));
    EXPECT_EQ(L"", list.FormatDisplayNames(L",,,"));
    EXPECT_EQ(L"Alice Liddell | +456", list.FormatDisplayNames(L"alice,+456"));
    EXPECT_EQ(L"a | Bee", list.FormatDisplayNames(L"a,,b"));
    EXPECT_EQ(L"a |  b", list.FormatDisplayNames(L"a, b"));  // the blank stays with b
    EXPECT_EQ(L"Bee", list.FormatDisplayNames(L",b,"));
}

TEST(ContactListTest, InstanceIsCreatedOnceAndDestroyed) {
    CContactList* p = CContactList::GetInstance();
    EXPECT_EQ(p, CContactList::GetInstance());
    p->AddContact(L"x");
    CContactList::DestroyInstance();
    EXPECT_EQ(0, CContactList::GetInstance()->GetCount());
    CContactList::DestroyInstance();
}

TEST(CallPartnerMapTest, SetLookupAndTranslate) {
    CCallPartnerMap map;
    EXPECT_EQ(L"55", map.Lookup(L"55"));  // unknown ids stand for themselves
    map.Set(L"101", L"alice");
    EXPECT_EQ(L"alice,102", map.TranslateCallIds(L"101,102"));
    map.Set(L"101", L"carol");
    EXPECT_EQ(1, map.GetCount());
    EXPECT_EQ(L"carol", map.Lookup(L"101"));
    map.Set(L"AbC", L"dave");
    EXPECT_EQ(L"dave", map.Lookup(L"abc"));  // ids ignore case
    map.Set(L"abc", L"erin");
    EXPECT_EQ(2, map.GetCount());
    EXPECT_EQ(L"carol,erin,erin", map.TranslateCallIds(L",101,,ABC,abc,"));
    EXPECT_EQ(L"", map.TranslateCallIds(L""));
}

TEST(CommandQueueTest, FullQueueDropsNewCommandsUntilOneIsSent) {
    CCommandQueue queue;
    EXPECT_FALSE(queue.QueueCommand(L"get connstatus"));  // disabled after construction
    queue.Enable();
    for (size_t i = 0; i < CCommandQueue::MAX_WAITING; ++i) {
        ASSERT_TRUE(queue.QueueCommand(L"get call " + std::to_wstring(i) + L" status"));
    }
    EXPECT_FALSE(queue.QueueCommand(L"ping"));
    EXPECT_EQ(CCommandQueue::MAX_WAITING, queue.GetSize());
    std::wstring str;
    ASSERT_TRUE(queue.Pop(&str));
    EXPECT_EQ(L"get call 0 status", str);  // the oldest goes first
    EXPECT_TRUE(queue.QueueCommand(L"ping"));
    queue.Disable();  // waiting commands stay, and still count
    queue.Enable();
    EXPECT_FALSE(queue.QueueCommand(L"ping"));
    queue.Clear();
    EXPECT_TRUE(queue.QueueCommand(L"ping"));
}

TEST(StatusTableTest, CallWords) {
    // The codes are fixed: FAILED is 4, the three hold words are all 7.
    const wchar_t* WORDS[] = {L"UNPLACED", L"ROUTING",    L"EARLYMEDIA", L"FAILED",
                              L"RINGING",  L"INPROGRESS", L"ONHOLD",     L"FINISHED",
                              L"MISSED",   L"REFUSED",    L"BUSY",       L"CANCELLED"};
    const int CODES[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(CODES[i], CallStatusFromWord(WORDS[i])) << WORDS[i];
    EXPECT_EQ(7, CallStatusFromWord(L"LOCALHOLD"));
    EXPECT_EQ(7, CallStatusFromWord(L"REMOTEHOLD"));
    EXPECT_EQ(0, CallStatusFromWord(L"inprogress"));  // callers uppercase first
    EXPECT_EQ(0, CallStatusFromWord(L""));
    for (int n = 0; n <= 12; ++n) {
        EXPECT_EQ(n == 6 || n == 7, IsCallStatusActive(n)) << n;
        EXPECT_EQ(n == 4 || n >= 8, IsCallStatusEnded(n)) << n;
    }
}

TEST(StatusTableTest, UserAndContactWords) {
    // LOGGEDOUT is 1 and OFFLINE 2; SKYPEOUT is a contact status only.
    const wchar_t* WORDS[] = {L"LOGGEDOUT", L"OFFLINE", L"ONLINE", L"SKYPEME",
                              L"AWAY",      L"NA",      L"DND",    L"INVISIBLE"};
    bool bKnown = false;
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(i + 1, UserStatusFromWord(WORDS[i])) << WORDS[i];
        EXPECT_EQ(i + 1, ContactStatusFromWord(WORDS[i], &bKnown)) << WORDS[i];
        EXPECT_TRUE(bKnown);
    }
    EXPECT_EQ(0, UserStatusFromWord(L"SKYPEOUT"));
    EXPECT_EQ(0, UserStatusFromWord(L"WHATEVER"));
    EXPECT_EQ(9, ContactStatusFromWord(L"SKYPEOUT", &bKnown));
    EXPECT_TRUE(bKnown);
    EXPECT_EQ(0, ContactStatusFromWord(L"UNKNOWN", &bKnown));
    EXPECT_TRUE(bKnown);
    EXPECT_EQ(0, ContactStatusFromWord(L"BOGUS", &bKnown));
    EXPECT_FALSE(bKnown);
}
