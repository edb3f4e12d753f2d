/* Runs of the real vantri-check.exe on the simulator: one copy per desktop,
 * the show command from the start-up information, the three ways to end it,
 * and a release failure reported while it ends. Everything is acted on from
 * outside, so each step polls for its effect with a deadline. */
#include "app_fixture.h"

namespace {

std::string Exe(void) { return ProgramDir() + "vantri-check.exe"; }

constexpr DWORD kStartMs = 20000;
constexpr DWORD kExitMs = 20000;

bool PostTo(HWND h, UINT m, WPARAM w, LPARAM l) { return PostMessageA(h, m, w, l) != 0; }

struct Scenario { const char *what; UINT msg; WPARAM wParam; LPARAM lParam; };

} // namespace

WTEST(second_copy_ends_at_once_without_a_window)
{
    WREQUIRE(SimResetBoards(VANTRISIM_DEFAULT_BOARD_MASK));
    RunningProgram first, second;
    WREQUIRE(first.Start(Exe()));
    HWND main = first.WaitForMainWindow(kStartMs);
    WREQUIRE(main);
    WCHECK(WaitUntil([] { return SimOpenTotal() == 3; }));
    WREQUIRE(second.Start(Exe()));
    DWORD code = 99;
    WCHECK(second.WaitExit(kExitMs, &code));
    WCHECK_EQ(0, code);
    WCHECK(FindWindowA("vantri", NULL) == main);   /* the first is left as it was */
    WCHECK_EQ(3, SimOpenTotal());                  /* the second opened nothing */
    WCHECK(PostTo(main, WM_COMMAND, IDM_EXIT, 0));
    WCHECK(first.WaitExit(kExitMs, &code));
    WCHECK_EQ(0, code);
    WCHECK(WaitUntil([] { return SimOpenTotal() == 0; }));
}

WTEST(exit_alt_f4_and_close_box_end_with_zero_and_every_board_closed)
{
    const Scenario rows[] = {
        { "menu Exit", WM_COMMAND, IDM_EXIT, 0 },
        { "Alt+F4", WM_SYSKEYDOWN, VK_F4, (LPARAM)(0x20000000 | (0x3E << 16) | 1) },
        { "close box", WM_SYSCOMMAND, SC_CLOSE, 0 },
    };
    for (const Scenario &s : rows) {
        WCONTEXT("%s", s.what);
        WREQUIRE(SimResetBoards(VANTRISIM_DEFAULT_BOARD_MASK));
        RunningProgram app;
        WREQUIRE(app.Start(Exe()));
        HWND main = app.WaitForMainWindow(kStartMs);
        WREQUIRE(main);
        WCHECK(WaitUntil([] { return SimOpenTotal() == 3; }));
        VantriSimClearLog();
        WCHECK(PostTo(main, s.msg, s.wParam, s.lParam));
        DWORD code = 99;
        WCHECK(app.WaitExit(kExitMs, &code));
        WCHECK_EQ(0, code);
        WCHECK_STR("0,1,2", BoardList(SimBoardsOf(IOCTL_VANTRI_CLOSE)));
        WCHECK_EQ(0, SimOpenTotal());
    }
}

WTEST(show_command_comes_from_startup_info)
{
    struct Row { const char *what; DWORD flags; WORD show; bool iconic; } rows[] = {
        { "minimised on request", STARTF_USESHOWWINDOW, SW_SHOWMINNOACTIVE, true },
        { "no request: default", 0, SW_SHOWMINNOACTIVE, false },
    };
    for (const Row &r : rows) {
        WCONTEXT("%s", r.what);
        WREQUIRE(SimResetBoards(VANTRISIM_DEFAULT_BOARD_MASK));
        RunningProgram app;
        WREQUIRE(app.Start(Exe(), r.flags, r.show));
        HWND main = app.WaitForMainWindow(kStartMs);
        WREQUIRE(main);
        WCHECK_EQ(r.iconic, IsIconic(main) != 0);
        WCHECK(PostTo(main, WM_COMMAND, IDM_EXIT, 0));
        DWORD code = 99;
        WCHECK(app.WaitExit(kExitMs, &code));
        WCHECK_EQ(0, code);
        WCHECK(WaitUntil([] { return SimOpenTotal() == 0; }));
    }
}

WTEST(any_command_line_is_passed_over)
{
    /* The program takes no arguments; whatever follows its name, quoted or
     * not, it starts and ends as usual. */
    std::string exe = Exe();
    std::string dir = exe.substr(0, exe.find_last_of('\\') + 1);
    const std::string rows[] = {
        "\"" + exe + "\"   /x \"unterminated",
        "\"" + exe + "\"",
        "vantri-check.exe\t\t-a -b \"c d\"",
        "vantri-check.exe",
        "\"" + exe + std::string(600, 'z'),   /* the quote never closes */
    };
    for (const std::string &line : rows) {
        WCONTEXT("%.60s", line.c_str());
        WREQUIRE(SimResetBoards(VANTRISIM_DEFAULT_BOARD_MASK));
        RunningProgram app;
        WREQUIRE(app.Start(exe, 0, 0, dir, line));
        HWND main = app.WaitForMainWindow(kStartMs);
        WREQUIRE(main);
        WCHECK(PostTo(main, WM_COMMAND, IDM_EXIT, 0));
        DWORD code = 99;
        WCHECK(app.WaitExit(kExitMs, &code));
        WCHECK_EQ(0, code);
        WCHECK(WaitUntil([] { return SimOpenTotal() == 0; }));
    }
}

WTEST(release_failure_box_stays_up_until_answered_then_program_ends)
{
    WREQUIRE(SimResetBoards(VANTRISIM_DEFAULT_BOARD_MASK));
    RunningProgram app;
    WREQUIRE(app.Start(Exe()));
    HWND main = app.WaitForMainWindow(kStartMs);
    WREQUIRE(main);
    WCHECK(WaitUntil([] { return SimOpenTotal() == 3; }));
    VantriSimClearLog();
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_STATUS, 0, 0x1234, 1));
    std::vector<SeenBox> seen;
    {
        BoxWatcher boxes(app.pi.dwThreadId, 1500, [] { return BoardList(SimBoardsOf(IOCTL_VANTRI_CLOSE)); });
        WCHECK(PostTo(main, WM_COMMAND, IDM_EXIT, 0));
        WCHECK(WaitUntil([&] { return boxes.Count() >= 1; }, kExitMs));
        DWORD code = 99;
        WCHECK(app.WaitExit(kExitMs, &code));   /* ends once the box is answered */
        WCHECK_EQ(0, code);
        seen = boxes.Boxes();
    }
    WREQUIRE(seen.size() == 1);
    WCHECK_STR("vantri", seen[0].caption);
    WCHECK_STR(AppString(IDS_CLOSE_FAILED), seen[0].text);
    WCHECK(seen[0].visible);
    WCHECK(seen[0].stayedUp);
    WCHECK_STR("0,1", seen[0].noteDuringHold);   /* board 2 not closed by the panel */
    WCHECK_STR("0,1,1,2", BoardList(SimBoardsOf(IOCTL_VANTRI_CLOSE)));   /* the unload closed the rest */
    WCHECK_EQ(0, SimOpenTotal());
}

/* Copies a window's screen area into a 24-bit .bmp file. */
static bool SaveWindowBitmap(HWND hwnd, const std::string &path, bool *blank)
{
    RECT rc;
    GetWindowRect(hwnd, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    if (w <= 0 || h <= 0)
        return false;
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, rc.left, rc.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    int stride = (w * 3 + 3) & ~3;
    std::vector<BYTE> bits(stride * h);
    GetDIBits(mem, bmp, 0, h, bits.data(), (BITMAPINFO *)&bi, DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
    *blank = true;
    for (BYTE b : bits) if (b) { *blank = false; break; }
    BITMAPFILEHEADER bf = {};
    bf.bfType = 0x4D42;
    bf.bfOffBits = sizeof bf + sizeof bi;
    bf.bfSize = bf.bfOffBits + (DWORD)bits.size();
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    fwrite(&bf, sizeof bf, 1, f);
    fwrite(&bi, sizeof bi, 1, f);
    fwrite(bits.data(), 1, bits.size(), f);
    fclose(f);
    return true;
}

/* For people: the main window on the simulator's three boards, saved as
 * <build>/screenshots/main-window.bmp (tests/wine/check/screenshot.sh
 * turns it into a .png). */
WTEST(screenshot_of_main_window)
{
    char build[MAX_PATH];
    if (!GetEnvironmentVariableA("VANTRI_BUILD", build, sizeof build)) {
        printf("  VANTRI_BUILD not set: no screenshot\n");
        return;
    }
    std::string dir = std::string("Z:") + build + "/screenshots";
    for (char &c : dir) if (c == '/') c = '\\';
    CreateDirectoryA(dir.c_str(), NULL);
    WREQUIRE(SimResetBoards(VANTRISIM_DEFAULT_BOARD_MASK));
    RunningProgram app;
    WREQUIRE(app.Start(Exe()));
    HWND main = app.WaitForMainWindow(kStartMs);
    WREQUIRE(main);
    HWND panel = FindWindowExA(main, NULL, "#32770", NULL);
    WCHECK(WaitUntil([&] { return ItemText(panel, IDC_BOARD_NAME) == "Vantri-K2(Device  0)"; }));
    SetForegroundWindow(main);
    bool blank = true;
    std::string path = dir + "\\main-window.bmp";
    WCHECK(WaitUntil([&] { return SaveWindowBitmap(main, path, &blank) && !blank; }, 5000));
    Sleep(300);   /* one more copy once every control has painted */
    WCHECK(SaveWindowBitmap(main, path, &blank) && !blank);
    printf("  screenshot: %s\n", path.c_str());
    WCHECK(PostTo(main, WM_COMMAND, IDM_EXIT, 0));
    DWORD code = 99;
    WCHECK(app.WaitExit(kExitMs, &code));
    WCHECK_EQ(0, code);
}

int main(int argc, char **argv) { return WTestMain(argc, argv); }
