// winlayer_test.cpp - the native layer's own rules, where the library's
// tests rely on them: paths, exclusivity, completion, handles, wsprintfA.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vantri_protocol.h"
#include "vantrisim.h"
#include "winlayer_test.h"

namespace {

class LayerTest : public ::testing::Test {
protected:
    void SetUp() override { WinlayerResetModel(nullptr); }
    void TearDown() override
    {
        EXPECT_TRUE(WinlayerDrainPending(5000));
        EXPECT_EQ(WinlayerOpenHandleCount(), 0u);
        WinlayerCloseAllHandles();
    }
    static HANDLE Open(const char *path, DWORD flags = FILE_FLAG_OVERLAPPED)
    {
        return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags,
                           nullptr);
    }
};

TEST_F(LayerTest, BoardPathsOpenByTheirExactName)
{
    struct Row {
        const char *path;
        DWORD error;  // 0: opens
    } const rows[] = {
        {"\\\\.\\vantri0", 0},         {"\\\\.\\VANTRI2", 0},
        {"\\\\.\\vantri3", ERROR_FILE_NOT_FOUND},   // no such board
        {"\\\\.\\vantri01", ERROR_FILE_NOT_FOUND},  {"\\\\.\\vantri16", ERROR_FILE_NOT_FOUND},
        {"\\\\.\\vantri", ERROR_FILE_NOT_FOUND},    {"\\\\.\\vantri1x", ERROR_FILE_NOT_FOUND},
        {"vantri1", ERROR_FILE_NOT_FOUND},          {"", ERROR_FILE_NOT_FOUND},
        {nullptr, ERROR_FILE_NOT_FOUND},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path != nullptr ? row.path : "(null)");
        SetLastError(0);
        HANDLE h = Open(row.path);
        if (row.error == 0) {
            ASSERT_NE(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(CloseHandle(h), TRUE);
        } else {
            EXPECT_EQ(h, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), row.error);
        }
    }
}

TEST_F(LayerTest, ABoardOpensOnceAndClosedHandlesStayInvalid)
{
    HANDLE h = Open("\\\\.\\vantri1");
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("\\\\.\\vantri1"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(CloseHandle(h), TRUE);
    EXPECT_EQ(CloseHandle(h), FALSE) << "a second close";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    HANDLE again = Open("\\\\.\\vantri1");
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_NE(again, h) << "a reused entry gets a new value";
    VantriReply reply;
    DWORD n;
    EXPECT_EQ(DeviceIoControl(h, IOCTL_VANTRI_OPEN, nullptr, 64, &reply, 64, &n, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(CloseHandle(again), TRUE);
    EXPECT_EQ(CloseHandle(nullptr), FALSE);
    EXPECT_EQ(CloseHandle(INVALID_HANDLE_VALUE), FALSE);
}

TEST_F(LayerTest, OpenFailsFaultAndInjectedCloseFailure)
{
    VantriSimFault f = {2, 0, VANTRISIM_FAULT_OPEN_FAILS, 0, 0, 1};
    ASSERT_EQ(WinlayerSetFault(&f), TRUE);
    EXPECT_EQ(Open("\\\\.\\vantri2"), INVALID_HANDLE_VALUE);
    HANDLE h = Open("\\\\.\\vantri2");
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "the fault hit one open";
    WinlayerFailNextClose(1);
    EXPECT_EQ(CloseHandle(h), FALSE);
    EXPECT_EQ(WinlayerHandleBoard(h), 2) << "still open";
    EXPECT_EQ(CloseHandle(h), TRUE);
}

TEST_F(LayerTest, PendedRequestCompletesThroughTheOverlapped)
{
    VantriSimFault f = {1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_PEND, 0, 30, 1};
    ASSERT_EQ(WinlayerSetFault(&f), TRUE);
    HANDLE h = Open("\\\\.\\vantri1");
    HANDLE ev = CreateEventA(nullptr, TRUE, TRUE, nullptr);  // signaled: the call must clear it
    ASSERT_NE(ev, nullptr);
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof ov);
    ov.hEvent = ev;
    VantriReply reply;
    std::memset(&reply, 0xEE, sizeof reply);
    DWORD n = 0;
    EXPECT_EQ(DeviceIoControl(h, IOCTL_VANTRI_GET_RESOURCE, nullptr, 64, &reply, 64, &n, &ov), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(GetOverlappedResult(h, &ov, &n, FALSE), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));
    EXPECT_EQ(WaitForSingleObject(ev, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(GetOverlappedResult(h, &ov, &n, TRUE), TRUE);
    EXPECT_EQ(n, 64u);
    EXPECT_EQ(reply.dwStatus, 0u);
    EXPECT_EQ(reply.dwData1, VANTRISIM_DEFAULT_BASE(1));
    EXPECT_EQ(reply.dwData2, 4u);
    EXPECT_EQ(WaitForSingleObject(ev, 0), static_cast<DWORD>(WAIT_OBJECT_0));

    // A request completed at once: TRUE, and the OVERLAPPED completed too.
    ov.Internal = 12345;
    EXPECT_EQ(DeviceIoControl(h, IOCTL_VANTRI_OPEN, nullptr, 64, &reply, 64, &n, &ov), TRUE);
    EXPECT_EQ(ov.Internal, 0u);
    EXPECT_EQ(GetOverlappedResult(h, &ov, &n, TRUE), TRUE);
    EXPECT_EQ(CloseHandle(ev), TRUE);
    EXPECT_EQ(CloseHandle(h), TRUE);
}

TEST_F(LayerTest, FailedRequestAndSynchronousHandle)
{
    VantriSimFault fail = {0, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_FAIL, 0, 0, 1};
    VantriSimFault pend = {0, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_PEND, 0, 20, 1};
    ASSERT_EQ(WinlayerSetFault(&fail), TRUE);
    ASSERT_EQ(WinlayerSetFault(&pend), TRUE);
    HANDLE h = Open("\\\\.\\vantri0", 0);  // not overlapped
    VantriReply reply;
    DWORD n = 0;
    EXPECT_EQ(DeviceIoControl(h, IOCTL_VANTRI_OPEN, nullptr, 64, &reply, 64, &n, nullptr), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    std::memset(&reply, 0xEE, sizeof reply);
    EXPECT_EQ(DeviceIoControl(h, IOCTL_VANTRI_CLOSE, nullptr, 64, &reply, 64, &n, nullptr), TRUE)
        << "a synchronous handle waits";
    EXPECT_EQ(reply.dwStatus, 0u);
    EXPECT_EQ(n, 64u);
    EXPECT_EQ(CloseHandle(h), TRUE);
}

TEST_F(LayerTest, CriticalSectionIsRecursiveAndInterlockedReturnsTheRightValue)
{
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    LeaveCriticalSection(&cs);
    DeleteCriticalSection(&cs);
    // The layer's completion thread exists already: re-run the program for
    // the death test instead of forking it as it stands.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(EnterCriticalSection(&cs), "not initialised");

    volatile LONG v = 5;
    EXPECT_EQ(InterlockedIncrement(&v), 6);
    EXPECT_EQ(InterlockedDecrement(&v), 5);
    EXPECT_EQ(InterlockedExchange(&v, 9), 5);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 8), 9) << "no match: unchanged";
    EXPECT_EQ(v, 9);
    EXPECT_EQ(InterlockedCompareExchange(&v, 1, 9), 9);
    EXPECT_EQ(v, 1);

    int a = 0, b = 0;
    PVOID volatile p = &a;
    EXPECT_EQ(InterlockedCompareExchangePointer(&p, &b, nullptr), &a) << "no match: unchanged";
    EXPECT_EQ(InterlockedCompareExchangePointer(&p, &b, &a), &a);
    EXPECT_EQ(InterlockedExchangePointer(&p, nullptr), &b);
    EXPECT_EQ(p, nullptr);
}

TEST(LayerFormat, WsprintfFormatsAndStaysWithin1024Bytes)
{
    char out[2048];
    struct Row {
        std::string expected;
        int (*format)(char *);
    } const rows[] = {
        {"\\\\.\\vantri0", [](char *o) { return wsprintfA(o, VANTRI_DEVICE_PATH_FORMAT, 0); }},
        {"\\\\.\\vantri15", [](char *o) { return wsprintfA(o, VANTRI_DEVICE_PATH_FORMAT, 15); }},
        {"-2147483648 4294967295", [](char *o) { return wsprintfA(o, "%d %u", INT32_MIN, 0xFFFFFFFFu); }},
        {"0x00ff|ABCDEF|  7|7  |", [](char *o) { return wsprintfA(o, "0x%04x|%X|%3d|%-3d|", 255, 0xABCDEF, 7, 7); }},
        {"a b (null) 100%", [](char *o) { return wsprintfA(o, "%c %s %s 100%%", 'a', "b", static_cast<char *>(nullptr)); }},
        {"%q %", [](char *o) { return wsprintfA(o, "%q %"); }},
        {"-1 65535", [](char *o) { return wsprintfA(o, "%hd %hu", 0xFFFF, 0x1FFFF); }},
    };
    for (const Row &row : rows) {
        std::memset(out, 0x55, sizeof out);
        int n = row.format(out);
        EXPECT_EQ(std::string(out), row.expected);
        EXPECT_EQ(n, static_cast<int>(row.expected.size()));
    }
    // A result longer than 1023 characters is cut, and nothing past byte
    // 1024 is written.
    std::memset(out, 0x55, sizeof out);
    std::string big(3000, 'x');
    EXPECT_EQ(wsprintfA(out, "%s%s", big.c_str(), "tail"), 1023);
    EXPECT_EQ(std::strlen(out), 1023u);
    EXPECT_EQ(static_cast<unsigned char>(out[1024]), 0x55u);
    EXPECT_EQ(wsprintfA(out, "%2000d", 1), 1023);
    EXPECT_EQ(static_cast<unsigned char>(out[1024]), 0x55u);
}

TEST(LayerPlatform, GetVersionExReportsThePlatformSet)
{
    OSVERSIONINFOA v;
    std::memset(&v, 0, sizeof v);
    v.dwOSVersionInfoSize = 100;
    EXPECT_EQ(GetVersionExA(&v), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    v.dwOSVersionInfoSize = sizeof v;
    EXPECT_EQ(GetVersionExA(&v), TRUE);
    EXPECT_EQ(v.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    WinlayerSetPlatform(WINLAYER_PLATFORM_WINDOWS, 0);
    EXPECT_EQ(GetVersionExA(&v), TRUE);
    EXPECT_EQ(v.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS));
    WinlayerSetPlatform(WINLAYER_PLATFORM_FAIL, 31);
    EXPECT_EQ(GetVersionExA(&v), FALSE);
    EXPECT_EQ(GetLastError(), 31u);
    WinlayerSetPlatform(WINLAYER_PLATFORM_NT, 0);
}

}  // namespace
