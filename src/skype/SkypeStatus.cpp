#include "skype/SkypeStatus.h"

namespace {

struct StatusWord {
    const wchar_t* pszWord;
    int nCode;
};

const StatusWord CALL_WORDS[] = {
    {L"UNPLACED", CALL_STATUS_UNPLACED},
    {L"ROUTING", CALL_STATUS_ROUTING},
    {L"EARLYMEDIA", CALL_STATUS_EARLYMEDIA},
    {L"FAILED", CALL_STATUS_FAILED},
    {L"RINGING", CALL_STATUS_RINGING},
    {L"INPROGRESS", CALL_STATUS_INPROGRESS},
    {L"ONHOLD", CALL_STATUS_ONHOLD},
    {L"LOCALHOLD", CALL_STATUS_ONHOLD},
    {L"REMOTEHOLD", CALL_STATUS_ONHOLD},
    {L"FINISHED", CALL_STATUS_FINISHED},
    {L"MISSED", CALL_STATUS_MISSED},
    {L"REFUSED", CALL_STATUS_REFUSED},
    {L"BUSY", CALL_STATUS_BUSY},
    {L"CANCELLED", CALL_STATUS_CANCELLED},
};

const StatusWord USER_WORDS[] = {
    {L"LOGGEDOUT", USER_STATUS_LOGGEDOUT},
    {L"OFFLINE", USER_STATUS_OFFLINE},
    {L"ONLINE", USER_STATUS_ONLINE},
    {L"SKYPEME", USER_STATUS_SKYPEME},
    {L"AWAY", USER_STATUS_AWAY},
    {L"NA", USER_STATUS_NA},
    {L"DND", USER_STATUS_DND},
    {L"INVISIBLE", USER_STATUS_INVISIBLE},
};

template <size_t N>
bool Lookup(const StatusWord (&table)[N], const std::wstring& strWord, int* pnCode) {
    for (const StatusWord& sw : table) {
        if (strWord == sw.pszWord) {
            *pnCode = sw.nCode;
            return true;
        }
    }
    return false;
}

}  // namespace

int CallStatusFromWord(const std::wstring& strWord) {
    int nCode = CALL_STATUS_UNKNOWN;
    Lookup(CALL_WORDS, strWord, &nCode);
    return nCode;
}

int UserStatusFromWord(const std::wstring& strWord) {
    int nCode = USER_STATUS_UNKNOWN;
    Lookup(USER_WORDS, strWord, &nCode);
    return nCode;
}

int ContactStatusFromWord(const std::wstring& strWord, bool* pbKnown) {
    int nCode = USER_STATUS_UNKNOWN;
    bool bKnown = Lookup(USER_WORDS, strWord, &nCode);
    if (!bKnown) {
        if (strWord == L"SKYPEOUT") {
            nCode = USER_STATUS_SKYPEOUT;
            bKnown = true;
        } else if (strWord == L"UNKNOWN") {
            bKnown = true;
        }
    }
    if (pbKnown) *pbKnown = bKnown;
    return nCode;
}
