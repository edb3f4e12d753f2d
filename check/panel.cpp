/* panel.cpp - the main panel: opens every board at start, shows the current
 * one, opens the port windows, fans the timer out to them and closes the
 * boards again when it is destroyed. */
#include "panel.h"
#include "binding.h"
#include "devselect.h"
#include "portio.h"
#include "shell.h"
#include <stddef.h>  /* offsetof, used by the record checks in vantri.h */
#include "vantri.h"
#include "resources/resource.h"

namespace {

constexpr char kListProperty[]    = "PropCtrl";
constexpr int  kFormatChars       = 30;
constexpr int  kTextChars         = 32;
constexpr int  kNoticeChars       = 50;
constexpr int  kCloseNoticeChars  = 100;
constexpr int  kFirstDisabledId   = 1001;
constexpr int  kEndDisabledId     = 1064;
constexpr int  kPortIdStep        = 10;

HWND g_portWindows[PANEL_PORTS];

DeviceList *GetDeviceList(HWND hwnd)
{
    return (DeviceList *)GetPropA(hwnd, kListProperty);
}

void ShowError(HWND hwnd, UINT idText, int cchText)
{
    char text[kCloseNoticeChars];
    if (!LoadStringA(GetAppInstance(), idText, text, cchText))
        text[0] = '\0';
    MessageBoxA(hwnd, text, GetAppClassName(), MB_ICONERROR);
}

void DisablePanel(HWND hwnd, UINT idText)
{
    for (int id = kFirstDisabledId; id < kEndDisabledId; id++) {
        HWND hwndChild = GetDlgItem(hwnd, id);
        if (hwndChild)
            EnableWindow(hwndChild, FALSE);
    }
    ShowError(hwnd, idText, kNoticeChars);
}

void LoadFormat(UINT idFormat, char (&format)[kFormatChars])
{
    if (!LoadStringA(GetAppInstance(), idFormat, format, kFormatChars))
        format[0] = '\0';
}

void ShowCurrentBoard(HWND hwnd, DeviceList *list)
{
    char format[kFormatChars], name[kTextChars], text[kTextChars];

    LoadFormat(IDS_FMT_DEVICE, format);
    wsprintfA(name, format, (int)list->wCurrent);
    LoadFormat(IDS_FMT_BOARD, format);
    wsprintfA(text, format, name);
    SetDlgItemTextA(hwnd, IDC_BOARD_NAME, text);

    /* A failed query leaves the record unwritten: show no range then
     * rather than whatever the record held. */
    VantriResource resource = {};
    if (LibGetResource(list->wDevices[list->wCurrent], &resource)) {
        LoadFormat(IDS_FMT_RANGE, format);
        wsprintfA(text, format, resource.dwBase, resource.dwBase + resource.dwLength - 1);
    } else {
        text[0] = '\0';
    }
    SetDlgItemTextA(hwnd, IDC_BASE_ADDRESS, text);

    for (int p = 0; p < PANEL_PORTS; p++) {
        SendDlgItemMessageA(hwnd, IDC_PORT1_IN + kPortIdStep * p, BM_SETCHECK, BST_CHECKED, 0);
        SendDlgItemMessageA(hwnd, IDC_PORT1_OUT + kPortIdStep * p, BM_SETCHECK, BST_CHECKED, 0);
    }
}

void OpenBoards(HWND hwnd, DeviceList *list)
{
    if (!LibLoad()) {
        DisablePanel(hwnd, IDS_LOAD_FAILED);
        return;
    }
    while (list->wCount < VANTRI_MAX_DEVICES) {
        WORD wDevice = VANTRI_ANY_DEVICE;   /* anew each time: the call overwrites it */
        if (!LibCreate(&wDevice))
            break;
        list->wDevices[list->wCount++] = wDevice;
    }
    list->wCurrent = 0;
    if (list->wCount == 0)
        DisablePanel(hwnd, IDS_NO_DEVICE);
    else
        ShowCurrentBoard(hwnd, list);
}

/* Stops at the first board that does not close; the library's own unload
 * closes whatever is left. */
void CloseBoards(HWND hwnd, const DeviceList *list)
{
    for (WORD i = 0; i < list->wCount && i < VANTRI_MAX_DEVICES; i++) {
        if (!LibClose(list->wDevices[i])) {
            ShowError(hwnd, IDS_CLOSE_FAILED, kCloseNoticeChars);
            return;
        }
    }
}

void SelectDevice(HWND hwnd, DeviceList *list)
{
    DeviceSelectParam param;
    param.hwndOwner = hwnd;
    param.dwCountAndCurrent = ((DWORD)list->wCount << 16) | list->wCurrent;
    INT_PTR result = DialogBoxParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_DEVSELECT), hwnd,
                                     DeviceSelectDlgProc, (LPARAM)&param);
    /* Only an entry of the list can become current; anything else is no change. */
    if (result < 0 || result >= list->wCount)
        return;
    for (WORD p = 0; p < PANEL_PORTS; p++) {
        HWND hwndPort = GetPortWindowSlot(p);
        if (hwndPort) {
            PostMessageA(hwndPort, WM_CLOSE, 0, 0);
            EnableExecuteButton(hwnd, p, TRUE);
        }
    }
    list->wCurrent = LOWORD(result);
    ShowCurrentBoard(hwnd, list);
}

void OpenPortWindow(HWND hwnd, DeviceList *list, WORD wPort)
{
    PortWindowInfo info;
    info.hwndOwner = hwnd;
    info.wDevice = list->wDevices[list->wCurrent];
    info.wPort = wPort;
    HWND hwndPort = CreateDialogParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_PORTIO), hwnd,
                                       PortWindowProc, (LPARAM)&info);
    // A window that destroyed itself while it initialised still comes back
    // as a handle; the slot must not keep a dead one.
    SetPortWindowSlot(wPort, IsWindow(hwndPort) ? hwndPort : NULL);
}

/* ---- Message handlers --------------------------------------------------- */

INT_PTR OnInitDialog(HWND hwnd)
{
    /* Without its list the panel cannot work: it fails its creation. */
    HGLOBAL hList = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DeviceList));
    DeviceList *list = hList ? (DeviceList *)GlobalLock(hList) : NULL;
    if (!list || !SetPropA(hwnd, kListProperty, list)) {
        if (list)
            GlobalUnlock(hList);
        if (hList)
            GlobalFree(hList);
        DestroyWindow(hwnd);
        return TRUE;
    }
    ClearPortWindowSlots();
    OpenBoards(hwnd, list);
    SetTimer(hwnd, PANEL_TIMER_ID, PANEL_TIMER_MS, NULL);
    return TRUE;
}

INT_PTR OnCommand(HWND hwnd, WPARAM wParam)
{
    DeviceList *list = GetDeviceList(hwnd);
    WORD id = LOWORD(wParam);
    switch (id) {
    case IDC_DEVICE_SELECT:
        if (list)
            SelectDevice(hwnd, list);
        break;
    case IDC_PORT1_EXECUTE:
    case IDC_PORT2_EXECUTE:
    case IDC_PORT3_EXECUTE:
    case IDC_PORT4_EXECUTE:
        if (list)
            OpenPortWindow(hwnd, list, (WORD)((id - IDC_PORT1_EXECUTE) / kPortIdStep));
        break;
    case IDM_HELP_TOPICS:
        SendMessageA(GetMainWindow(), WM_COMMAND, IDM_HELP_TOPICS, (LPARAM)hwnd);
        break;
    default:
        break;
    }
    return FALSE;
}

INT_PTR OnTimer(WPARAM wParam)
{
    for (WORD p = 0; p < PANEL_PORTS; p++) {
        HWND hwndPort = GetPortWindowSlot(p);
        if (hwndPort)
            SendMessageA(hwndPort, WM_TIMER, wParam, 0);
    }
    return FALSE;
}

INT_PTR OnPortWindow(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    if ((ULONG_PTR)lParam >= PANEL_PORTS)
        return FALSE;
    WORD wPort = (WORD)lParam;
    if (wParam == WM_INITDIALOG) {
        EnableExecuteButton(hwnd, wPort, FALSE);
    } else if (wParam == WM_DESTROY) {
        EnableExecuteButton(hwnd, wPort, TRUE);
        SetPortWindowSlot(wPort, NULL);
    }
    return FALSE;
}

INT_PTR OnDestroy(HWND hwnd)
{
    KillTimer(hwnd, PANEL_TIMER_ID);
    DeviceList *list = GetDeviceList(hwnd);
    if (list)
        CloseBoards(hwnd, list);
    LibFree();
    if (list) {
        HGLOBAL hList = GlobalHandle(list);
        GlobalUnlock(hList);
        GlobalFree(hList);
        RemovePropA(hwnd, kListProperty);
    }
    return FALSE;
}

} // namespace

/* ---- Port-window table -------------------------------------------------- */

void ClearPortWindowSlots(void)
{
    for (HWND &slot : g_portWindows)
        slot = NULL;
}

void SetPortWindowSlot(WORD wPort, HWND hwnd)
{
    if (wPort < PANEL_PORTS)
        g_portWindows[wPort] = hwnd;
}

HWND GetPortWindowSlot(WORD wPort)
{
    return wPort < PANEL_PORTS ? g_portWindows[wPort] : NULL;
}

void EnableExecuteButton(HWND hwndPanel, WORD wPort, BOOL bEnable)
{
    if (wPort < PANEL_PORTS)
        EnableWindow(GetDlgItem(hwndPanel, IDC_PORT1_EXECUTE + kPortIdStep * wPort), bEnable);
}

INT_PTR CALLBACK PanelDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:     return OnInitDialog(hwnd);
    case WM_COMMAND:        return OnCommand(hwnd, wParam);
    case WM_TIMER:          return OnTimer(wParam);
    case PANELM_PORTWINDOW: return OnPortWindow(hwnd, wParam, lParam);
    case WM_DESTROY:        return OnDestroy(hwnd);
    default:                return FALSE;
    }
}
