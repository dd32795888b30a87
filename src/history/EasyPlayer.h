#pragma once
// Plays one recording through a hidden MCIWnd media window. The history window
// keeps the play state; this class only owns the media window and the file name
// and turns the window messages the media window understands into calls.
#include <windows.h>

#include <string>

class CEasyPlayer {
public:
    // Update period of the media window while it plays, in ms.
    static constexpr UINT PLAYER_ACTIVE_TIMER_MS = 500;

    CEasyPlayer() = default;
    ~CEasyPlayer();
    CEasyPlayer(const CEasyPlayer&) = delete;
    CEasyPlayer& operator=(const CEasyPlayer&) = delete;

    // The hidden control that becomes the parent of every media window.
    void SetParentWindow(HWND hParent) { m_hParentWnd = hParent; }
    HWND GetParentWindow() const { return m_hParentWnd; }

    // Remembers the path the next media window opens.
    void SetFileName(const std::wstring& strPath) { m_strFileName = strPath; }
    const std::wstring& GetFileName() const { return m_strFileName; }

    // Creates a media window for the remembered file (an empty name opens
    // nothing), makes it the current one and returns it; 0 when creation failed.
    HWND CreateMediaWindow();
    HWND GetMediaWindow() const { return m_hMediaWnd; }

    // Commands to the current media window; without one they do nothing and read 0.
    void Play() const;
    void Pause() const;
    void Stop() const;
    // Leaves the media stopped (or paused) at the position; the caller plays again.
    void Seek(LONG nPosition) const;
    void CloseMedia() const;
    LONG GetLength() const;
    LONG GetPosition() const;
    // 0 to 1000, 1000 being the normal volume.
    void SetVolume(int nVolume) const;
    // MCI_MODE_PLAY, MCI_MODE_STOP...; 0 without a media window.
    LONG GetMode() const;
    // For media that was playing: true once it has played to its end. Media that
    // cannot be played (length 0) never ends. Some MCI drivers (Wine's) report
    // position 0 and stopped mode after the end instead of position = length, so
    // stopped mode counts too once playback has had time to start (bStopMeansEnd).
    bool HasPlayedToEnd(bool bStopMeansEnd) const;

    // Sends the current media window the window close message and forgets it.
    void Destroy();

private:
    LRESULT Send(UINT uMsg, WPARAM wParam, LPARAM lParam) const;

    HWND m_hParentWnd = nullptr;
    HWND m_hMediaWnd = nullptr;
    std::wstring m_strFileName;
};
