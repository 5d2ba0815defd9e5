// Entry point of "Zorvantec UTL-RS.exe": one window; a backup run has a worker thread of its own.
#include "window/win32/MainWindow.h"

#include <windows.h>

#include <exception>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // The program sits in a folder its users can write to, beside their data: libraries are
    // loaded from the system's folder only, never from there.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    try {
        return vqx::win32::RunProgram(instance);
    } catch (...) {
        MessageBoxW(nullptr, L"Ha ocurrido un error interno del programa.",
                    L"Zorvantec VQX - Respaldo de seguridad", MB_OK | MB_ICONERROR);
        return 1;
    }
}
