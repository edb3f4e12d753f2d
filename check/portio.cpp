// Port I/O window (placeholder until the window is built).
#include "portio.h"

INT_PTR CALLBACK PortWindowProc(HWND hwnd, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND)
        return FALSE;
    (void)hwnd;
    return FALSE;
}
