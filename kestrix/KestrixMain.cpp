// Entry point of Kestrix.dll. The library keeps no state, so there is nothing to set up or tear
// down for any process or thread.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
