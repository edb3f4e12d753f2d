/* The shell in-process: dialog-child test, centring, the help path, the
 * message loop's F1 rule, the About box and the main window's geometry. */
#include "app_fixture.h"

namespace {

/* A bare window of a class of our own, hidden unless asked. */
HWND MakeWindow(DWORD style, int x, int y, int w, int h, HWND parentOrOwner, const char *cls = "check_plain")
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = Self();
    wc.lpszClassName = cls;
    RegisterClassA(&wc);
    return CreateWindowExA(0, cls, "", style, x, y, w, h, parentOrOwner, NULL, Self(), NULL);
}

struct Windows {
    std::vector<HWND> list;
    HWND Add(HWND h) { list.push_back(h); return h; }
    ~Windows() { for (size_t i = list.size(); i-- > 0; ) if (IsWindow(list[i])) DestroyWindow(list[i]); }
};

RECT WorkArea(void) { RECT r; SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0); return r; }
RECT Rect(HWND h) { RECT r; GetWindowRect(h, &r); return r; }

/* Recorded by the help-path hook. */
struct FakePath { const char *text; DWORD result; bool unterminated; };
FakePath g_fake;
DWORD g_fakeSize;
DWORD WINAPI FakeModuleFileName(HMODULE, LPSTR buf, DWORD size)
{
    g_fakeSize = size;
    if (g_fake.unterminated) {
        memset(buf, 'x', size);   /* a full buffer and no terminator, as a truncating system does */
        return size;
    }
    lstrcpynA(buf, g_fake.text, size);
    return g_fake.result;
}

/* F1 test: what the main window and the focused button saw. */
volatile LONG g_helpCommands, g_f1Down, g_f1Up, g_sysDown;
WNDPROC g_mainProc, g_buttonProc;
LRESULT CALLBACK RecordingMain(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == WM_COMMAND && LOWORD(w) == IDM_HELP_TOPICS) {
        InterlockedIncrement(&g_helpCommands);
        return 0;   /* no help engine in a test */
    }
    return CallWindowProcA(g_mainProc, h, m, w, l);
}
LRESULT CALLBACK RecordingButton(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (w == VK_F1) {
        if (m == WM_KEYDOWN) InterlockedIncrement(&g_f1Down);
        if (m == WM_KEYUP) InterlockedIncrement(&g_f1Up);
        if (m == WM_SYSKEYDOWN) InterlockedIncrement(&g_sysDown);
    }
    return CallWindowProcA(g_buttonProc, h, m, w, l);
}

void Keys(std::initializer_list<std::pair<WORD, bool>> seq)
{
    std::vector<INPUT> in;
    for (auto k : seq) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k.first;
        i.ki.wScan = (WORD)MapVirtualKeyA(k.first, 0);
        i.ki.dwFlags = k.second ? 0 : KEYEVENTF_KEYUP;
        in.push_back(i);
    }
    SendInput((UINT)in.size(), in.data(), sizeof(INPUT));
}

struct F1Result { bool steps[4]; LONG afterAlt; };
F1Result g_f1;
HWND g_f1Main;

DWORD WINAPI DriveF1(LPVOID)
{
    auto waitHelp = [](LONG n) { return WaitUntil([n] { return g_helpCommands >= n; }, 5000); };
    Keys({ { VK_F1, true }, { VK_F1, false } });
    g_f1.steps[0] = waitHelp(1);
    Keys({ { VK_SHIFT, true }, { VK_F1, true }, { VK_F1, false }, { VK_SHIFT, false } });
    g_f1.steps[1] = waitHelp(2);
    /* Alt+F1, then a plain F1 as a marker: once its key-up has reached the
     * button, everything before it has been handled. */
    Keys({ { VK_MENU, true }, { VK_F1, true }, { VK_F1, false }, { VK_MENU, false },
           { VK_F1, true }, { VK_F1, false } });
    g_f1.steps[2] = WaitUntil([] { return g_f1Up >= 3 + 1; }, 5000) || WaitUntil([] { return g_f1Up >= 3; }, 100);
    g_f1.afterAlt = g_helpCommands;
    PostMessageA(g_f1Main, WM_CLOSE, 0, 0);
    return 0;
}

/* About box: read by the watcher while it is up. */
struct AboutSeen { std::string dll, drv, caption; RECT rc; bool cancelled; };
AboutSeen g_about;
void ReadAbout(HWND box)
{
    if (!GetDlgItem(box, IDC_DLL_VERSION)) {   /* some other box: OK */
        DWORD_PTR r;
        SendMessageTimeoutA(box, WM_COMMAND, IDOK, 0, SMTO_NORMAL, 5000, &r);
        return;
    }
    g_about.dll = ItemText(box, IDC_DLL_VERSION);
    g_about.drv = ItemText(box, IDC_DRV_VERSION);
    g_about.caption = WindowText(box);
    GetWindowRect(box, &g_about.rc);
    DWORD_PTR r;
    g_about.cancelled = SendMessageTimeoutA(box, WM_COMMAND, IDCANCEL, 0, SMTO_NORMAL, 5000, &r) != 0;
}

HMODULE WINAPI NoLibrary(LPCSTR name)
{
    if (name && lstrcmpiA(name, "vantri.dll") == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return NULL;
    }
    return LoadLibraryA(name);
}

std::string Utf8ToAnsi(const char *utf8)
{
    wchar_t w[256];
    char a[512];
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w, 256);
    WideCharToMultiByte(CP_ACP, 0, w, -1, a, sizeof a, NULL, NULL);
    return a;
}

} // namespace

WTEST(accessors_and_class_names)
{
    WCHECK_STR("vantri", GetAppClassName());
    WCHECK_STR("#32770", GetDialogClassName());
    SetAppInstance(Self());
    WCHECK(GetAppInstance() == Self());
}

WTEST(is_dialog_child_by_parent_class)
{
    SetAppInstance(Self());
    Windows w;
    HWND dlg = w.Add(CreateDialogParamA(Self(), MAKEINTRESOURCEA(IDD_ABOUT), NULL, AboutDlgProc, 0));
    WREQUIRE(dlg);
    HWND top = w.Add(MakeWindow(WS_OVERLAPPED, 0, 0, 50, 50, NULL));
    HWND childOfTop = w.Add(MakeWindow(WS_CHILD, 0, 0, 5, 5, top));
    HWND popupOfDlg = w.Add(MakeWindow(WS_POPUP, 0, 0, 5, 5, dlg));
    HWND longParent = w.Add(MakeWindow(WS_OVERLAPPED, 0, 0, 50, 50, NULL, "#32770andmoreletters"));
    HWND childOfLong = w.Add(MakeWindow(WS_CHILD, 0, 0, 5, 5, longParent));
    struct Row { const char *what; HWND h; BOOL expected; } rows[] = {
        { "control of a dialog", GetDlgItem(dlg, IDOK), TRUE },
        { "popup owned by a dialog", popupOfDlg, TRUE },
        { "the dialog itself", dlg, FALSE },
        { "child of a plain window", childOfTop, FALSE },
        { "top-level window", top, FALSE },
        { "child of a longer class name", childOfLong, FALSE },
        { "no window", NULL, FALSE },
        { "a stale handle", (HWND)0x7FFF0, FALSE },
    };
    for (const Row &r : rows) {
        WCONTEXT("%s", r.what);
        WCHECK_EQ(r.expected, IsDialogChild(r.h));
    }
}

WTEST(center_window_rules)
{
    Windows w;
    RECT wa = WorkArea();
    int waMidX = (wa.left + wa.right) / 2, waMidY = (wa.top + wa.bottom) / 2;
    HWND owner = w.Add(MakeWindow(WS_POPUP | WS_VISIBLE, 100, 100, 300, 200, NULL));
    HWND hiddenOwner = w.Add(MakeWindow(WS_POPUP, 100, 100, 300, 200, NULL));
    HWND farOwner = w.Add(MakeWindow(WS_POPUP | WS_VISIBLE, wa.right + 200, 100, 600, 200, NULL));
    HWND parent = w.Add(MakeWindow(WS_POPUP, 0, 0, 400, 300, NULL));
    HWND sibling = w.Add(MakeWindow(WS_CHILD, 20, 30, 100, 60, parent));
    RECT farRc = Rect(farOwner);
    int farMid = (farRc.left + farRc.right) / 2;
    int wide = (wa.right - wa.left) + 400;
    struct Row {
        const char *what; HWND owner; HWND centre; DWORD style; int w, h; HWND parent;
        int x, y;   /* expected, in screen coordinates for popups, parent client for children */
    } rows[] = {
        { "popup over its visible owner", owner, NULL, WS_POPUP, 100, 50, NULL, 250 - 50, 200 - 25 },
        { "popup, owner named", NULL, owner, WS_POPUP, 100, 50, NULL, 200, 175 },
        { "popup over a hidden owner: the work area", hiddenOwner, NULL, WS_POPUP, 100, 50, NULL,
          waMidX - 50, waMidY - 25 },
        { "no owner: the work area", NULL, NULL, WS_POPUP, 100, 50, NULL, waMidX - 50, waMidY - 25 },
        { "held inside the area on the right", farOwner, NULL, WS_POPUP, 100, 50, NULL, wa.right - 100, 200 - 25 },
        { "wider than the area, centre left of it", NULL, NULL, WS_POPUP, wide, 50, NULL, wa.left, waMidY - 25 },
        { "wider than the area, low side passes, high side corrects", farOwner, NULL, WS_POPUP, wide, 50, NULL,
          farMid - wide / 2 >= wa.left ? wa.right - wide : wa.left, 200 - 25 },
        { "child in its parent", NULL, NULL, WS_CHILD, 100, 50, parent, 200 - 50, 150 - 25 },
        { "child over a sibling", NULL, sibling, WS_CHILD, 40, 20, parent, 70 - 20, 60 - 10 },
        { "child kept inside the parent", NULL, sibling, WS_CHILD, 200, 100, parent, 0, 10 },
    };
    for (const Row &r : rows) {
        WCONTEXT("%s", r.what);
        HWND h = MakeWindow(r.style, 5, 5, r.w, r.h, r.parent ? r.parent : r.owner);
        WREQUIRE(h);
        CenterWindow(r.centre, h);
        RECT rc = Rect(h);
        if (r.style & WS_CHILD)
            MapWindowPoints(NULL, r.parent, (POINT *)&rc, 2);
        WCHECK_EQ(r.x, rc.left);
        WCHECK_EQ(r.y, rc.top);
        WCHECK_EQ(r.w, rc.right - rc.left);   /* position only */
        DestroyWindow(h);
    }
}

WTEST(help_path_is_the_program_path_with_hlp)
{
    SetAppInstance(Self());
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, self, sizeof self);
    WREQUIRE(n > 3 && n < MAX_PATH);
    std::string expect = std::string(self, n - 3) + "HLP";
    WCHECK_STR(expect, GetHelpFilePath());
    WCHECK(GetHelpFilePath() == GetHelpFilePath());   /* one buffer, rebuilt each time */

    std::string long259(MAX_PATH - 1, 'p');
    FakePath rows[] = {
        { "", 0, false },              /* no path: nothing */
        { "C:\\dir\\prog.exe", 16, false },
        { "C:\\dir\\PROG.bin", 15, false },
        { "x.e", 3, false },           /* as long as the extension */
        { "ab", 2, false },            /* shorter than the extension */
        { long259.c_str(), MAX_PATH - 1, false },
        { NULL, 0, true },             /* truncated: full buffer, no terminator */
    };
    const char *expected[] = {
        "", "C:\\dir\\prog.HLP", "C:\\dir\\PROG.HLP", "HLP", "HLP", NULL, NULL,
    };
    ImportHook hook("kernel32.dll", "GetModuleFileNameA", (void *)FakeModuleFileName);
    WREQUIRE(hook.Installed());
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; i++) {
        WCONTEXT("row %u", (unsigned)i);
        g_fake = rows[i];
        std::string got = GetHelpFilePath();
        WCHECK_EQ(MAX_PATH, g_fakeSize);
        if (expected[i]) {
            WCHECK_STR(expected[i], got);
        } else {
            WCHECK_EQ(MAX_PATH - 1, got.size());
            WCHECK_STR("HLP", got.substr(got.size() - 3));
        }
    }
}

WTEST(main_window_fits_panel_and_is_centred)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    WREQUIRE(app.Start());
    HWND main = app.Main(), panel = app.Panel();
    WREQUIRE(main && panel);
    RECT client, panelRc, mainRc, screen;
    GetClientRect(main, &client);
    GetWindowRect(panel, &panelRc);
    GetWindowRect(main, &mainRc);
    GetWindowRect(GetDesktopWindow(), &screen);
    WCHECK_EQ(panelRc.right - panelRc.left, client.right);
    WCHECK_EQ(panelRc.bottom - panelRc.top, client.bottom);
    RECT wa = WorkArea();
    int w = mainRc.right - mainRc.left, h = mainRc.bottom - mainRc.top;
    int x = (screen.left + screen.right) / 2 - w / 2, y = (screen.top + screen.bottom) / 2 - h / 2;
    if (x < wa.left) x = wa.left; else if (x + w > wa.right) x = wa.right - w;
    if (y < wa.top) y = wa.top; else if (y + h > wa.bottom) y = wa.bottom - h;
    WCHECK_EQ(x, mainRc.left);
    WCHECK_EQ(y, mainRc.top);
    LONG style = GetWindowLongA(main, GWL_STYLE);
    WCHECK_EQ(WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_MAXIMIZEBOX));
    WCHECK(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    WCHECK_STR(AppString(IDS_APP_TITLE), WindowText(main));
    WCHECK(GetMenu(main) != NULL);
    WCHECK_EQ(0, app.CloseAndRun());
}

WTEST(f1_and_shift_f1_reach_help_alt_f1_does_not)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    WREQUIRE(app.Start());
    HWND main = app.Main(), panel = app.Panel();
    WREQUIRE(main && panel);
    HWND button = GetDlgItem(panel, IDC_PORT1_EXECUTE);
    g_helpCommands = g_f1Down = g_f1Up = g_sysDown = 0;
    g_mainProc = (WNDPROC)SetWindowLongPtrA(main, GWLP_WNDPROC, (LONG_PTR)RecordingMain);
    g_buttonProc = (WNDPROC)SetWindowLongPtrA(button, GWLP_WNDPROC, (LONG_PTR)RecordingButton);
    SetForegroundWindow(main);
    SetFocus(button);
    WREQUIRE(GetFocus() == button);
    g_f1Main = main;
    HANDLE driver = CreateThread(NULL, 0, DriveF1, NULL, 0, NULL);
    WCHECK_EQ(0, RunMessageLoop());   /* the program's own loop, until the driver closes */
    WaitForSingleObject(driver, 10000);
    CloseHandle(driver);
    WCHECK(g_f1.steps[0]);            /* F1 */
    WCHECK(g_f1.steps[1]);            /* Shift+F1 */
    WCHECK(g_f1.steps[2]);
    WCHECK_EQ(3, g_f1.afterAlt);      /* F1, Shift+F1 and the marker; not Alt+F1 */
    WCHECK_EQ(0, g_f1Down);           /* the key itself went no further */
    WCHECK(g_f1Up >= 3);
    WCHECK(g_sysDown >= 1);           /* Alt+F1 went the ordinary way */
}

WTEST(panel_forwards_help_command_to_main_window)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    WREQUIRE(app.Start());
    HWND main = app.Main(), panel = app.Panel();
    WREQUIRE(main && panel);
    g_helpCommands = 0;
    g_mainProc = (WNDPROC)SetWindowLongPtrA(main, GWLP_WNDPROC, (LONG_PTR)RecordingMain);
    SendMessageA(panel, WM_COMMAND, IDM_HELP_TOPICS, 0);
    WCHECK_EQ(1, g_helpCommands);
    SetWindowLongPtrA(main, GWLP_WNDPROC, (LONG_PTR)g_mainProc);
    WCHECK_EQ(0, app.CloseAndRun());
}

WTEST(about_box_shows_versions)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    WREQUIRE(app.Start());
    g_about = AboutSeen();
    {
        BoxWatcher watcher(GetCurrentThreadId(), 0, NULL, ReadAbout);
        SendMessageA(app.Main(), WM_COMMAND, IDM_ABOUT, 0);
    }
    WCHECK_STR("00010000", g_about.dll);
    WCHECK_STR("00020001", g_about.drv);
    WCHECK_STR(Utf8ToAnsi("このﾌﾟﾛｸﾞﾗﾑについて"), g_about.caption);
    WCHECK(g_about.cancelled);   /* Esc and the close box end it as well */
    /* Centred over the main window. */
    RECT m = Rect(app.Main());
    int w = g_about.rc.right - g_about.rc.left, h = g_about.rc.bottom - g_about.rc.top;
    WCHECK_EQ((m.left + m.right) / 2 - w / 2, g_about.rc.left);
    WCHECK_EQ((m.top + m.bottom) / 2 - h / 2, g_about.rc.top);
    WCHECK_EQ(0, app.CloseAndRun());
}

WTEST(about_box_without_library_shows_zeros)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    ImportHook noLib("kernel32.dll", "LoadLibraryA", (void *)NoLibrary);
    g_about = AboutSeen();
    BoxWatcher watcher(GetCurrentThreadId(), 0, NULL, ReadAbout);   /* answers 802, then reads About */
    WREQUIRE(app.Start());
    SendMessageA(app.Main(), WM_COMMAND, IDM_ABOUT, 0);
    WCHECK_STR("00000000", g_about.dll);
    WCHECK_STR("00000000", g_about.drv);
    WCHECK_EQ(0, app.CloseAndRun());
}

WTEST(unknown_commands_do_nothing_exit_posts_close)
{
    AppFixture app;
    WREQUIRE(app.simOk);
    WREQUIRE(app.Start());
    HWND main = app.Main();
    for (WPARAM id : { (WPARAM)0, (WPARAM)1, (WPARAM)2, (WPARAM)12345, (WPARAM)MAKEWPARAM(IDM_ABOUT + 1, 1) }) {
        WCONTEXT("command %lu", (unsigned long)id);
        WCHECK_EQ(0, SendMessageA(main, WM_COMMAND, id, 0));
        WCHECK(IsWindow(main));
    }
    WCONTEXT("");
    /* Exit posts WM_CLOSE: the window is still there when the command returns. */
    WCHECK_EQ(0, SendMessageA(main, WM_COMMAND, IDM_EXIT, 0));
    WCHECK(IsWindow(main));
    WCHECK_EQ(0, RunMessageLoop());
    WCHECK(!IsWindow(main));
}

int main(int argc, char **argv) { return WTestMain(argc, argv); }
