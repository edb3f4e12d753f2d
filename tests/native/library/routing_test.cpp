// routing_test.cpp - where every failure of every export leaves its code.
//
// One row per failure path: the arrangement before the call, the call, its
// result, the code and where it must land (a device's code or the global
// one), and how many requests reach the driver during the call. Every other
// code must keep its value, and the caller's record and byte must be left
// as they were.
#include "fixture.h"

#include <cstring>
#include <ostream>

namespace vt {
namespace {

constexpr int kGlobal = VANTRI_MAX_DEVICES;

// What the call under test may write to: filled with patterns first.
struct CallerMemory {
    BYTE byteArea[3];         // the call gets &byteArea[1]
    VantriResource record;
    WORD wDevice;
    DWORD dwDll;
    DWORD dwDriver;
};

void OpenBoard(WORD n)
{
    WORD w = n;
    if (VantriCreate(&w) != TRUE)
        ADD_FAILURE() << "arrange: board " << n << " did not open";
}

void Inject(uint32_t board, uint32_t code, uint32_t kind, uint32_t value = 0, uint32_t word = 0)
{
    VantriSimFault f = Fault(board, code, kind, value, 1, word);
    if (WinlayerSetFault(&f) != TRUE)
        ADD_FAILURE() << "arrange: fault refused";
}

// An earlier, different code for device 1 (7), to see that a later driver
// status 2 does not replace it.
void SeedDevice1()
{
    BYTE *none = nullptr;
    VantriInPort(1, 0, none);
}

struct RoutingRow {
    const char *name;
    void (*arrange)();
    BOOL (*act)(CallerMemory &m);
    BOOL result;
    DWORD code;
    int where;      // device number, or kGlobal
    int requests;   // requests the driver receives during the call
};

std::ostream &operator<<(std::ostream &os, const RoutingRow &row)
{
    return os << row.name;
}

BOOL InPortOf(DWORD device, DWORD port, CallerMemory &m)
{
    return VantriInPort(device, port, &m.byteArea[1]);
}

const RoutingRow kRows[] = {
    // Opening and closing paths.
    {"OpenPathFailsWhileScanning", [] { Inject(0, 0, VANTRISIM_FAULT_OPEN_FAILS); },
     [](CallerMemory &m) { m.wDevice = VANTRI_ANY_DEVICE; return VantriCreate(&m.wDevice); },
     TRUE, VANTRI_ERR_SYSTEM, kGlobal, 1},
    {"CloseHandleFails", [] { OpenBoard(1); WinlayerFailNextClose(1); },
     [](CallerMemory &) { return VantriClose(1); }, FALSE, VANTRI_ERR_SYSTEM, kGlobal, 1},

    // VantriGetVersion.
    {"GetVersionWithoutDriverVersion", [] { SetShared(GetSharedBlock()->lAttachCount, 0); },
     [](CallerMemory &m) { return VantriGetVersion(&m.dwDll, &m.dwDriver); },
     FALSE, VANTRI_ERR_SYSTEM, kGlobal, 0},

    // VantriCreate.
    {"CreateNullPointer", nullptr, [](CallerMemory &) { return VantriCreate(nullptr); },
     FALSE, VANTRI_ERR_PARAM, kGlobal, 0},
    {"CreateNumber16", nullptr,
     [](CallerMemory &m) { m.wDevice = 16; return VantriCreate(&m.wDevice); },
     FALSE, VANTRI_ERR_PARAM, kGlobal, 0},
    {"CreateNumberFFFE", nullptr,
     [](CallerMemory &m) { m.wDevice = 0xFFFE; return VantriCreate(&m.wDevice); },
     FALSE, VANTRI_ERR_PARAM, kGlobal, 0},
    {"CreateAnyAllTaken", [] { OpenBoard(0); OpenBoard(1); OpenBoard(2); },
     [](CallerMemory &m) { m.wDevice = VANTRI_ANY_DEVICE; return VantriCreate(&m.wDevice); },
     FALSE, VANTRI_ERR_NODEVICE, kGlobal, 0},
    {"CreateAnyNoneOpens", [] { Inject(0, 0, VANTRISIM_FAULT_OPEN_FAILS); Inject(1, 0, VANTRISIM_FAULT_OPEN_FAILS); Inject(2, 0, VANTRISIM_FAULT_OPEN_FAILS); },
     [](CallerMemory &m) { m.wDevice = VANTRI_ANY_DEVICE; return VantriCreate(&m.wDevice); },
     FALSE, VANTRI_ERR_NODEVICE, kGlobal, 0},
    {"CreateTakenSlot", [] { OpenBoard(1); },
     [](CallerMemory &m) { m.wDevice = 1; return VantriCreate(&m.wDevice); },
     FALSE, VANTRI_ERR_HANDLE, kGlobal, 0},
    {"CreateAbsentBoard", nullptr,
     [](CallerMemory &m) { m.wDevice = 5; return VantriCreate(&m.wDevice); },
     FALSE, VANTRI_ERR_HANDLE, kGlobal, 0},
    {"CreateOpenNotDelivered", [] { Inject(1, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_FAIL); },
     [](CallerMemory &m) { m.wDevice = 1; return VantriCreate(&m.wDevice); },
     FALSE, VANTRI_ERR_SYSTEM, 1, 1},
    {"CreateOpenStatus", [] { Inject(1, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_STATUS, 5); },
     [](CallerMemory &m) { m.wDevice = 1; return VantriCreate(&m.wDevice); },
     FALSE, 5, 1, 1},
    {"CreateOpenStatus2", [] { SeedDevice1(); Inject(1, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_STATUS, 2); },
     [](CallerMemory &m) { m.wDevice = 1; return VantriCreate(&m.wDevice); },
     FALSE, VANTRI_ERR_NODEVICE, kGlobal, 1},

    // VantriClose.
    {"CloseNumber16", nullptr, [](CallerMemory &) { return VantriClose(16); },
     FALSE, VANTRI_ERR_PARAM, kGlobal, 0},
    {"CloseLowBits16", nullptr, [](CallerMemory &) { return VantriClose(0x30010); },
     FALSE, VANTRI_ERR_PARAM, kGlobal, 0},
    {"CloseFreeSlot", nullptr, [](CallerMemory &) { return VantriClose(1); },
     FALSE, VANTRI_ERR_HANDLE, 1, 0},
    {"CloseNotDelivered", [] { OpenBoard(1); Inject(1, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_FAIL); },
     [](CallerMemory &) { return VantriClose(1); }, FALSE, VANTRI_ERR_SYSTEM, 1, 1},
    {"CloseStatus", [] { OpenBoard(1); Inject(1, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_STATUS, 9); },
     [](CallerMemory &) { return VantriClose(1); }, FALSE, 9, 1, 1},
    {"CloseStatus2", [] { OpenBoard(1); SeedDevice1(); Inject(1, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_STATUS, 2); },
     [](CallerMemory &) { return VantriClose(1); }, FALSE, VANTRI_ERR_NODEVICE, kGlobal, 1},

    // VantriGetResource.
    {"ResourceNumber16NullRecord", nullptr,
     [](CallerMemory &) { return VantriGetResource(16, nullptr); },
     FALSE, VANTRI_ERR_PARAM, kGlobal, 0},
    {"ResourceNullRecord", [] { OpenBoard(1); },
     [](CallerMemory &) { return VantriGetResource(1, nullptr); }, FALSE, VANTRI_ERR_PARAM, 1, 0},
    {"ResourceNullRecordNotOpen", nullptr,
     [](CallerMemory &) { return VantriGetResource(3, nullptr); }, FALSE, VANTRI_ERR_PARAM, 3, 0},
    {"ResourceFreeSlot", nullptr,
     [](CallerMemory &m) { return VantriGetResource(1, &m.record); }, FALSE, VANTRI_ERR_HANDLE, 1, 0},
    {"ResourceNotDelivered", [] { OpenBoard(1); Inject(1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_FAIL); },
     [](CallerMemory &m) { return VantriGetResource(1, &m.record); }, FALSE, VANTRI_ERR_SYSTEM, 1, 1},
    {"ResourceStatus", [] { OpenBoard(1); Inject(1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_STATUS, 6); },
     [](CallerMemory &m) { return VantriGetResource(1, &m.record); }, FALSE, 6, 1, 1},
    {"ResourceStatus2", [] { OpenBoard(1); SeedDevice1(); Inject(1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_STATUS, 2); },
     [](CallerMemory &m) { return VantriGetResource(1, &m.record); }, FALSE, VANTRI_ERR_NODEVICE, kGlobal, 1},
    {"ResourceLength8", [] { OpenBoard(1); Inject(1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_REPLY_WORD, 8, 2); },
     [](CallerMemory &m) { return VantriGetResource(1, &m.record); }, FALSE, VANTRI_ERR_SYSTEM, 1, 1},
    {"ResourceLength0", [] { OpenBoard(1); Inject(1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_REPLY_WORD, 0, 2); },
     [](CallerMemory &m) { return VantriGetResource(1, &m.record); }, FALSE, VANTRI_ERR_SYSTEM, 1, 1},

    // VantriInPort.
    {"InPortNumber16", nullptr, [](CallerMemory &m) { return InPortOf(16, 0, m); },
     FALSE, VANTRI_ERR_PARAM, kGlobal, 0},
    {"InPortNumberFFFF", nullptr, [](CallerMemory &m) { return InPortOf(0xFFFF, 0, m); },
     FALSE, VANTRI_ERR_PARAM, kGlobal, 0},
    {"InPortNullValue", [] { OpenBoard(1); },
     [](CallerMemory &) { return VantriInPort(1, 0, nullptr); }, FALSE, VANTRI_ERR_PARAM, 1, 0},
    {"InPortFreeSlot", nullptr, [](CallerMemory &m) { return InPortOf(1, 0, m); },
     FALSE, VANTRI_ERR_HANDLE, 1, 0},
    {"InPortNotDelivered", [] { OpenBoard(1); Inject(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_FAIL); },
     [](CallerMemory &m) { return InPortOf(1, 0, m); }, FALSE, VANTRI_ERR_SYSTEM, 1, 1},
    {"InPortStatus", [] { OpenBoard(1); Inject(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_STATUS, 0x1234); },
     [](CallerMemory &m) { return InPortOf(1, 0, m); }, FALSE, 0x1234, 1, 1},
    {"InPortStatus2", [] { OpenBoard(1); SeedDevice1(); Inject(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_STATUS, 2); },
     [](CallerMemory &m) { return InPortOf(1, 0, m); }, FALSE, VANTRI_ERR_NODEVICE, kGlobal, 1},
    {"InPortBadPortIndex", [] { OpenBoard(1); },
     [](CallerMemory &m) { return InPortOf(1, 7, m); }, FALSE, VANTRISIM_STATUS_BAD_PORT, 1, 1},

    // VantriOutPort.
    {"OutPortNumber16", nullptr, [](CallerMemory &) { return VantriOutPort(16, 0, 1); },
     FALSE, VANTRI_ERR_PARAM, kGlobal, 0},
    {"OutPortFreeSlot", nullptr, [](CallerMemory &) { return VantriOutPort(2, 0, 1); },
     FALSE, VANTRI_ERR_HANDLE, 2, 0},
    {"OutPortNotDelivered", [] { OpenBoard(2); Inject(2, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_FAIL); },
     [](CallerMemory &) { return VantriOutPort(2, 0, 1); }, FALSE, VANTRI_ERR_SYSTEM, 2, 1},
    {"OutPortStatus", [] { OpenBoard(2); Inject(2, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_STATUS, 0xFFFFFFFFu); },
     [](CallerMemory &) { return VantriOutPort(2, 0, 1); }, FALSE, 0xFFFFFFFFu, 2, 1},
    {"OutPortStatus2", [] { OpenBoard(2); OpenBoard(1); SeedDevice1(); Inject(1, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_STATUS, 2); },
     [](CallerMemory &) { return VantriOutPort(1, 3, 0x80); }, FALSE, VANTRI_ERR_NODEVICE, kGlobal, 1},
};

class RoutingTest : public LibraryTest, public ::testing::WithParamInterface<RoutingRow> {};

TEST_P(RoutingTest, RecordsTheCodeWhereItBelongs)
{
    const RoutingRow &row = GetParam();
    if (row.arrange != nullptr)
        row.arrange();
    ASSERT_FALSE(HasFailure());

    CallerMemory m;
    std::memset(&m, 0xA7, sizeof m);
    CallerMemory before = m;
    Codes expected = ReadCodes();
    expected.code[row.where] = row.code;
    size_t logBefore = ReadLog().size();

    BOOL result = row.act(m);

    EXPECT_EQ(result, row.result);
    EXPECT_TRUE(CodesEqual(expected, ReadCodes()));
    EXPECT_EQ(static_cast<int>(ReadLog().size() - logBefore), row.requests)
        << "requests that reached the driver";
    if (result == FALSE) {
        EXPECT_EQ(0, std::memcmp(&m.record, &before.record, sizeof m.record)) << "record written";
        EXPECT_EQ(0, std::memcmp(m.byteArea, before.byteArea, sizeof m.byteArea)) << "byte written";
        EXPECT_EQ(m.dwDriver, before.dwDriver) << "driver version written";
    }
    // A code 2 never lands in a device's code, whatever produced it.
    for (DWORD n = 0; n < VANTRI_MAX_DEVICES; ++n)
        EXPECT_NE(VantriGetLastError(n), static_cast<DWORD>(VANTRI_ERR_NODEVICE)) << "device " << n;
}

INSTANTIATE_TEST_SUITE_P(Table, RoutingTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<RoutingRow> &info) {
                             return std::string(info.param.name);
                         });

// After a failure the device is in the state its path leaves it in.
TEST_F(LibraryTest, FailedCreateLeavesTheSlotFreeAndTheBoardReopenable)
{
    SetFault(Fault(1, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_STATUS, 5, 1));
    WORD w = 1;
    EXPECT_EQ(VantriCreate(&w), FALSE);
    EXPECT_EQ(Status().dwOpenCount[1], 0u) << "the handle was given back";
    SetFault(Fault(1, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_FAIL, 0, 1));
    EXPECT_EQ(VantriCreate(&w), FALSE);
    EXPECT_EQ(VantriGetLastError(1), static_cast<DWORD>(VANTRI_ERR_SYSTEM));
    EXPECT_EQ(Status().dwOpenCount[1], 0u);
    Open(1);
}

TEST_F(LibraryTest, FailedCloseHandleKeepsTheBoardInItsSlot)
{
    Open(1);
    WinlayerFailNextClose(1);
    EXPECT_EQ(VantriClose(1), FALSE);
    EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), static_cast<DWORD>(VANTRI_ERR_SYSTEM));
    BYTE b = 0;
    EXPECT_EQ(VantriInPort(1, 0, &b), TRUE) << "the board is still usable";
    EXPECT_EQ(VantriClose(1), TRUE) << "and closes on the next try";
}

TEST_F(LibraryTest, UpperBitsOfADeviceNumberAreIgnored)
{
    Open(1);
    BYTE b = 0;
    VantriResource res;
    EXPECT_EQ(VantriInPort(0x00010001, 0, &b), TRUE);
    EXPECT_EQ(VantriOutPort(0xFFFF0001, 0, 0x12), TRUE);
    EXPECT_EQ(VantriGetResource(0x80000001, &res), TRUE);
    EXPECT_EQ(VantriClose(0x00050001), TRUE);
    EXPECT_EQ(Status().dwOpenCount[1], 0u);
}

// The library's own addition: a request whose completion event cannot be had
// is not delivered, and says so like any undelivered request.
TEST_F(LibraryTest, RequestWithoutAnEventFailsAsNotDelivered)
{
    // No attach-time query in this "process", so no event exists yet.
    ASSERT_EQ(Reattach(Config(VANTRISIM_DEFAULT_BOARD_MASK), 1, VANTRISIM_DEFAULT_VERSION), TRUE);
    WinlayerFailNextCreateEvent(2);
    WORD w = 1;
    EXPECT_EQ(VantriCreate(&w), FALSE);
    EXPECT_EQ(VantriGetLastError(1), static_cast<DWORD>(VANTRI_ERR_SYSTEM));
    EXPECT_EQ(ReadLog().size(), 0u) << "nothing reached the driver";
    EXPECT_EQ(Status().dwOpenCount[1], 0u);
    Open(1);
}

}  // namespace
}  // namespace vt
