/*
 * check_fixture.h - helpers shared by the check program's Wine tests:
 * the simulator (reset, log, open counts), message pumping with deadlines,
 * import-table hooks on the test program itself, a watcher thread that finds,
 * reads and dismisses message boxes, and runs of the real program.
 */
#ifndef CHECK_FIXTURE_H
#define CHECK_FIXTURE_H

#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "wtest.h"
#include "vantrisim_client.h"
#include "vantri_protocol.h"

/* Compares with a std::string that lives until the check is done. */
#define WCHECK_STR(expected, actualStr) do { \
    std::string wt_x = (expected), wt_s = (actualStr); \
    if (wt_x != wt_s) { char wt_b[700]; \
        snprintf(wt_b, sizeof wt_b, "%s == %s: expected \"%s\", got \"%s\"", #expected, #actualStr, \
                 wt_x.c_str(), wt_s.c_str()); \
        WTestFail(__FILE__, __LINE__, wt_b); } } while (0)

/* ---- Simulator ---------------------------------------------------------- */

inline BOOL SimResetBoards(DWORD mask)
{
    VantriSimConfig cfg;
    VantriSimDefaultConfig(&cfg);
    cfg.dwBoardMask = mask;
    return VantriSimReset(&cfg);
}

inline DWORD SimOpenTotal(void)
{
    VantriSimStatus st;
    if (!VantriSimGetStatus(&st))
        return 0xFFFFFFFF;
    DWORD n = 0;
    for (int i = 0; i < VANTRISIM_MAX_BOARDS; i++)
        n += st.dwOpenCount[i];
    return n;
}

inline DWORD SimOpenCount(DWORD board)
{
    VantriSimStatus st;
    if (!VantriSimGetStatus(&st))
        return 0xFFFFFFFF;
    return st.dwOpenCount[board];
}

inline std::vector<VantriSimLogEntry> SimLog(void)
{
    std::vector<VantriSimLogEntry> v(VANTRISIM_LOG_CAPACITY);
    int n = VantriSimReadLog(v.data(), (int)v.size());
    v.resize(n < 0 ? 0 : n);
    return v;
}

/* Boards named by the requests of one code, in log order. */
inline std::vector<DWORD> SimBoardsOf(DWORD code)
{
    std::vector<DWORD> boards;
    for (const VantriSimLogEntry &e : SimLog())
        if (e.dwCode == code)
            boards.push_back(e.dwBoard);
    return boards;
}

inline std::string BoardList(const std::vector<DWORD> &v)
{
    std::string s;
    for (DWORD b : v) {
        char t[16];
        snprintf(t, sizeof t, "%s%lu", s.empty() ? "" : ",", (unsigned long)b);
        s += t;
    }
    return s;
}

/* ---- Messages and time -------------------------------------------------- */

inline void PumpFor(DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    MSG msg;
    do {
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    } while ((LONG)(GetTickCount() - end) < 0);
}

/* Pumps this thread's messages until cond() holds or the deadline passes. */
template <typename Cond>
inline bool PumpUntil(Cond cond, DWORD timeoutMs = 5000)
{
    DWORD end = GetTickCount() + timeoutMs;
    MSG msg;
    for (;;) {
        if (cond())
            return true;
        if ((LONG)(GetTickCount() - end) >= 0)
            return cond();
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
    }
}

/* Waits (no pumping) until cond() holds or the deadline passes. */
template <typename Cond>
inline bool WaitUntil(Cond cond, DWORD timeoutMs = 5000)
{
    DWORD end = GetTickCount() + timeoutMs;
    while (!cond()) {
        if ((LONG)(GetTickCount() - end) >= 0)
            return cond();
        Sleep(10);
    }
    return true;
}

/* Removes a WM_QUIT left in this thread's queue, so a later modal loop works. */
inline void DrainQuit(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, WM_QUIT, WM_QUIT, PM_REMOVE)) { }
}

inline std::string WindowText(HWND hwnd)
{
    char buf[512];
    buf[0] = 0;
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

inline std::string ItemText(HWND hwnd, int id)
{
    char buf[512];
    buf[0] = 0;
    GetDlgItemTextA(hwnd, id, buf, sizeof buf);
    return buf;
}

/* A string from this program's own copy of the string table, in the ANSI
 * code page, as the program shows it. */
inline std::string AppString(UINT id)
{
    char buf[512];
    int n = LoadStringA(GetModuleHandleA(NULL), id, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

/* ---- Import-table hooks on the test program -------------------------------
 * The modules under test are linked into the test program, so their system
 * calls go through its import table: replacing an entry there lets a test
 * make one call fail or watch it. Restored when the hook goes out of scope. */
class ImportHook {
public:
    ImportHook(const char *dll, const char *function, void *replacement)
    {
        HMODULE self = GetModuleHandleA(NULL);
        BYTE *base = (BYTE *)self;
        IMAGE_NT_HEADERS *nt = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
        IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        IMAGE_IMPORT_DESCRIPTOR *d = (IMAGE_IMPORT_DESCRIPTOR *)(base + dir.VirtualAddress);
        for (; d->Name; d++) {
            if (lstrcmpiA((char *)(base + d->Name), dll) != 0)
                continue;
            IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + (d->OriginalFirstThunk ? d->OriginalFirstThunk : d->FirstThunk));
            IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + d->FirstThunk);
            for (; names->u1.AddressOfData; names++, slots++) {
                if (names->u1.Ordinal & IMAGE_ORDINAL_FLAG)
                    continue;
                IMAGE_IMPORT_BY_NAME *ibn = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
                if (strcmp((char *)ibn->Name, function) == 0) {
                    m_slot = (void **)&slots->u1.Function;
                    break;
                }
            }
        }
        if (m_slot) {
            m_original = *m_slot;
            Write(replacement);
        }
    }
    ~ImportHook() { if (m_slot) Write(m_original); }
    bool Installed() const { return m_slot != NULL; }
    void *Original() const { return m_original; }
private:
    void Write(void *value)
    {
        DWORD old;
        VirtualProtect(m_slot, sizeof(void *), PAGE_READWRITE, &old);
        *m_slot = value;
        VirtualProtect(m_slot, sizeof(void *), old, &old);
    }
    void **m_slot = NULL;
    void *m_original = NULL;
};

/* ---- Message boxes ---------------------------------------------------------
 * A watcher thread looks for dialog-class windows of one thread, records
 * each message box's caption and text, checks that it is still up after a
 * hold time, and answers it with OK. */
struct SeenBox {
    std::string caption;
    std::string text;
    bool visible = false;        /* visible when found */
    bool stayedUp = false;       /* still there and visible after the hold */
    std::string noteDuringHold;  /* what the onHold callback reported */
};

class BoxWatcher {
public:
    typedef std::string (*HoldFn)(void);
    typedef void (*AnswerFn)(HWND box);   /* answers the box in place of OK */

    explicit BoxWatcher(DWORD threadId, DWORD holdMs = 0, HoldFn onHold = NULL, AnswerFn answer = NULL)
        : m_threadId(threadId), m_holdMs(holdMs), m_onHold(onHold), m_answer(answer)
    {
        InitializeCriticalSection(&m_lock);
        m_stop = CreateEventA(NULL, TRUE, FALSE, NULL);
        m_thread = CreateThread(NULL, 0, ThreadProc, this, 0, NULL);
    }
    ~BoxWatcher()
    {
        SetEvent(m_stop);
        WaitForSingleObject(m_thread, 10000);
        CloseHandle(m_thread);
        CloseHandle(m_stop);
        DeleteCriticalSection(&m_lock);
    }
    std::vector<SeenBox> Boxes()
    {
        EnterCriticalSection(&m_lock);
        std::vector<SeenBox> copy = m_boxes;
        LeaveCriticalSection(&m_lock);
        return copy;
    }
    size_t Count() { return Boxes().size(); }

private:
    static BOOL CALLBACK FindBox(HWND hwnd, LPARAM lParam)
    {
        char cls[16];
        if (GetClassNameA(hwnd, cls, sizeof cls) && strcmp(cls, "#32770") == 0 && IsWindowVisible(hwnd)) {
            *(HWND *)lParam = hwnd;
            return FALSE;
        }
        return TRUE;
    }
    static BOOL CALLBACK FindText(HWND hwnd, LPARAM lParam)
    {
        char cls[16], text[512];
        if (GetClassNameA(hwnd, cls, sizeof cls) && lstrcmpiA(cls, "Static") == 0
            && GetWindowTextA(hwnd, text, sizeof text) > 0) {
            *(std::string *)lParam = text;
            return FALSE;
        }
        return TRUE;
    }
    static DWORD WINAPI ThreadProc(LPVOID p)
    {
        BoxWatcher *self = (BoxWatcher *)p;
        HWND last = NULL;
        while (WaitForSingleObject(self->m_stop, 10) == WAIT_TIMEOUT) {
            HWND box = NULL;
            EnumThreadWindows(self->m_threadId, FindBox, (LPARAM)&box);
            if (!box || box == last)
                continue;
            SeenBox seen;
            seen.caption = WindowText(box);
            EnumChildWindows(box, FindText, (LPARAM)&seen.text);
            seen.visible = IsWindowVisible(box) != 0;
            if (self->m_holdMs) {
                if (self->m_onHold)
                    seen.noteDuringHold = self->m_onHold();
                Sleep(self->m_holdMs);
            }
            seen.stayedUp = IsWindow(box) && IsWindowVisible(box);
            EnterCriticalSection(&self->m_lock);
            self->m_boxes.push_back(seen);
            LeaveCriticalSection(&self->m_lock);
            last = box;
            if (self->m_answer) {
                self->m_answer(box);
            } else if (IsWindow(box)) {
                DWORD_PTR r;
                SendMessageTimeoutA(box, WM_COMMAND, IDOK, 0, SMTO_NORMAL, 5000, &r);
            }
        }
        return 0;
    }

    DWORD m_threadId;
    DWORD m_holdMs;
    HoldFn m_onHold;
    AnswerFn m_answer;
    CRITICAL_SECTION m_lock;
    HANDLE m_stop = NULL;
    HANDLE m_thread = NULL;
    std::vector<SeenBox> m_boxes;
};

/* ---- Paths and runs of the real program ----------------------------------- */

/* Directory of this test program, with a trailing backslash. */
inline std::string ProgramDir(void)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    char *slash = strrchr(path, '\\');
    if (slash)
        slash[1] = 0;
    return path;
}

struct RunningProgram {
    PROCESS_INFORMATION pi = {};
    bool started = false;

    /* commandLine: the whole line handed to the program; by default its
     * quoted path alone. */
    bool Start(const std::string &exe, DWORD startFlags = 0, WORD show = 0,
               const std::string &dir = std::string(), const std::string &commandLine = std::string())
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = startFlags;
        si.wShowWindow = show;
        std::string cmd = commandLine.empty() ? "\"" + exe + "\"" : commandLine;
        std::vector<char> line(cmd.begin(), cmd.end());
        line.push_back(0);
        std::string cwd = dir;
        if (cwd.empty()) {
            cwd = exe.substr(0, exe.find_last_of('\\') + 1);
        }
        started = CreateProcessA(exe.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL,
                                 cwd.c_str(), &si, &pi) != 0;
        return started;
    }
    /* Top-level window of the given class that belongs to this process. */
    struct FindCtx { DWORD pid; const char *cls; HWND found; };
    static BOOL CALLBACK FindProc(HWND h, LPARAM l)
    {
        FindCtx *c = (FindCtx *)l;
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        char name[64];
        if (pid == c->pid && GetClassNameA(h, name, sizeof name) && strcmp(name, c->cls) == 0) {
            c->found = h;
            return FALSE;
        }
        return TRUE;
    }
    HWND FindWindowOfClass(const char *cls) const
    {
        FindCtx ctx = { pi.dwProcessId, cls, NULL };
        EnumWindows(FindProc, (LPARAM)&ctx);
        return ctx.found;
    }
    HWND WaitForMainWindow(DWORD timeoutMs = 15000) const
    {
        HWND h = NULL;
        WaitUntil([&] { h = FindWindowOfClass("vantri"); return h && IsWindowVisible(h); }, timeoutMs);
        return h;
    }
    bool WaitExit(DWORD timeoutMs, DWORD *code)
    {
        if (WaitForSingleObject(pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return false;
        GetExitCodeProcess(pi.hProcess, code);
        return true;
    }
    ~RunningProgram()
    {
        if (!started)
            return;
        if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) {
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 5000);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
};

#endif /* CHECK_FIXTURE_H */
