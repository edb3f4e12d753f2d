// device.cpp - opening and closing a board: VantriCreate and VantriClose.
//
// A slot is claimed (FREE -> CLAIMING) before its path is opened and owned
// by the claiming thread until the driver has confirmed the open or the
// device has been given back; a close first takes the slot from OPEN to
// CLOSING. A second thread therefore never opens a number twice, never
// closes a handle that another thread is still opening, and never closes one
// twice. To callers a slot that another thread is opening or closing looks
// taken to VantriCreate and "not open" to VantriClose (code 4 either way).
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "vantri.h"
#include "vantri_protocol.h"
#include "vantri_internal.h"

namespace {

// Claims the slot of the number *pwDevice names, or with VANTRI_ANY_DEVICE
// the first free slot whose path opens (writing its number back), and
// publishes the freshly opened handle there. Records the failure codes.
BOOL ClaimDeviceSlot(WORD *pwDevice, WORD wRequested, HANDLE *phDevice)
{
    if (wRequested == VANTRI_ANY_DEVICE) {
        for (WORD n = 0; n < VANTRI_MAX_DEVICES; n++) {
            if (!BeginClaimSlot(n))
                continue;  // taken: nothing is opened
            HANDLE hDevice = OpenDevicePath(n);  // a failure records 1 globally
            if (hDevice == INVALID_HANDLE_VALUE) {
                ReleaseSlot(n);
                continue;
            }
            PublishSlotHandle(n, hDevice);
            *pwDevice = n;
            *phDevice = hDevice;
            return TRUE;
        }
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_NODEVICE);
        return FALSE;
    }
    if (!BeginClaimSlot(wRequested)) {
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_HANDLE);
        return FALSE;
    }
    HANDLE hDevice = OpenDevicePath(wRequested);
    if (hDevice == INVALID_HANDLE_VALUE) {
        ReleaseSlot(wRequested);
        // Replaces the code 1 that the failed open left.
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_HANDLE);
        return FALSE;
    }
    PublishSlotHandle(wRequested, hDevice);
    *phDevice = hDevice;
    return TRUE;
}

}  // namespace

extern "C" BOOL WINAPI VantriCreate(WORD *pwDevice)
{
    if (!pwDevice) {
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_PARAM);
        return FALSE;
    }
    WORD wRequested = *pwDevice;
    if (wRequested >= VANTRI_MAX_DEVICES && wRequested != VANTRI_ANY_DEVICE) {
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_PARAM);
        return FALSE;
    }
    HANDLE hDevice = INVALID_HANDLE_VALUE;
    if (!ClaimDeviceSlot(pwDevice, wRequested, &hDevice))
        return FALSE;
    WORD wDevice = wRequested == VANTRI_ANY_DEVICE ? *pwDevice : wRequested;

    VantriReply reply;
    if (!SendRequest(hDevice, IOCTL_VANTRI_OPEN, NULL, &reply, wDevice)) {
        CloseDevicePath(hDevice);
        ReleaseSlot(wDevice);
        return FALSE;
    }
    if (reply.dwStatus == 0) {
        ConfirmSlot(wDevice);
        return TRUE;
    }
    DWORD dwStatus = reply.dwStatus;
    CloseDevicePath(hDevice);
    ReleaseSlot(wDevice);
    RecordError(wDevice, dwStatus);
    return FALSE;
}

extern "C" BOOL WINAPI VantriClose(DWORD dwDevice)
{
    WORD wDevice = LOWORD(dwDevice);
    if (wDevice >= VANTRI_MAX_DEVICES) {
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_PARAM);
        return FALSE;
    }
    if (!BeginCloseSlot(wDevice)) {
        // Free, or owned by a thread that is opening or closing it.
        RecordError(wDevice, VANTRI_ERR_HANDLE);
        return FALSE;
    }
    HANDLE hDevice = GetDeviceSlot(wDevice);
    VantriReply reply;
    if (!SendRequest(hDevice, IOCTL_VANTRI_CLOSE, NULL, &reply, wDevice)) {
        AbortCloseSlot(wDevice);
        return FALSE;
    }
    if (reply.dwStatus != 0) {
        RecordError(wDevice, reply.dwStatus);
        AbortCloseSlot(wDevice);  // still open; the close may be tried again
        return FALSE;
    }
    if (!CloseDevicePath(hDevice)) {
        AbortCloseSlot(wDevice);  // the slot keeps the handle
        return FALSE;
    }
    ReleaseSlot(wDevice);
    return TRUE;
}
