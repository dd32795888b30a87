// Ombra Skype Recorder: records Skype calls into MP3 files.
#include <windows.h>

#include "app/HelloWorldApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CHelloWorldApp app;
    app.InitInstance();
    return app.ExitInstance();
}
