// channel.cpp - the request channel to the board's kernel-mode driver.
//
// Board handles are opened with FILE_FLAG_OVERLAPPED, so every request
// carries an OVERLAPPED with an event of its own and waits for completion:
// without one, a request the driver pends returns at once and its reply
// lands later in a buffer that is gone, and two requests on one handle could
// wake each other. Creating an event per call costs a third more than the
// request itself, so events come from a small per-process pool: a thread
// takes a free entry with a compare-exchange, creates its event on first
// use, and gives the entry back after the request. When the pool is busy (or
// an event cannot be created) a temporary event serves that one request.
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "vantri.h"
#include "vantri_protocol.h"
#include "vantri_internal.h"

// Word by word through a volatile pointer: the library links no C runtime,
// so nothing may turn this into a call to memset.
void ZeroRecord(void *pRecord, size_t cbRecord)
{
    volatile uint32_t *pWords = static_cast<volatile uint32_t *>(pRecord);
    for (size_t i = 0; i < cbRecord / sizeof(uint32_t); i++)
        pWords[i] = 0;
}

namespace {

constexpr int kEventPoolSize = 16;

struct EventPool {
    volatile LONG lBusy[kEventPoolSize];     // 1 while a request holds the entry
    HANDLE volatile hEvent[kEventPoolSize];  // created by the first holder
};

EventPool g_eventPool;  // static storage: all entries free, no event yet

// An event lent to one request: a pool entry, or a temporary one (-1).
struct RequestEvent {
    HANDLE hEvent;
    int nPoolIndex;
};

HANDLE CreateRequestEvent(void)
{
    // Manual reset: GetOverlappedResult waits on it; each request resets it.
    return CreateEventA(NULL, TRUE, FALSE, NULL);
}

BOOL AcquireRequestEvent(RequestEvent *pEvent)
{
    for (int i = 0; i < kEventPoolSize; i++) {
        if (InterlockedCompareExchange(&g_eventPool.lBusy[i], 1, 0) != 0)
            continue;
        // The entry is ours alone until we give it back.
        if (!g_eventPool.hEvent[i])
            g_eventPool.hEvent[i] = CreateRequestEvent();
        if (g_eventPool.hEvent[i]) {
            pEvent->hEvent = g_eventPool.hEvent[i];
            pEvent->nPoolIndex = i;
            return TRUE;
        }
        InterlockedExchange(&g_eventPool.lBusy[i], 0);
        break;
    }
    pEvent->hEvent = CreateRequestEvent();
    pEvent->nPoolIndex = -1;
    return pEvent->hEvent != NULL;
}

void ReleaseRequestEvent(const RequestEvent *pEvent)
{
    if (pEvent->nPoolIndex < 0)
        CloseHandle(pEvent->hEvent);
    else
        InterlockedExchange(&g_eventPool.lBusy[pEvent->nPoolIndex], 0);
}

void ClearReply(VantriReply *pReply)
{
    // A driver that writes fewer words than we read leaves zeros, not stack
    // contents; the byte count it returns is never looked at.
    ZeroRecord(pReply, sizeof *pReply);
}

// Sends one request and waits until the driver has completed it. TRUE when
// it was delivered: DeviceIoControl succeeded, or it pended and
// GetOverlappedResult then succeeded.
BOOL DeliverRequest(HANDLE hDevice, DWORD dwCode, const void *pInput,
                    DWORD dwInputLength, VantriReply *pReply)
{
    RequestEvent event;
    if (!AcquireRequestEvent(&event))
        return FALSE;
    OVERLAPPED ov;
    ov.Internal = 0;
    ov.InternalHigh = 0;
    ov.Offset = 0;
    ov.OffsetHigh = 0;
    ov.hEvent = event.hEvent;
    DWORD dwReturned = 0;
    BOOL bDelivered = DeviceIoControl(hDevice, dwCode, const_cast<void *>(pInput), dwInputLength,
                                      pReply, VANTRI_REQUEST_SIZE, &dwReturned, &ov);
    if (!bDelivered && GetLastError() == ERROR_IO_PENDING)
        bDelivered = GetOverlappedResult(hDevice, &ov, &dwReturned, TRUE);
    ReleaseRequestEvent(&event);
    return bDelivered ? TRUE : FALSE;
}

}  // namespace

HANDLE OpenDevicePath(DWORD dwDevice)
{
    char szPath[VANTRI_DEVICE_PATH_SIZE];
    wsprintfA(szPath, VANTRI_DEVICE_PATH_FORMAT, static_cast<int>(LOWORD(dwDevice)));
    HANDLE hDevice = CreateFileA(szPath, VANTRI_OPEN_ACCESS, VANTRI_OPEN_SHARE, NULL,
                                 VANTRI_OPEN_DISPOSITION, VANTRI_OPEN_FLAGS, NULL);
    if (hDevice == INVALID_HANDLE_VALUE)
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_SYSTEM);
    return hDevice;
}

BOOL CloseDevicePath(HANDLE hDevice)
{
    if (hDevice == INVALID_HANDLE_VALUE)
        return TRUE;
    if (CloseHandle(hDevice) == TRUE)
        return TRUE;
    RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_SYSTEM);
    return FALSE;
}

BOOL SendRequest(HANDLE hDevice, DWORD dwCode, const void *pInput,
                 VantriReply *pReply, DWORD dwDevice)
{
    if (hDevice == INVALID_HANDLE_VALUE) {
        RecordError(dwDevice, VANTRI_ERR_HANDLE);
        return FALSE;
    }
    ClearReply(pReply);
    // The declared input length is 64 on every request, with or without an
    // input record. A request without one carries 64 bytes of zeros (none
    // of them defined): a null pointer with a length of 64 is refused by
    // the system before it reaches the driver under Wine, and on NT the
    // length would be dropped to 0.
    VantriPortRequest blank;
    if (!pInput) {
        ZeroRecord(&blank, sizeof blank);
        pInput = &blank;
    }
    if (!DeliverRequest(hDevice, dwCode, pInput, VANTRI_REQUEST_SIZE, pReply)) {
        RecordError(dwDevice, VANTRI_ERR_SYSTEM);
        return FALSE;
    }
    return TRUE;
}

BOOL QueryDriverVersion(void)
{
    HANDLE hDevice = OpenDevicePath(0);
    if (hDevice == INVALID_HANDLE_VALUE)
        return FALSE;
    VantriReply reply;
    ClearReply(&reply);
    if (!DeliverRequest(hDevice, IOCTL_VANTRI_GET_VERSION, NULL, 0, &reply)) {
        CloseDevicePath(hDevice);
        return FALSE;
    }
    CloseDevicePath(hDevice);
    // The status word of this reply is not consulted: byte 4 is the version,
    // 0 included.
    GetSharedBlock()->dwDriverVersion = reply.dwData1;
    return TRUE;
}

void ReleaseChannelEvents(void)
{
    for (int i = 0; i < kEventPoolSize; i++) {
        if (g_eventPool.hEvent[i]) {
            CloseHandle(g_eventPool.hEvent[i]);
            g_eventPool.hEvent[i] = NULL;
        }
        InterlockedExchange(&g_eventPool.lBusy[i], 0);
    }
}
