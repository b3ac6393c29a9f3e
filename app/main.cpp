#include <windows.h>

#include "app/recorder_app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    CRecorderApp app;
    return app.Run();
}
