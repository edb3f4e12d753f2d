// attach_test.cpp - the entry point: platform check, the first attach's
// version query, later attaches, detach, and the machine-wide block seen
// from other processes.
#include "fixture.h"

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace vt {
namespace {

LONG SharedCount() { return GetSharedBlock()->lAttachCount; }
DWORD SharedVersion() { return GetSharedBlock()->dwDriverVersion; }

TEST_F(LibraryTest, PlatformCheckRefusesTheLoadAndTouchesNothing)
{
    struct Row {
        WinlayerPlatform platform;
        DWORD failError;
        DWORD lastError;
    } const rows[] = {
        {WINLAYER_PLATFORM_WINDOWS, 0, ERROR_APP_WRONG_OS},
        {WINLAYER_PLATFORM_FAIL, 1234, 1234},
        {WINLAYER_PLATFORM_FAIL, ERROR_INVALID_PARAMETER, ERROR_INVALID_PARAMETER},
    };
    Detach();
    for (const Row &row : rows) {
        for (LONG count : {0, 3}) {
            SCOPED_TRACE(::testing::Message() << "platform " << row.platform << ", count " << count);
            SetShared(count, 0);
            WinlayerSetPlatform(row.platform, row.failError);
            WinlayerResetCallCounts();
            SetLastError(0);
            EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr), FALSE);
            EXPECT_EQ(GetLastError(), row.lastError);
            EXPECT_EQ(SharedCount(), count);
            // The loader follows a refused attach with a detach: a no-op.
            EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), TRUE);
            EXPECT_EQ(SharedCount(), count);
            WinlayerCallCounts calls;
            WinlayerGetCallCounts(&calls);
            EXPECT_EQ(calls.dwCreateFile + calls.dwCreateEvent + calls.dwDeviceIoControl, 0u);
        }
    }
    WinlayerSetPlatform(WINLAYER_PLATFORM_NT, 0);
    EXPECT_EQ(ReadLog().size(), 0u);
}

TEST_F(LibraryTest, FirstAttachAsksTheDriverOnceOnAHandleOfItsOwn)
{
    Detach();
    WinlayerResetModel(nullptr);
    SetShared(0, 0);
    ASSERT_EQ(Attach(), TRUE);
    std::vector<VantriSimLogEntry> log = ReadLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].dwCode, IOCTL_VANTRI_GET_VERSION);
    EXPECT_EQ(log[0].dwBoard, 0u);
    EXPECT_EQ(log[0].dwInputLength, 0u);
    EXPECT_EQ(log[0].dwOutputLength, 64u);
    EXPECT_EQ(SharedCount(), 1);
    EXPECT_EQ(SharedVersion(), VANTRISIM_DEFAULT_VERSION);
    EXPECT_EQ(WinlayerOpenDeviceCount(), 0u) << "the query's handle is closed";
    Open(0);  // and board 0 is free for the application
    DWORD drv = 0;
    EXPECT_EQ(VantriGetVersion(nullptr, &drv), TRUE);
    EXPECT_EQ(drv, VANTRISIM_DEFAULT_VERSION);
}

TEST_F(LibraryTest, LaterAttachUsesTheCachedVersion)
{
    Detach();
    WinlayerResetModel(nullptr);
    SetShared(1, 0x00031415);  // another process has the library loaded
    WinlayerResetCallCounts();
    ASSERT_EQ(Attach(), TRUE);
    WinlayerCallCounts calls;
    WinlayerGetCallCounts(&calls);
    EXPECT_EQ(calls.dwCreateFile, 0u);
    EXPECT_EQ(ReadLog().size(), 0u);
    EXPECT_EQ(SharedCount(), 2);
    DWORD drv = 0;
    EXPECT_EQ(VantriGetVersion(nullptr, &drv), TRUE);
    EXPECT_EQ(drv, 0x00031415u);
    Detach();
    EXPECT_EQ(SharedCount(), 1);
    EXPECT_EQ(SharedVersion(), 0x00031415u);
}

TEST_F(LibraryTest, FailedVersionQueryRefusesTheLoadAndTheNextAttachAsksAgain)
{
    struct Row {
        const char *name;
        uint32_t mask;
        VantriSimFault fault;
    } const rows[] = {
        {"board 0 absent", 0x0006, Fault(0, 0, VANTRISIM_FAULT_NONE)},
        {"path does not open", 0x0007, Fault(0, 0, VANTRISIM_FAULT_OPEN_FAILS, 0, 1)},
        {"request fails", 0x0007, Fault(0, IOCTL_VANTRI_GET_VERSION, VANTRISIM_FAULT_FAIL, 0, 1)},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Detach();
        VantriSimConfig cfg = Config(row.mask);
        WinlayerResetModel(&cfg);
        if (row.fault.dwKind != VANTRISIM_FAULT_NONE)
            SetFault(row.fault);
        SetShared(0, 0);
        EXPECT_EQ(Attach(), FALSE);
        EXPECT_EQ(SharedCount(), 0);
        EXPECT_EQ(SharedVersion(), 0u);
        EXPECT_EQ(WinlayerOpenHandleCount(), 0u) << "a refused load keeps nothing open";
        EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), TRUE) << "the loader's detach";
        EXPECT_EQ(SharedCount(), 0) << "is not counted";

        // The fault was for one request only (or the board comes back).
        cfg = Config(0x0007);
        WinlayerResetModel(&cfg);
        EXPECT_EQ(Attach(), TRUE);
        ASSERT_EQ(ReadLog().size(), 1u) << "asked again";
        EXPECT_EQ(SharedCount(), 1);
        EXPECT_EQ(SharedVersion(), VANTRISIM_DEFAULT_VERSION);
    }
}

TEST_F(LibraryTest, VersionReplyWordIsCachedWhateverItsStatus)
{
    struct Row {
        uint32_t configVersion;
        uint32_t status;
        DWORD cached;
    } const rows[] = {
        {0x10000, 5, 0x10000},   // a nonzero status word is not read
        {0, 0, 0},               // 0 is cached too, and the load goes on
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(::testing::Message() << "version 0x" << std::hex << row.configVersion);
        Detach();
        VantriSimConfig cfg = Config(VANTRISIM_DEFAULT_BOARD_MASK, row.configVersion);
        WinlayerResetModel(&cfg);
        if (row.status != 0)
            SetFault(Fault(0, IOCTL_VANTRI_GET_VERSION, VANTRISIM_FAULT_REPLY_WORD, row.status, 1, 0));
        SetShared(0, 0);
        ASSERT_EQ(Attach(), TRUE);
        EXPECT_EQ(SharedVersion(), row.cached);
        EXPECT_EQ(SharedCount(), 1);
        DWORD dll = 0, drv = 0xAB;
        EXPECT_EQ(VantriGetVersion(&dll, &drv), row.cached != 0 ? TRUE : FALSE);
        EXPECT_EQ(dll, static_cast<DWORD>(VANTRI_DLL_VERSION));
        EXPECT_EQ(drv, row.cached != 0 ? row.cached : 0xABu);
        EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), row.cached != 0 ? 0u : 1u);
    }
}

TEST_F(LibraryTest, VersionQueryWhoseHandleDoesNotCloseStillSucceeds)
{
    Detach();
    WinlayerResetModel(nullptr);
    SetShared(0, 0);
    WinlayerFailNextClose(1);
    ASSERT_EQ(Attach(), TRUE);
    EXPECT_EQ(SharedVersion(), VANTRISIM_DEFAULT_VERSION);
    EXPECT_EQ(VantriGetLastError(VANTRI_ANY_DEVICE), static_cast<DWORD>(VANTRI_ERR_SYSTEM));
    ExpectLeftOpen(1);  // that handle belongs to no slot: nothing closes it
}

TEST_F(LibraryTest, DetachClosesOpenBoardsInAscendingOrder)
{
    ASSERT_EQ(Reattach(Config(0x0089)), TRUE);  // boards 0, 3, 7
    Open(7);
    Open(3);
    WinlayerClearLog();
    LONG before = SharedCount();
    Detach();
    std::vector<VantriSimLogEntry> log = ReadLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].dwCode, IOCTL_VANTRI_CLOSE);
    EXPECT_EQ(log[0].dwBoard, 3u);
    EXPECT_EQ(log[1].dwCode, IOCTL_VANTRI_CLOSE);
    EXPECT_EQ(log[1].dwBoard, 7u);
    EXPECT_EQ(SharedCount(), before - 1);
    EXPECT_EQ(Status().dwOpenCount[3] + Status().dwOpenCount[7], 0u);
}

TEST_F(LibraryTest, DetachIgnoresACloseThatFails)
{
    ASSERT_EQ(Reattach(Config(0x0089)), TRUE);
    Open(3);
    Open(7);
    SetFault(Fault(3, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_STATUS, 9, 0));
    LONG before = SharedCount();
    EXPECT_EQ(DllMain(nullptr, DLL_PROCESS_DETACH, nullptr), TRUE);
    attached_ = false;
    EXPECT_EQ(SharedCount(), before - 1);
    EXPECT_EQ(Status().dwOpenCount[7], 0u) << "the boards after it are still closed";
    ExpectLeftOpen(1);  // board 3, whose close the driver refused
}

TEST_F(LibraryTest, ThreadNotificationsDoNothing)
{
    Open(1);
    WinlayerResetCallCounts();
    LONG count = SharedCount();
    EXPECT_EQ(DllMain(nullptr, DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(nullptr, DLL_THREAD_DETACH, nullptr), TRUE);
    WinlayerCallCounts calls;
    WinlayerGetCallCounts(&calls);
    EXPECT_EQ(calls.dwCreateFile + calls.dwDeviceIoControl + calls.dwCloseHandle, 0u);
    EXPECT_EQ(SharedCount(), count);
    BYTE b;
    EXPECT_EQ(VantriInPort(1, 0, &b), TRUE);
}

// ---- Other processes -------------------------------------------------------

// A child process with a pipe to its stdin and one from its stdout.
class Child {
public:
    explicit Child(std::vector<std::string> args) : args_(std::move(args))
    {
        // Everything the child needs is built before fork: between fork and
        // exec only plain system calls are safe in a threaded parent.
        static char path[] = VANTRI_NATIVE_CHILD_PATH;
        std::vector<char *> argv;
        argv.push_back(path);
        for (std::string &a : args_)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            close(in[0]);
            close(in[1]);
            close(out[0]);
            close(out[1]);
            execv(path, argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
    ~Child()
    {
        if (toChild_ >= 0)
            close(toChild_);
        if (fromChild_ >= 0)
            close(fromChild_);
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // One line of the child's output, or "" when none came within the deadline.
    std::string ReadLine(int deadlineMs = 10000)
    {
        std::string line;
        char c;
        while (true) {
            pollfd p = {fromChild_, POLLIN, 0};
            if (poll(&p, 1, deadlineMs) <= 0 || read(fromChild_, &c, 1) != 1)
                return "";
            if (c == '\n')
                return line;
            line += c;
        }
    }
    void Say(const char *text) { (void)!write(toChild_, text, strlen(text)); }
    int Wait()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        waited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    std::vector<std::string> args_;
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    bool waited_ = false;
};

TEST_F(LibraryTest, SecondProcessSharesTheBlockAndAsksNothing)
{
    ASSERT_EQ(Reattach(Config(VANTRISIM_DEFAULT_BOARD_MASK, 0x00070003)), TRUE);
    Detach();
    SetShared(0, 0);
    ASSERT_EQ(Attach(), TRUE);  // this process is the machine's first
    ASSERT_EQ(SharedVersion(), 0x00070003u);

    // The child's own model would answer 0x20001; it must not be asked.
    Child child({"attach", WinlayerSharedName()});
    EXPECT_EQ(child.ReadLine(), "attach 1 2 458755 0");  // 0x70003, no request
    EXPECT_EQ(SharedCount(), 2) << "the child's attach is seen here";
    child.Say("go\n");
    EXPECT_EQ(child.ReadLine(), "detach 1");
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_EQ(SharedCount(), 1);
}

TEST_F(LibraryTest, FirstProcessOfTheMachineFillsTheBlockForAll)
{
    Detach();
    SetShared(0, 0);
    Child child({"attach", WinlayerSharedName()});
    EXPECT_EQ(child.ReadLine(), "attach 1 1 131073 1");  // asked its own model: 0x20001
    EXPECT_EQ(SharedCount(), 1);
    EXPECT_EQ(SharedVersion(), VANTRISIM_DEFAULT_VERSION);
    WinlayerResetCallCounts();
    ASSERT_EQ(Attach(), TRUE);
    WinlayerCallCounts calls;
    WinlayerGetCallCounts(&calls);
    EXPECT_EQ(calls.dwCreateFile, 0u) << "this process found the count above 0";
    child.Say("go\n");
    EXPECT_EQ(child.ReadLine(), "detach 1");
    EXPECT_EQ(child.Wait(), 0);
}

TEST_F(LibraryTest, ANewSharedObjectStartsAtZero)
{
    // A machine on which the block was never created: the first attach
    // finds the count at 0 and asks its driver.
    std::string fresh = std::string(WinlayerSharedName()) + "-fresh";
    shm_unlink(fresh.c_str());
    Child child({"attach", fresh});
    EXPECT_EQ(child.ReadLine(), "attach 1 1 131073 1");
    child.Say("go\n");
    EXPECT_EQ(child.ReadLine(), "detach 0");
    EXPECT_EQ(child.Wait(), 0);
    shm_unlink(fresh.c_str());
}

TEST_F(LibraryTest, AttachCountStaysExactWhileProcessesLoadAndUnloadAtOnce)
{
    LONG before = SharedCount();
    ASSERT_GE(before, 1);
    {
        // This process stays attached, so no child ever finds the count at 0
        // and asks its driver: each cycle is a few increments and decrements.
        std::vector<std::unique_ptr<Child>> children;
        for (int i = 0; i < 3; ++i)
            children.push_back(std::make_unique<Child>(
                std::vector<std::string>{"cycle", WinlayerSharedName(), "20000"}));
        for (auto &c : children)
            c->Say("go\n");
        for (auto &c : children)
            EXPECT_EQ(c->Wait(), 0);
    }
    EXPECT_EQ(SharedCount(), before);
}

}  // namespace
}  // namespace vt
