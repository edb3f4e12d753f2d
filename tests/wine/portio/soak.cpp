/*
 * soak.cpp - many port windows opened and closed, many lamp repaints: the
 * process's kernel handles and GDI objects stay flat and the lamps still
 * paint right at the end. Prints what it measured.
 *
 * Wine answers GetProcessHandleCount and GetGuiResources with 0, so the
 * handles are counted from the system handle list and, when GetGuiResources
 * gives nothing, GDI use is read as the room left in the GDI handle table
 * (how many objects can still be made); a leak shrinks it.
 */
#include "wtest.h"
#include "support.h"

#include <stdlib.h>

#include <vector>

using namespace portio_test;

namespace {

constexpr int kCycles = 1000;
constexpr int kRepaints = 100000;

/* PORTIO_SOAK_CYCLES and PORTIO_SOAK_REPAINTS change the counts for a longer or a quicker look. */
int Count(const char *name, int fallback)
{
    char buf[16];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf && atoi(buf) > 0 ? atoi(buf) : fallback;
}

struct HandleEntry {
    ULONG pid;
    UCHAR type, flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

/* Kernel handles of this process, or -1 when the system does not list them. */
long KernelHandles(void)
{
    DWORD n = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &n) && n)
        return (long)n;
    typedef LONG(WINAPI * QuerySystemInformation)(ULONG, PVOID, ULONG, PULONG);
    QuerySystemInformation query =
        (QuerySystemInformation)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    if (!query)
        return -1;
    std::vector<BYTE> buf(1 << 20);
    for (;;) {
        ULONG got = 0;
        LONG status = query(16 /* SystemHandleInformation */, buf.data(), (ULONG)buf.size(), &got);
        if (status == (LONG)0xC0000004 && buf.size() < (64u << 20)) {
            buf.resize(buf.size() * 2);
            continue;
        }
        if (status != 0)
            return -1;
        break;
    }
    const ULONG count = *(const ULONG *)buf.data();
    const HandleEntry *e = (const HandleEntry *)(buf.data() + sizeof(ULONG_PTR));
    long mine = 0;
    for (ULONG i = 0; i < count; i++)
        if (e[i].pid == GetCurrentProcessId())
            mine++;
    return mine;
}

/* GDI objects in use: the system's count, else the table's room, negated. */
long GdiObjectsInUse(bool &fromRoom)
{
    DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    fromRoom = n == 0;
    if (n)
        return (long)n;
    static std::vector<HBRUSH> made(200000);
    long room = 0;
    while (room < (long)made.size() && (made[room] = CreateSolidBrush(RGB(1, 2, 3))) != NULL)
        room++;
    for (long i = 0; i < room; i++)
        DeleteObject(made[i]);
    return -room;
}

void OpenCloseCycle(int i)
{
    HWND h = OpenPortWindow((WORD)(i % 3), (WORD)(i % 4));
    SendMessageA(h, WM_TIMER, PANEL_TIMER_ID, 0);
    DestroyWindow(h);
    Pump();
}

bool LampsPaint(HWND h, BYTE pattern)
{
    for (int i = 0; i < 8; i++) {
        SendDlgItemMessageA(h, IDC_OUTLED0 + i, LEDM_SETSTATE, (pattern >> i) & 1 ? LEDS_ON : LEDS_OFF, 0);
    }
    for (int i = 0; i < 8; i++) {
        HWND lamp = Lamp(h, IDC_OUTLED0, i);
        COLORREF want = (pattern >> i) & 1 ? kRed : kBlack;
        RECT rc;
        GetClientRect(lamp, &rc);
        HDC dc = GetDC(lamp);
        COLORREF centre = GetPixel(dc, rc.right / 2, rc.bottom / 2);
        COLORREF rim = GetPixel(dc, 1, rc.bottom / 2);
        ReleaseDC(lamp, dc);
        if (centre != want || rim != RGB(255, 255, 255))
            return false;
    }
    return true;
}

} // namespace

WTEST(open_close_cycles_and_repaints_leave_handles_and_gdi_flat)
{
    WREQUIRE(Setup());
    VantriSimResetDefault();
    VantriSimSetInput(0, 0, VANTRISIM_INPUT_FIXED, 0x5A);

    /* Warm up: the first windows fill caches (fonts, classes) once for good,
     * and the first rounds of counting make what counting needs. */
    bool gdiFromRoom = false;
    for (int i = 0; i < 20; i++)
        OpenCloseCycle(i);
    KernelHandles();
    GdiObjectsInUse(gdiFromRoom);
    const long handles0 = KernelHandles();
    const long gdi0 = GdiObjectsInUse(gdiFromRoom);

    const int cycles = Count("PORTIO_SOAK_CYCLES", kCycles);
    const int repaints = Count("PORTIO_SOAK_REPAINTS", kRepaints);
    long handlesHalf = -1;
    DWORD t0 = GetTickCount();
    for (int i = 0; i < cycles; i++) {
        OpenCloseCycle(i);
        if (i == cycles / 2)
            handlesHalf = KernelHandles();
    }
    DWORD tCycles = GetTickCount() - t0;
    const long handles1 = KernelHandles();
    const long gdi1 = GdiObjectsInUse(gdiFromRoom);

    HWND h = OpenPortWindow(0, 0);
    WREQUIRE(IsWindow(h));
    t0 = GetTickCount();
    for (int i = 0; i < repaints; i++) {
        const int bit = i % 16;
        const int id = bit < 8 ? IDC_OUTLED0 + bit : IDC_INLED0 + bit - 8;
        SendDlgItemMessageA(h, id, LEDM_SETSTATE, (i / 16) & 1 ? LEDS_ON : LEDS_OFF, 0);
        if ((i & 1023) == 0)
            Pump();
    }
    DWORD tRepaints = GetTickCount() - t0;
    /* The lamps still paint right after it all. */
    WCHECK(PumpUntil([&] { return LampsPaint(h, 0xA5); }));
    WCHECK(PumpUntil([&] { return LampsPaint(h, 0x5A); }));
    WCHECK(CloseAndWait(h));
    const long handles2 = KernelHandles();
    const long gdi2 = GdiObjectsInUse(gdiFromRoom);

    printf("soak: %d open/close cycles in %lu ms (%.2f ms each), %d repaints in %lu ms (%.1f us each)\n",
           cycles, tCycles, tCycles / (double)cycles, repaints, tRepaints, tRepaints * 1000.0 / repaints);
    if (handles0 < 0)
        printf("soak: kernel handles not listed by this system; not compared\n");
    else
        printf("soak: kernel handles %ld -> %ld half way -> %ld after cycles -> %ld after repaints and close\n",
               handles0, handlesHalf, handles1, handles2);
    printf("soak: GDI %s %ld -> %ld -> %ld\n", gdiFromRoom ? "objects in use (as room left, negated)" : "objects",
           gdi0, gdi1, gdi2);

    if (handles0 >= 0) {
        WCHECK_EQ(handles0, handles1);
        WCHECK_EQ(handles0, handles2);
    }
    WCHECK_EQ(gdi0, gdi1);
    WCHECK_EQ(gdi0, gdi2);
}
