// test_lifecycle.cpp - load and unload of vantri.dll: the version cached in
// the machine-wide block, the attach count, closing what a process leaves
// open, refused loads, and the platform check.
#include "libtest.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

constexpr DWORD kErrorDllInitFailed = 1114;  // the loader's word for a refused load

void EventName(char *szName, size_t cch, const char *szWhat, const char *szTag)
{
    snprintf(szName, cch, "vantri-libtest-%s-%s", szWhat, szTag);
}

// The child's side of a held child: the events its parent made under the tag.
bool OpenHoldEvents(const char *szTag, HANDLE *phReady, HANDLE *phGo)
{
    char szReady[100], szGo[100];
    EventName(szReady, sizeof szReady, "ready", szTag);
    EventName(szGo, sizeof szGo, "go", szTag);
    *phReady = OpenEventA(EVENT_MODIFY_STATE, FALSE, szReady);
    *phGo = OpenEventA(SYNCHRONIZE, FALSE, szGo);
    return *phReady && *phGo;
}

// The parent's side: a child of this program, run in the given mode, that
// signals "ready" at the point the test looks at and then waits for the word
// to end. An unreleased child is let go and waited for when the test leaves.
class HeldChild {
public:
    explicit HeldChild(const char *szMode)
        : m_hReady(NULL), m_hGo(NULL), m_hChild(NULL)
    {
        char szTag[32], szReady[100], szGo[100];
        snprintf(szTag, sizeof szTag, "%lu", GetCurrentProcessId());
        EventName(szReady, sizeof szReady, "ready", szTag);
        EventName(szGo, sizeof szGo, "go", szTag);
        m_hReady = CreateEventA(NULL, TRUE, FALSE, szReady);
        m_hGo = CreateEventA(NULL, TRUE, FALSE, szGo);
        if (m_hReady && m_hGo)
            m_hChild = StartChild(szMode, szTag);
    }
    ~HeldChild()
    {
        if (m_hChild) {
            DWORD dwIgnored;
            Release(&dwIgnored);
        }
        if (m_hReady)
            CloseHandle(m_hReady);
        if (m_hGo)
            CloseHandle(m_hGo);
    }
    bool started() const { return m_hChild != NULL; }
    // True when the child reached its point, false when it ended first or took too long.
    bool WaitReady()
    {
        HANDLE waits[2] = {m_hReady, m_hChild};
        return WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
    }
    // Says the word and waits for the child to end; false when it did not in time.
    bool Release(DWORD *pdwExit)
    {
        *pdwExit = 99;
        if (!m_hChild)
            return false;
        SetEvent(m_hGo);
        bool ended = WaitForSingleObject(m_hChild, 20000) == WAIT_OBJECT_0;
        if (!ended)
            TerminateProcess(m_hChild, 99);
        GetExitCodeProcess(m_hChild, pdwExit);
        CloseHandle(m_hChild);
        m_hChild = NULL;
        return ended;
    }

private:
    HANDLE m_hReady, m_hGo, m_hChild;
};

int CountCode(const std::vector<VantriSimLogEntry> &log, DWORD dwCode)
{
    int n = 0;
    for (const VantriSimLogEntry &e : log)
        n += e.dwCode == dwCode;
    return n;
}

// Removes a per-program Windows version again when the test ends.
class AppDefaultsVersion {
public:
    AppDefaultsVersion(const char *szExe, const char *szVersion)
    {
        snprintf(m_szKey, sizeof m_szKey, "Software\\Wine\\AppDefaults\\%s", szExe);
        HKEY hKey;
        m_ok = RegCreateKeyExA(HKEY_CURRENT_USER, m_szKey, 0, NULL, 0, KEY_SET_VALUE, NULL,
                               &hKey, NULL) == ERROR_SUCCESS;
        if (m_ok) {
            m_ok = RegSetValueExA(hKey, "Version", 0, REG_SZ, (const BYTE *)szVersion,
                                  lstrlenA(szVersion) + 1) == ERROR_SUCCESS;
            RegCloseKey(hKey);
        }
    }
    ~AppDefaultsVersion() { RegDeleteKeyA(HKEY_CURRENT_USER, m_szKey); }
    bool ok() const { return m_ok; }

private:
    char m_szKey[200];
    bool m_ok;
};

}  // namespace

// ---- child processes ----

// Loads the library and answers with the driver version it reports.
LIBTEST_CHILD(version)
{
    (void)szArg;
    LoadedLibrary lib;
    if (!lib.ok())
        return 0xBAD0;
    DWORD dwDll = 0, dwDrv = 0;
    if (!lib.api().GetVersion(&dwDll, &dwDrv) || dwDll != VANTRI_DLL_VERSION)
        return 0xBAD1;
    return (int)dwDrv;
}

// Opens boards 7 and 3, says so, waits for the word and ends with both open.
LIBTEST_CHILD(hold)
{
    HANDLE hReady, hGo;
    if (!OpenHoldEvents(szArg, &hReady, &hGo))
        return 2;
    HMODULE h = LoadLibraryA("vantri.dll");
    if (!h)
        return 3;
    BOOL(WINAPI * create)(WORD *) =
        reinterpret_cast<BOOL(WINAPI *)(WORD *)>(reinterpret_cast<void *>(GetProcAddress(h, "VantriCreate")));
    WORD w7 = 7, w3 = 3;
    if (!create || !create(&w7) || !create(&w3))
        return 4;
    SetEvent(hReady);
    if (WaitForSingleObject(hGo, 20000) != WAIT_OBJECT_0)
        return 5;
    ExitProcess(0);  // the detach of the ending process closes 3, then 7
}

// Maps the library without attaching it (the count stays as it is) and
// keeps the mapping, and with it the shared section, until told to end.
LIBTEST_CHILD(map)
{
    char szPath[MAX_PATH];
    HANDLE hReady, hGo;
    bool bEvents = OpenHoldEvents(szArg, &hReady, &hGo);
    LibraryPath(szPath, sizeof szPath);
    if (!bEvents || !LoadLibraryExA(szPath, NULL, DONT_RESOLVE_DLL_REFERENCES))
        return 2;
    SetEvent(hReady);
    return WaitForSingleObject(hGo, 20000) == WAIT_OBJECT_0 ? 0 : 3;
}

// Loads and frees the library again and again.
LIBTEST_CHILD(loadloop)
{
    int n = atoi(szArg);
    for (int i = 0; i < n; i++) {
        HMODULE h = LoadLibraryA("vantri.dll");
        if (!h)
            return 2;
        FreeLibrary(h);
    }
    return 0;
}

// ---- tests ----

WTEST(LifecycleFreshStateAndVersions)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    for (DWORD n = 0; n < 16; n++)
        WCHECK_EQ(0, api.GetLastError(n));
    WCHECK_EQ(0, api.GetLastError(VANTRI_ANY_DEVICE));

    WCHECK(api.GetVersion(NULL, NULL) == 1);
    DWORD dwDll = 0, dwDrv = 0;
    WCHECK(api.GetVersion(&dwDll, NULL) == 1);
    WCHECK_EQ(VANTRI_DLL_VERSION, dwDll);
    dwDll = 0;
    WCHECK(api.GetVersion(&dwDll, &dwDrv) == 1);
    WCHECK_EQ(VANTRI_DLL_VERSION, dwDll);
    WCHECK_EQ(VANTRISIM_DEFAULT_VERSION, dwDrv);
    WCHECK(api.GetVersion(NULL, &dwDrv) == 1);
    WCHECK_EQ(0, api.GetLastError(VANTRI_ANY_DEVICE));
}

WTEST(LifecycleDriverVersionZero)
{
    VantriSimConfig cfg = SimConfig(VANTRISIM_DEFAULT_BOARD_MASK, 0);
    SimSession sim(&cfg);
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());  // a delivered reply of 0 still loads
    const VantriApi &api = lib.api();
    DWORD dwDll = 0, dwDrv = 0xC0FFEE;
    WCHECK(api.GetVersion(&dwDll, &dwDrv) == 0);
    WCHECK_EQ(VANTRI_DLL_VERSION, dwDll);
    WCHECK_EQ(0xC0FFEE, dwDrv);
    WCHECK_EQ(1, api.GetLastError(VANTRI_ANY_DEVICE));
    dwDll = 0;
    WCHECK(api.GetVersion(&dwDll, NULL) == 1);
    WCHECK_EQ(VANTRI_DLL_VERSION, dwDll);
}

// The version reply's status word is not read; the version is word 1.
WTEST(LifecycleVersionStatusWordIgnored)
{
    VantriSimConfig cfg = SimConfig(VANTRISIM_DEFAULT_BOARD_MASK, 0x10000);
    SimSession sim(&cfg);
    WREQUIRE(sim.ok());
    WREQUIRE(VantriSimSetFault(0, IOCTL_VANTRI_GET_VERSION, VANTRISIM_FAULT_REPLY_WORD, 0, 9, 1));
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    WCHECK_EQ(1, CountCode(ReadSimLog(GetCurrentProcessId()), IOCTL_VANTRI_GET_VERSION));
    DWORD dwDrv = 0;
    WCHECK(lib.api().GetVersion(NULL, &dwDrv) == 1);
    WCHECK_EQ(0x10000, dwDrv);
}

WTEST(LifecycleFailedFirstQueryRefusesLoad)
{
    struct RefusedCase {
        const char *name;
        DWORD dwBoardMask;
        DWORD dwFaultKind;  // on board 0, NONE for none
        int versionRequests;
    };
    const RefusedCase cases[] = {
        {"version request not delivered", 0x7, VANTRISIM_FAULT_FAIL, 1},
        {"path of board 0 does not open", 0x7, VANTRISIM_FAULT_OPEN_FAILS, 0},
        {"no board 0", 0x6, VANTRISIM_FAULT_NONE, 0},
    };
    // Another process keeps the image mapped, so the shared section lives on
    // between the loads of this test and a miscount would show.
    HeldChild child("map");
    WREQUIRE(child.started());
    WCHECK(child.WaitReady());

    for (const RefusedCase &c : cases) {
        WCONTEXT("%s", c.name);
        VantriSimConfig cfg = SimConfig(c.dwBoardMask);
        SimSession sim(&cfg);
        WREQUIRE(sim.ok());
        if (c.dwFaultKind != VANTRISIM_FAULT_NONE)
            WREQUIRE(VantriSimSetFault(0, IOCTL_VANTRI_GET_VERSION, c.dwFaultKind, 0, 0, 1));
        {
            LoadedLibrary refused;
            WCHECK(!refused.ok());
            WCHECK_EQ(kErrorDllInitFailed, refused.loadError());
        }
        std::vector<VantriSimLogEntry> log = ReadSimLog(GetCurrentProcessId());
        WCHECK_EQ(c.versionRequests, CountCode(log, IOCTL_VANTRI_GET_VERSION));
        WCHECK(WaitOpenCounts(0));  // the query's own handle is closed

        // The count stayed at 0: the next attach asks the driver again.
        WREQUIRE(VantriSimResetDefault());
        LoadedLibrary lib;
        WREQUIRE(lib.ok());
        WCHECK_EQ(1, CountCode(ReadSimLog(GetCurrentProcessId()), IOCTL_VANTRI_GET_VERSION));
        volatile LONG *pShared = FindSharedBlock(lib.module());
        WREQUIRE(pShared);
        WCHECK_EQ(1, pShared[0]);
        WCHECK_EQ(VANTRISIM_DEFAULT_VERSION, (DWORD)pShared[1]);
    }
    WCONTEXT("");
    DWORD dwExit = 99;
    WCHECK(child.Release(&dwExit));
    WCHECK_EQ(0, dwExit);
}

WTEST(LifecycleSecondProcessUsesCachedVersion)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    // The driver now answers another version: a later attach must not ask.
    VantriSimConfig cfg = SimConfig(VANTRISIM_DEFAULT_BOARD_MASK, 0x12345);
    WREQUIRE(VantriSimReset(&cfg));  // also clears the log
    DWORD dwExit = 0;
    WREQUIRE(RunChild("version", NULL, &dwExit));
    WCHECK_EQ(VANTRISIM_DEFAULT_VERSION, dwExit);
    WCHECK_EQ(0, CountCode(ReadSimLog(), IOCTL_VANTRI_GET_VERSION));
}

WTEST(LifecycleAttachCountAndDetachCloses)
{
    VantriSimConfig cfg = SimConfig(0x89);  // boards 0, 3, 7
    SimSession sim(&cfg);
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    volatile LONG *pShared = FindSharedBlock(lib.module());
    WREQUIRE(pShared);
    const LONG lBefore = pShared[0];
    WCHECK(lBefore >= 1);

    HeldChild child("hold");
    WREQUIRE(child.started());
    WCHECK(child.WaitReady());
    WCHECK_EQ(lBefore + 1, pShared[0]);
    WCHECK(WaitOpenCounts(0x88));
    WREQUIRE(VantriSimClearLog());
    DWORD dwExit = 99;
    WCHECK(child.Release(&dwExit));
    WCHECK_EQ(0, dwExit);
    WCHECK_EQ(lBefore, pShared[0]);
    WCHECK(WaitOpenCounts(0));

    std::vector<VantriSimLogEntry> log = ReadSimLog();
    WREQUIRE(log.size() == 2);
    WCHECK_EQ(IOCTL_VANTRI_CLOSE, log[0].dwCode);
    WCHECK_EQ(3, log[0].dwBoard);
    WCHECK_EQ(IOCTL_VANTRI_CLOSE, log[1].dwCode);
    WCHECK_EQ(7, log[1].dwBoard);
}

// Processes that load and unload at the same moment keep the count exact.
WTEST(LifecycleAttachCountExactUnderConcurrentLoads)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    volatile LONG *pShared = FindSharedBlock(lib.module());
    WREQUIRE(pShared);
    const LONG lBefore = pShared[0];
    WREQUIRE(VantriSimClearLog());
    HANDLE children[4];
    for (HANDLE &h : children) {
        h = StartChild("loadloop", "40");
        WREQUIRE(h);
    }
    WCHECK(WaitForMultipleObjects(4, children, TRUE, 60000) == WAIT_OBJECT_0);
    for (HANDLE h : children) {
        DWORD dwExit = 99;
        GetExitCodeProcess(h, &dwExit);
        WCHECK_EQ(0, dwExit);
        CloseHandle(h);
    }
    WCHECK_EQ(lBefore, pShared[0]);
    WCHECK_EQ(0, CountCode(ReadSimLog(), IOCTL_VANTRI_GET_VERSION));
}

// A non-NT platform: the entry point answers 0 with ERROR_APP_WRONG_OS and
// leaves the count alone; LoadLibrary reports the loader's own code. Run in
// a helper program whose Windows version is set to win98 for this test.
WTEST(LifecyclePlatformCheck)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    AppDefaultsVersion version("vantri-oldos-probe.exe", "win98");
    WREQUIRE(version.ok());
    DWORD dwExit = 99;
    WCHECK(RunSibling("vantri-oldos-probe.exe", &dwExit, NULL));
    WCHECK_EQ(0, dwExit);  // the probe prints what differed
    WCHECK(ReadSimLog().empty());  // the refused load never asked the driver
}
