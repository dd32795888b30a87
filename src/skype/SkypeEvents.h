#pragma once
// Events the Skype link posts to its notify window. They carry slot numbers and
// codes, never copies of data: the receiver reads the current state when it
// handles the message.
#include <windows.h>

// wParam 0, lParam 0: Skype accepted the attach; the start-up commands are queued.
constexpr UINT WM_SKYPE_ATTACHED = WM_USER + 0x1F4;
// 1 s after the last of a burst of USER notifications.
constexpr UINT WM_SKYPE_CONTACTS_CHANGED = WM_USER + 0x1F6;
// wParam: user status code (USER_STATUS_*).
constexpr UINT WM_SKYPE_USER_STATUS = WM_USER + 0x1FB;
// The own handle is stored before the post (GetCurrentUserHandle).
constexpr UINT WM_SKYPE_CURRENT_USER = WM_USER + 0x1FC;
// wParam: call slot 0..19 or -1; lParam: SKYPE_CALL_PARTNER or SKYPE_CALL_STATUS.
constexpr UINT WM_SKYPE_CALL = WM_USER + 0x1FE;
// wParam: call slot or -1; lParam: UTF-16 code unit of the key.
constexpr UINT WM_SKYPE_DTMF = WM_USER + 0x1FF;
constexpr UINT WM_SKYPE_VERSION = WM_USER + 0x202;
// Skype refused the attach request.
constexpr UINT WM_SKYPE_REFUSED = WM_USER + 0x209;
constexpr UINT WM_SKYPE_INCOMING_P2P = WM_USER + 0x20A;
constexpr UINT WM_SKYPE_INCOMING_PSTN = WM_USER + 0x20B;

// lParam values of WM_SKYPE_CALL.
constexpr LPARAM SKYPE_CALL_PARTNER = 1;
constexpr LPARAM SKYPE_CALL_STATUS = 2;
