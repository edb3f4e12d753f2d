/* The "PARA_LED" control on a real dialog: state rules, clicks and what the
 * parent hears of them, squaring at creation, and the painted pixels. */
#include "check_fixture.h"
#include "led.h"

namespace {

constexpr int kDialog = 500;
constexpr int kLedA = 201;
constexpr int kLedB = 202;

struct Notice { WORD id; WORD code; HWND from; WORD stateSeen; };
std::vector<Notice> g_notices;

INT_PTR CALLBACK HostDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_COMMAND && lParam) {
        Notice n = { LOWORD(wParam), HIWORD(wParam), (HWND)lParam,
                     (WORD)SendMessageA((HWND)lParam, LEDM_GETSTATE, 0, 0) };
        g_notices.push_back(n);
        return TRUE;
    }
    (void)hwnd;
    return FALSE;
}

/* A host dialog with two fresh LEDs; destroyed at scope end. */
struct LedHost {
    HWND dlg;
    LedHost()
    {
        RegisterLedClass(GetModuleHandleA(NULL));
        g_notices.clear();
        dlg = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(kDialog), NULL, HostDlgProc, 0);
        if (dlg) {
            SetWindowPos(dlg, HWND_TOP, 100, 100, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
            UpdateWindow(dlg);
            PumpFor(50);
        }
    }
    ~LedHost() { if (dlg) DestroyWindow(dlg); }
    HWND Led(int id) const { return GetDlgItem(dlg, id); }
};

WORD State(HWND led) { return (WORD)SendMessageA(led, LEDM_GETSTATE, 0, 0); }
void Set(HWND led, WPARAM v) { SendMessageA(led, LEDM_SETSTATE, v, 0); }
void Click(HWND led) { SendMessageA(led, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3)); }

/* Reads a pixel of the control as it is on screen. */
COLORREF PixelAt(HWND led, int x, int y)
{
    HDC dc = GetDC(led);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(led, dc);
    return c;
}

} // namespace

WTEST(class_registration_fields)
{
    WREQUIRE(RegisterLedClass(GetModuleHandleA(NULL)) || GetClassInfoA(GetModuleHandleA(NULL), "PARA_LED", nullptr) || true);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    WREQUIRE(GetClassInfoExA(GetModuleHandleA(NULL), LED_CLASS_NAME, &wc));
    WCHECK_EQ(CS_HREDRAW | CS_VREDRAW, wc.style);   /* no CS_DBLCLKS */
    WCHECK_EQ(0, wc.cbClsExtra);
    WCHECK_EQ(2, wc.cbWndExtra);
    WCHECK_EQ(COLOR_BTNFACE + 1, (ULONG_PTR)wc.hbrBackground);
    WCHECK(wc.hCursor == LoadCursorA(NULL, (LPCSTR)IDC_ARROW));
    WCHECK(wc.hIcon == NULL);
    WCHECK(wc.lpszMenuName == NULL);
}

WTEST(set_state_outcomes)
{
    /* From a new control (9: dark, clickable) or from 6 (lit, display only). */
    struct Row { WORD start; DWORD v; WORD expected; } rows[] = {
        { 9, LEDS_OFF, 9 },           { 9, LEDS_ON, 10 },
        { 9, LEDS_INPUT, 5 },         { 9, LEDS_OUTPUT, 9 },
        { 9, 5, 5 },  { 9, 6, 6 },    { 9, 9, 9 },  { 9, 10, 10 },
        { 9, 3, 11 },                 { 9, 12, 13 },
        { 9, 15, 15 },                { 9, 0, 9 },
        { 9, 0x10, 9 },               { 9, 0x8000, 9 },
        { 9, 0x12, 0x1A },            { 9, 0x10005, 5 },   /* only the low word counts */
        { 6, LEDS_OFF, 5 },           { 6, LEDS_OUTPUT, 10 },
        { 6, LEDS_ON, 6 },            { 6, 0, 6 },
    };
    LedHost host;
    WREQUIRE(host.dlg);
    HWND led = host.Led(kLedA);
    for (const Row &r : rows) {
        WCONTEXT("start %u, v 0x%lx", r.start, (unsigned long)r.v);
        SetWindowWord(led, 0, r.start);
        WCHECK_EQ(0, SendMessageA(led, LEDM_SETSTATE, r.v, 0));
        WCHECK_EQ(r.expected, State(led));
    }
    WCONTEXT("");
    WCHECK(g_notices.empty());   /* LEDM_SETSTATE never notifies */
}

WTEST(new_control_is_dark_and_clickable)
{
    LedHost host;
    WREQUIRE(host.dlg);
    WCHECK_EQ(LEDS_OFF | LEDS_OUTPUT, State(host.Led(kLedA)));
    WCHECK_EQ(LEDS_OFF | LEDS_OUTPUT, State(host.Led(kLedB)));
}

WTEST(clicks_toggle_and_notify_parent_after_storing)
{
    struct Step { WPARAM setFirst; WORD expectState; int expectCode; } steps[] = {
        { 0,           10, LEDN_TURNEDON },
        { 0,           9,  LEDN_TURNEDOFF },
        { 0,           10, LEDN_TURNEDON },
        { LEDS_OFF,    10, LEDN_TURNEDON },    /* set dark by the owner, then clicked */
        { 3,           10, LEDN_TURNEDON },    /* both lamp bits: LEDS_OFF decides */
        { LEDS_INPUT,  6,  0 },                /* display only: clicks do nothing */
        { LEDS_OUTPUT, 9,  LEDN_TURNEDOFF },   /* clickable again, lamp kept lit */
    };
    LedHost host;
    WREQUIRE(host.dlg);
    HWND led = host.Led(kLedB);
    int i = 0;
    for (const Step &s : steps) {
        WCONTEXT("step %d", i++);
        if (s.setFirst)
            Set(led, s.setFirst);
        g_notices.clear();
        WCHECK_EQ(0, SendMessageA(led, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2)));
        WCHECK_EQ(s.expectState, State(led));
        if (s.expectCode == 0) {
            WCHECK_EQ(0, g_notices.size());
            continue;
        }
        WREQUIRE(g_notices.size() == 1);
        WCHECK_EQ(kLedB, g_notices[0].id);
        WCHECK_EQ(s.expectCode, g_notices[0].code);
        WCHECK(g_notices[0].from == led);
        WCHECK_EQ(s.expectState, g_notices[0].stateSeen);   /* stored before the parent hears */
    }
    WCONTEXT("");
    WCHECK(GetCapture() != led);
    WCHECK_EQ(LEDS_OFF | LEDS_OUTPUT, State(host.Led(kLedA)));   /* the other one untouched */
}

WTEST(input_mode_blocks_clicks_but_not_the_owner)
{
    LedHost host;
    WREQUIRE(host.dlg);
    HWND led = host.Led(kLedA);
    Set(led, LEDS_INPUT);
    WCHECK_EQ(5, State(led));
    Click(led);
    Click(led);
    WCHECK_EQ(5, State(led));
    WCHECK_EQ(0, g_notices.size());
    Set(led, LEDS_ON);
    WCHECK_EQ(6, State(led));
    Set(led, LEDS_OUTPUT);
    WCHECK_EQ(10, State(led));
    WCHECK_EQ(0, g_notices.size());
}

WTEST(square_in_pixels_with_template_left_and_top)
{
    LedHost host;
    WREQUIRE(host.dlg);
    RECT units = { 0, 0, 11, 11 };
    MapDialogRect(host.dlg, &units);
    int templW = units.right - units.left, templH = units.bottom - units.top;
    WCHECK(templW != templH);   /* the fixture only shows something if the units are not square */
    for (int id : { kLedA, kLedB }) {
        WCONTEXT("led %d", id);
        HWND led = host.Led(id);
        RECT rc;
        GetWindowRect(led, &rc);
        MapWindowPoints(NULL, host.dlg, (POINT *)&rc, 2);
        RECT want = { id == kLedA ? 15 : 43, 10, 0, 0 };
        MapDialogRect(host.dlg, &want);
        WCHECK_EQ(want.left, rc.left);
        WCHECK_EQ(want.top, rc.top);
        WCHECK_EQ(templW, rc.right - rc.left);
        WCHECK_EQ(rc.right - rc.left, rc.bottom - rc.top);
    }
}

WTEST(painted_lamp_rim_and_corners)
{
    LedHost host;
    WREQUIRE(host.dlg);
    HWND led = host.Led(kLedA);
    RECT rc;
    GetClientRect(led, &rc);
    int w = rc.right, h = rc.bottom;
    WREQUIRE(w >= 8);
    COLORREF face = GetSysColor(COLOR_BTNFACE);
    struct Row { WPARAM set; COLORREF lamp; } rows[] = {
        { 0, RGB(0, 0, 0) }, { LEDS_ON, RGB(255, 0, 0) }, { LEDS_OFF, RGB(0, 0, 0) },
        { LEDS_INPUT | LEDS_ON, RGB(255, 0, 0) },
    };
    for (const Row &r : rows) {
        WCONTEXT("set 0x%x", (unsigned)r.set);
        Set(led, r.set);   /* repaints before it returns */
        WCHECK_EQ(r.lamp, PixelAt(led, w / 2, h / 2));
        WCHECK_EQ(r.lamp, PixelAt(led, w / 2, 3));
        WCHECK_EQ(RGB(255, 255, 255), PixelAt(led, w / 2, 0));   /* rim, top */
        WCHECK_EQ(RGB(255, 255, 255), PixelAt(led, 1, h / 2));   /* rim, left */
        WCHECK_EQ(face, PixelAt(led, 0, 0));
        WCHECK_EQ(face, PixelAt(led, w - 1, 0));
        WCHECK_EQ(face, PixelAt(led, 0, h - 1));
        WCHECK_EQ(face, PixelAt(led, w - 1, h - 1));
    }
}

WTEST(paints_without_erasing)
{
    LedHost host;
    WREQUIRE(host.dlg);
    HWND led = host.Led(kLedA);
    Set(led, LEDS_ON);
    HDC dc = GetDC(led);
    WCHECK_EQ(1, SendMessageA(led, WM_ERASEBKGND, (WPARAM)dc, 0));
    ReleaseDC(led, dc);
    RECT rc;
    GetClientRect(led, &rc);
    WCHECK_EQ(RGB(255, 0, 0), PixelAt(led, rc.right / 2, rc.bottom / 2));   /* nothing erased */
}

WTEST(double_click_toggles_twice)
{
    LedHost host;
    WREQUIRE(host.dlg);
    HWND led = host.Led(kLedA);
    SetForegroundWindow(host.dlg);
    RECT rc;
    GetWindowRect(led, &rc);
    int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[4] = {};
    for (INPUT &i : in) {
        i.type = INPUT_MOUSE;
        i.mi.dx = ((rc.left + rc.right) / 2) * 65535 / (cx - 1);
        i.mi.dy = ((rc.top + rc.bottom) / 2) * 65535 / (cy - 1);
        i.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    }
    in[0].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    in[2].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
    in[3].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
    WREQUIRE(SendInput(4, in, sizeof(INPUT)) == 4);
    /* Two presses within the double-click time: with no CS_DBLCLKS both arrive as presses. */
    WCHECK(PumpUntil([] { return g_notices.size() >= 2; }, 5000));
    WREQUIRE(g_notices.size() == 2);
    WCHECK_EQ(LEDN_TURNEDON, g_notices[0].code);
    WCHECK_EQ(LEDN_TURNEDOFF, g_notices[1].code);
    WCHECK_EQ(LEDS_OFF | LEDS_OUTPUT, State(led));
}

int main(int argc, char **argv) { return WTestMain(argc, argv); }
