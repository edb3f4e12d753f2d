/*
 * portio_test.cpp - the Port I/O window on the simulator, made from the real
 * template, with a stand-in panel that records the window's reports.
 */
#include "wtest.h"
#include "support.h"

#include <algorithm>
#include <string>
#include <vector>

using namespace portio_test;

namespace {

std::string Text(HWND hwnd)
{
    char buf[128] = "";
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

/* The texts of a row of labels, read from left to right on the screen. */
std::string RowLeftToRight(HWND hwndPort, int baseId)
{
    std::vector<std::pair<LONG, std::string>> row;
    for (int i = 0; i < 8; i++) {
        HWND h = GetDlgItem(hwndPort, baseId + i);
        RECT rc = {};
        GetWindowRect(h, &rc);
        row.push_back({rc.left, Text(h)});
    }
    std::sort(row.begin(), row.end());
    std::string s;
    for (auto &cell : row)
        s += cell.second + (&cell == &row.back() ? "" : " ");
    return s;
}

/* Input lamps equal the byte: lit where its bit is 1, display-only all. */
void CheckInputLamps(HWND hwndPort, BYTE expected)
{
    for (int i = 0; i < 8; i++) {
        WCONTEXT("input bit %d of 0x%02x", i, expected);
        WCHECK_EQ(LEDS_INPUT | ((expected >> i) & 1 ? LEDS_ON : LEDS_OFF), LampState(hwndPort, IDC_INLED0, i));
    }
    WCONTEXT("");
}

/* Sends a left press to a lamp, as the mouse would. */
void Press(HWND hwndLamp)
{
    SendMessageA(hwndLamp, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(hwndLamp, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}

} // namespace

WTEST(opening_port_index_2_shows_port_3_and_reports_once)
{
    WREQUIRE(Setup());
    VantriSimResetDefault();
    VantriSimSetInput(0, 2, VANTRISIM_INPUT_FIXED, 0xA5);
    VantriSimClearLog();
    ResetRecorder();

    HWND h = OpenPortWindow(0, 2);
    WREQUIRE(IsWindow(h));
    CHECK_TEXT("Parallel I/O (Port 3)", Text(h));

    HWND list = GetDlgItem(h, IDC_BITGROUP);
    WCHECK_EQ(1, SendMessageA(list, CB_GETCOUNT, 0, 0));
    WCHECK_EQ(0, SendMessageA(list, CB_GETCURSEL, 0, 0));
    char entry[32] = "";
    SendMessageA(list, CB_GETLBTEXT, 0, (LPARAM)entry);
    WCHECK_STREQ("BIT 00-07", entry);

    CHECK_TEXT("7 6 5 4 3 2 1 0", RowLeftToRight(h, IDC_OUTBIT0));
    CHECK_TEXT("7 6 5 4 3 2 1 0", RowLeftToRight(h, IDC_INBIT0));

    for (int i = 0; i < 8; i++) {
        WCONTEXT("output bit %d", i);
        WCHECK_EQ(LEDS_OFF | LEDS_OUTPUT, LampState(h, IDC_OUTLED0, i));
    }
    WCONTEXT("");
    CheckInputLamps(h, 0xA5);

    /* The lamps paint what they hold: bit 0 of 0xA5 lit, bit 1 dark. */
    WCHECK(PumpUntil([&] { return LampCentre(Lamp(h, IDC_INLED0, 0)) == kRed; }));
    WCHECK_EQ(kBlack, LampCentre(Lamp(h, IDC_INLED0, 1)));
    WCHECK_EQ(kBlack, LampCentre(Lamp(h, IDC_OUTLED0, 0)));

    WCHECK_EQ(1, TheRecorder().count);
    WCHECK_EQ(WM_INITDIALOG, TheRecorder().reports[0].event);
    WCHECK_EQ(2, TheRecorder().reports[0].port);

    /* Opening reads the port once and writes nothing. */
    PortRequest reads[4];
    WCHECK_EQ(1, LoggedPortRequests(IOCTL_VANTRI_IN_PORT, reads, 4));
    WCHECK_EQ(0u, reads[0].board);
    WCHECK_EQ(2u, reads[0].port);
    WCHECK_EQ(0, CountLogged(IOCTL_VANTRI_OUT_PORT));

    /* Its record sits under the property, locked, owner and port as given. */
    PortWindowInfo *p = (PortWindowInfo *)GetPropA(h, PORTIO_PROPERTY);
    WREQUIRE(p);
    WCHECK(p->hwndOwner == RecorderWindow());
    WCHECK_EQ(0, p->wDevice);
    WCHECK_EQ(2, p->wPort);
    WCHECK_EQ(1u, GlobalFlags(GlobalHandle(p)) & GMEM_LOCKCOUNT);
    WCHECK(CloseAndWait(h));
}

WTEST(each_click_writes_the_whole_output_byte)
{
    WREQUIRE(Setup());
    VantriSimResetDefault();
    VantriSimSetInput(0, 2, VANTRISIM_INPUT_FIXED, 0x00);
    HWND h = OpenPortWindow(0, 2);
    WREQUIRE(IsWindow(h));

    struct Row { int bit; BYTE written; WORD state; };
    const Row rows[] = {
        {3, 0x08, LEDS_ON | LEDS_OUTPUT},
        {0, 0x09, LEDS_ON | LEDS_OUTPUT},
        {3, 0x01, LEDS_OFF | LEDS_OUTPUT},
        {7, 0x81, LEDS_ON | LEDS_OUTPUT},
    };
    for (const Row &row : rows) {
        WCONTEXT("click on bit %d", row.bit);
        VantriSimClearLog();
        Press(Lamp(h, IDC_OUTLED0, row.bit));
        PortRequest w[4];
        WCHECK_EQ(1, LoggedPortRequests(IOCTL_VANTRI_OUT_PORT, w, 4));
        WCHECK_EQ(0u, w[0].board);
        WCHECK_EQ(2u, w[0].port);
        WCHECK_EQ(row.written, w[0].value);
        WCHECK_EQ(row.written, Latch(0, 2));
        WCHECK_EQ(row.state, LampState(h, IDC_OUTLED0, row.bit));
    }
    WCONTEXT("");
    WCHECK(PumpUntil([&] { return LampCentre(Lamp(h, IDC_OUTLED0, 7)) == kRed; }));
    WCHECK_EQ(kBlack, LampCentre(Lamp(h, IDC_OUTLED0, 3)));
    WCHECK(CloseAndWait(h));
}

WTEST(a_click_on_an_input_lamp_changes_and_writes_nothing)
{
    WREQUIRE(Setup());
    VantriSimResetDefault();
    VantriSimSetInput(0, 1, VANTRISIM_INPUT_FIXED, 0x04);
    HWND h = OpenPortWindow(0, 1);
    WREQUIRE(IsWindow(h));
    VantriSimClearLog();
    for (int bit : {2, 5}) {
        WCONTEXT("input bit %d", bit);
        WORD before = LampState(h, IDC_INLED0, bit);
        Press(Lamp(h, IDC_INLED0, bit));
        WCHECK_EQ(before, LampState(h, IDC_INLED0, bit));
    }
    WCONTEXT("");
    WCHECK_EQ(0, CountLogged(IOCTL_VANTRI_OUT_PORT));
    WCHECK_EQ(0, Latch(0, 1));
    WCHECK(CloseAndWait(h));
}

WTEST(every_timer_message_reads_the_port_whatever_its_id)
{
    WREQUIRE(Setup());
    VantriSimResetDefault();
    HWND h = OpenPortWindow(0, 3);
    WREQUIRE(IsWindow(h));
    struct Row { WPARAM id; BYTE input; };
    const Row rows[] = { {PANEL_TIMER_ID, 0x3C}, {0, 0xFF}, {0xBEEF, 0x00}, {(WPARAM)-1, 0x81} };
    for (const Row &row : rows) {
        WCONTEXT("timer id 0x%lx", (unsigned long)row.id);
        VantriSimSetInput(0, 3, VANTRISIM_INPUT_FIXED, row.input);
        VantriSimClearLog();
        SendMessageA(h, WM_TIMER, row.id, 0);
        PortRequest r[4];
        WCHECK_EQ(1, LoggedPortRequests(IOCTL_VANTRI_IN_PORT, r, 4));
        WCHECK_EQ(3u, r[0].port);
        CheckInputLamps(h, row.input);
    }
    WCONTEXT("");
    WCHECK(CloseAndWait(h));
}

WTEST(closing_the_bit_list_relabels_and_a_selection_change_does_not)
{
    WREQUIRE(Setup());
    HWND h = OpenPortWindow(0, 0);
    WREQUIRE(IsWindow(h));
    HWND list = GetDlgItem(h, IDC_BITGROUP);
    for (int i = 0; i < 8; i++) {
        SetDlgItemTextA(h, IDC_OUTBIT0 + i, "x");
        SetDlgItemTextA(h, IDC_INBIT0 + i, "x");
    }
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_BITGROUP, CBN_SELCHANGE), (LPARAM)list);
    CHECK_TEXT("x x x x x x x x", RowLeftToRight(h, IDC_OUTBIT0));
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_BITGROUP, CBN_CLOSEUP), (LPARAM)list);
    CHECK_TEXT("7 6 5 4 3 2 1 0", RowLeftToRight(h, IDC_OUTBIT0));
    CHECK_TEXT("7 6 5 4 3 2 1 0", RowLeftToRight(h, IDC_INBIT0));
    WCHECK_EQ(0, SendMessageA(list, CB_GETCURSEL, 0, 0));
    WCHECK(CloseAndWait(h));
}

WTEST(a_window_reads_and_writes_the_board_it_was_opened_with)
{
    WREQUIRE(Setup());
    VantriSimResetDefault();
    VantriSimSetInput(0, 0, VANTRISIM_INPUT_FIXED, 0x11);
    VantriSimSetInput(1, 0, VANTRISIM_INPUT_FIXED, 0x22);
    HWND h0 = OpenPortWindow(0, 0);
    HWND h1 = OpenPortWindow(1, 0);
    WREQUIRE(IsWindow(h0) && IsWindow(h1));
    CheckInputLamps(h0, 0x11);
    CheckInputLamps(h1, 0x22);

    VantriSimClearLog();
    Press(Lamp(h1, IDC_OUTLED0, 6));
    WCHECK_EQ(0x40, Latch(1, 0));
    WCHECK_EQ(0, Latch(0, 0));
    Press(Lamp(h0, IDC_OUTLED0, 1));
    WCHECK_EQ(0x02, Latch(0, 0));
    WCHECK_EQ(0x40, Latch(1, 0));

    VantriSimSetInput(1, 0, VANTRISIM_INPUT_FIXED, 0x99);
    SendMessageA(h0, WM_TIMER, PANEL_TIMER_ID, 0);
    SendMessageA(h1, WM_TIMER, PANEL_TIMER_ID, 0);
    CheckInputLamps(h0, 0x11);
    CheckInputLamps(h1, 0x99);
    WCHECK(CloseAndWait(h0));
    WCHECK(CloseAndWait(h1));
}

WTEST(a_read_that_fails_shows_every_input_lamp_dark)
{
    WREQUIRE(Setup());
    VantriSimResetDefault();
    VantriSimSetInput(0, 0, VANTRISIM_INPUT_FIXED, 0xFF);
    HWND h = OpenPortWindow(0, 0);
    WREQUIRE(IsWindow(h));
    CheckInputLamps(h, 0xFF);
    struct Row { const char *what; DWORD kind; DWORD value; };
    const Row rows[] = {
        {"request not delivered", VANTRISIM_FAULT_FAIL, 0},
        {"driver status", VANTRISIM_FAULT_STATUS, 0x55},
    };
    for (const Row &row : rows) {
        WCONTEXT("%s", row.what);
        VantriSimSetFault(0, IOCTL_VANTRI_IN_PORT, row.kind, 0, row.value, 1);
        SendMessageA(h, WM_TIMER, PANEL_TIMER_ID, 0);
        CheckInputLamps(h, 0x00);
        SendMessageA(h, WM_TIMER, PANEL_TIMER_ID, 0);   /* polling goes on */
        CheckInputLamps(h, 0xFF);
    }
    WCONTEXT("");
    VantriSimClearFaults();
    WCHECK(CloseAndWait(h));
}

WTEST(every_way_of_closing_destroys_and_reports_before_the_record_goes)
{
    WREQUIRE(Setup());
    enum How { kEsc, kCloseButton, kTitleBarClose, kPostedClose };
    struct Row { const char *what; How how; WORD port; };
    const Row rows[] = {
        {"Esc", kEsc, 0},
        {"Close button", kCloseButton, 1},
        {"title bar close", kTitleBarClose, 2},
        {"posted WM_CLOSE", kPostedClose, 3},
    };
    for (const Row &row : rows) {
        WCONTEXT("%s", row.what);
        ResetRecorder();
        HWND h = OpenPortWindow(0, row.port);
        if (!IsWindow(h)) {
            WCHECK(IsWindow(h));
            continue;
        }
        PortWindowInfo *p = (PortWindowInfo *)GetPropA(h, PORTIO_PROPERTY);
        HGLOBAL mem = p ? GlobalHandle(p) : NULL;
        TheRecorder().watched = h;
        switch (row.how) {
        case kEsc: {
            SetForegroundWindow(h);
            SetFocus(GetDlgItem(h, IDCANCEL));
            PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            PostMessageA(GetFocus(), WM_KEYUP, VK_ESCAPE, 0xC0010001);
            break;
        }
        case kCloseButton:
            SendDlgItemMessageA(h, IDCANCEL, BM_CLICK, 0, 0);
            break;
        case kTitleBarClose:
            SendMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        case kPostedClose:
            PostMessageA(h, WM_CLOSE, 0, 0);
            break;
        }
        WCHECK(PumpUntil([&] { return !IsWindow(h); }));
        WCHECK_EQ(2, TheRecorder().count);
        const Report &rep = TheRecorder().reports[1];
        WCHECK_EQ(WM_DESTROY, rep.event);
        WCHECK_EQ(row.port, rep.port);
        WCHECK(rep.propertyAttached);
        WCHECK(rep.recordLocked);
        /* Afterwards the block is gone. */
        WCHECK(mem != NULL);
        WCHECK_EQ(GMEM_INVALID_HANDLE, GlobalFlags(mem));
    }
    WCONTEXT("");
}

WTEST(a_window_without_its_record_does_nothing_and_reports_nothing)
{
    WREQUIRE(Setup());
    VantriSimResetDefault();

    /* No creation record: the window goes at once, nothing reported. */
    ResetRecorder();
    HWND h0 = CreateDialogParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_PORTIO), RecorderWindow(),
                                 PortWindowProc, 0);
    Pump();
    WCHECK(!h0 || !IsWindow(h0));
    WCHECK_EQ(0, TheRecorder().count);

    /* A record taken away under a live window: timer, clicks, the list and
     * the close all pass without a request or a report. */
    HWND h = OpenPortWindow(0, 0);
    WREQUIRE(IsWindow(h));
    PortWindowInfo *p = (PortWindowInfo *)RemovePropA(h, PORTIO_PROPERTY);
    WREQUIRE(p);
    ResetRecorder();
    VantriSimClearLog();
    SendMessageA(h, WM_TIMER, PANEL_TIMER_ID, 0);
    Press(Lamp(h, IDC_OUTLED0, 4));
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(IDC_BITGROUP, CBN_CLOSEUP), 0);
    SendMessageA(h, WM_COMMAND, MAKEWPARAM(9999, 0), 0);
    WCHECK(CloseAndWait(h));
    VantriSimLogEntry log[8];
    WCHECK_EQ(0, VantriSimReadLog(log, 8));
    WCHECK_EQ(0, TheRecorder().count);
    HGLOBAL mem = GlobalHandle(p);
    GlobalUnlock(mem);
    GlobalFree(mem);
}

WTEST(with_no_library_the_lamps_stay_dark_and_nothing_is_written)
{
    WREQUIRE(Setup());
    VantriSimResetDefault();
    VantriSimSetInput(0, 0, VANTRISIM_INPUT_FIXED, 0xFF);
    LibFree();
    VantriSimClearLog();
    ResetRecorder();
    HWND h = OpenPortWindow(0, 0);
    bool opened = IsWindow(h) != FALSE;
    if (opened) {
        CheckInputLamps(h, 0x00);
        Press(Lamp(h, IDC_OUTLED0, 0));
        SendMessageA(h, WM_TIMER, PANEL_TIMER_ID, 0);
        CheckInputLamps(h, 0x00);
        WCHECK_EQ(LEDS_ON | LEDS_OUTPUT, LampState(h, IDC_OUTLED0, 0));
        WCHECK(CloseAndWait(h));
    }
    VantriSimLogEntry log[8];
    int logged = VantriSimReadLog(log, 8);
    WCHECK_EQ(2, TheRecorder().count);
    /* The library back for the tests that follow: the same three boards. */
    WCHECK(ReopenBoards());
    WCHECK(opened);
    WCHECK_EQ(0, logged);
}
