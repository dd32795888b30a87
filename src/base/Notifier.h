#pragma once
// Every message box the user sees goes through NotifyMessageBox, so that tests
// can answer boxes without a person (SetNotifier) or let the real box show.
#include <windows.h>

#include <functional>
#include <string>

using NotifierFn = std::function<int(HWND hOwner, const std::wstring& strText,
                                     const std::wstring& strCaption, UINT uType)>;

// Shows a box (MessageBoxW unless a notifier is set) and returns its answer (IDOK, IDYES...).
int NotifyMessageBox(HWND hOwner, const std::wstring& strText, const std::wstring& strCaption,
                     UINT uType);

// Shows the box from a thread of its own and returns at once, so that the caller
// (an audio thread, a timer) goes on while the user reads it; fnClosed runs when it is closed.
void NotifyMessageBoxAside(const std::wstring& strText, const std::wstring& strCaption, UINT uType,
                           std::function<void()> fnClosed = {});

// Replaces the notifier for the whole process; an empty function restores MessageBoxW.
// Returns the previous one.
NotifierFn SetNotifier(NotifierFn fn);
