/*
 * devselect_test.cpp - the Device Select dialog, alone and behind the real
 * panel on the simulator's three boards. A thread timer acts inside the
 * dialog's own modal loop: it looks at the dialog, then confirms or cancels
 * it the way a user would.
 */
#include "wtest.h"
#include "support.h"

#include "devselect.h"

#include <string>

using namespace portio_test;

namespace {

enum class Action { kOk, kEnter, kDoubleClickLine2, kCancel, kEsc, kCloseBox, kSecondLine, kFirstLine };

/* What the timer saw in the open dialog. */
struct Seen {
    bool found;
    int lines;
    int selected;
    bool scrollBarUsable;
    bool centredOverOwner;
    std::string firstLine, lastLine;
};

Action g_action;
Seen g_seen;
HWND g_owner;
UINT_PTR g_timer;

HWND FindDeviceSelect(void)
{
    HWND h = FindWindowA("#32770", "Device Select");
    return h && IsWindowVisible(h) ? h : NULL;
}

std::string LineText(HWND list, int i)
{
    char buf[64] = "";
    if (SendMessageA(list, LB_GETTEXTLEN, i, 0) < (LRESULT)sizeof buf)
        SendMessageA(list, LB_GETTEXT, i, (LPARAM)buf);
    return buf;
}

void KeyTo(HWND target, UINT vk)
{
    PostMessageA(target, WM_KEYDOWN, vk, 1);
    PostMessageA(target, WM_KEYUP, vk, 0xC0000001);
}

void ClickLine(HWND list, int line, bool twice)
{
    RECT rc;
    SendMessageA(list, LB_GETITEMRECT, line, (LPARAM)&rc);
    LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(list, WM_LBUTTONUP, 0, at);
    if (twice) {
        SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        SendMessageA(list, WM_LBUTTONUP, 0, at);
    }
}

void CALLBACK ActInDialog(HWND, UINT, UINT_PTR, DWORD)
{
    HWND dlg = FindDeviceSelect();
    if (!dlg)
        return;
    KillTimer(NULL, g_timer);
    HWND list = GetDlgItem(dlg, IDC_DEVICE_LIST);
    g_seen.found = true;
    g_seen.lines = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    g_seen.selected = (int)SendMessageA(list, LB_GETCURSEL, 0, 0);
    g_seen.firstLine = LineText(list, 0);
    g_seen.lastLine = LineText(list, g_seen.lines - 1);
    SCROLLBARINFO sbi = {};
    sbi.cbSize = sizeof sbi;
    g_seen.scrollBarUsable = GetScrollBarInfo(list, OBJID_VSCROLL, &sbi)
                             && !(sbi.rgstate[0] & (STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_INVISIBLE));
    if (g_owner) {
        RECT o, d;
        GetWindowRect(g_owner, &o);
        GetWindowRect(dlg, &d);
        g_seen.centredOverOwner = abs((o.left + o.right) / 2 - (d.left + d.right) / 2) <= 1
                                  && abs((o.top + o.bottom) / 2 - (d.top + d.bottom) / 2) <= 1;
    }
    switch (g_action) {
    case Action::kOk:
        SendDlgItemMessageA(dlg, IDOK, BM_CLICK, 0, 0);
        break;
    case Action::kEnter:
        KeyTo(GetFocus(), VK_RETURN);
        break;
    case Action::kDoubleClickLine2:
        ClickLine(list, 2, true);
        break;
    case Action::kCancel:
        SendDlgItemMessageA(dlg, IDCANCEL, BM_CLICK, 0, 0);
        break;
    case Action::kEsc:
        KeyTo(GetFocus(), VK_ESCAPE);
        break;
    case Action::kCloseBox:
        PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case Action::kSecondLine:
    case Action::kFirstLine:
        ClickLine(list, g_action == Action::kSecondLine ? 1 : 0, false);
        SendDlgItemMessageA(dlg, IDOK, BM_CLICK, 0, 0);
        break;
    }
}

void Arm(Action action, HWND owner)
{
    g_action = action;
    g_seen = Seen();
    g_owner = owner;
    g_timer = SetTimer(NULL, 0, 30, ActInDialog);
}

/* A plain top-level window standing in for whatever owns the dialog. */
HWND OwnerWindow(void)
{
    static HWND h;
    if (!h) {
        h = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE | WS_CAPTION, 200, 150, 400, 300,
                            NULL, NULL, NULL, NULL);
    }
    return h;
}

/* ---- the real panel ---- */

HWND g_panel;

HWND Panel(void)
{
    if (g_panel && IsWindow(g_panel))
        return g_panel;
    SetAppInstance(GetModuleHandleA(NULL));
    RegisterLedClass(GetModuleHandleA(NULL));
    if (!VantriSimResetDefault())
        return NULL;
    HWND frame = CreateWindowExA(0, "STATIC", "frame", WS_POPUP | WS_VISIBLE | WS_CAPTION, 150, 100, 500, 300,
                                 NULL, NULL, NULL, NULL);
    g_panel = CreateDialogParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_PANEL), frame, PanelDlgProc, 0);
    Pump();
    return g_panel;
}

std::string Item(HWND dlg, int id)
{
    char buf[64] = "";
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return buf;
}

bool ExecuteEnabled(HWND panel, int port)
{
    return IsWindowEnabled(GetDlgItem(panel, IDC_PORT1_EXECUTE + 10 * port)) != FALSE;
}

HWND OpenFromPanel(HWND panel, int port)
{
    SendDlgItemMessageA(panel, IDC_PORT1_EXECUTE + 10 * port, BM_CLICK, 0, 0);
    Pump();
    return GetPortWindowSlot((WORD)port);
}

} // namespace

WTEST(device_select_lists_preselects_and_answers_by_its_rules)
{
    SetAppInstance(GetModuleHandleA(NULL));
    struct Row {
        const char *what;
        WORD count, current;
        Action action;
        INT_PTR result;
        const char *last;
        bool scrolls;
    };
    const Row rows[] = {
        {"16 entries, OK", 16, 5, Action::kOk, 5, "Device 15", true},
        {"16 entries, Enter", 16, 12, Action::kEnter, 12, "Device 15", true},
        {"double click on a line", 16, 5, Action::kDoubleClickLine2, 2, "Device 15", true},
        {"one entry, OK", 1, 0, Action::kOk, 0, "Device  0", false},
        {"Cancel", 16, 5, Action::kCancel, -1, "Device 15", true},
        {"Esc", 3, 1, Action::kEsc, -1, "Device  2", false},
        {"close box", 3, 1, Action::kCloseBox, -1, "Device  2", false},
        {"no entries, OK", 0, 0, Action::kOk, -1, "", false},
    };
    for (const Row &row : rows) {
        WCONTEXT("%s", row.what);
        DeviceSelectParam param = { OwnerWindow(), ((DWORD)row.count << 16) | row.current };
        Arm(row.action, OwnerWindow());
        INT_PTR r = DialogBoxParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_DEVSELECT), OwnerWindow(),
                                    DeviceSelectDlgProc, (LPARAM)&param);
        KillTimer(NULL, g_timer);
        WCHECK(g_seen.found);
        WCHECK_EQ(row.result, r);
        WCHECK_EQ(row.count, g_seen.lines);
        WCHECK_EQ(row.count ? row.current : (WORD)-1, (WORD)g_seen.selected);
        WCHECK_STREQ(row.count ? "Device  0" : "", g_seen.firstLine.c_str());
        WCHECK_STREQ(row.last, g_seen.lastLine.c_str());
        WCHECK_EQ(row.scrolls, g_seen.scrollBarUsable);
        WCHECK(g_seen.centredOverOwner);
    }
    WCONTEXT("");
}

WTEST(device_select_with_no_parameter_lists_nothing_and_answers_minus_one)
{
    SetAppInstance(GetModuleHandleA(NULL));
    Arm(Action::kOk, NULL);
    INT_PTR r = DialogBoxParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_DEVSELECT), OwnerWindow(),
                                DeviceSelectDlgProc, 0);
    KillTimer(NULL, g_timer);
    WCHECK(g_seen.found);
    WCHECK_EQ(0, g_seen.lines);
    WCHECK_EQ(-1, r);
}

WTEST(panel_device_select_closes_port_windows_unless_cancelled)
{
    HWND panel = Panel();
    WREQUIRE(panel);
    CHECK_TEXT("Vantri-K2(Device  0)", Item(panel, IDC_BOARD_NAME));

    struct Row {
        const char *what;
        Action action;
        bool closes;
        const char *name, *range;
        DWORD board;   /* the board a port window opened afterwards drives */
    };
    const Row rows[] = {
        {"OK on the current entry", Action::kOk, true, "Vantri-K2(Device  0)", "0300-0303", 0},
        {"Cancel", Action::kCancel, false, "stale", "stale", 0},
        {"Esc", Action::kEsc, false, "stale", "stale", 0},
        {"close box", Action::kCloseBox, false, "stale", "stale", 0},
        {"the second line", Action::kSecondLine, true, "Vantri-K2(Device  1)", "0310-0313", 1},
        {"back to the first line", Action::kFirstLine, true, "Vantri-K2(Device  0)", "0300-0303", 0},
    };
    for (const Row &row : rows) {
        WCONTEXT("%s", row.what);
        HWND w0 = OpenFromPanel(panel, 0);
        HWND w2 = OpenFromPanel(panel, 2);
        if (!IsWindow(w0) || !IsWindow(w2)) {
            WCHECK(IsWindow(w0) && IsWindow(w2));
            continue;
        }
        WCHECK(!ExecuteEnabled(panel, 0));
        WCHECK(!ExecuteEnabled(panel, 2));
        SetDlgItemTextA(panel, IDC_BOARD_NAME, "stale");
        SetDlgItemTextA(panel, IDC_BASE_ADDRESS, "stale");

        Arm(row.action, panel);
        SendDlgItemMessageA(panel, IDC_DEVICE_SELECT, BM_CLICK, 0, 0);
        KillTimer(NULL, g_timer);
        WCHECK(g_seen.found);
        WCHECK_EQ(3, g_seen.lines);
        WCHECK(g_seen.centredOverOwner);

        if (row.closes) {
            WCHECK(PumpUntil([&] { return !IsWindow(w0) && !IsWindow(w2); }));
            WCHECK(GetPortWindowSlot(0) == NULL);
            WCHECK(GetPortWindowSlot(2) == NULL);
        } else {
            Pump();
            WCHECK(IsWindow(w0) && IsWindow(w2));
            WCHECK(GetPortWindowSlot(0) == w0);
            WCHECK(!ExecuteEnabled(panel, 0));
            WCHECK(!ExecuteEnabled(panel, 2));
        }
        CHECK_TEXT(row.name, Item(panel, IDC_BOARD_NAME));
        CHECK_TEXT(row.range, Item(panel, IDC_BASE_ADDRESS));

        /* Close what is left, then show which board a new window drives. */
        CloseAndWait(w0);
        CloseAndWait(w2);
        WCHECK(ExecuteEnabled(panel, 0));
        WCHECK(ExecuteEnabled(panel, 2));
        HWND w = OpenFromPanel(panel, 1);
        const bool opened = IsWindow(w) != FALSE;
        if (opened) {
            VantriSimResetDefault();
            SendMessageA(GetDlgItem(w, IDC_OUTLED0 + 5), WM_LBUTTONDOWN, MK_LBUTTON, 0);
            WCHECK_EQ(0x20, Latch(row.board, 1));
            WCHECK_EQ(0, Latch(row.board ? 0 : 1, 1));
            CloseAndWait(w);
        }
        WCHECK(opened);
    }
    WCONTEXT("");
}

WTEST(panel_timer_drives_every_open_port_window)
{
    HWND panel = Panel();
    WREQUIRE(panel);
    VantriSimResetDefault();
    HWND w[4];
    for (int p = 0; p < 4; p++) {
        VantriSimSetInput(0, p, VANTRISIM_INPUT_FIXED, 0x10 + p);
        w[p] = OpenFromPanel(panel, p);
        WCHECK(IsWindow(w[p]));
    }
    for (int p = 0; p < 4; p++)
        VantriSimSetInput(0, p, VANTRISIM_INPUT_FIXED, 1u << (p + 4));
    /* Within a few ticks every window shows its own port's new bits. */
    WCHECK(PumpUntil([&] {
        for (int p = 0; p < 4; p++)
            if (LampState(w[p], IDC_INLED0, p + 4) != (LEDS_ON | LEDS_INPUT))
                return false;
        return true;
    }));
    for (int p = 0; p < 4; p++)
        CloseAndWait(w[p]);
}

WTEST(ending_the_panel_leaves_no_board_open)
{
    HWND panel = Panel();
    WREQUIRE(panel);
    HWND w = OpenFromPanel(panel, 3);
    WCHECK(IsWindow(w));
    HWND frame = GetParent(panel);
    DestroyWindow(frame);   /* owned port windows first, then the panel */
    WCHECK(PumpUntil([&] { return !IsWindow(w) && !IsWindow(panel); }));
    WCHECK_EQ(0u, OpenHandles());
    g_panel = NULL;
}
