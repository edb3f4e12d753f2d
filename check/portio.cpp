// portio.cpp - the Port I/O window: watch the input bits and drive the output
// bits of one port of one board.
//
// The window keeps no copy of the port values: the input bits live in the
// input lamps, the output bits in the output lamps. Its only record, a
// PortWindowInfo, sits in locked global memory under the window property
// "Property"; every handler fetches it again and does nothing without it.
#include "portio.h"

#include "binding.h"
#include "led.h"
#include "panel.h"
#include "shell.h"
#include "resources/resource.h"

namespace {

constexpr int kBits = 8;              // one 8-bit group per port
constexpr int kTitleFormatChars = 50;
constexpr int kPortNameChars = 3;
constexpr int kBitsFormatChars = 15;
constexpr int kNumberFormatChars = 10;

PortWindowInfo *GetPortInfo(HWND hwnd)
{
    return static_cast<PortWindowInfo *>(GetPropA(hwnd, PORTIO_PROPERTY));
}

// Copies the creation record into a record of the window's own, locked for
// the window's life and attached as its property. Null when that fails;
// nothing is left allocated then.
PortWindowInfo *AttachPortInfo(HWND hwnd, const PortWindowInfo *pCreate)
{
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(PortWindowInfo));
    if (!hMem)
        return NULL;
    PortWindowInfo *pInfo = static_cast<PortWindowInfo *>(GlobalLock(hMem));
    if (!pInfo) {
        GlobalFree(hMem);
        return NULL;
    }
    pInfo->hwndOwner = pCreate->hwndOwner;
    pInfo->wDevice = pCreate->wDevice;
    pInfo->wPort = pCreate->wPort;
    if (!SetPropA(hwnd, PORTIO_PROPERTY, pInfo)) {
        GlobalUnlock(hMem);
        GlobalFree(hMem);
        return NULL;
    }
    return pInfo;
}

void FreePortInfo(HWND hwnd, PortWindowInfo *pInfo)
{
    HGLOBAL hMem = GlobalHandle(pInfo);
    GlobalUnlock(hMem);
    GlobalFree(hMem);
    RemovePropA(hwnd, PORTIO_PROPERTY);
}

void SetCaption(HWND hwnd, WORD wPort)
{
    char szFormat[kTitleFormatChars] = "";
    char szPort[kPortNameChars] = "";
    char szCaption[kTitleFormatChars + kPortNameChars] = "";
    LoadStringA(GetAppInstance(), IDS_FMT_PORT_TITLE, szFormat, kTitleFormatChars);
    LoadStringA(GetAppInstance(), IDS_PORT1 + wPort, szPort, kPortNameChars);
    wsprintfA(szCaption, szFormat, szPort);
    SetWindowTextA(hwnd, szCaption);
}

void FillBitGroupList(HWND hwnd)
{
    char szFormat[kBitsFormatChars] = "";
    char szEntry[32] = "";
    LoadStringA(GetAppInstance(), IDS_FMT_BITS, szFormat, kBitsFormatChars);
    wsprintfA(szEntry, szFormat, 0, kBits - 1);
    SendDlgItemMessageA(hwnd, IDC_BITGROUP, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(szEntry));
}

// Numbers the lamps after the selected group. Without a selection the first
// group's numbers are shown rather than negative ones.
void RelabelBits(HWND hwnd)
{
    LRESULT sel = SendDlgItemMessageA(hwnd, IDC_BITGROUP, CB_GETCURSEL, 0, 0);
    if (sel < 0)
        sel = 0;
    const int base = static_cast<int>(sel) * kBits;

    char szFormat[kNumberFormatChars] = "";
    LoadStringA(GetAppInstance(), IDS_FMT_NUMBER, szFormat, kNumberFormatChars);
    for (int i = 0; i < kBits; i++) {
        char szNumber[16] = "";
        wsprintfA(szNumber, szFormat, base + i);
        SetDlgItemTextA(hwnd, IDC_OUTBIT0 + i, szNumber);
        SetDlgItemTextA(hwnd, IDC_INBIT0 + i, szNumber);
    }
}

void SetLampModes(HWND hwnd)
{
    for (int i = 0; i < kBits; i++)
        SendDlgItemMessageA(hwnd, IDC_INLED0 + i, LEDM_SETSTATE, LEDS_INPUT, 0);
    for (int i = 0; i < kBits; i++)
        SendDlgItemMessageA(hwnd, IDC_OUTLED0 + i, LEDM_SETSTATE, LEDS_OUTPUT, 0);
}

// Reads the input port and shows every bit, changed or not. A read that
// yields no value leaves the byte at 0: every lamp dark.
void PollInput(HWND hwnd)
{
    const PortWindowInfo *pInfo = GetPortInfo(hwnd);
    if (!pInfo)
        return;
    BYTE bValue = 0;
    LibInPort(pInfo->wDevice, pInfo->wPort, &bValue);
    for (int i = 0; i < kBits; i++) {
        const WPARAM state = (bValue >> i) & 1 ? LEDS_ON : LEDS_OFF;
        SendDlgItemMessageA(hwnd, IDC_INLED0 + i, LEDM_SETSTATE, state, 0);
    }
}

// Writes the whole output byte as the output lamps show it.
void WriteOutput(HWND hwnd)
{
    const PortWindowInfo *pInfo = GetPortInfo(hwnd);
    if (!pInfo)
        return;
    BYTE bValue = 0;
    for (int i = 0; i < kBits; i++) {
        if (SendDlgItemMessageA(hwnd, IDC_OUTLED0 + i, LEDM_GETSTATE, 0, 0) & LEDS_ON)
            bValue |= static_cast<BYTE>(1u << i);
    }
    LibOutPort(pInfo->wDevice, pInfo->wPort, bValue);
}

BOOL OnInitDialog(HWND hwnd, LPARAM lParam)
{
    const PortWindowInfo *pCreate = reinterpret_cast<const PortWindowInfo *>(lParam);
    PortWindowInfo *pInfo = pCreate ? AttachPortInfo(hwnd, pCreate) : NULL;
    if (!pInfo) {
        // Nothing was reported to the panel, so its Execute button stays
        // usable; WM_DESTROY finds no record and does nothing. FALSE keeps
        // the dialog manager from placing the focus in a window now gone.
        DestroyWindow(hwnd);
        return FALSE;
    }
    SetCaption(hwnd, pInfo->wPort);
    CenterWindow(pInfo->hwndOwner, hwnd);
    FillBitGroupList(hwnd);
    SendDlgItemMessageA(hwnd, IDC_BITGROUP, CB_SETCURSEL, 0, 0);
    RelabelBits(hwnd);
    SendMessageA(pInfo->hwndOwner, PANELM_PORTWINDOW, WM_INITDIALOG, pInfo->wPort);
    SetLampModes(hwnd);
    PollInput(hwnd);
    return TRUE;
}

void OnTimer(HWND hwnd)
{
    PollInput(hwnd);
}

void OnCommand(HWND hwnd, int id, UINT code)
{
    if (id >= IDC_OUTLED0 && id < IDC_OUTLED0 + kBits)
        WriteOutput(hwnd);
    else if (id == IDC_BITGROUP && code == CBN_CLOSEUP)
        RelabelBits(hwnd);
    else if (id == IDCANCEL)
        DestroyWindow(hwnd);
}

void OnDestroy(HWND hwnd)
{
    PortWindowInfo *pInfo = GetPortInfo(hwnd);
    if (!pInfo)
        return;
    // The panel hears of it while the record is still attached.
    SendMessageA(pInfo->hwndOwner, PANELM_PORTWINDOW, WM_DESTROY, pInfo->wPort);
    FreePortInfo(hwnd, pInfo);
}

} // namespace

INT_PTR CALLBACK PortWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnInitDialog(hwnd, lParam);
    case WM_TIMER:
        OnTimer(hwnd);
        return FALSE;
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    case WM_DESTROY:
        OnDestroy(hwnd);
        return FALSE;
    default:
        return FALSE;
    }
}
