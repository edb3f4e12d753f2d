// overlapped_test.cpp - requests the driver pends. First the fault itself,
// on the layer alone: on a handle opened with FILE_FLAG_OVERLAPPED, a
// DeviceIoControl without an OVERLAPPED returns before the reply exists and
// the reply lands in the caller's buffer later. Then the library, which
// waits for every request, under pend faults and with two threads on one
// handle.
#include "fixture.h"

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace vt {
namespace {

// Stays alive after the test returns: the late reply must land somewhere.
VantriReply g_lateReply;

TEST_F(LibraryTest, WithoutAnOverlappedAPendedReplyArrivesAfterTheCallReturned)
{
    SetFault(Fault(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 50, 1));
    VantriSimInput in = {1, 0, VANTRISIM_INPUT_FIXED, 0xC3};
    ASSERT_EQ(WinlayerSetInput(&in), TRUE);
    HANDLE h = CreateFileA("\\\\.\\vantri1", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE,
                           nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    VantriPortRequest request;
    std::memset(&request, 0, sizeof request);
    std::memset(&g_lateReply, 0xEE, sizeof g_lateReply);
    DWORD returned = 0xDDDDDDDDu;
    BOOL ok = DeviceIoControl(h, IOCTL_VANTRI_IN_PORT, &request, sizeof request, &g_lateReply,
                              sizeof g_lateReply, &returned, nullptr);
    DWORD error = GetLastError();

    EXPECT_EQ(ok, FALSE);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_IO_PENDING)) << "returned before completion";
    EXPECT_EQ(returned, 0xDDDDDDDDu) << "no byte count: nothing was returned yet";
    // Whatever the caller reads now is not the reply. The reply comes later,
    // into memory the caller may long have given up.
    EXPECT_TRUE(WinlayerDrainPending(5000));
    EXPECT_EQ(g_lateReply.dwStatus, 0u) << "the reply landed after the call";
    EXPECT_EQ(g_lateReply.dwData1 & 0xFFu, 0xC3u);
    EXPECT_EQ(CloseHandle(h), TRUE);
}

TEST_F(LibraryTest, EveryLibraryRequestCarriesAnOverlapped)
{
    Detach();
    WinlayerResetModel(nullptr);
    SetShared(0, 0);
    ASSERT_EQ(Attach(), TRUE);
    Open(1);
    BYTE b;
    VantriResource res;
    VantriInPort(1, 0, &b);
    VantriOutPort(1, 0, 1);
    VantriGetResource(1, &res);
    VantriClose(1);
    WinlayerCallCounts calls;
    WinlayerGetCallCounts(&calls);
    EXPECT_EQ(calls.dwDeviceIoControl, 6u);
    EXPECT_EQ(calls.dwWithOverlapped, calls.dwDeviceIoControl);
}

TEST_F(LibraryTest, EveryExportWaitsForAPendedRequest)
{
    // Every request code pends once, the attach-time version query included.
    Detach();
    WinlayerResetModel(nullptr);
    for (uint32_t code : {IOCTL_VANTRI_GET_VERSION, IOCTL_VANTRI_OPEN, IOCTL_VANTRI_CLOSE,
                          IOCTL_VANTRI_GET_RESOURCE, IOCTL_VANTRI_IN_PORT, IOCTL_VANTRI_OUT_PORT})
        SetFault(Fault(0, code, VANTRISIM_FAULT_PEND, 20, 1));
    SetShared(0, 0);
    ASSERT_EQ(Attach(), TRUE);
    EXPECT_EQ(GetSharedBlock()->dwDriverVersion, VANTRISIM_DEFAULT_VERSION);
    Open(0);
    VantriResource res;
    std::memset(&res, 0xEE, sizeof res);
    EXPECT_EQ(VantriGetResource(0, &res), TRUE);
    EXPECT_EQ(res.dwBase, VANTRISIM_DEFAULT_BASE(0));
    EXPECT_EQ(res.dwLength, 4u);
    EXPECT_EQ(VantriOutPort(0, 2, 0x6D), TRUE);
    BYTE b = 0;
    EXPECT_EQ(VantriInPort(0, 2, &b), TRUE);
    EXPECT_EQ(b, 0x6D);
    EXPECT_EQ(VantriClose(0), TRUE);
    for (const VantriSimLogEntry &e : ReadLog())
        EXPECT_EQ(e.dwOutcome, static_cast<uint32_t>(VANTRISIM_FAULT_PEND)) << std::hex << e.dwCode;
    EXPECT_EQ(ReadLog().size(), 6u);
    EXPECT_EQ(VantriGetLastError(0), 0u);
    EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), 0u);
}

TEST_F(LibraryTest, TwoThreadsOnOneHandleEachGetTheirOwnReply)
{
    Open(1);
    for (DWORD port = 0; port < 2; ++port) {
        VantriSimInput in = {1, port, VANTRISIM_INPUT_FIXED, port == 0 ? 0x11u : 0x22u};
        ASSERT_EQ(WinlayerSetInput(&in), TRUE);
    }
    // Every request pends 3 ms, so the two threads' requests overlap.
    SetFault(Fault(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 3, 0));
    WinlayerClearLog();
    constexpr int kCalls = 40;
    std::atomic<int> wrong{0}, failed{0};
    auto reader = [&](DWORD port, BYTE expected) {
        for (int i = 0; i < kCalls; ++i) {
            BYTE b = 0;
            if (VantriInPort(1, port, &b) != TRUE)
                failed++;
            else if (b != expected)
                wrong++;
        }
    };
    std::thread a(reader, 0, 0x11);
    std::thread b(reader, 1, 0x22);
    a.join();
    b.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(VantriGetLastError(1), 0u);
    EXPECT_EQ(ReadLog().size(), static_cast<size_t>(2 * kCalls));
    EXPECT_EQ(WinlayerPendingCount(), 0u) << "every call waited for its completion";
}

// More requests in flight than the library keeps events for: the extra ones
// get an event of their own for the one request, and give it back.
TEST_F(LibraryTest, ManyRequestsInFlightBorrowAndReturnTheirEvents)
{
    Open(1);
    // Long enough for every thread to have started before the first returns.
    SetFault(Fault(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 500, 0));
    WinlayerResetCallCounts();
    constexpr int kThreads = 24;
    std::atomic<int> ok{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            BYTE b;
            if (VantriInPort(1, static_cast<DWORD>(i) % 4, &b) == TRUE)
                ok++;
        });
    }
    EXPECT_TRUE(WaitFor([] { return WinlayerPendingCount() == kThreads; }))
        << "all requests in flight at once; got " << WinlayerPendingCount();
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(ok.load(), kThreads);
    WinlayerCallCounts calls;
    WinlayerGetCallCounts(&calls);
    EXPECT_GE(calls.dwCreateEvent, static_cast<DWORD>(kThreads - 16)) << "temporary events";
    EXPECT_LE(WinlayerOpenEventCount(), 16u) << "only the kept events stay open";
}

}  // namespace
}  // namespace vt
