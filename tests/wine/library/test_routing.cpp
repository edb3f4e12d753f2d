// test_routing.cpp - every failure path of the exports and where its code
// lands, the VantriCreate scan, and the exact bytes each request carries,
// all on the real vantri.dll against the board simulator.
#include "libtest.h"

#include <string.h>

namespace {

constexpr DWORD kNone = 0xFFFFFFFFu;  // "no fault" / "no device code to check"
constexpr DWORD kSeed = 0x5EEDu;      // a device code planted before the call

enum class Op { Create, CreateNull, CreateAny, Close, GetResource, GetResourceNull,
                InPort, InPortNull, OutPort };

struct RoutingRow {
    const char *name;
    DWORD dwBoardMask;     // simulator boards (board 0 always, for the load)
    DWORD dwOpenFirst;     // boards opened before the call, by number
    Op op;
    DWORD dwDevice;        // the device argument as passed (all 32 bits)
    DWORD dwPort;
    DWORD dwFaultBoard, dwFaultCode, dwFaultKind, dwFaultWord, dwFaultValue;
    bool bSeedDevice;      // plant a driver status in the device's code first
    BOOL expectResult;
    DWORD expectGlobal;    // the global code afterwards
    DWORD expectDevice;    // the code of device LOWORD(dwDevice) afterwards, kNone: not checked
    int expectRequests;    // requests of this call that reach the driver
};

const DWORD kDefault = VANTRISIM_DEFAULT_BOARD_MASK;  // boards 0, 1, 2
const DWORD F = VANTRISIM_FAULT_FAIL, S = VANTRISIM_FAULT_STATUS, W = VANTRISIM_FAULT_REPLY_WORD,
            OF = VANTRISIM_FAULT_OPEN_FAILS;

const RoutingRow kRoutingRows[] = {
    // VantriCreate
    {"create null pointer", kDefault, 0, Op::CreateNull, 0, 0, kNone, 0, 0, 0, 0, false, 0, 7, kNone, 0},
    {"create 16", kDefault, 0, Op::Create, 16, 0, kNone, 0, 0, 0, 0, false, 0, 7, kNone, 0},
    {"create 0xFFFE", kDefault, 0, Op::Create, 0xFFFE, 0, kNone, 0, 0, 0, 0, false, 0, 7, kNone, 0},
    {"create any, no free board opens", 0x3, 0x1, Op::CreateAny, 0xFFFF, 0, 1, 0, OF, 0, 0, false, 0, 2, kNone, 0},
    {"create any, all present ones taken", 0x3, 0x3, Op::CreateAny, 0xFFFF, 0, kNone, 0, 0, 0, 0, false, 0, 2, kNone, 0},
    {"create taken slot", kDefault, 0x2, Op::Create, 1, 0, kNone, 0, 0, 0, 0, false, 0, 4, 0, 0},
    {"create absent board: 4 not 1", kDefault, 0, Op::Create, 5, 0, kNone, 0, 0, 0, 0, false, 0, 4, 0, 0},
    {"create path fails to open", kDefault, 0, Op::Create, 1, 0, 1, 0, OF, 0, 0, false, 0, 4, 0, 0},
    {"create open not delivered", kDefault, 0, Op::Create, 1, 0, 1, IOCTL_VANTRI_OPEN, F, 0, 0, false, 0, 0, 1, 1},
    {"create open status 5", kDefault, 0, Op::Create, 1, 0, 1, IOCTL_VANTRI_OPEN, S, 0, 5, false, 0, 0, 5, 1},
    {"create open status 2 goes global", kDefault, 0, Op::Create, 1, 0, 1, IOCTL_VANTRI_OPEN, S, 0, 2, true, 0, 2, kSeed, 1},
    // VantriClose
    {"close 16", kDefault, 0, Op::Close, 16, 0, kNone, 0, 0, 0, 0, false, 0, 7, kNone, 0},
    {"close 0xFFFF", kDefault, 0, Op::Close, 0xFFFF, 0, kNone, 0, 0, 0, 0, false, 0, 7, kNone, 0},
    {"close not open", kDefault, 0, Op::Close, 1, 0, kNone, 0, 0, 0, 0, false, 0, 0, 4, 0},
    {"close not delivered", kDefault, 0x2, Op::Close, 1, 0, 1, IOCTL_VANTRI_CLOSE, F, 0, 0, false, 0, 0, 1, 1},
    {"close status 9", kDefault, 0x2, Op::Close, 1, 0, 1, IOCTL_VANTRI_CLOSE, S, 0, 9, false, 0, 0, 9, 1},
    {"close status 2 goes global", kDefault, 0x2, Op::Close, 1, 0, 1, IOCTL_VANTRI_CLOSE, S, 0, 2, true, 0, 2, kSeed, 1},
    {"close upper 16 bits ignored", kDefault, 0x2, Op::Close, 0x70001, 0, kNone, 0, 0, 0, 0, false, 1, 0, 0, 1},
    // VantriGetResource
    {"resource 16 with null: range first", kDefault, 0, Op::GetResourceNull, 16, 0, kNone, 0, 0, 0, 0, false, 0, 7, kNone, 0},
    {"resource null record", kDefault, 0, Op::GetResourceNull, 3, 0, kNone, 0, 0, 0, 0, false, 0, 0, 7, 0},
    {"resource not open", kDefault, 0, Op::GetResource, 1, 0, kNone, 0, 0, 0, 0, false, 0, 0, 4, 0},
    {"resource not delivered", kDefault, 0x2, Op::GetResource, 1, 0, 1, IOCTL_VANTRI_GET_RESOURCE, F, 0, 0, false, 0, 0, 1, 1},
    {"resource status 0x33", kDefault, 0x2, Op::GetResource, 1, 0, 1, IOCTL_VANTRI_GET_RESOURCE, S, 0, 0x33, false, 0, 0, 0x33, 1},
    {"resource status 2 goes global", kDefault, 0x2, Op::GetResource, 1, 0, 1, IOCTL_VANTRI_GET_RESOURCE, S, 0, 2, true, 0, 2, kSeed, 1},
    {"resource length 8", kDefault, 0x2, Op::GetResource, 1, 0, 1, IOCTL_VANTRI_GET_RESOURCE, W, 2, 8, false, 0, 0, 1, 1},
    {"resource length 0", kDefault, 0x2, Op::GetResource, 1, 0, 1, IOCTL_VANTRI_GET_RESOURCE, W, 2, 0, false, 0, 0, 1, 1},
    // VantriInPort
    {"in 16", kDefault, 0, Op::InPort, 16, 0, kNone, 0, 0, 0, 0, false, 0, 7, kNone, 0},
    {"in 0xFFFF with null: range first", kDefault, 0, Op::InPortNull, 0xFFFF, 0, kNone, 0, 0, 0, 0, false, 0, 7, kNone, 0},
    {"in null value", kDefault, 0x2, Op::InPortNull, 1, 0, kNone, 0, 0, 0, 0, false, 0, 0, 7, 0},
    {"in not open", kDefault, 0, Op::InPort, 1, 0, kNone, 0, 0, 0, 0, false, 0, 0, 4, 0},
    {"in not delivered", kDefault, 0x2, Op::InPort, 1, 0, 1, IOCTL_VANTRI_IN_PORT, F, 0, 0, false, 0, 0, 1, 1},
    {"in status 0x44", kDefault, 0x2, Op::InPort, 1, 0, 1, IOCTL_VANTRI_IN_PORT, S, 0, 0x44, false, 0, 0, 0x44, 1},
    {"in status 2 on device 5 goes global", 0x21, 0x20, Op::InPort, 5, 0, 5, IOCTL_VANTRI_IN_PORT, S, 0, 2, true, 0, 2, kSeed, 1},
    {"in port 7: the driver decides", kDefault, 0x2, Op::InPort, 1, 7, kNone, 0, 0, 0, 0, false, 0, 0, VANTRISIM_STATUS_BAD_PORT, 1},
    {"in upper 16 bits ignored", kDefault, 0x2, Op::InPort, 0xABCD0001, 0, kNone, 0, 0, 0, 0, false, 1, 0, 0, 1},
    // VantriOutPort
    {"out 16", kDefault, 0, Op::OutPort, 16, 0, kNone, 0, 0, 0, 0, false, 0, 7, kNone, 0},
    {"out not open", kDefault, 0, Op::OutPort, 2, 0, kNone, 0, 0, 0, 0, false, 0, 0, 4, 0},
    {"out not delivered", kDefault, 0x2, Op::OutPort, 1, 0, 1, IOCTL_VANTRI_OUT_PORT, F, 0, 0, false, 0, 0, 1, 1},
    {"out status 0x66", kDefault, 0x2, Op::OutPort, 1, 0, 1, IOCTL_VANTRI_OUT_PORT, S, 0, 0x66, false, 0, 0, 0x66, 1},
    {"out status 2 goes global", kDefault, 0x2, Op::OutPort, 1, 0, 1, IOCTL_VANTRI_OUT_PORT, S, 0, 2, true, 0, 2, kSeed, 1},
    {"out port 7: the driver decides", kDefault, 0x2, Op::OutPort, 1, 7, kNone, 0, 0, 0, 0, false, 0, 0, VANTRISIM_STATUS_BAD_PORT, 1},
};

void OpenBoards(const VantriApi &api, DWORD dwMask)
{
    for (WORD n = 0; n < 16; n++) {
        if (!(dwMask & (1u << n)))
            continue;
        WORD w = n;
        WCHECK(api.Create(&w) == 1);
    }
}

// Plants kSeed as the device's code: a status reply on a board opened for it.
void SeedDeviceCode(const VantriApi &api, WORD wDevice, bool bWasOpen)
{
    if (!bWasOpen) {
        WORD w = wDevice;
        WCHECK(api.Create(&w) == 1);
    }
    VantriSimSetFault(wDevice, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_STATUS, 0, kSeed, 1);
    BYTE b;
    WCHECK(api.InPort(wDevice, 0, &b) == 0);
    if (!bWasOpen) {
        WCHECK(api.Close(wDevice) == 1);
        WCHECK(WaitOpenCounts(0));  // the driver has seen the close
    }
    WCHECK_EQ(kSeed, api.GetLastError(wDevice));
}

void RunRoutingRow(const RoutingRow &row)
{
    WCONTEXT("%s", row.name);
    VantriSimConfig cfg = SimConfig(row.dwBoardMask);
    SimSession sim(&cfg);
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    WORD wDevice = LOWORD(row.dwDevice);

    OpenBoards(api, row.dwOpenFirst);
    if (row.bSeedDevice)
        SeedDeviceCode(api, wDevice, (row.dwOpenFirst >> wDevice) & 1);
    WCHECK_EQ(0, api.GetLastError(VANTRI_ANY_DEVICE));
    if (row.dwFaultBoard != kNone)
        WREQUIRE(VantriSimSetFault(row.dwFaultBoard, row.dwFaultCode, row.dwFaultKind,
                                   row.dwFaultWord, row.dwFaultValue, 0));
    WREQUIRE(VantriSimClearLog());

    BOOL result = 2;
    BYTE bValue[3] = {0x11, 0xA5, 0x22};
    VantriResource res;
    memset(&res, 0xCC, sizeof res);
    WORD wVar = wDevice;
    switch (row.op) {
    case Op::Create: case Op::CreateAny: result = api.Create(&wVar); break;
    case Op::CreateNull: result = api.Create(NULL); break;
    case Op::Close: result = api.Close(row.dwDevice); break;
    case Op::GetResource: result = api.GetResource(row.dwDevice, &res); break;
    case Op::GetResourceNull: result = api.GetResource(row.dwDevice, NULL); break;
    case Op::InPort: result = api.InPort(row.dwDevice, row.dwPort, &bValue[1]); break;
    case Op::InPortNull: result = api.InPort(row.dwDevice, row.dwPort, NULL); break;
    case Op::OutPort: result = api.OutPort(row.dwDevice, row.dwPort, 0x5A); break;
    }
    WCHECK_EQ(row.expectResult, result);
    WCHECK_EQ(row.expectGlobal, api.GetLastError(VANTRI_ANY_DEVICE));
    if (row.expectDevice != kNone && wDevice < 16)
        WCHECK_EQ(row.expectDevice, api.GetLastError(wDevice));
    WCHECK_EQ(row.expectRequests, (int)ReadSimLog(GetCurrentProcessId()).size());
    if (!result) {
        // Nothing the caller owns is touched by a failure.
        WCHECK(bValue[0] == 0x11 && bValue[1] == 0xA5 && bValue[2] == 0x22);
        WCHECK(AllBytes(&res, sizeof res, 0xCC));
        if (row.op == Op::CreateAny || row.op == Op::Create)
            WCHECK_EQ(wDevice, wVar);
    }
    // Other devices' codes are never touched by this call.
    for (WORD n = 0; n < 16; n++) {
        if (n == wDevice)
            continue;
        WCONTEXT("%s, device %u", row.name, n);
        WCHECK_EQ(0, api.GetLastError(n));
    }
    WCONTEXT("");
}

}  // namespace

WTEST(RoutingTable)
{
    for (const RoutingRow &row : kRoutingRows)
        RunRoutingRow(row);
}

// Codes stay after successes and reads; reads go by the low 16 bits.
WTEST(RoutingCodesPersistAndReadByLow16Bits)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    for (DWORD n : {0u, 3u, 15u, 16u, 0xFFFFu, 1000u})
        WCHECK_EQ(0, api.GetLastError(n));
    WORD w = 1;
    WREQUIRE(api.Create(&w));
    BYTE b;
    WCHECK(!api.InPort(3, 0, &b));     // device 3: code 4
    WCHECK(!api.Close(16));            // global: code 7
    for (int i = 0; i < 5; i++)        // successes change nothing
        WCHECK(api.InPort(1, 0, &b) && api.OutPort(1, 0, i));
    for (int i = 0; i < 2; i++) {
        WCHECK_EQ(4, api.GetLastError(3));
        WCHECK_EQ(4, api.GetLastError(0x00050003));
        WCHECK_EQ(7, api.GetLastError(16));
        WCHECK_EQ(7, api.GetLastError(0xFFFF));
        WCHECK_EQ(7, api.GetLastError(1000));
        WCHECK_EQ(0, api.GetLastError(1));
    }
}

// The boards stay usable after the failures that must leave them open.
WTEST(RoutingFailuresLeaveBoardsAsStated)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    BYTE b;
    WORD w = 1;
    WREQUIRE(api.Create(&w));
    // Naming an open board fails and leaves it open and usable.
    WCHECK(!api.Create(&w));
    WCHECK(api.InPort(1, 0, &b));
    // A refused close leaves it open; the next close asks the driver again.
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_STATUS, 0, 9, 1));
    WREQUIRE(VantriSimClearLog());
    WCHECK(!api.Close(1));
    WCHECK(api.InPort(1, 0, &b));
    WCHECK(api.Close(1));
    std::vector<VantriSimLogEntry> log = ReadSimLog(GetCurrentProcessId());
    int closes = 0;
    for (const VantriSimLogEntry &e : log)
        closes += e.dwCode == IOCTL_VANTRI_CLOSE;
    WCHECK_EQ(2, closes);
    // After a close the number opens again.
    WCHECK(WaitOpenCounts(0));
    WCHECK(api.Create(&w));
    // A refused or undelivered open gives the board back: it opens anew.
    for (DWORD kind : {VANTRISIM_FAULT_STATUS, VANTRISIM_FAULT_FAIL}) {
        WCONTEXT("open fault kind %lu", kind);
        w = 2;
        WREQUIRE(VantriSimSetFault(2, IOCTL_VANTRI_OPEN, kind, 0, 5, 1));
        WCHECK(!api.Create(&w));
        WCHECK(WaitOpenCounts(0x2));  // only board 1 still open
        WCHECK(api.Create(&w));
        WCHECK(api.Close(2));
        WCHECK(WaitOpenCounts(0x2));
    }
    WCONTEXT("");
}

WTEST(RoutingCreateAnyScansInOrder)
{
    struct ScanCase {
        DWORD dwBoardMask;
        DWORD dwTakenFirst;  // opened by number before the scan
    };
    const ScanCase cases[] = {
        {0x0007, 0},      // the default boards 0, 1, 2
        {0x00A5, 0},      // gaps: 0, 2, 5, 7
        {0x0007, 0x2},    // 1 taken by this process: skipped without an open
        {0xFFFF, 0},      // all 16
    };
    for (const ScanCase &c : cases) {
        VantriSimConfig cfg = SimConfig(c.dwBoardMask);
        SimSession sim(&cfg);
        WREQUIRE(sim.ok());
        LoadedLibrary lib;
        WREQUIRE(lib.ok());
        const VantriApi &api = lib.api();
        for (WORD n = 0; n < 16; n++) {
            WORD w = n;
            if (c.dwTakenFirst & (1u << n))
                WCHECK(api.Create(&w));
        }
        DWORD dwExpectGlobal = 0;
        for (WORD n = 0; n < 16; n++) {
            if (c.dwTakenFirst & (1u << n))
                continue;
            if (!(c.dwBoardMask & (1u << n))) {
                dwExpectGlobal = 1;  // a path that did not open on the way
                continue;
            }
            WCONTEXT("mask 0x%lx, expecting %u", c.dwBoardMask, n);
            WORD w = VANTRI_ANY_DEVICE;
            WCHECK(api.Create(&w) == 1);
            WCHECK_EQ(n, w);
            WCHECK_EQ(dwExpectGlobal, api.GetLastError(VANTRI_ANY_DEVICE));
        }
        WCONTEXT("mask 0x%lx, the last call", c.dwBoardMask);
        WREQUIRE(VantriSimClearLog());
        WORD w = VANTRI_ANY_DEVICE;
        WCHECK(api.Create(&w) == 0);
        WCHECK_EQ(VANTRI_ANY_DEVICE, w);
        WCHECK_EQ(2, api.GetLastError(VANTRI_ANY_DEVICE));
        WCHECK(ReadSimLog().empty());
        WCHECK(WaitOpenCounts(c.dwBoardMask | c.dwTakenFirst));
        WCONTEXT("");
    }
}

// With all 16 slots taken, the scan opens no path at all.
WTEST(RoutingCreateAnyWithAllSlotsTakenOpensNothing)
{
    VantriSimConfig cfg = SimConfig(0xFFFF);
    SimSession sim(&cfg);
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    for (WORD n = 0; n < 16; n++) {
        WORD w = n;
        WREQUIRE(api.Create(&w));
    }
    // An opened path would fail (exclusive) and leave code 1 before the 2;
    // no new open may show in the counts either.
    WORD w = VANTRI_ANY_DEVICE;
    WCHECK(!api.Create(&w));
    WCHECK_EQ(2, api.GetLastError(VANTRI_ANY_DEVICE));
    VantriSimStatus st;
    WREQUIRE(VantriSimGetStatus(&st));
    for (int n = 0; n < 16; n++)
        WCHECK_EQ(1, st.dwOpenCount[n]);
}

WTEST(RoutingRequestBytesAndLengths)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    const DWORD pid = GetCurrentProcessId();

    // The version query of the first attach: device 0, no input at all.
    std::vector<VantriSimLogEntry> log = ReadSimLog(pid);
    WREQUIRE(log.size() == 1);
    WCHECK_EQ(0, log[0].dwBoard);
    WCHECK_EQ(IOCTL_VANTRI_GET_VERSION, log[0].dwCode);
    WCHECK_EQ(0, log[0].dwInputLength);
    WCHECK_EQ(64, log[0].dwOutputLength);
    WCHECK_EQ(0, log[0].dwInputPresent);

    WREQUIRE(VantriSimClearLog());
    WORD w = 2;
    VantriResource res;
    BYTE b;
    DWORD dwDll, dwDrv;
    WREQUIRE(api.Create(&w));
    WCHECK(api.GetResource(2, &res));
    WCHECK(api.GetVersion(&dwDll, &dwDrv));  // never asks the driver
    const DWORD ports[] = {0, 3, 7, 0xFFFFFFFFu};
    for (DWORD p : ports)
        api.InPort(2, p, &b);
    const DWORD values[] = {0x00, 0xA5, 0x1FF, 0xFFFFFF5Au};
    for (DWORD v : values)
        WCHECK(api.OutPort(2, 1, v));
    WCHECK(!api.OutPort(2, 7, 0x12));
    WCHECK(api.Close(2));

    // Requests without an input record carry 64 bytes with no defined
    // content: zeros (a null pointer with length 64 never reaches a driver
    // under Wine).
    struct Expect {
        DWORD dwCode;
        bool bInput;
        DWORD dwWord0, dwWord4;
    };
    const Expect expect[] = {
        {IOCTL_VANTRI_OPEN, true, 0, 0},
        {IOCTL_VANTRI_GET_RESOURCE, true, 0, 0},
        {IOCTL_VANTRI_IN_PORT, true, 0, kNone},
        {IOCTL_VANTRI_IN_PORT, true, 3, kNone},
        {IOCTL_VANTRI_IN_PORT, true, 7, kNone},
        {IOCTL_VANTRI_IN_PORT, true, 0xFFFFFFFFu, kNone},
        {IOCTL_VANTRI_OUT_PORT, true, 1, 0x00},
        {IOCTL_VANTRI_OUT_PORT, true, 1, 0xA5},
        {IOCTL_VANTRI_OUT_PORT, true, 1, 0xFF},
        {IOCTL_VANTRI_OUT_PORT, true, 1, 0x5A},
        {IOCTL_VANTRI_OUT_PORT, true, 7, 0x12},
        {IOCTL_VANTRI_CLOSE, true, 0, 0},
    };
    log = ReadSimLog(pid);
    WCHECK_EQ(sizeof expect / sizeof expect[0], log.size());
    for (size_t i = 0; i < log.size() && i < sizeof expect / sizeof expect[0]; i++) {
        WCONTEXT("request %u, code 0x%lx", (unsigned)i, expect[i].dwCode);
        const VantriSimLogEntry &e = log[i];
        WCHECK_EQ(2, e.dwBoard);
        WCHECK_EQ(expect[i].dwCode, e.dwCode);
        WCHECK_EQ(64, e.dwInputLength);
        WCHECK_EQ(64, e.dwOutputLength);
        WCHECK_EQ(expect[i].bInput ? 1 : 0, e.dwInputPresent);
        if (expect[i].bInput)
            WCHECK_EQ(expect[i].dwWord0, LogWord(e, 0));
        if (expect[i].bInput && expect[i].dwWord4 != kNone)
            WCHECK_EQ(expect[i].dwWord4, LogWord(e, 4));
    }
    WCONTEXT("");
}

WTEST(RoutingRepliesAsRead)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    WORD w = 1;
    WREQUIRE(api.Create(&w));

    // The record: 102 words of 0 but 1 at 112, the base at 116, 4 at 196.
    VantriResource res;
    memset(&res, 0xCC, sizeof res);
    WCHECK(api.GetResource(1, &res));
    const DWORD *pw = reinterpret_cast<const DWORD *>(&res);
    for (int i = 0; i < 102; i++) {
        WCONTEXT("record word at byte %d", i * 4);
        DWORD expect = i * 4 == 112 ? 1 : i * 4 == 116 ? VANTRISIM_DEFAULT_BASE(1) : i * 4 == 196 ? 4 : 0;
        WCHECK_EQ(expect, pw[i]);
    }
    WCONTEXT("");

    // Exactly one byte is written: the low byte of reply word 1.
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_REPLY_WORD, 1, 0xDEADBEA5u, 1));
    BYTE buf[4] = {0x11, 0x22, 0x33, 0x44};
    WCHECK(api.InPort(1, 0, &buf[1]));
    WCHECK(buf[0] == 0x11 && buf[1] == 0xA5 && buf[2] == 0x33 && buf[3] == 0x44);

    // The loopback cable: what goes out on a port comes back in, 8 bits.
    WCHECK(api.OutPort(1, 2, 0x1C3));
    BYTE b = 0;
    WCHECK(api.InPort(1, 2, &b));
    WCHECK_EQ(0xC3, b);
    VantriSimStatus st;
    WREQUIRE(VantriSimGetStatus(&st));
    WCHECK_EQ(0xC3, st.bLatch[1][2]);
}

// The README example, linked through the import library, run as a program.
WTEST(RoutingImportLibraryExample)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    WREQUIRE(VantriSimSetInput(1, 0, VANTRISIM_INPUT_FIXED, 0x3C));
    DWORD dwExit = 99, dwProcessId = 0;
    WCHECK(RunSibling("vantri-example.exe", &dwExit, &dwProcessId));
    WCHECK_EQ(0, dwExit);
    std::vector<VantriSimLogEntry> log = ReadSimLog(dwProcessId);
    int opens = 0, reads = 0, closes = 0;
    for (const VantriSimLogEntry &e : log) {
        opens += e.dwCode == IOCTL_VANTRI_OPEN;
        reads += e.dwCode == IOCTL_VANTRI_IN_PORT && LogWord(e, 0) == 0;
        closes += e.dwCode == IOCTL_VANTRI_CLOSE;
    }
    WCHECK_EQ(3, opens);
    WCHECK_EQ(3, reads);
    WCHECK_EQ(3, closes);
}
