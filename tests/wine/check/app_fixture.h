/*
 * app_fixture.h - the check program started in-process from its real
 * resources (linked into the test program): main window, panel, library.
 */
#ifndef APP_FIXTURE_H
#define APP_FIXTURE_H

#include "check_fixture.h"
#include "shell.h"
#include "binding.h"
#include "panel.h"
#include "led.h"
#include "resource.h"

inline HINSTANCE Self(void) { return GetModuleHandleA(NULL); }

/* Resets the simulator to the given boards; Start() runs the program's own
 * start-up; the end of the scope tears everything down and checks that no
 * board was left open. */
struct AppFixture {
    explicit AppFixture(DWORD boardMask = VANTRISIM_DEFAULT_BOARD_MASK)
    {
        simOk = SimResetBoards(boardMask) != 0;
        DrainQuit();
    }
    ~AppFixture()
    {
        if (GetMainWindow() && IsWindow(GetMainWindow()))
            DestroyWindow(GetMainWindow());
        DrainQuit();
        SetMainWindow(NULL);
        LibFree();
        UnregisterClassA("vantri", Self());
        UnregisterClassA(LED_CLASS_NAME, Self());
        WCHECK(GetModuleHandleA("vantri.dll") == NULL);
        WCHECK_EQ(0, SimOpenTotal());
        VantriSimClearFaults();
    }
    BOOL Start(int show = SW_SHOWNORMAL) { return InitInstance(Self(), show); }
    HWND Main() const { return GetMainWindow(); }
    HWND Panel() const { return Main() ? FindWindowExA(Main(), NULL, "#32770", NULL) : NULL; }
    DeviceList *List() const { return Panel() ? (DeviceList *)GetPropA(Panel(), "PropCtrl") : NULL; }
    /* Closes the main window the way the user does and runs the program's
     * loop until it ends; returns its exit code. */
    WPARAM CloseAndRun()
    {
        PostMessageA(Main(), WM_CLOSE, 0, 0);
        return RunMessageLoop();
    }
    bool simOk = false;
};

/* Export calls counted through the binding: GetProcAddress hands out
 * counting wrappers for VantriCreate and VantriClose. */
struct ExportCounter {
    static int &Creates() { static int n; return n; }
    static std::vector<DWORD> &Closes() { static std::vector<DWORD> v; return v; }
    static FARPROC (WINAPI *&Real())(HMODULE, LPCSTR) { static FARPROC (WINAPI *p)(HMODULE, LPCSTR); return p; }
    static BOOL (WINAPI *&RealCreate())(WORD *) { static BOOL (WINAPI *p)(WORD *); return p; }
    static BOOL (WINAPI *&RealClose())(DWORD) { static BOOL (WINAPI *p)(DWORD); return p; }

    static BOOL WINAPI Create(WORD *p) { Creates()++; return RealCreate()(p); }
    static BOOL WINAPI Close(DWORD d) { Closes().push_back(d); return RealClose()(d); }
    static FARPROC WINAPI GetProc(HMODULE h, LPCSTR name)
    {
        FARPROC f = Real()(h, name);
        if (f && !IS_INTRESOURCE(name) && strcmp(name, "VantriCreate") == 0) {
            RealCreate() = (BOOL (WINAPI *)(WORD *))f;
            return (FARPROC)Create;
        }
        if (f && !IS_INTRESOURCE(name) && strcmp(name, "VantriClose") == 0) {
            RealClose() = (BOOL (WINAPI *)(DWORD))f;
            return (FARPROC)Close;
        }
        return f;
    }

    ImportHook hook;
    ExportCounter() : hook("kernel32.dll", "GetProcAddress", (void *)GetProc)
    {
        Creates() = 0;
        Closes().clear();
        Real() = (FARPROC (WINAPI *)(HMODULE, LPCSTR))hook.Original();
    }
};

#endif /* APP_FIXTURE_H */
