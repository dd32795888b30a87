#include "base/Notifier.h"

#include <thread>

#include "base/Lock.h"
#include "base/Log.h"

namespace {
CCriticalSection& NotifierLock() {
    static CCriticalSection cs;
    return cs;
}
NotifierFn& CurrentNotifier() {
    static NotifierFn fn;
    return fn;
}
}  // namespace

int NotifyMessageBox(HWND hOwner, const std::wstring& strText, const std::wstring& strCaption,
                     UINT uType) {
    LogLine(L"message box \"%s\": %s", strCaption.c_str(), strText.c_str());
    NotifierFn fn;
    {
        CLock lock(NotifierLock());
        fn = CurrentNotifier();
    }
    if (fn) return fn(hOwner, strText, strCaption, uType);
    return ::MessageBoxW(hOwner, strText.c_str(), strCaption.c_str(), uType);
}

NotifierFn SetNotifier(NotifierFn fn) {
    CLock lock(NotifierLock());
    NotifierFn previous = std::move(CurrentNotifier());
    CurrentNotifier() = std::move(fn);
    return previous;
}

void NotifyMessageBoxAside(const std::wstring& strText, const std::wstring& strCaption, UINT uType,
                           std::function<void()> fnClosed) {
    std::thread([strText, strCaption, uType, fnClosed = std::move(fnClosed)] {
        NotifyMessageBox(nullptr, strText, strCaption, uType);
        if (fnClosed) fnClosed();
    }).detach();
}
