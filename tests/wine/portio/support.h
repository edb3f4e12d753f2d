/*
 * support.h - shared pieces of the port window and Device Select tests: a
 * message pump that routes dialog keys the way the program's loop does, a
 * deadline poll, the simulator's request log, lamp pixels, and a stand-in
 * panel that records what port windows report to it.
 */
#ifndef PORTIO_TEST_SUPPORT_H
#define PORTIO_TEST_SUPPORT_H

#include <windows.h>
#include <stdio.h>

#include <string>

#include "binding.h"
#include "led.h"
#include "panel.h"
#include "portio.h"
#include "shell.h"
#include "resources/resource.h"
#include "vantri.h"
#include "vantri_protocol.h"
#include "vantrisim_client.h"

/* Compares a std::string result with a text; the result is held until the check is done. */
#define CHECK_TEXT(expected, stringExpr) do { \
    const std::string check_text_ = (stringExpr); \
    WCHECK_STREQ(expected, check_text_.c_str()); } while (0)

namespace portio_test {

/* Keyboard messages of a dialog's controls go through the dialog manager,
 * as in the program's own loop. */
inline void DispatchOne(MSG &msg)
{
    HWND parent = msg.hwnd ? GetParent(msg.hwnd) : NULL;
    if (parent && IsDialogChild(msg.hwnd) && IsDialogMessageA(parent, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

inline void Pump(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
        DispatchOne(msg);
}

/* Pumps until cond() holds or the deadline passes; answers cond(). */
template <class Cond>
bool PumpUntil(Cond cond, DWORD timeoutMs = 3000)
{
    const DWORD start = GetTickCount();
    for (;;) {
        Pump();
        if (cond())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return cond();
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

/* ---- simulator ---- */

struct PortRequest {
    DWORD board, port, value;
};

/* The OUT_PORT (or IN_PORT) requests logged since the last clear. */
inline int LoggedPortRequests(DWORD code, PortRequest *out, int max)
{
    static VantriSimLogEntry entries[VANTRISIM_LOG_CAPACITY];
    int n = VantriSimReadLog(entries, VANTRISIM_LOG_CAPACITY);
    int found = 0;
    for (int i = 0; i < n; i++) {
        if (entries[i].dwCode != code)
            continue;
        if (found < max) {
            const BYTE *b = entries[i].bInput;
            out[found].board = entries[i].dwBoard;
            out[found].port = b[0] | (b[1] << 8) | (b[2] << 16) | ((DWORD)b[3] << 24);
            out[found].value = b[4] | (b[5] << 8) | (b[6] << 16) | ((DWORD)b[7] << 24);
        }
        found++;
    }
    return found;
}

inline int CountLogged(DWORD code)
{
    PortRequest r;
    return LoggedPortRequests(code, &r, 0);
}

inline int Latch(DWORD board, DWORD port)
{
    static VantriSimStatus st;
    if (!VantriSimGetStatus(&st))
        return -1;
    return st.bLatch[board][port];
}

inline DWORD OpenHandles(void)
{
    static VantriSimStatus st;
    if (!VantriSimGetStatus(&st))
        return 0xFFFFFFFF;
    DWORD n = 0;
    for (int b = 0; b < VANTRISIM_MAX_BOARDS; b++)
        n += st.dwOpenCount[b];
    return n;
}

/* ---- lamps ---- */

inline HWND Lamp(HWND hwndPort, int baseId, int bit) { return GetDlgItem(hwndPort, baseId + bit); }

inline WORD LampState(HWND hwndPort, int baseId, int bit)
{
    return (WORD)SendMessageA(Lamp(hwndPort, baseId, bit), LEDM_GETSTATE, 0, 0);
}

/* Colour at the centre of a lamp as painted on its window. */
inline COLORREF LampCentre(HWND hwndLamp)
{
    RECT rc;
    GetClientRect(hwndLamp, &rc);
    HDC dc = GetDC(hwndLamp);
    COLORREF c = GetPixel(dc, rc.right / 2, rc.bottom / 2);
    ReleaseDC(hwndLamp, dc);
    return c;
}

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

/* ---- stand-in panel ---- */

struct Report {
    WPARAM event;
    LPARAM port;
    BOOL propertyAttached;   /* the watched window still had its record */
    BOOL recordLocked;       /* ... and it was still locked global memory */
};

struct Recorder {
    HWND hwnd;
    HWND watched;            /* the port window whose record is checked on report 2 */
    int count;
    Report reports[16];
};

inline Recorder &TheRecorder(void) { static Recorder r; return r; }

inline LRESULT CALLBACK RecorderWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == PANELM_PORTWINDOW) {
        Recorder &r = TheRecorder();
        if (r.count < 16) {
            Report &rep = r.reports[r.count];
            rep.event = wParam;
            rep.port = lParam;
            void *p = r.watched ? GetPropA(r.watched, PORTIO_PROPERTY) : NULL;
            rep.propertyAttached = p != NULL;
            HGLOBAL h = p ? GlobalHandle(p) : NULL;
            rep.recordLocked = h && (GlobalFlags(h) & GMEM_LOCKCOUNT) == 1;
        }
        r.count++;
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

inline HWND RecorderWindow(void)
{
    Recorder &r = TheRecorder();
    if (!r.hwnd) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecorderWndProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "PortioTestRecorder";
        wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
        RegisterClassA(&wc);
        r.hwnd = CreateWindowExA(0, wc.lpszClassName, "recorder", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 300, 200, 320, 200, NULL, NULL, wc.hInstance, NULL);
    }
    return r.hwnd;
}

inline void ResetRecorder(void)
{
    TheRecorder().count = 0;
    TheRecorder().watched = NULL;
}

/* ---- program state ---- */

/* Once per test program: resources of this exe, the lamp class, the library,
 * three boards opened as the panel would (devices 0, 1, 2). */
inline bool Setup(void)
{
    static int state = 0;
    if (state)
        return state > 0;
    state = -1;
    SetAppInstance(GetModuleHandleA(NULL));
    RegisterLedClass(GetModuleHandleA(NULL));
    if (!VantriSimResetDefault()) {
        printf("  setup: the simulator does not answer\n");
        return false;
    }
    if (!LibLoad()) {
        printf("  setup: vantri.dll does not load (%lu)\n", GetLastError());
        return false;
    }
    for (int i = 0; i < 3; i++) {
        WORD dev = VANTRI_ANY_DEVICE;
        if (!LibCreate(&dev)) {
            printf("  setup: board %d does not open\n", i);
            return false;
        }
    }
    state = 1;
    return true;
}

/* After LibFree: the library loaded again and boards 0, 1, 2 open again. */
inline bool ReopenBoards(void)
{
    if (!LibLoad())
        return false;
    for (int i = 0; i < 3; i++) {
        WORD dev = VANTRI_ANY_DEVICE;
        if (!LibCreate(&dev) || dev != i)
            return false;
    }
    return true;
}

/* A port window made as the panel makes one, owned by the stand-in. */
inline HWND OpenPortWindow(WORD wDevice, WORD wPort, HWND owner = NULL)
{
    PortWindowInfo info = { owner ? owner : RecorderWindow(), wDevice, wPort };
    HWND h = CreateDialogParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_PORTIO), info.hwndOwner,
                                PortWindowProc, (LPARAM)&info);
    Pump();
    return h;
}

inline bool CloseAndWait(HWND hwnd)
{
    if (IsWindow(hwnd))
        DestroyWindow(hwnd);
    return PumpUntil([&] { return !IsWindow(hwnd); });
}

} // namespace portio_test

#endif
