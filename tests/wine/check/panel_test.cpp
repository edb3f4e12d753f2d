/* The main panel inside the real main window, on the simulator's boards:
 * what it opens and shows, what it reports and how, and what it closes. */
#include "app_fixture.h"

namespace {

std::string BoardName(HWND panel) { return ItemText(panel, IDC_BOARD_NAME); }
std::string Range(HWND panel) { return ItemText(panel, IDC_BASE_ADDRESS); }

bool Checked(HWND panel, int id) { return SendDlgItemMessageA(panel, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void CheckRadios(HWND panel, bool expectChecked)
{
    for (int p = 0; p < 4; p++) {
        WCONTEXT("port %d", p);
        WCHECK_EQ(expectChecked, Checked(panel, IDC_PORT1_IN + 10 * p));
        WCHECK_EQ(expectChecked, Checked(panel, IDC_PORT1_OUT + 10 * p));
    }
    WCONTEXT("");
}

/* Ids 1001..1063 that exist are disabled; the board name and the -1 boxes are not. */
void CheckDisabled(HWND panel)
{
    int seen = 0;
    for (int id = 1001; id < 1064; id++) {
        HWND c = GetDlgItem(panel, id);
        if (!c)
            continue;
        seen++;
        WCONTEXT("control %d", id);
        WCHECK(!IsWindowEnabled(c));
    }
    WCONTEXT("");
    WCHECK_EQ(19, seen);
    WCHECK(IsWindowEnabled(GetDlgItem(panel, IDC_BOARD_NAME)));
}

HMODULE WINAPI NoLibrary(LPCSTR name)
{
    if (name && lstrcmpiA(name, "vantri.dll") == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return LoadLibraryA(name);
}

HGLOBAL WINAPI NoMemory(UINT, SIZE_T) { return NULL; }

/* A window that counts the WM_TIMER it is sent, to stand in a port slot. */
struct TimerCounter {
    static int &Count() { static int n; return n; }
    static WPARAM &LastId() { static WPARAM w; return w; }
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
    {
        if (m == WM_TIMER) { Count()++; LastId() = w; return 0; }
        return DefWindowProcA(h, m, w, l);
    }
    HWND hwnd;
    TimerCounter()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = Self();
        wc.lpszClassName = "check_timer_counter";
        RegisterClassA(&wc);
        Count() = 0;
        hwnd = CreateWindowA("check_timer_counter", "", 0, 0, 0, 1, 1, NULL, NULL, Self(), NULL);
    }
    ~TimerCounter() { DestroyWindow(hwnd); }
};

std::string CloseBoardsNow(void) { return BoardList(SimBoardsOf(IOCTL_VANTRI_CLOSE)); }

void ChooseSecondEntry(HWND box)
{
    SendDlgItemMessageA(box, IDC_DEVICE_LIST, LB_SETCURSEL, 1, 0);
    DWORD_PTR r;
    SendMessageTimeoutA(box, WM_COMMAND, IDOK, 0, SMTO_NORMAL, 5000, &r);
}

} // namespace

WTEST(three_boards_shown_opened_and_closed_in_order)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    ExportCounter calls;
    BoxWatcher boxes(GetCurrentThreadId());
    WREQUIRE(app.Start());
    HWND panel = app.Panel();
    WREQUIRE(panel);
    WCHECK_STR("Vantri-K2(Device  0)", BoardName(panel));
    WCHECK_STR("0300-0303", Range(panel));
    CheckRadios(panel, true);
    DeviceList *list = app.List();
    WREQUIRE(list);
    WCHECK_EQ(3, list->wCount);
    WCHECK_EQ(0, list->wCurrent);
    for (int i = 0; i < 3; i++) WCHECK_EQ(i, list->wDevices[i]);
    WCHECK_EQ(4, ExportCounter::Creates());   /* the fourth finds no board and ends the loop */
    WCHECK_EQ(3, SimOpenTotal());
    WCHECK(IsWindowEnabled(GetDlgItem(panel, IDC_DEVICE_SELECT)));
    WCHECK(IsWindowEnabled(GetDlgItem(panel, IDC_PORT4_EXECUTE)));

    /* The panel ignores IDOK, IDCANCEL and clicks on its radio buttons. */
    SendMessageA(panel, WM_COMMAND, IDCANCEL, 0);
    SendMessageA(panel, WM_COMMAND, IDOK, 0);
    SendDlgItemMessageA(panel, IDC_PORT2_IN, BM_CLICK, 0, 0);
    WCHECK(IsWindow(panel));
    CheckRadios(panel, true);

    /* The 50 ms timer reaches whatever sits in a port slot, with its own id. */
    TimerCounter counter;
    SetPortWindowSlot(2, counter.hwnd);
    WCHECK(PumpUntil([] { return TimerCounter::Count() >= 2; }, 3000));
    WCHECK_EQ(PANEL_TIMER_ID, TimerCounter::LastId());
    SetPortWindowSlot(2, NULL);

    VantriSimClearLog();
    WCHECK_EQ(0, app.CloseAndRun());
    WCHECK_STR("0,1,2", BoardList(ExportCounter::Closes()));
    WCHECK_STR("0,1,2", CloseBoardsNow());
    WCHECK_EQ(0, boxes.Count());
    WCHECK(!IsWindow(panel));
}

WTEST(boards_0_and_2_listed_by_device_number_shown_by_entry)
{
    AppFixture app(0x5);
    WREQUIRE(app.simOk);
    WREQUIRE(app.Start());
    HWND panel = app.Panel();
    DeviceList *list = app.List();
    WREQUIRE(panel && list);
    WCHECK_EQ(2, list->wCount);
    WCHECK_EQ(0, list->wDevices[0]);
    WCHECK_EQ(2, list->wDevices[1]);
    WCHECK_STR("0300-0303", Range(panel));
    {
        /* Choose the second line of Device Select: entry 1 is device 2. */
        BoxWatcher chooser(GetCurrentThreadId(), 0, NULL, ChooseSecondEntry);
        SendMessageA(panel, WM_COMMAND, IDC_DEVICE_SELECT, 0);
        WCHECK_EQ(1, chooser.Count());
    }
    WCHECK_EQ(1, list->wCurrent);
    WCHECK_STR("Vantri-K2(Device  1)", BoardName(panel));
    WCHECK_STR("0320-0323", Range(panel));
    WCHECK_EQ(0, app.CloseAndRun());
}

WTEST(sixteen_boards_sixteen_calls_no_more)
{
    AppFixture app(0xFFFF);
    WREQUIRE(app.simOk);
    ExportCounter calls;
    WREQUIRE(app.Start());
    DeviceList *list = app.List();
    WREQUIRE(list);
    WCHECK_EQ(16, list->wCount);
    WCHECK_EQ(16, ExportCounter::Creates());
    for (int i = 0; i < 16; i++) WCHECK_EQ(i, list->wDevices[i]);
    WCHECK_EQ(16, SimOpenTotal());
    WCHECK_STR("0300-0303", Range(app.Panel()));
    WCHECK_EQ(0, app.CloseAndRun());
    WCHECK_EQ(16, ExportCounter::Closes().size());
}

WTEST(no_library_reports_802_once_and_disables)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    ImportHook noLib("kernel32.dll", "LoadLibraryA", (void *)NoLibrary);
    WREQUIRE(noLib.Installed());
    BoxWatcher boxes(GetCurrentThreadId());
    VantriSimClearLog();
    WREQUIRE(app.Start());   /* start-up goes on without the library */
    HWND panel = app.Panel();
    WREQUIRE(panel);
    WCHECK(IsWindowVisible(app.Main()));
    std::vector<SeenBox> seen = boxes.Boxes();
    WREQUIRE(seen.size() == 1);
    WCHECK_STR("vantri", seen[0].caption);
    WCHECK_STR(AppString(IDS_LOAD_FAILED), seen[0].text);
    WCHECK(seen[0].visible);
    CheckDisabled(panel);
    WCHECK_STR("", BoardName(panel));
    WCHECK_STR("", Range(panel));
    WCHECK_EQ(0, app.List()->wCount);
    WCHECK_EQ(0, app.CloseAndRun());
    WCHECK_EQ(1, boxes.Count());
    WCHECK_EQ(0, SimLog().size());   /* not one request, no close at the end */
}

WTEST(no_board_reports_800_and_leaves_fields_empty)
{
    /* Board 0 stays for the library's version query at load; it refuses to
     * be opened, and no other board exists. */
    AppFixture app(0x1);
    WREQUIRE(app.simOk);
    WREQUIRE(VantriSimSetFault(0, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_STATUS, 0, 0x77, 0));
    BoxWatcher boxes(GetCurrentThreadId());
    WREQUIRE(app.Start());
    HWND panel = app.Panel();
    WREQUIRE(panel);
    std::vector<SeenBox> seen = boxes.Boxes();
    WREQUIRE(seen.size() == 1);
    WCHECK_STR("vantri", seen[0].caption);
    WCHECK_STR(AppString(IDS_NO_DEVICE), seen[0].text);
    CheckDisabled(panel);
    CheckRadios(panel, false);
    WCHECK_STR("", BoardName(panel));
    WCHECK_STR("", Range(panel));
    WCHECK(GetModuleHandleA("vantri.dll") != NULL);   /* held until the panel goes */
    WCHECK_EQ(0, app.CloseAndRun());
    WCHECK_EQ(1, boxes.Count());
    WCHECK(SimBoardsOf(IOCTL_VANTRI_CLOSE).empty());
}

WTEST(close_failure_at_second_board_reports_801_until_answered)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    WREQUIRE(app.Start());
    WREQUIRE(app.Panel());
    VantriSimClearLog();
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_STATUS, 0, 0x1234, 1));
    /* The box is read while it is up: by then boards 0 and 1 were asked to
     * close, board 2 not, and the library is still loaded. */
    BoxWatcher boxes(GetCurrentThreadId(), 700, [] {
        return CloseBoardsNow() + (GetModuleHandleA("vantri.dll") ? " loaded" : " released");
    });
    WCHECK_EQ(0, app.CloseAndRun());   /* the real loop, ended only after OK */
    std::vector<SeenBox> seen = boxes.Boxes();
    WREQUIRE(seen.size() == 1);
    WCHECK_STR("vantri", seen[0].caption);
    WCHECK_STR(AppString(IDS_CLOSE_FAILED), seen[0].text);
    WCHECK(seen[0].visible);
    WCHECK(seen[0].stayedUp);
    WCHECK_STR("0,1 loaded", seen[0].noteDuringHold);
    /* Then the library's unload closed what was left: 1 again, and 2. */
    WCHECK_STR("0,1,1,2", CloseBoardsNow());
    WCHECK(GetModuleHandleA("vantri.dll") == NULL);
    WCHECK_EQ(0, SimOpenTotal());
}

WTEST(failed_resource_query_leaves_range_empty)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    WREQUIRE(VantriSimSetFault(0, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_STATUS, 0, 0x55, 0));
    WREQUIRE(app.Start());
    HWND panel = app.Panel();
    WREQUIRE(panel);
    WCHECK_STR("Vantri-K2(Device  0)", BoardName(panel));
    WCHECK_STR("", Range(panel));
    CheckRadios(panel, true);
    WCHECK_EQ(0, app.CloseAndRun());
}

WTEST(port_window_reports_in_and_out_of_range)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    WREQUIRE(app.Start());
    HWND panel = app.Panel();
    WREQUIRE(panel);
    HWND exec2 = GetDlgItem(panel, IDC_PORT2_EXECUTE);
    HWND marker = (HWND)0x1234;
    SetPortWindowSlot(1, marker);
    /* Outside 0..3, or events other than creation and destruction: nothing. */
    struct Row { WPARAM event; LPARAM port; } ignored[] = {
        { WM_INITDIALOG, 4 }, { WM_INITDIALOG, -1 }, { WM_DESTROY, 0x10001 },
        { WM_DESTROY, 65535 }, { WM_CREATE, 1 }, { 0, 1 },
    };
    for (const Row &r : ignored) {
        WCONTEXT("event %u port %ld", (unsigned)r.event, (long)r.port);
        WCHECK_EQ(0, SendMessageA(panel, PANELM_PORTWINDOW, r.event, r.port));
        WCHECK(IsWindowEnabled(exec2));
        WCHECK(GetPortWindowSlot(1) == marker);
    }
    WCONTEXT("");
    SendMessageA(panel, PANELM_PORTWINDOW, WM_INITDIALOG, 1);
    WCHECK(!IsWindowEnabled(exec2));
    WCHECK(GetPortWindowSlot(1) == marker);
    SendMessageA(panel, PANELM_PORTWINDOW, WM_DESTROY, 1);
    WCHECK(IsWindowEnabled(exec2));
    WCHECK(GetPortWindowSlot(1) == NULL);
    WCHECK(GetPortWindowSlot(4) == NULL);   /* out of the table: nothing there */
    SetPortWindowSlot(7, marker);
    WCHECK(GetPortWindowSlot(7) == NULL);
    WCHECK_EQ(0, app.CloseAndRun());
}

WTEST(list_not_allocatable_fails_start_up_silently)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    BoxWatcher boxes(GetCurrentThreadId());
    {
        ImportHook noMemory("kernel32.dll", "GlobalAlloc", (void *)NoMemory);
        WREQUIRE(noMemory.Installed());
        WCHECK_EQ(0, app.Start());
    }
    WCHECK(FindWindowA("vantri", NULL) == NULL);
    WCHECK(GetMainWindow() == NULL);
    WCHECK(GetModuleHandleA("vantri.dll") == NULL);
    WCHECK_EQ(0, boxes.Count());
    MSG msg;
    WCHECK(!PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_NOREMOVE));   /* nothing to quit */
    WCHECK_EQ(0, SimOpenTotal());
}

int main(int argc, char **argv) { return WTestMain(argc, argv); }
