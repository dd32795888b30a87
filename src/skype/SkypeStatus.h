#pragma once
// Call and user status codes and the mapping from Skype's status words.
#include <string>

enum {
    CALL_STATUS_UNKNOWN = 0,
    CALL_STATUS_UNPLACED = 1,
    CALL_STATUS_ROUTING = 2,
    CALL_STATUS_EARLYMEDIA = 3,
    CALL_STATUS_FAILED = 4,
    CALL_STATUS_RINGING = 5,
    CALL_STATUS_INPROGRESS = 6,
    CALL_STATUS_ONHOLD = 7,
    CALL_STATUS_FINISHED = 8,
    CALL_STATUS_MISSED = 9,
    CALL_STATUS_REFUSED = 10,
    CALL_STATUS_BUSY = 11,
    CALL_STATUS_CANCELLED = 12,
};

enum {
    USER_STATUS_UNKNOWN = 0,
    USER_STATUS_LOGGEDOUT = 1,
    USER_STATUS_OFFLINE = 2,
    USER_STATUS_ONLINE = 3,
    USER_STATUS_SKYPEME = 4,
    USER_STATUS_AWAY = 5,
    USER_STATUS_NA = 6,
    USER_STATUS_DND = 7,
    USER_STATUS_INVISIBLE = 8,
    USER_STATUS_SKYPEOUT = 9,
};

// An upper-case status word to its code; unknown words give CALL_STATUS_UNKNOWN.
int CallStatusFromWord(const std::wstring& strWord);
// Active calls are in progress or on hold.
inline bool IsCallStatusActive(int nStatus) {
    return nStatus == CALL_STATUS_INPROGRESS || nStatus == CALL_STATUS_ONHOLD;
}
inline bool IsCallStatusEnded(int nStatus) {
    return nStatus == CALL_STATUS_FAILED ||
           (nStatus >= CALL_STATUS_FINISHED && nStatus <= CALL_STATUS_CANCELLED);
}

// An upper-case word of CONNSTATUS/USERSTATUS to its code; SKYPEOUT is a
// contact status only and, like any unknown word, gives USER_STATUS_UNKNOWN.
int UserStatusFromWord(const std::wstring& strWord);
// An upper-case ONLINESTATUS word of a contact to its code (SKYPEOUT included).
// bKnown is false for a word outside the table (the code is then 0).
int ContactStatusFromWord(const std::wstring& strWord, bool* pbKnown = nullptr);
