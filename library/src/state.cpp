// state.cpp - the library's per-process state: device slots and error store,
// and the two exports that only read state.
//
// The error store's critical section is held only while one code is stored
// or read. The slots take no lock at all: each slot's state word moves with
// interlocked compare-exchanges, so the thread that wins a transition owns
// the slot until it publishes the next state, and the open, the requests and
// the close of the path run outside any lock.
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "vantri.h"
#include "vantri_protocol.h"
#include "vantri_internal.h"

namespace {

struct DeviceSlot {
    volatile LONG lState;     // SlotState
    // INVALID_HANDLE_VALUE until the path opens. Requests of other threads
    // read it while the owning thread publishes or forgets it, so every
    // access is interlocked.
    PVOID volatile hDevice;
};

struct ErrorStore {
    CRITICAL_SECTION csLock;
    DWORD dwGlobalCode;
    DWORD dwDeviceCode[VANTRI_MAX_DEVICES];
};

DeviceSlot g_slots[VANTRI_MAX_DEVICES];
ErrorStore g_errors;

inline LONG ToLong(SlotState s) { return static_cast<LONG>(s); }

inline DeviceSlot *SlotOf(DWORD dwDevice)
{
    WORD wDevice = LOWORD(dwDevice);
    return wDevice < VANTRI_MAX_DEVICES ? &g_slots[wDevice] : NULL;
}

// Moves a slot from one state to another; false when it was not in 'from'.
BOOL MoveSlot(DWORD dwDevice, SlotState from, SlotState to)
{
    DeviceSlot *pSlot = SlotOf(dwDevice);
    if (!pSlot)
        return FALSE;
    return InterlockedCompareExchange(&pSlot->lState, ToLong(to), ToLong(from)) == ToLong(from);
}

}  // namespace

void InitLibraryState(void)
{
    InitializeCriticalSection(&g_errors.csLock);
    g_errors.dwGlobalCode = 0;
    for (int n = 0; n < VANTRI_MAX_DEVICES; n++) {
        g_errors.dwDeviceCode[n] = 0;
        InterlockedExchangePointer(&g_slots[n].hDevice, INVALID_HANDLE_VALUE);
        InterlockedExchange(&g_slots[n].lState, ToLong(SlotState::Free));
    }
}

void DeleteLibraryState(void)
{
    DeleteCriticalSection(&g_errors.csLock);
}

void RecordError(DWORD dwDevice, DWORD dwCode)
{
    WORD wDevice = LOWORD(dwDevice);
    EnterCriticalSection(&g_errors.csLock);
    if (wDevice >= VANTRI_MAX_DEVICES || dwCode == VANTRI_ERR_NODEVICE)
        g_errors.dwGlobalCode = dwCode;
    else
        g_errors.dwDeviceCode[wDevice] = dwCode;
    LeaveCriticalSection(&g_errors.csLock);
}

HANDLE GetDeviceSlot(DWORD dwDevice)
{
    DeviceSlot *pSlot = SlotOf(dwDevice);
    if (!pSlot)
        return INVALID_HANDLE_VALUE;
    // A compare-exchange that never changes the value: an atomic read.
    return static_cast<HANDLE>(InterlockedCompareExchangePointer(&pSlot->hDevice, NULL, NULL));
}

BOOL BeginClaimSlot(DWORD dwDevice)
{
    return MoveSlot(dwDevice, SlotState::Free, SlotState::Claiming);
}

void PublishSlotHandle(DWORD dwDevice, HANDLE hDevice)
{
    DeviceSlot *pSlot = SlotOf(dwDevice);
    if (pSlot)
        InterlockedExchangePointer(&pSlot->hDevice, hDevice);
}

void ConfirmSlot(DWORD dwDevice)
{
    MoveSlot(dwDevice, SlotState::Claiming, SlotState::Open);
}

BOOL BeginCloseSlot(DWORD dwDevice)
{
    return MoveSlot(dwDevice, SlotState::Open, SlotState::Closing);
}

void AbortCloseSlot(DWORD dwDevice)
{
    MoveSlot(dwDevice, SlotState::Closing, SlotState::Open);
}

void ReleaseSlot(DWORD dwDevice)
{
    DeviceSlot *pSlot = SlotOf(dwDevice);
    if (!pSlot)
        return;
    // Forget the handle before the slot can be claimed again.
    InterlockedExchangePointer(&pSlot->hDevice, INVALID_HANDLE_VALUE);
    InterlockedExchange(&pSlot->lState, ToLong(SlotState::Free));
}

extern "C" BOOL WINAPI VantriGetVersion(DWORD *pdwDllVersion, DWORD *pdwDriverVersion)
{
    if (pdwDllVersion)
        *pdwDllVersion = VANTRI_DLL_VERSION;
    if (!pdwDriverVersion)
        return TRUE;
    DWORD dwDriverVersion = GetSharedBlock()->dwDriverVersion;
    if (dwDriverVersion != 0) {
        *pdwDriverVersion = dwDriverVersion;
        return TRUE;
    }
    RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_SYSTEM);
    return FALSE;
}

extern "C" DWORD WINAPI VantriGetLastError(DWORD dwDevice)
{
    WORD wDevice = LOWORD(dwDevice);
    EnterCriticalSection(&g_errors.csLock);
    DWORD dwCode = wDevice < VANTRI_MAX_DEVICES ? g_errors.dwDeviceCode[wDevice]
                                                : g_errors.dwGlobalCode;
    LeaveCriticalSection(&g_errors.csLock);
    return dwCode;
}
