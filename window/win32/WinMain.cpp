// Entry point of "Zorvantec UTL-RS.exe": one window, one thread.
#include "window/win32/MainWindow.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    return vqx::win32::RunProgram(instance);
}
