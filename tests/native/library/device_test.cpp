// device_test.cpp - VantriCreate's scan and write-back, VantriClose's rules.
#include "fixture.h"

namespace vt {
namespace {

// The boards a run of VantriCreate(VANTRI_ANY_DEVICE) calls hands out, until
// the first failure (at most 17 calls).
std::vector<WORD> CreateAllAny(WORD *lastVariable)
{
    std::vector<WORD> got;
    for (int i = 0; i <= VANTRI_MAX_DEVICES; ++i) {
        WORD w = VANTRI_ANY_DEVICE;
        BOOL ok = VantriCreate(&w);
        EXPECT_TRUE(ok == TRUE || ok == FALSE);
        if (!ok) {
            *lastVariable = w;
            break;
        }
        got.push_back(w);
    }
    return got;
}

std::vector<uint32_t> BoardsOfRequests(uint32_t code)
{
    std::vector<uint32_t> boards;
    for (const VantriSimLogEntry &e : ReadLog()) {
        if (e.dwCode == code)
            boards.push_back(e.dwBoard);
    }
    return boards;
}

TEST_F(LibraryTest, CreateAnyScansInAscendingOrderOverGaps)
{
    struct Row {
        uint32_t mask;
        std::vector<WORD> expected;
        DWORD globalAfter;  // the failing call's code replaces the opens' 1
    } const rows[] = {
        {0x0007, {0, 1, 2}, VANTRI_ERR_NODEVICE},
        {0x00A5, {0, 2, 5, 7}, VANTRI_ERR_NODEVICE},
        {0x8001, {0, 15}, VANTRI_ERR_NODEVICE},
        {0xFFFF, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, VANTRI_ERR_NODEVICE},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message() << "boards 0x" << std::hex << row.mask);
        ASSERT_EQ(Reattach(Config(row.mask)), TRUE);
        WORD last = 0;
        std::vector<WORD> got = CreateAllAny(&last);
        EXPECT_EQ(got, row.expected);
        EXPECT_EQ(last, VANTRI_ANY_DEVICE) << "a failed scan leaves 0xFFFF";
        EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), row.globalAfter);
        std::vector<uint32_t> opened(row.expected.begin(), row.expected.end());
        EXPECT_EQ(BoardsOfRequests(IOCTL_VANTRI_OPEN), opened) << "one open request per board";
    }
}

TEST_F(LibraryTest, CreateAnyWithAllSixteenTakenOpensNothing)
{
    ASSERT_EQ(Reattach(Config(0xFFFF)), TRUE);
    WORD last;
    ASSERT_EQ(CreateAllAny(&last).size(), 16u);
    WinlayerResetCallCounts();
    WORD w = VANTRI_ANY_DEVICE;
    EXPECT_EQ(VantriCreate(&w), FALSE);
    EXPECT_EQ(w, VANTRI_ANY_DEVICE);
    EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), static_cast<DWORD>(VANTRI_ERR_NODEVICE));
    WinlayerCallCounts calls;
    WinlayerGetCallCounts(&calls);
    EXPECT_EQ(calls.dwCreateFile, 0u) << "no path was opened";
}

TEST_F(LibraryTest, CreateAnySkipsAPathThatDoesNotOpen)
{
    SetFault(Fault(0, 0, VANTRISIM_FAULT_OPEN_FAILS, 0, 1));
    WORD w = VANTRI_ANY_DEVICE;
    EXPECT_EQ(VantriCreate(&w), TRUE);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), static_cast<DWORD>(VANTRI_ERR_SYSTEM))
        << "the failed open's code stays although the call succeeded";
    w = VANTRI_ANY_DEVICE;
    EXPECT_EQ(VantriCreate(&w), TRUE) << "board 0 opens on the next scan";
    EXPECT_EQ(w, 0);
}

TEST_F(LibraryTest, CreateWritesTheNumberBackOnlyForAnyDevice)
{
    // A named number is never written, whatever the outcome.
    WORD w = 2;
    ASSERT_EQ(VantriCreate(&w), TRUE);
    EXPECT_EQ(w, 2);
    w = 2;
    EXPECT_EQ(VantriCreate(&w), FALSE);
    EXPECT_EQ(w, 2);
    w = 9;
    EXPECT_EQ(VantriCreate(&w), FALSE);
    EXPECT_EQ(w, 9);
    EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), static_cast<DWORD>(VANTRI_ERR_HANDLE))
        << "an absent board reads as 4, not 1";

    // With 0xFFFF the number found stays written back even when the driver
    // then refuses the open.
    SetFault(Fault(0, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_STATUS, 5, 1));
    w = VANTRI_ANY_DEVICE;
    EXPECT_EQ(VantriCreate(&w), FALSE);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(VantriGetLastError(0), 5u);
    EXPECT_EQ(Status().dwOpenCount[0], 0u);
}

TEST_F(LibraryTest, CreateNamedReopensAfterClose)
{
    Open(1);
    ASSERT_EQ(VantriClose(1), TRUE);
    Open(1);
    BYTE b;
    EXPECT_EQ(VantriInPort(1, 0, &b), TRUE);
}

TEST_F(LibraryTest, CreateOfAnOpenBoardLeavesItUsable)
{
    Open(1);
    ASSERT_EQ(VantriOutPort(1, 0, 0x3C), TRUE);
    WORD w = 1;
    EXPECT_EQ(VantriCreate(&w), FALSE);
    BYTE b = 0;
    EXPECT_EQ(VantriInPort(1, 0, &b), TRUE);
    EXPECT_EQ(b, 0x3C) << "loopback still reads the latch";
    EXPECT_EQ(Status().dwOpenCount[1], 1u);
}

TEST_F(LibraryTest, CloseWithANonzeroStatusKeepsTheBoardOpenAndResends)
{
    Open(2);
    SetFault(Fault(2, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_STATUS, 0x77, 1));
    EXPECT_EQ(VantriClose(2), FALSE);
    EXPECT_EQ(VantriGetLastError(2), 0x77u);
    BYTE b;
    EXPECT_EQ(VantriInPort(2, 1, &b), TRUE) << "still open";
    EXPECT_EQ(VantriClose(2), TRUE) << "the second close sends the request again";
    EXPECT_EQ(BoardsOfRequests(IOCTL_VANTRI_CLOSE), (std::vector<uint32_t>{2, 2}));
    EXPECT_EQ(Status().dwOpenCount[2], 0u);
    EXPECT_EQ(VantriClose(2), FALSE) << "now it is closed";
    EXPECT_EQ(VantriGetLastError(2), static_cast<DWORD>(VANTRI_ERR_HANDLE));
    EXPECT_EQ(BoardsOfRequests(IOCTL_VANTRI_CLOSE).size(), 2u) << "nothing sent for a free slot";
}

TEST_F(LibraryTest, CloseSendsTheRequestBeforeClosingTheHandle)
{
    Open(0);
    SetFault(Fault(0, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_FAIL, 0, 1));
    EXPECT_EQ(VantriClose(0), FALSE);
    EXPECT_EQ(VantriGetLastError(0), static_cast<DWORD>(VANTRI_ERR_SYSTEM));
    EXPECT_EQ(Status().dwOpenCount[0], 1u) << "an undelivered close closes nothing";
    EXPECT_EQ(VantriClose(0), TRUE);
}

}  // namespace
}  // namespace vt
