/*
 * bench_check.cpp - what the check program costs with all four port windows
 * open on the simulator. Prints figures; passes or fails nothing.
 *
 *  1. The real vantri-check.exe: its CPU time per second of wall time over
 *     10 s (GetProcessTimes), and the time from a click on an output lamp
 *     (a button press sent to the lamp from outside) to the simulator's
 *     latch changing.
 *  2. In-process, on the same modules and templates: the cost of one tick
 *     (the panel's WM_TIMER: four reads and 32 repaints), with the reads and
 *     the repaints also timed apart, and the click-to-latch time without a
 *     process boundary.
 *
 * Run: bench/check/run.sh [seconds], which also reads the program's CPU
 * time from /proc where GetProcessTimes of another process answers 0 (Wine).
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <vector>

#include "binding.h"
#include "led.h"
#include "panel.h"
#include "portio.h"
#include "shell.h"
#include "resources/resource.h"
#include "vantrisim_client.h"

namespace {

LARGE_INTEGER g_freq;

double NowMs(void)
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart * 1000.0 / g_freq.QuadPart;
}

double FileTimeMs(const FILETIME &ft)
{
    return (((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime) / 10000.0;
}

void Pump(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

template <class Cond>
bool WaitFor(Cond cond, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start > ms)
            return false;
        Pump();
        Sleep(1);
    }
    return true;
}

int Latch(DWORD board, DWORD port)
{
    static VantriSimStatus st;
    return VantriSimGetStatus(&st) ? st.bLatch[board][port] : -1;
}

struct Stats { double min, median, max; };

Stats Summarise(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    if (v.empty())
        return {0, 0, 0};
    return {v.front(), v[v.size() / 2], v.back()};
}

const char *PortTitle(int p)
{
    static char title[4][32];
    wsprintfA(title[p], "Parallel I/O (Port %d)", p + 1);
    return title[p];
}

struct Search { int id; HWND found; };

BOOL CALLBACK MatchId(HWND h, LPARAM param)
{
    Search *s = (Search *)param;
    if (GetDlgCtrlID(h) == s->id) {
        s->found = h;
        return FALSE;
    }
    return TRUE;
}

HWND Descendant(HWND top, int id)
{
    Search s = { id, NULL };
    EnumChildWindows(top, MatchId, (LPARAM)&s);
    return s.found;
}

/* Lights and darkens bit 3 of port 3 by presses sent from outside the process. */
void ClickToLatch(HWND lamp, DWORD board, DWORD port, int clicks, const char *what)
{
    std::vector<double> ms;
    for (int i = 0; i < clicks; i++) {
        const int before = Latch(board, port);
        const double t0 = NowMs();
        DWORD_PTR r;
        SendMessageTimeoutA(lamp, WM_LBUTTONDOWN, MK_LBUTTON, 0, SMTO_NORMAL, 2000, &r);
        while (Latch(board, port) == before && NowMs() - t0 < 2000)
            ;
        ms.push_back(NowMs() - t0);
    }
    Stats s = Summarise(ms);
    printf("click to latch (%s, %d clicks): median %.2f ms, min %.2f ms, max %.2f ms\n",
           what, clicks, s.median, s.min, s.max);
}

bool RealProgram(int seconds)
{
    char dir[MAX_PATH], exe[MAX_PATH];
    GetModuleFileNameA(NULL, dir, MAX_PATH);
    *strrchr(dir, '\\') = 0;
    wsprintfA(exe, "%s\\vantri-check.exe", dir);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe, NULL, NULL, NULL, FALSE, 0, NULL, dir, &si, &pi)) {
        printf("vantri-check.exe did not start (%lu)\n", GetLastError());
        return false;
    }
    HWND main = NULL;
    WaitFor([&] { return (main = FindWindowA("vantri", NULL)) != NULL && IsWindowVisible(main); }, 20000);
    HWND port[4] = {};
    for (int p = 0; p < 4 && main; p++) {
        HWND exec = Descendant(main, IDC_PORT1_EXECUTE + 10 * p);
        DWORD_PTR r;
        SendMessageTimeoutA(exec, BM_CLICK, 0, 0, SMTO_NORMAL, 2000, &r);
        WaitFor([&] { return (port[p] = FindWindowA(NULL, PortTitle(p))) != NULL; }, 5000);
    }
    const bool ready = main && port[0] && port[1] && port[2] && port[3];
    if (ready) {
        Sleep(1000);   /* settle */
        printf("four port windows open; measuring %d s\n", seconds);
        FILETIME c, e, k0, u0, k1, u1;
        GetProcessTimes(pi.hProcess, &c, &e, &k0, &u0);
        const double t0 = NowMs();
        Sleep(seconds * 1000);
        GetProcessTimes(pi.hProcess, &c, &e, &k1, &u1);
        const double wall = NowMs() - t0;
        const double user = FileTimeMs(u1) - FileTimeMs(u0), kernel = FileTimeMs(k1) - FileTimeMs(k0);
        if (user + kernel > 0)
            printf("vantri-check.exe, four port windows open, %.1f s: CPU %.1f ms per s of wall time "
                   "(user %.1f, kernel %.1f); %.1f%% of one core\n",
                   wall / 1000, (user + kernel) * 1000 / wall, user * 1000 / wall, kernel * 1000 / wall,
                   (user + kernel) * 100 / wall);
        else
            printf("GetProcessTimes of another process reads 0 here; run.sh reads /proc instead\n");
        ClickToLatch(Descendant(port[2], IDC_OUTLED0 + 3), 0, 2, 50, "real program, press sent from outside");
    } else {
        printf("the four port windows did not open\n");
    }
    if (main) {
        DWORD_PTR r;
        SendMessageTimeoutA(main, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &r);
    }
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return ready;
}

void InProcess(void)
{
    SetAppInstance(GetModuleHandleA(NULL));
    RegisterLedClass(GetModuleHandleA(NULL));
    HWND frame = CreateWindowExA(0, "STATIC", "bench", WS_POPUP | WS_VISIBLE | WS_CAPTION, 100, 100, 500, 300,
                                 NULL, NULL, NULL, NULL);
    HWND panel = CreateDialogParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_PANEL), frame, PanelDlgProc, 0);
    if (!panel) {
        printf("in-process: the panel did not open\n");
        return;
    }
    KillTimer(panel, PANEL_TIMER_ID);   /* the bench makes the ticks */
    HWND port[4];
    for (int p = 0; p < 4; p++) {
        SendDlgItemMessageA(panel, IDC_PORT1_EXECUTE + 10 * p, BM_CLICK, 0, 0);
        port[p] = GetPortWindowSlot((WORD)p);
    }
    Pump();
    if (!port[0] || !port[1] || !port[2] || !port[3]) {
        printf("in-process: the four port windows did not open\n");
        DestroyWindow(frame);
        return;
    }

    const int ticks = 500;
    std::vector<double> tick, reads, paints;
    for (int i = 0; i < ticks; i++) {
        double t0 = NowMs();
        SendMessageA(panel, WM_TIMER, PANEL_TIMER_ID, 0);
        tick.push_back(NowMs() - t0);
    }
    for (int i = 0; i < ticks / 4; i++) {
        double t0 = NowMs();
        for (int p = 0; p < 4; p++) {
            BYTE v;
            LibInPort(0, (DWORD)p, &v);
        }
        reads.push_back(NowMs() - t0);
        t0 = NowMs();
        for (int p = 0; p < 4; p++)
            for (int b = 0; b < 8; b++)
                SendDlgItemMessageA(port[p], IDC_INLED0 + b, LEDM_SETSTATE, (i + b) & 1 ? LEDS_ON : LEDS_OFF, 0);
        paints.push_back(NowMs() - t0);
        Pump();
    }
    Stats t = Summarise(tick), r = Summarise(reads), g = Summarise(paints);
    printf("one tick in-process (%d ticks): median %.3f ms, min %.3f ms, max %.3f ms; "
           "%.1f%% of the 50 ms period\n", ticks, t.median, t.min, t.max, t.median * 100 / 50);
    printf("  of which four reads: median %.3f ms (%.1f us each); 32 repaints: median %.3f ms (%.1f us each)\n",
           r.median, r.median * 1000 / 4, g.median, g.median * 1000 / 32);

    std::vector<double> click;
    HWND lamp = GetDlgItem(port[2], IDC_OUTLED0 + 3);
    for (int i = 0; i < 200; i++) {
        const int before = Latch(0, 2);
        const double t0 = NowMs();
        SendMessageA(lamp, WM_LBUTTONDOWN, MK_LBUTTON, 0);
        while (Latch(0, 2) == before && NowMs() - t0 < 2000)
            ;
        click.push_back(NowMs() - t0);
    }
    Stats c = Summarise(click);
    printf("click to latch (in-process, 200 clicks, includes one status read): median %.3f ms, min %.3f ms, max %.3f ms\n",
           c.median, c.min, c.max);
    DestroyWindow(frame);
    Pump();
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IONBF, 0);
    QueryPerformanceFrequency(&g_freq);
    const int seconds = argc > 1 ? atoi(argv[1]) : 10;
    if (!VantriSimResetDefault()) {
        printf("the simulator does not answer\n");
        return 0;
    }
    RealProgram(seconds > 0 ? seconds : 10);
    VantriSimResetDefault();
    InProcess();
    return 0;
}
