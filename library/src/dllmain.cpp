// dllmain.cpp - the library's entry point: platform check, process attach
// and process detach.
//
// The first process on the machine (attach count 0) asks the driver for its
// version and caches it in the shared block; later ones use the cached value.
// The count moves only with interlocked operations, so processes that load
// and unload at the same moment keep it exact.
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "vantri.h"
#include "vantri_protocol.h"
#include "vantri_internal.h"

namespace {

constexpr DWORD kOsVersionInfoSize = 148;  // sizeof(OSVERSIONINFOA)
constexpr DWORD kPlatformWin32Nt = 2;      // VER_PLATFORM_WIN32_NT
constexpr DWORD kErrorAppWrongOs = 1151;   // ERROR_APP_WRONG_OS

static_assert(sizeof(OSVERSIONINFOA) == kOsVersionInfoSize, "OSVERSIONINFOA is 148 bytes");

// Set by an attach that succeeded. The loader follows a refused attach with
// a detach call of its own; that one must not close, count down or delete
// what this process never set up.
BOOL g_bAttached;

// Refuses every platform but Windows NT; touches no state.
BOOL CheckPlatform(void)
{
    OSVERSIONINFOA osvi;
    osvi.dwOSVersionInfoSize = kOsVersionInfoSize;
    if (GetVersionExA(&osvi) != TRUE)
        return FALSE;  // the load fails with the error GetVersionExA left
    if (osvi.dwPlatformId != kPlatformWin32Nt) {
        SetLastError(kErrorAppWrongOs);
        return FALSE;
    }
    return TRUE;
}

BOOL OnProcessAttach(void)
{
    if (!CheckPlatform())
        return FALSE;
    InitLibraryState();
    VantriSharedBlock *pShared = GetSharedBlock();
    BOOL bAttached = TRUE;
    if (InterlockedCompareExchange(&pShared->lAttachCount, 0, 0) == 0)
        bAttached = QueryDriverVersion();
    if (!bAttached) {
        // The loader sends no detach after a refused load: give back what
        // this attach took; the count stays as it was.
        ReleaseChannelEvents();
        DeleteLibraryState();
        return FALSE;
    }
    InterlockedIncrement(&pShared->lAttachCount);
    g_bAttached = TRUE;
    return TRUE;
}

BOOL OnProcessDetach(void)
{
    if (!g_bAttached)
        return TRUE;
    g_bAttached = FALSE;
    for (WORD n = 0; n < VANTRI_MAX_DEVICES; n++) {
        if (GetDeviceSlot(n) != INVALID_HANDLE_VALUE)
            VantriClose(n);  // a board whose close fails stays open
    }
    InterlockedDecrement(&GetSharedBlock()->lAttachCount);
    ReleaseChannelEvents();
    DeleteLibraryState();
    return TRUE;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDll, DWORD dwReason, LPVOID lpReserved)
{
    (void)hinstDll;
    (void)lpReserved;
    switch (dwReason) {
    case DLL_PROCESS_ATTACH:
        return OnProcessAttach();
    case DLL_PROCESS_DETACH:
        return OnProcessDetach();
    default:  // DLL_THREAD_ATTACH, DLL_THREAD_DETACH
        return TRUE;
    }
}
