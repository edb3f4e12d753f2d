// vantri_fuzz.cpp - libFuzzer target: random machines, random driver faults
// and random sequences of export calls with random arguments, against the
// native build of the library.
//
// Invariants checked after every call (a violation aborts, which libFuzzer
// reports with the input that caused it):
//  - every BOOL result is exactly 0 or 1;
//  - no call returns with a request still pending in the driver;
//  - no device's code is ever 2;
//  - on failure the caller's record, byte and driver-version variable are
//    untouched; on success exactly the defined bytes are written;
//  - each taken slot holds a live handle of its own board, and (until an
//    injected CloseHandle failure may have stranded a handle) the boards the
//    model has open are exactly the taken slots;
//  - the attach count goes up by one with a successful attach and back down
//    with the detach, and stays put when the attach is refused (and through
//    the detach the loader sends after it).
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vantri.h"
#include "vantri_internal.h"
#include "vantri_protocol.h"
#include "vantrisim.h"
#include "winlayer_test.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDll, DWORD dwReason, LPVOID lpReserved);

namespace {

char g_sharedName[64];

[[noreturn]] void Violation(const char *what, unsigned long a = 0, unsigned long b = 0)
{
    std::fprintf(stderr, "invariant violated: %s (%lu, %lu)\n", what, a, b);
    std::abort();
}

void Check(bool holds, const char *what, unsigned long a = 0, unsigned long b = 0)
{
    if (!holds)
        Violation(what, a, b);
}

void CheckBool(BOOL r, const char *call)
{
    Check(r == TRUE || r == FALSE, call, static_cast<unsigned long>(r));
}

const uint32_t kCodes[] = {IOCTL_VANTRI_GET_VERSION, IOCTL_VANTRI_OPEN, IOCTL_VANTRI_CLOSE,
                           IOCTL_VANTRI_GET_RESOURCE, IOCTL_VANTRI_IN_PORT, IOCTL_VANTRI_OUT_PORT};

uint32_t RequestCode(FuzzedDataProvider &fdp)
{
    if (fdp.ConsumeIntegralInRange<int>(0, 15) == 0)
        return fdp.ConsumeIntegral<uint32_t>();
    return kCodes[fdp.ConsumeIntegralInRange<size_t>(0, 5)];
}

// Device arguments: mostly sensible numbers, sometimes anything.
DWORD DeviceArgument(FuzzedDataProvider &fdp)
{
    switch (fdp.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return 0xFFFF;
    case 1:
        return (fdp.ConsumeIntegral<uint32_t>() & 0xFFFF0000u) | fdp.ConsumeIntegralInRange<uint32_t>(0, 17);
    case 2:
        return fdp.ConsumeIntegral<uint32_t>();
    default:
        return fdp.ConsumeIntegralInRange<uint32_t>(0, 17);
    }
}

VantriSimFault RandomFault(FuzzedDataProvider &fdp)
{
    VantriSimFault f;
    f.dwBoard = fdp.ConsumeIntegralInRange<uint32_t>(0, 15);
    f.dwCode = RequestCode(fdp);
    f.dwKind = fdp.ConsumeIntegralInRange<uint32_t>(0, 5);
    f.dwWord = fdp.ConsumeIntegralInRange<uint32_t>(0, 15);
    f.dwValue = fdp.ConsumeIntegral<uint32_t>();
    if (f.dwKind == VANTRISIM_FAULT_PEND)
        f.dwValue %= 3;  // milliseconds: keep the run fast
    f.dwCount = fdp.ConsumeIntegralInRange<uint32_t>(0, 3);
    if (f.dwKind == VANTRISIM_FAULT_PEND && f.dwCount == 0)
        f.dwCount = 1;
    return f;
}

struct Run {
    bool closeFailureInjected = false;
};

void CheckState(const Run &run, const char *after)
{
    Check(WinlayerPendingCount() == 0, after, 1);
    for (DWORD n = 0; n < VANTRI_MAX_DEVICES; ++n)
        Check(VantriGetLastError(n) != VANTRI_ERR_NODEVICE, "code 2 in a device's code", n);

    VantriSimStatus st;
    WinlayerGetStatus(&st);
    DWORD taken = 0;
    for (DWORD n = 0; n < VANTRI_MAX_DEVICES; ++n) {
        HANDLE h = GetDeviceSlot(n);
        bool isTaken = h != INVALID_HANDLE_VALUE;
        if (isTaken) {
            taken++;
            Check(WinlayerHandleBoard(h) == static_cast<LONG>(n), "slot holds a foreign handle", n);
            Check(st.dwOpenCount[n] == 1, "slot taken, board not open", n);
        } else if (!run.closeFailureInjected) {
            Check(st.dwOpenCount[n] == 0, "board open without a slot", n);
        }
    }
    if (!run.closeFailureInjected)
        Check(WinlayerOpenDeviceCount() == taken, "handles beyond the slots", WinlayerOpenDeviceCount(), taken);
}

void CallOne(FuzzedDataProvider &fdp, Run &run)
{
    switch (fdp.ConsumeIntegralInRange<int>(0, 13)) {
    case 0:
    case 1: {  // VantriCreate
        bool nullPointer = fdp.ConsumeIntegralInRange<int>(0, 31) == 0;
        WORD w;
        switch (fdp.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
        case 1:
            w = VANTRI_ANY_DEVICE;
            break;
        case 2:
            w = fdp.ConsumeIntegralInRange<WORD>(0, 16);
            break;
        default:
            w = fdp.ConsumeIntegral<WORD>();
            break;
        }
        WORD before = w;
        BOOL r = VantriCreate(nullPointer ? nullptr : &w);
        CheckBool(r, "VantriCreate");
        if (nullPointer)
            break;
        if (before != VANTRI_ANY_DEVICE)
            Check(w == before, "named number written", w, before);
        else if (r)
            Check(w < VANTRI_MAX_DEVICES, "written-back number", w);
        if (r)
            Check(GetDeviceSlot(w) != INVALID_HANDLE_VALUE, "created but slot free", w);
        if (!r && before != VANTRI_ANY_DEVICE && before >= VANTRI_MAX_DEVICES)
            Check(VantriGetLastError(VANTRI_ANY_DEVICE) == VANTRI_ERR_PARAM, "bad number's code");
        break;
    }
    case 2:
    case 3: {  // VantriClose
        DWORD n = DeviceArgument(fdp);
        bool wasOpen = LOWORD(n) < VANTRI_MAX_DEVICES && GetDeviceSlot(n) != INVALID_HANDLE_VALUE;
        BOOL r = VantriClose(n);
        CheckBool(r, "VantriClose");
        if (r) {
            Check(wasOpen, "closed a board that was not open", n);
            Check(GetDeviceSlot(n) == INVALID_HANDLE_VALUE, "closed but slot taken", n);
        }
        break;
    }
    case 4:
    case 5: {  // VantriGetResource
        DWORD n = DeviceArgument(fdp);
        bool nullPointer = fdp.ConsumeIntegralInRange<int>(0, 15) == 0;
        uint32_t words[102];
        std::memset(words, fdp.ConsumeIntegral<uint8_t>(), sizeof words);
        uint32_t before[102];
        std::memcpy(before, words, sizeof words);
        BOOL r = VantriGetResource(n, nullPointer ? nullptr : reinterpret_cast<VantriResource *>(words));
        CheckBool(r, "VantriGetResource");
        if (!r) {
            Check(std::memcmp(words, before, sizeof words) == 0, "record written on failure", n);
        } else {
            Check(!nullPointer, "success without a record");
            for (int i = 0; i < 102; ++i) {
                if (i == 29)
                    continue;  // the base: whatever the driver said
                uint32_t expected = i == 28 ? 1u : i == 49 ? 4u : 0u;
                Check(words[i] == expected, "record word", i, words[i]);
            }
        }
        break;
    }
    case 6:
    case 7: {  // VantriInPort
        DWORD n = DeviceArgument(fdp);
        DWORD port = fdp.ConsumeIntegralInRange<int>(0, 7) == 0 ? fdp.ConsumeIntegral<uint32_t>()
                                                                : fdp.ConsumeIntegralInRange<uint32_t>(0, 4);
        bool nullPointer = fdp.ConsumeIntegralInRange<int>(0, 15) == 0;
        BYTE area[3];
        std::memset(area, fdp.ConsumeIntegral<uint8_t>(), sizeof area);
        BYTE before[3];
        std::memcpy(before, area, sizeof area);
        BOOL r = VantriInPort(n, port, nullPointer ? nullptr : &area[1]);
        CheckBool(r, "VantriInPort");
        if (!r)
            Check(std::memcmp(area, before, sizeof area) == 0, "byte written on failure", n);
        else
            Check(area[0] == before[0] && area[2] == before[2], "more than one byte written", n);
        break;
    }
    case 8: {  // VantriOutPort
        DWORD n = DeviceArgument(fdp);
        DWORD port = fdp.ConsumeIntegralInRange<uint32_t>(0, 5);
        CheckBool(VantriOutPort(n, port, fdp.ConsumeIntegral<uint32_t>()), "VantriOutPort");
        break;
    }
    case 9: {  // VantriGetVersion and VantriGetLastError
        int which = fdp.ConsumeIntegralInRange<int>(0, 3);
        DWORD dll = 0xA5A5A5A5u, drv = 0x5A5A5A5Au;
        BOOL r = VantriGetVersion((which & 1) ? &dll : nullptr, (which & 2) ? &drv : nullptr);
        CheckBool(r, "VantriGetVersion");
        Check(dll == ((which & 1) ? static_cast<DWORD>(VANTRI_DLL_VERSION) : 0xA5A5A5A5u), "library version");
        if (!r)
            Check(drv == 0x5A5A5A5Au, "driver version written on failure");
        DWORD n = DeviceArgument(fdp);
        Check(VantriGetLastError(n) == VantriGetLastError(n), "reading changed a code");
        break;
    }
    case 10:
    case 11: {  // a driver fault
        VantriSimFault f = RandomFault(fdp);
        WinlayerSetFault(&f);
        break;
    }
    case 12: {  // the layer's own failures, or a changed input
        switch (fdp.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            WinlayerFailNextClose(1);
            run.closeFailureInjected = true;
            break;
        case 1:
            WinlayerFailNextCreateEvent(fdp.ConsumeIntegralInRange<DWORD>(1, 2));
            break;
        case 2:
            WinlayerClearFaults();
            break;
        default: {
            VantriSimInput in;
            in.dwBoard = fdp.ConsumeIntegralInRange<uint32_t>(0, 15);
            in.dwPort = fdp.ConsumeIntegralInRange<uint32_t>(0, 3);
            in.dwMode = fdp.ConsumeIntegralInRange<uint32_t>(0, 1);
            in.dwValue = fdp.ConsumeIntegral<uint8_t>();
            WinlayerSetInput(&in);
            break;
        }
        }
        break;
    }
    default:  // the entry point's thread notifications
        CheckBool(DllMain(nullptr, fdp.ConsumeBool() ? DLL_THREAD_ATTACH : DLL_THREAD_DETACH, nullptr),
                  "thread notification");
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    std::snprintf(g_sharedName, sizeof g_sharedName, "/vantri-fuzz-%d", static_cast<int>(getpid()));
    shm_unlink(g_sharedName);
    WinlayerSetSharedName(g_sharedName);
    std::atexit([] { shm_unlink(g_sharedName); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider fdp(data, size);
    Run run;

    // The machine: which boards exist, what they answer.
    VantriSimConfig cfg;
    std::memset(&cfg, 0, sizeof cfg);
    cfg.dwBoardMask = fdp.ConsumeIntegral<uint16_t>();
    switch (fdp.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
        cfg.dwDriverVersion = 0;
        break;
    case 1:
        cfg.dwDriverVersion = fdp.ConsumeIntegral<uint32_t>();
        break;
    default:
        cfg.dwDriverVersion = VANTRISIM_DEFAULT_VERSION;
        break;
    }
    bool oddLengths = fdp.ConsumeIntegralInRange<int>(0, 7) == 0;
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; ++n) {
        cfg.dwBase[n] = VANTRISIM_DEFAULT_BASE(n);
        cfg.dwLength[n] = oddLengths ? fdp.ConsumeIntegralInRange<uint32_t>(0, 8) : 4;
    }
    WinlayerResetModel(&cfg);

    // What other processes left in the shared block.
    VantriSharedBlock *shared = GetSharedBlock();
    LONG count = fdp.ConsumeIntegralInRange<int>(0, 3) == 0 ? fdp.ConsumeIntegralInRange<LONG>(1, 5) : 0;
    shared->lAttachCount = count;
    shared->dwDriverVersion = count != 0 ? fdp.ConsumeIntegral<uint32_t>() : 0;

    // Attach, perhaps on the wrong platform, perhaps into faults.
    int platform = fdp.ConsumeIntegralInRange<int>(0, 15);
    WinlayerSetPlatform(platform == 0   ? WINLAYER_PLATFORM_WINDOWS
                        : platform == 1 ? WINLAYER_PLATFORM_FAIL
                                        : WINLAYER_PLATFORM_NT,
                        fdp.ConsumeIntegral<uint16_t>());
    for (int i = fdp.ConsumeIntegralInRange<int>(0, 2); i > 0; --i) {
        VantriSimFault f = RandomFault(fdp);
        WinlayerSetFault(&f);
    }
    if (fdp.ConsumeIntegralInRange<int>(0, 15) == 0) {
        WinlayerFailNextClose(1);
        run.closeFailureInjected = true;
    }
    BOOL attached = DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    CheckBool(attached, "DllMain attach");
    WinlayerSetPlatform(WINLAYER_PLATFORM_NT, 0);
    if (!attached) {
        Check(shared->lAttachCount == count, "refused attach changed the count", shared->lAttachCount, count);
        if (!run.closeFailureInjected)
            Check(WinlayerOpenHandleCount() == 0, "refused attach left handles", WinlayerOpenHandleCount());
        // The loader's detach after a refused attach changes nothing.
        CheckBool(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), "DllMain detach");
        Check(shared->lAttachCount == count, "detach after a refused attach", shared->lAttachCount, count);
    } else {
        Check(shared->lAttachCount == count + 1, "attach count", shared->lAttachCount, count);
        CheckState(run, "attach");
        for (int step = 0; step < 48 && fdp.remaining_bytes() > 0; ++step) {
            CallOne(fdp, run);
            CheckState(run, "call");
        }
        CheckBool(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), "DllMain detach");
        Check(shared->lAttachCount == count, "detach count", shared->lAttachCount, count);
    }
    Check(WinlayerPendingCount() == 0, "pending after the run");
    WinlayerCloseAllHandles();
    return 0;
}
