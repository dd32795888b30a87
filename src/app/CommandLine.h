#pragma once
// Remote control from the command line: "ombra.exe /record" (/stop, /pause, /show,
// /exit) given to a second start is sent to the running recorder's main window,
// which does what its buttons would and answers whether the command applied.
#include <windows.h>

#include <string>
#include <vector>

enum RemoteCommand {
    REMOTE_BAD = -1,  // an unknown switch, or more than one
    REMOTE_NONE = 0,  // no switch: a plain start
    REMOTE_RECORD = 1,
    REMOTE_STOP = 2,
    REMOTE_PAUSE = 3,
    REMOTE_SHOW = 4,
    REMOTE_EXIT = 5,
};

// The main window's answers; anything else (0 from a window that does not know the
// message) counts as not taken.
constexpr LRESULT REMOTE_TAKEN = 1;
constexpr LRESULT REMOTE_REFUSED = 2;

// Exit codes of the second start.
constexpr int REMOTE_EXIT_TAKEN = 0;
constexpr int REMOTE_EXIT_NOT_TAKEN = 1;

// The command the arguments (without the program's own name) ask for; strBad gets
// the offending argument when the answer is REMOTE_BAD. Switches start with "/" or
// "-" and are read in any case.
int ParseRemoteCommand(const std::vector<std::wstring>& args, std::wstring& strBad);
// The same for this process's own command line.
int ParseProcessCommandLine(std::wstring& strBad);
// The text of the box shown for a bad switch.
std::wstring GetRemoteUsageText(const std::wstring& strBad);

// The registered message the main window answers: wParam a RemoteCommand.
UINT GetRemoteCommandMessage();

// The second start's side: sends the command to the running recorder's main window
// and returns the process exit code. A recorder hung for longer than the time-out
// counts as not taking it; /exit also waits for the recorder to end.
int ForwardRemoteCommand(int nCommand);

// What a command needs of the running recorder: its record and pause buttons and
// the tray icon's actions.
class IRemoteTarget {
public:
    virtual ~IRemoteTarget() = default;
    virtual bool IsRecordButtonEnabled() = 0;
    // A recording exists, even one whose stop is on its way.
    virtual bool IsRecordingActive() = 0;
    // A recording exists and has not been asked to stop.
    virtual bool IsRecordingRunning() = 0;
    virtual void ClickRecord() = 0;
    virtual void ClickPause() = 0;
    virtual void ShowMainWindow() = 0;
    virtual void ExitProgram() = 0;
};

// The running recorder's side: carries out one command; REMOTE_TAKEN or REMOTE_REFUSED.
LRESULT RunRemoteCommand(int nCommand, IRemoteTarget& target);
