/*
 * probe.cpp - eyes for the person-driven run: reads what another process
 * shows (window texts, control positions, screen pixels) and what the
 * simulator holds (latches, open handles), and sets the simulator's inputs.
 * Every command prints one line and exits 0 on success, 1 on failure.
 *
 *   probe reset                       default three boards, loopback inputs
 *   probe latch B P                   output latch of board B, port P (hex)
 *   probe open                        open board handles, all boards
 *   probe pattern B P MS              walking bit on an input, MS 0 = off
 *   probe window TITLE [MS]           wait up to MS for a visible window
 *   probe gone TITLE [MS]             wait up to MS until no such window
 *   probe text TITLE ID               text of control ID inside window TITLE
 *   probe rect TITLE ID               screen rectangle of control ID: x y w h
 *   probe enabled TITLE ID            1 when control ID is enabled, else 0
 *   probe line TITLE ID N             screen point inside line N of list box ID
 *   probe lamps TITLE FIRSTID         the 8 lamps FIRSTID.. read as a byte (red = 1)
 *   probe lit-after-latch B P V TITLE ID MS
 *                                     waits for the latch to read V, then for
 *                                     lamp ID to turn red; prints the ms between
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vantrisim_client.h"

namespace {

constexpr DWORD kSendTimeoutMs = 2000;

HWND FindVisible(const char *title)
{
    HWND h = FindWindowA(NULL, title);
    while (h && !IsWindowVisible(h))
        h = FindWindowExA(NULL, h, NULL, title);
    return h;
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

/* A control anywhere below the window (the panel's controls are grandchildren). */
HWND FindControl(const char *title, int id)
{
    HWND top = FindVisible(title);
    if (!top)
        return NULL;
    Search s = { id, NULL };
    EnumChildWindows(top, MatchId, (LPARAM)&s);
    return s.found;
}

COLORREF ScreenPixel(int x, int y)
{
    HDC dc = GetDC(NULL);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(NULL, dc);
    return c;
}

bool LampCentre(HWND lamp, POINT &pt)
{
    RECT rc;
    if (!lamp || !GetClientRect(lamp, &rc))
        return false;
    pt.x = rc.right / 2;
    pt.y = rc.bottom / 2;
    return ClientToScreen(lamp, &pt) != FALSE;
}

int Fail(const char *what)
{
    printf("probe: %s\n", what);
    return 1;
}

template <class Cond>
bool WaitFor(Cond cond, DWORD ms)
{
    const DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start > ms)
            return false;
        Sleep(5);
    }
    return true;
}

VantriSimStatus g_status;

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Fail("no command");
    const char *cmd = argv[1];
    auto arg = [&](int i) { return i < argc ? strtoul(argv[i], NULL, 0) : 0; };

    if (!strcmp(cmd, "reset")) {
        if (!VantriSimResetDefault())
            return Fail("the simulator does not answer");
        puts("reset");
        return 0;
    }
    if (!strcmp(cmd, "latch") && argc == 4) {
        if (!VantriSimGetStatus(&g_status) || arg(2) >= VANTRISIM_MAX_BOARDS || arg(3) >= VANTRISIM_PORTS)
            return Fail("no status");
        printf("0x%02x\n", g_status.bLatch[arg(2)][arg(3)]);
        return 0;
    }
    if (!strcmp(cmd, "open")) {
        if (!VantriSimGetStatus(&g_status))
            return Fail("no status");
        DWORD n = 0;
        for (int b = 0; b < VANTRISIM_MAX_BOARDS; b++)
            n += g_status.dwOpenCount[b];
        printf("%lu\n", n);
        return 0;
    }
    if (!strcmp(cmd, "pattern") && argc == 5) {
        if (!VantriSimSetPattern(arg(2), arg(3), arg(4)))
            return Fail("pattern refused");
        puts("pattern");
        return 0;
    }
    if ((!strcmp(cmd, "window") || !strcmp(cmd, "gone")) && argc >= 3) {
        const bool want = !strcmp(cmd, "window");
        const DWORD ms = argc > 3 ? arg(3) : 10000;
        if (!WaitFor([&] { return (FindVisible(argv[2]) != NULL) == want; }, ms))
            return Fail(want ? "window did not appear" : "window did not go");
        printf("%s\n", want ? "shown" : "gone");
        return 0;
    }
    if (!strcmp(cmd, "text") && argc == 4) {
        HWND h = FindControl(argv[2], (int)arg(3));
        char buf[256] = "";
        DWORD_PTR got = 0;
        if (!h || !SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, (LPARAM)buf, SMTO_ABORTIFHUNG, kSendTimeoutMs, &got))
            return Fail("no such control");
        printf("%s\n", buf);
        return 0;
    }
    if (!strcmp(cmd, "rect") && argc == 4) {
        HWND h = FindControl(argv[2], (int)arg(3));
        RECT rc;
        if (!h || !GetWindowRect(h, &rc))
            return Fail("no such control");
        printf("%ld %ld %ld %ld\n", rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
        return 0;
    }
    if (!strcmp(cmd, "enabled") && argc == 4) {
        HWND h = FindControl(argv[2], (int)arg(3));
        if (!h)
            return Fail("no such control");
        printf("%d\n", IsWindowEnabled(h) ? 1 : 0);
        return 0;
    }
    if (!strcmp(cmd, "line") && argc == 5) {
        HWND h = FindControl(argv[2], (int)arg(3));
        DWORD_PTR height = 0, top = 0;
        if (!h || !SendMessageTimeoutA(h, LB_GETITEMHEIGHT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &height)
            || !SendMessageTimeoutA(h, LB_GETTOPINDEX, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &top))
            return Fail("no such list");
        POINT pt = { 12, (LONG)((arg(4) - top) * height + height / 2) };
        ClientToScreen(h, &pt);
        printf("%ld %ld\n", pt.x, pt.y);
        return 0;
    }
    if (!strcmp(cmd, "lamps") && argc == 4) {
        unsigned value = 0;
        for (int i = 0; i < 8; i++) {
            POINT pt;
            if (!LampCentre(FindControl(argv[2], (int)arg(3) + i), pt))
                return Fail("no such lamp");
            if (ScreenPixel(pt.x, pt.y) == RGB(255, 0, 0))
                value |= 1u << i;
        }
        printf("0x%02x\n", value);
        return 0;
    }
    if (!strcmp(cmd, "lit-after-latch") && argc == 8) {
        POINT pt;
        if (!LampCentre(FindControl(argv[5], (int)arg(6)), pt))
            return Fail("no such lamp");
        const DWORD ms = arg(7);
        if (!WaitFor([&] { return VantriSimGetStatus(&g_status) && g_status.bLatch[arg(2) & 15][arg(3) & 3] == arg(4); }, ms))
            return Fail("the latch did not change");
        LARGE_INTEGER f, t0, t1;
        QueryPerformanceFrequency(&f);
        QueryPerformanceCounter(&t0);
        if (!WaitFor([&] { return ScreenPixel(pt.x, pt.y) == RGB(255, 0, 0); }, ms))
            return Fail("the lamp did not light");
        QueryPerformanceCounter(&t1);
        printf("%.1f\n", (t1.QuadPart - t0.QuadPart) * 1000.0 / f.QuadPart);
        return 0;
    }
    return Fail("unknown command or arguments");
}
