/*
 * libtest.h - shared pieces of the Wine tests of vantri.dll: the library
 * loaded at run time with its seven exports, RAII sessions on the board
 * simulator, the request log, PE image helpers and child processes.
 */
#ifndef VANTRI_LIBTEST_H
#define VANTRI_LIBTEST_H

#include <windows.h>
#include <stdint.h>
#include <vector>

#include "vantri.h"
#include "vantri_protocol.h"
#include "vantrisim_client.h"
#include "wtest.h"

/* ---- the library, loaded at run time ---- */

struct VantriApi {
    BOOL(WINAPI *GetVersion)(DWORD *, DWORD *);
    DWORD(WINAPI *GetLastError)(DWORD);
    BOOL(WINAPI *Create)(WORD *);
    BOOL(WINAPI *Close)(DWORD);
    BOOL(WINAPI *GetResource)(DWORD, VantriResource *);
    BOOL(WINAPI *InPort)(DWORD, DWORD, BYTE *);
    BOOL(WINAPI *OutPort)(DWORD, DWORD, DWORD);
};

/* LoadLibrary on construction (a fresh per-process state each time),
 * FreeLibrary on destruction after clearing the simulator's faults, so the
 * detach can close whatever the test left open. */
class LoadedLibrary {
public:
    LoadedLibrary();
    ~LoadedLibrary();
    LoadedLibrary(const LoadedLibrary &) = delete;
    LoadedLibrary &operator=(const LoadedLibrary &) = delete;
    bool ok() const { return m_hModule != NULL; }
    DWORD loadError() const { return m_dwLoadError; }
    HMODULE module() const { return m_hModule; }
    const VantriApi &api() const { return m_api; }
    /* Unloads now (the destructor then does nothing). */
    void Free();

private:
    HMODULE m_hModule;
    DWORD m_dwLoadError;
    VantriApi m_api;
};

/* Resets the simulator to cfg (default when null) on entry; on exit resets
 * it to the default and checks that every open count has come back to 0. */
class SimSession {
public:
    explicit SimSession(const VantriSimConfig *pConfig = NULL);
    ~SimSession();
    SimSession(const SimSession &) = delete;
    SimSession &operator=(const SimSession &) = delete;
    bool ok() const { return m_ok; }

private:
    bool m_ok;
};

/* A default configuration with another board mask and driver version. */
VantriSimConfig SimConfig(DWORD dwBoardMask, DWORD dwVersion = VANTRISIM_DEFAULT_VERSION);

/* Waits (up to dwTimeoutMs) until the open count of every board matches
 * bit n of dwOpenMask; false on timeout. Closes reach the driver
 * asynchronously under Wine, so counts are polled. */
bool WaitOpenCounts(DWORD dwOpenMask, DWORD dwTimeoutMs = 3000);
/* The board mask of open counts above 0, or 0xFFFFFFFF when unreadable. */
DWORD OpenCountMask(void);

/* The request log; only entries of dwProcessId when it is not 0. */
std::vector<VantriSimLogEntry> ReadSimLog(DWORD dwProcessId = 0);
DWORD LogWord(const VantriSimLogEntry &e, int byteOffset);

/* ---- PE images ---- */

/* The ".unidat" block inside a loaded image, or null. */
volatile LONG *FindSharedBlock(HMODULE hModule);
/* Full path of vantri.dll next to this program. */
void LibraryPath(char *szPath, DWORD cchPath);
/* Reads a whole file; empty on failure. */
std::vector<BYTE> ReadWholeFile(const char *szPath);

/* ---- child processes ---- */

/* Runs this program again with "--child <mode> [arg]" and waits for it;
 * returns false when it could not start or did not end in time. */
bool RunChild(const char *szMode, const char *szArg, DWORD *pdwExitCode, DWORD dwTimeoutMs = 20000);
/* Runs the program of that file name next to this one (no arguments) and
 * waits for it; false when it could not start or did not end in time. */
bool RunSibling(const char *szExeName, DWORD *pdwExitCode, DWORD *pdwProcessId,
                DWORD dwTimeoutMs = 20000);
/* The same, but returns at once with the process handle (caller closes). */
HANDLE StartChild(const char *szMode, const char *szArg);
/* Dispatches "--child <mode> [arg]" to the child entry point registered
 * under that name; -1 when the arguments name no child. */
int RunChildMode(int argc, char **argv);

typedef int (*ChildFn)(const char *szArg);
struct ChildRegistrar {
    ChildRegistrar(const char *szName, ChildFn fn);
};
#define LIBTEST_CHILD(name) \
    static int libtest_child_##name(const char *szArg); \
    static ChildRegistrar libtest_childreg_##name(#name, libtest_child_##name); \
    static int libtest_child_##name(const char *szArg)

/* Every byte of a buffer equal to b. */
bool AllBytes(const void *p, size_t cb, BYTE b);

#endif /* VANTRI_LIBTEST_H */
