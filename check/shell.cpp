/* shell.cpp - the frame of the check program: start-up, the main window that
 * holds the panel, the message loop, the menu commands, the About box, the
 * help file path, window centring and the program-wide accessors. */
#include "shell.h"
#include "classreg.h"
#include "binding.h"
#include "led.h"
#include "panel.h"
#include "resources/resource.h"

namespace {

constexpr char kAppClassName[]    = "vantri";
constexpr char kDialogClassName[] = "#32770";
constexpr int  kTitleChars        = 100;
constexpr int  kHelpExtChars      = 5;
constexpr int  kClassNameChars    = 16;
constexpr int  kVersionFmtChars   = 30;
constexpr int  kVersionTextChars  = 32;

struct ShellState {
    HINSTANCE hInstance;
    HWND      hwndMain;            /* stored once its creation has returned */
    char      szHelpPath[MAX_PATH];
};

ShellState g_shell;

/* ---- Main window ------------------------------------------------------ */

LRESULT OnMainCreate(HWND hwnd)
{
    HWND hwndPanel = CreateDialogParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_PANEL),
                                        hwnd, PanelDlgProc, 0);
    /* A panel that destroyed itself while initialising is no panel. */
    if (!hwndPanel || !IsWindow(hwndPanel))
        return -1;

    /* Client edge and dialog frame on each side, caption and a one-line
     * menu bar on top: the client area comes out at the panel's size. */
    RECT rc;
    GetWindowRect(hwndPanel, &rc);
    rc.right += 2 * (GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXDLGFRAME));
    rc.bottom += GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYMENU)
               + 2 * (GetSystemMetrics(SM_CYEDGE) + GetSystemMetrics(SM_CYDLGFRAME));
    MoveWindow(hwnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, FALSE);
    CenterWindow(GetDesktopWindow(), hwnd);
    return 0;
}

void OnHelpTopics(HWND hwnd)
{
    WinHelpA(hwnd, GetHelpFilePath(), HELP_FINDER, 0);
}

void OnAbout(HWND hwnd)
{
    DialogBoxParamA(GetAppInstance(), MAKEINTRESOURCEA(IDD_ABOUT), hwnd,
                    AboutDlgProc, (LPARAM)hwnd);
}

LRESULT OnMainCommand(HWND hwnd, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDM_HELP_TOPICS: OnHelpTopics(hwnd); break;
    case IDM_EXIT:        PostMessageA(hwnd, WM_CLOSE, 0, 0); break;
    case IDM_ABOUT:       OnAbout(hwnd); break;
    default:              break;
    }
    return 0;
}

/* The quit message waits until the whole window tree is gone: the panel is
 * destroyed after the main window's WM_DESTROY, and a message box it shows
 * then would end at once if WM_QUIT were already pending. A main window
 * whose creation failed never ran the loop and posts nothing. */
LRESULT OnMainNcDestroy(HWND hwnd, WPARAM wParam, LPARAM lParam)
{
    if (hwnd == GetMainWindow()) {
        SetMainWindow(NULL);
        PostQuitMessage(0);
    }
    return DefWindowProcA(hwnd, WM_NCDESTROY, wParam, lParam);
}

/* ---- About box -------------------------------------------------------- */

void SetVersionText(HWND hwnd, int id, LPCSTR pszFormat, DWORD dwVersion)
{
    char text[kVersionTextChars];
    wsprintfA(text, pszFormat, dwVersion);
    SetDlgItemTextA(hwnd, id, text);
}

INT_PTR OnAboutInitDialog(HWND hwnd, LPARAM lParam)
{
    CenterWindow((HWND)lParam, hwnd);
    char format[kVersionFmtChars];
    if (!LoadStringA(GetAppInstance(), IDS_FMT_VERSION, format, sizeof format))
        format[0] = '\0';
    DWORD dwDllVersion = 0, dwDriverVersion = 0;
    LibGetVersion(&dwDllVersion, &dwDriverVersion);
    SetVersionText(hwnd, IDC_DLL_VERSION, format, dwDllVersion);
    SetVersionText(hwnd, IDC_DRV_VERSION, format, dwDriverVersion);
    return TRUE;
}

INT_PTR OnAboutCommand(HWND hwnd, WPARAM wParam)
{
    if (wParam != IDOK && wParam != IDCANCEL)
        return FALSE;
    EndDialog(hwnd, 1);
    return TRUE;
}

} // namespace

/* ---- Accessors ---------------------------------------------------------- */

HINSTANCE GetAppInstance(void)           { return g_shell.hInstance; }
void      SetAppInstance(HINSTANCE h)    { g_shell.hInstance = h; }
HWND      GetMainWindow(void)            { return g_shell.hwndMain; }
void      SetMainWindow(HWND hwnd)       { g_shell.hwndMain = hwnd; }
LPCSTR    GetAppClassName(void)          { return kAppClassName; }
LPCSTR    GetDialogClassName(void)       { return kDialogClassName; }

/* The program's own path with the extension of string 3 over its last
 * characters. Never writes past the buffer: a path that cannot be had reads
 * as empty, a truncated one is cut at the buffer's end, and one shorter than
 * the extension is replaced by the extension alone. */
LPSTR GetHelpFilePath(void)
{
    char ext[kHelpExtChars];
    int extLen = LoadStringA(GetAppInstance(), IDS_HELP_EXT, ext, sizeof ext);
    if (extLen <= 0) {
        ext[0] = '\0';
        extLen = 0;
    }
    LPSTR path = g_shell.szHelpPath;
    DWORD got = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (got == 0) {
        path[0] = '\0';
        return path;
    }
    path[MAX_PATH - 1] = '\0';
    int pathLen = lstrlenA(path);
    int at = pathLen >= extLen ? pathLen - extLen : 0;
    lstrcpynA(path + at, ext, MAX_PATH - at);
    return path;
}

void CenterWindow(HWND hwndCenter, HWND hwndMove)
{
    LONG style = GetWindowLongA(hwndMove, GWL_STYLE);
    if (!hwndCenter)
        hwndCenter = (style & WS_CHILD) ? GetParent(hwndMove) : GetWindow(hwndMove, GW_OWNER);

    RECT rcWindow = { 0, 0, 0, 0 };
    if (!GetWindowRect(hwndMove, &rcWindow))
        return;
    int w = rcWindow.right - rcWindow.left;
    int h = rcWindow.bottom - rcWindow.top;

    RECT rcArea = { 0, 0, 0, 0 }, rcCenter = { 0, 0, 0, 0 };
    if (style & WS_CHILD) {
        HWND hwndParent = GetParent(hwndMove);
        GetClientRect(hwndParent, &rcArea);
        GetClientRect(hwndCenter, &rcCenter);
        MapWindowPoints(hwndCenter, hwndParent, (POINT *)&rcCenter, 2);
    } else {
        if (hwndCenter) {
            LONG centerStyle = GetWindowLongA(hwndCenter, GWL_STYLE);
            if (!(centerStyle & WS_VISIBLE) || (centerStyle & WS_MINIMIZE))
                hwndCenter = NULL;
        }
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &rcArea, 0);
        if (hwndCenter)
            GetWindowRect(hwndCenter, &rcCenter);
        else
            rcCenter = rcArea;
    }

    /* Signed halvings that truncate toward zero: -3..0 has its middle at -1. */
    int x = (rcCenter.left + rcCenter.right) / 2 - w / 2;
    int y = (rcCenter.top + rcCenter.bottom) / 2 - h / 2;
    if (x < rcArea.left)
        x = rcArea.left;
    else if (x + w > rcArea.right)
        x = rcArea.right - w;
    if (y < rcArea.top)
        y = rcArea.top;
    else if (y + h > rcArea.bottom)
        y = rcArea.bottom - h;
    SetWindowPos(hwndMove, NULL, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

/* ---- Start-up ----------------------------------------------------------- */

BOOL RegisterMainClass(HINSTANCE hInstance)
{
    WNDCLASSEXA wcx;
    wcx.cbSize        = sizeof wcx;
    wcx.style         = CS_HREDRAW | CS_VREDRAW;
    wcx.lpfnWndProc   = MainWndProc;
    wcx.cbClsExtra    = 0;
    wcx.cbWndExtra    = 0;
    wcx.hInstance     = hInstance;
    wcx.hIcon         = LoadIconA(hInstance, MAKEINTRESOURCEA(IDI_MAIN));
    wcx.hCursor       = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wcx.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wcx.lpszMenuName  = MAKEINTRESOURCEA(IDR_MAINMENU);
    wcx.lpszClassName = kAppClassName;
    wcx.hIconSm       = NULL;
    return RegisterClassWithFallback(&wcx);
}

BOOL CreateMainWindow(HINSTANCE hInstance, int nCmdShow)
{
    char title[kTitleChars];
    if (!LoadStringA(hInstance, IDS_APP_TITLE, title, sizeof title))
        title[0] = '\0';
    HWND hwnd = CreateWindowExA(WS_EX_CLIENTEDGE, kAppClassName, title,
                                WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                90, 90, 600, 500, NULL, NULL, hInstance, NULL);
    if (!hwnd)
        return FALSE;
    SetMainWindow(hwnd);
    ShowWindow(hwnd, nCmdShow);
    UpdateWindow(hwnd);
    return TRUE;
}

BOOL InitInstance(HINSTANCE hInstance, int nCmdShow)
{
    /* One copy per desktop; the running one is left alone. */
    if (FindWindowA(kAppClassName, NULL))
        return FALSE;
    SetAppInstance(hInstance);
    if (!RegisterMainClass(hInstance))
        return FALSE;
    RegisterLedClass(hInstance);
    return CreateMainWindow(hInstance, nCmdShow);
}

BOOL IsDialogChild(HWND hwnd)
{
    HWND hwndParent = GetParent(hwnd);
    if (!hwndParent)
        return FALSE;
    char name[kClassNameChars];
    if (!GetClassNameA(hwndParent, name, sizeof name))
        return FALSE;
    name[kClassNameChars - 1] = '\0';
    return lstrcmpA(name, kDialogClassName) == 0;
}

WPARAM RunMessageLoop(void)
{
    MSG msg;
    for (;;) {
        BOOL got = GetMessageA(&msg, NULL, 0, 0);
        if (got == 0)
            return msg.wParam;
        if (got == -1)
            return 0;
        /* F1 anywhere is the help command; the key itself goes no further. */
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1) {
            PostMessageA(GetMainWindow(), WM_COMMAND, IDM_HELP_TOPICS, 0);
            continue;
        }
        if (IsDialogChild(msg.hwnd) && IsDialogMessageA(GetParent(msg.hwnd), &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int nCmdShow)
{
    if (!InitInstance(hInstance, nCmdShow))
        return 0;
    return (int)RunMessageLoop();
}

/* ---- Window procedures -------------------------------------------------- */

LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:    return OnMainCreate(hwnd);
    case WM_DESTROY:   return 0;
    case WM_NCDESTROY: return OnMainNcDestroy(hwnd, wParam, lParam);
    case WM_COMMAND:   return OnMainCommand(hwnd, wParam);
    default:           return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: return OnAboutInitDialog(hwnd, lParam);
    case WM_COMMAND:    return OnAboutCommand(hwnd, wParam);
    default:            return FALSE;
    }
}
