// port.cpp - the board's work: VantriGetResource, VantriInPort, VantriOutPort.
//
// Each is one request on the board's open handle, with no caching. The port
// index goes to the driver unchanged; the driver's status judges it. The
// caller's record or byte is written only on success.
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "vantri.h"
#include "vantri_protocol.h"
#include "vantri_internal.h"

namespace {

constexpr DWORD kRangeLength = 4;  // the only I/O range length the library accepts

void BuildPortRequest(VantriPortRequest *pRequest, DWORD dwPort, DWORD dwValue)
{
    // Bytes 8..63 have no defined content; zeros carry nothing of our stack.
    ZeroRecord(pRequest, sizeof *pRequest);
    pRequest->dwPort = dwPort;
    pRequest->dwValue = dwValue;
}

}  // namespace

extern "C" BOOL WINAPI VantriGetResource(DWORD dwDevice, VantriResource *pResource)
{
    WORD wDevice = LOWORD(dwDevice);
    if (wDevice >= VANTRI_MAX_DEVICES) {
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_PARAM);
        return FALSE;
    }
    if (!pResource) {
        RecordError(wDevice, VANTRI_ERR_PARAM);
        return FALSE;
    }
    VantriReply reply;
    if (!SendRequest(GetDeviceSlot(wDevice), IOCTL_VANTRI_GET_RESOURCE, NULL, &reply, wDevice))
        return FALSE;
    if (reply.dwStatus != 0) {
        RecordError(wDevice, reply.dwStatus);
        return FALSE;
    }
    if (reply.dwData2 != kRangeLength) {
        RecordError(wDevice, VANTRI_ERR_SYSTEM);
        return FALSE;
    }
    ZeroRecord(pResource, sizeof *pResource);
    pResource->dwRangeCount = 1;
    pResource->dwBase = reply.dwData1;
    pResource->dwLength = kRangeLength;
    return TRUE;
}

extern "C" BOOL WINAPI VantriInPort(DWORD dwDevice, DWORD dwPort, BYTE *pbValue)
{
    WORD wDevice = LOWORD(dwDevice);
    if (wDevice >= VANTRI_MAX_DEVICES) {
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_PARAM);
        return FALSE;
    }
    if (!pbValue) {
        RecordError(wDevice, VANTRI_ERR_PARAM);
        return FALSE;
    }
    VantriPortRequest request;
    BuildPortRequest(&request, dwPort, 0);
    VantriReply reply;
    if (!SendRequest(GetDeviceSlot(wDevice), IOCTL_VANTRI_IN_PORT, &request, &reply, wDevice))
        return FALSE;
    if (reply.dwStatus != 0) {
        RecordError(wDevice, reply.dwStatus);
        return FALSE;
    }
    *pbValue = static_cast<BYTE>(reply.dwData1 & 0xFFu);
    return TRUE;
}

extern "C" BOOL WINAPI VantriOutPort(DWORD dwDevice, DWORD dwPort, DWORD dwValue)
{
    WORD wDevice = LOWORD(dwDevice);
    if (wDevice >= VANTRI_MAX_DEVICES) {
        RecordError(VANTRI_ANY_DEVICE, VANTRI_ERR_PARAM);
        return FALSE;
    }
    VantriPortRequest request;
    BuildPortRequest(&request, dwPort, dwValue & 0xFFu);
    VantriReply reply;
    if (!SendRequest(GetDeviceSlot(wDevice), IOCTL_VANTRI_OUT_PORT, &request, &reply, wDevice))
        return FALSE;
    if (reply.dwStatus != 0) {
        RecordError(wDevice, reply.dwStatus);
        return FALSE;
    }
    return TRUE;
}
