/*
 * winlayer_test.h - controls of the native Win32 layer for tests, the fuzzer
 * and the benchmark: the in-process board model (configuration, faults,
 * log), failure injection into the layer's own calls, the platform that
 * GetVersionExA reports, and the name of the machine-wide shared block.
 *
 * Every function is safe to call from any thread.
 */
#ifndef WINLAYER_TEST_H
#define WINLAYER_TEST_H

#include <windows.h>
#include "vantrisim.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The board model. A reset first waits until every pended request has
 * completed, then applies cfg (NULL: the default configuration) and clears
 * faults, latches, inputs and the log. Open handles stay open. */
void WinlayerResetModel(const VantriSimConfig *cfg);
BOOL WinlayerSetFault(const VantriSimFault *fault);
void WinlayerClearFaults(void);
BOOL WinlayerSetInput(const VantriSimInput *input);
void WinlayerClearLog(void);
void WinlayerGetStatus(VantriSimStatus *status);
/* Copies up to maxEntries entries of the log from its start; returns how
 * many the log holds (which may be more than were copied). */
DWORD WinlayerReadLog(VantriSimLogEntry *entries, DWORD maxEntries);

/* Waits until no pended request is outstanding; returns FALSE if that did
 * not happen within timeoutMs. */
BOOL WinlayerDrainPending(DWORD timeoutMs);
DWORD WinlayerPendingCount(void);

/* Failure injection: the next `count` calls of CloseHandle (any handle)
 * return FALSE with ERROR_INVALID_HANDLE and leave the handle open; the next
 * `count` calls of CreateEventA return NULL with ERROR_NOT_ENOUGH_MEMORY. */
void WinlayerFailNextClose(DWORD count);
void WinlayerFailNextCreateEvent(DWORD count);

/* What GetVersionExA reports. */
typedef enum WinlayerPlatform {
    WINLAYER_PLATFORM_NT = 0,        /* NT 4.0: the default */
    WINLAYER_PLATFORM_WINDOWS = 1,   /* a non-NT platform (4.10, Windows) */
    WINLAYER_PLATFORM_FAIL = 2       /* the call fails with the error given */
} WinlayerPlatform;
void WinlayerSetPlatform(WinlayerPlatform platform, DWORD failError);

/* The process id the model's log records for this process's requests
 * (0 restores the real one). Lets one test play several processes. */
void WinlayerSetProcessId(DWORD processId);

/* How often the layer's calls were made since the last reset (the reset
 * of the model resets them too). */
typedef struct WinlayerCallCounts {
    DWORD dwCreateFile;
    DWORD dwCloseHandle;
    DWORD dwCreateEvent;
    DWORD dwDeviceIoControl;
    DWORD dwWithOverlapped;       /* DeviceIoControl calls that passed one */
    DWORD dwGetOverlappedResult;
} WinlayerCallCounts;
void WinlayerGetCallCounts(WinlayerCallCounts *counts);
void WinlayerResetCallCounts(void);

/* Handles the layer holds open (events and board channels): a leak check. */
DWORD WinlayerOpenHandleCount(void);
DWORD WinlayerOpenDeviceCount(void);
DWORD WinlayerOpenEventCount(void);
/* The board a live device handle is open on, or -1 for anything else. */
LONG WinlayerHandleBoard(HANDLE h);
/* Closes every handle still open (tests that leave some by design). */
void WinlayerCloseAllHandles(void);

/* Name of the POSIX shared-memory object that holds the library's
 * machine-wide block (default "/vantri-shared"). Set it before the library
 * first maps the block; it is mapped once per process. */
void WinlayerSetSharedName(LPCSTR name);
LPCSTR WinlayerSharedName(void);

#ifdef __cplusplus
}
#endif

#endif /* WINLAYER_TEST_H */
