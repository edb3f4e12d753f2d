// libtest.cpp - helpers of the Wine tests of vantri.dll.
#include "libtest.h"

#include <stdio.h>
#include <string.h>

namespace {

template <typename T>
void Resolve(HMODULE h, const char *name, T *pfn)
{
    *pfn = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(h, name)));
}

struct ChildEntry {
    const char *szName;
    ChildFn fn;
};
ChildEntry g_children[32];
int g_childCount;

}  // namespace

LoadedLibrary::LoadedLibrary() : m_hModule(NULL), m_dwLoadError(0), m_api()
{
    char szPath[MAX_PATH];
    LibraryPath(szPath, sizeof szPath);
    SetLastError(0);
    m_hModule = LoadLibraryA(szPath);
    m_dwLoadError = m_hModule ? 0 : GetLastError();
    if (!m_hModule)
        return;
    Resolve(m_hModule, "VantriGetVersion", &m_api.GetVersion);
    Resolve(m_hModule, "VantriGetLastError", &m_api.GetLastError);
    Resolve(m_hModule, "VantriCreate", &m_api.Create);
    Resolve(m_hModule, "VantriClose", &m_api.Close);
    Resolve(m_hModule, "VantriGetResource", &m_api.GetResource);
    Resolve(m_hModule, "VantriInPort", &m_api.InPort);
    Resolve(m_hModule, "VantriOutPort", &m_api.OutPort);
    if (!m_api.GetVersion || !m_api.GetLastError || !m_api.Create || !m_api.Close ||
        !m_api.GetResource || !m_api.InPort || !m_api.OutPort) {
        WTestFail(__FILE__, __LINE__, "vantri.dll lacks an export");
        Free();
    }
}

LoadedLibrary::~LoadedLibrary()
{
    Free();
}

void LoadedLibrary::Free()
{
    if (!m_hModule)
        return;
    VantriSimClearFaults();
    FreeLibrary(m_hModule);
    m_hModule = NULL;
}

VantriSimConfig SimConfig(DWORD dwBoardMask, DWORD dwVersion)
{
    VantriSimConfig cfg;
    VantriSimDefaultConfig(&cfg);
    cfg.dwBoardMask = dwBoardMask;
    cfg.dwDriverVersion = dwVersion;
    return cfg;
}

SimSession::SimSession(const VantriSimConfig *pConfig) : m_ok(false)
{
    VantriSimConfig cfg;
    VantriSimDefaultConfig(&cfg);
    m_ok = VantriSimReset(pConfig ? pConfig : &cfg) != FALSE;
    if (!m_ok)
        WTestFail(__FILE__, __LINE__, "the simulator does not answer (tools/wine-prefix.sh)");
}

SimSession::~SimSession()
{
    if (!m_ok)
        return;
    VantriSimResetDefault();
    if (!WaitOpenCounts(0))
        WTestFail(__FILE__, __LINE__, "a board is left open in the simulator");
}

DWORD OpenCountMask(void)
{
    VantriSimStatus st;
    if (!VantriSimGetStatus(&st))
        return 0xFFFFFFFFu;
    DWORD dwMask = 0;
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; n++)
        if (st.dwOpenCount[n])
            dwMask |= 1u << n;
    return dwMask;
}

bool WaitOpenCounts(DWORD dwOpenMask, DWORD dwTimeoutMs)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        if (OpenCountMask() == dwOpenMask)
            return true;
        if (GetTickCount() - dwStart > dwTimeoutMs)
            return false;
        Sleep(10);
    }
}

std::vector<VantriSimLogEntry> ReadSimLog(DWORD dwProcessId)
{
    std::vector<VantriSimLogEntry> all(VANTRISIM_LOG_CAPACITY);
    int n = VantriSimReadLog(all.data(), (int)all.size());
    std::vector<VantriSimLogEntry> out;
    for (int i = 0; i < n; i++)
        if (!dwProcessId || all[i].dwProcessId == dwProcessId)
            out.push_back(all[i]);
    return out;
}

DWORD LogWord(const VantriSimLogEntry &e, int byteOffset)
{
    DWORD w;
    memcpy(&w, e.bInput + byteOffset, sizeof w);
    return w;
}

volatile LONG *FindSharedBlock(HMODULE hModule)
{
    BYTE *pBase = reinterpret_cast<BYTE *>(hModule);
    IMAGE_DOS_HEADER *pDos = reinterpret_cast<IMAGE_DOS_HEADER *>(pBase);
    IMAGE_NT_HEADERS32 *pNt = reinterpret_cast<IMAGE_NT_HEADERS32 *>(pBase + pDos->e_lfanew);
    IMAGE_SECTION_HEADER *pSec = IMAGE_FIRST_SECTION(pNt);
    for (int i = 0; i < pNt->FileHeader.NumberOfSections; i++) {
        if (memcmp(pSec[i].Name, ".unidat", 8) == 0)
            return reinterpret_cast<volatile LONG *>(pBase + pSec[i].VirtualAddress);
    }
    return NULL;
}

void LibraryPath(char *szPath, DWORD cchPath)
{
    DWORD n = GetModuleFileNameA(NULL, szPath, cchPath);
    while (n > 0 && szPath[n - 1] != '\\' && szPath[n - 1] != '/')
        n--;
    lstrcpynA(szPath + n, "vantri.dll", (int)(cchPath - n));
}

std::vector<BYTE> ReadWholeFile(const char *szPath)
{
    std::vector<BYTE> data;
    HANDLE h = CreateFileA(szPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return data;
    DWORD cb = GetFileSize(h, NULL), got = 0;
    data.resize(cb);
    if (!ReadFile(h, data.data(), cb, &got, NULL) || got != cb)
        data.clear();
    CloseHandle(h);
    return data;
}

HANDLE StartChild(const char *szMode, const char *szArg)
{
    char szExe[MAX_PATH], szCmd[MAX_PATH + 200];
    GetModuleFileNameA(NULL, szExe, sizeof szExe);
    snprintf(szCmd, sizeof szCmd, "\"%s\" --child %s %s", szExe, szMode, szArg ? szArg : "");
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(szExe, szCmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return NULL;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// Waits for a started process, ends it when it overstays, closes its handle.
static bool WaitAndClose(HANDLE hProcess, DWORD *pdwExitCode, DWORD dwTimeoutMs)
{
    bool ended = WaitForSingleObject(hProcess, dwTimeoutMs) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(hProcess, 99);
    DWORD dwCode = 0;
    GetExitCodeProcess(hProcess, &dwCode);
    CloseHandle(hProcess);
    if (pdwExitCode)
        *pdwExitCode = dwCode;
    return ended;
}

bool RunChild(const char *szMode, const char *szArg, DWORD *pdwExitCode, DWORD dwTimeoutMs)
{
    HANDLE hProcess = StartChild(szMode, szArg);
    if (!hProcess) {
        if (pdwExitCode)
            *pdwExitCode = 99;
        return false;
    }
    return WaitAndClose(hProcess, pdwExitCode, dwTimeoutMs);
}

bool RunSibling(const char *szExeName, DWORD *pdwExitCode, DWORD *pdwProcessId, DWORD dwTimeoutMs)
{
    if (pdwExitCode)
        *pdwExitCode = 99;
    char szExe[MAX_PATH], szCmd[MAX_PATH + 2];
    LibraryPath(szExe, sizeof szExe);
    lstrcpyA(szExe + lstrlenA(szExe) - lstrlenA("vantri.dll"), szExeName);
    lstrcpyA(szCmd, szExe);
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!CreateProcessA(szExe, szCmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    if (pdwProcessId)
        *pdwProcessId = pi.dwProcessId;
    return WaitAndClose(pi.hProcess, pdwExitCode, dwTimeoutMs);
}

ChildRegistrar::ChildRegistrar(const char *szName, ChildFn fn)
{
    if (g_childCount < 32) {
        g_children[g_childCount].szName = szName;
        g_children[g_childCount].fn = fn;
        g_childCount++;
    }
}

int RunChildMode(int argc, char **argv)
{
    if (argc < 3 || strcmp(argv[1], "--child") != 0)
        return -1;
    for (int i = 0; i < g_childCount; i++)
        if (strcmp(g_children[i].szName, argv[2]) == 0)
            return g_children[i].fn(argc > 3 ? argv[3] : "");
    fprintf(stderr, "no child mode %s\n", argv[2]);
    return 98;
}

bool AllBytes(const void *p, size_t cb, BYTE b)
{
    const BYTE *pb = static_cast<const BYTE *>(p);
    for (size_t i = 0; i < cb; i++)
        if (pb[i] != b)
            return false;
    return true;
}
