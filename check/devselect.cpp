// Device Select dialog (placeholder until the dialog is built).
#include "devselect.h"

INT_PTR CALLBACK DeviceSelectDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
        EndDialog(hwnd, -1);
    return FALSE;
}
