// devselect.cpp - the Device Select dialog: one line per entry of the panel's
// list, the current one preselected; it answers with the confirmed entry
// index or -1. Device numbers never reach it.
#include "devselect.h"

#include "shell.h"
#include "resources/resource.h"

namespace {

constexpr int kFormatChars = 30;
constexpr int kLineChars = 32;
constexpr WORD kMaxEntries = 16;   // the panel opens at most this many boards

// A count above what the panel can hold would only add lines that name no board.
void FillDeviceList(HWND hwnd, WORD wCount)
{
    if (wCount > kMaxEntries)
        wCount = kMaxEntries;
    char szFormat[kFormatChars] = "";
    LoadStringA(GetAppInstance(), IDS_FMT_DEVICE, szFormat, kFormatChars);
    for (WORD i = 0; i < wCount; i++) {
        char szLine[kLineChars] = "";
        wsprintfA(szLine, szFormat, static_cast<int>(i));
        SendDlgItemMessageA(hwnd, IDC_DEVICE_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(szLine));
    }
}

// Without a parameter the list stays empty and OK answers -1, as for no choice.
BOOL OnInitDialog(HWND hwnd, LPARAM lParam)
{
    const DeviceSelectParam *pParam = reinterpret_cast<const DeviceSelectParam *>(lParam);
    const HWND hwndOwner = pParam ? pParam->hwndOwner : NULL;
    const DWORD dwCountAndCurrent = pParam ? pParam->dwCountAndCurrent : 0;

    CenterWindow(hwndOwner, hwnd);
    FillDeviceList(hwnd, HIWORD(dwCountAndCurrent));
    SendDlgItemMessageA(hwnd, IDC_DEVICE_LIST, LB_SETCURSEL, LOWORD(dwCountAndCurrent), 0);
    return TRUE;
}

void Confirm(HWND hwnd)
{
    EndDialog(hwnd, SendDlgItemMessageA(hwnd, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0));
}

void OnCommand(HWND hwnd, int id, UINT code)
{
    if (id == IDOK)
        Confirm(hwnd);
    else if (id == IDCANCEL)
        EndDialog(hwnd, -1);
    else if (id == IDC_DEVICE_LIST && code == LBN_DBLCLK)
        Confirm(hwnd);
}

} // namespace

INT_PTR CALLBACK DeviceSelectDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog(hwnd, lParam);
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    default:
        return FALSE;
    }
}
