// Torvane's entry point. The program never opens a window: it runs the one command named on
// its command line and exits with the status that command gives.
#include <windows.h>

#include "setup/Dispatch.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int) {
    return RunTorvane(hInstance, lpCmdLine);
}
