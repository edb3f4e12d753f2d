// fixture.cpp - the fixture and the test program's entry: each test program
// gets a shared-memory object of its own, removed when it ends.
#include "fixture.h"

#include <dirent.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <cstdio>
#include <cstring>

namespace vt {

VantriSimConfig Config(uint32_t mask, uint32_t driverVersion)
{
    VantriSimConfig cfg;
    std::memset(&cfg, 0, sizeof cfg);
    cfg.dwBoardMask = mask;
    cfg.dwDriverVersion = driverVersion;
    for (uint32_t n = 0; n < VANTRISIM_MAX_BOARDS; ++n) {
        cfg.dwBase[n] = VANTRISIM_DEFAULT_BASE(n);
        cfg.dwLength[n] = VANTRISIM_DEFAULT_LENGTH;
    }
    return cfg;
}

VantriSimFault Fault(uint32_t board, uint32_t code, uint32_t kind, uint32_t value,
                     uint32_t count, uint32_t word)
{
    VantriSimFault f;
    f.dwBoard = board;
    f.dwCode = code;
    f.dwKind = kind;
    f.dwWord = word;
    f.dwValue = value;
    f.dwCount = count;
    return f;
}

std::vector<VantriSimLogEntry> ReadLog()
{
    std::vector<VantriSimLogEntry> log(VANTRISIM_LOG_CAPACITY);
    DWORD total = WinlayerReadLog(log.data(), static_cast<DWORD>(log.size()));
    log.resize(total < log.size() ? total : log.size());
    return log;
}

VantriSimStatus Status()
{
    VantriSimStatus st;
    WinlayerGetStatus(&st);
    return st;
}

void SetShared(LONG attachCount, DWORD driverVersion)
{
    VantriSharedBlock *b = GetSharedBlock();
    b->lAttachCount = attachCount;
    b->dwDriverVersion = driverVersion;
}

bool Codes::operator==(const Codes &o) const
{
    return std::memcmp(code, o.code, sizeof code) == 0;
}

Codes ReadCodes()
{
    Codes c;
    for (DWORD n = 0; n < VANTRI_MAX_DEVICES; ++n)
        c.code[n] = VantriGetLastError(n);
    c.code[VANTRI_MAX_DEVICES] = VantriGetLastError(VANTRI_ANY_DEVICE);
    return c;
}

::testing::AssertionResult CodesEqual(const Codes &expected, const Codes &actual)
{
    if (expected == actual)
        return ::testing::AssertionSuccess();
    ::testing::AssertionResult r = ::testing::AssertionFailure();
    for (int n = 0; n <= VANTRI_MAX_DEVICES; ++n) {
        if (expected.code[n] != actual.code[n]) {
            if (n == VANTRI_MAX_DEVICES)
                r << "global";
            else
                r << "device " << n;
            r << ": expected " << expected.code[n] << ", got " << actual.code[n] << "; ";
        }
    }
    return r;
}

void LibraryTest::SetUp()
{
    WinlayerSetPlatform(WINLAYER_PLATFORM_NT, 0);
    WinlayerSetProcessId(1000);
    ASSERT_EQ(Reattach(Config(VANTRISIM_DEFAULT_BOARD_MASK)), TRUE);
}

void LibraryTest::TearDown()
{
    Detach();
    EXPECT_TRUE(WinlayerDrainPending(5000)) << "a pended request never completed";
    EXPECT_EQ(WinlayerOpenEventCount(), 0u) << "events left open";
    EXPECT_EQ(WinlayerOpenDeviceCount(), leftOpen_) << "board handles left open";
    WinlayerCloseAllHandles();
    VantriSimStatus st = Status();
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; ++n)
        EXPECT_EQ(st.dwOpenCount[n], 0u) << "board " << n << " still open in the model";
    WinlayerSetPlatform(WINLAYER_PLATFORM_NT, 0);
    WinlayerSetProcessId(0);
}

BOOL LibraryTest::Reattach(const VantriSimConfig &cfg, LONG attachCount, DWORD cachedVersion)
{
    Detach();
    WinlayerResetModel(&cfg);
    SetShared(attachCount, cachedVersion);
    BOOL ok = Attach();
    WinlayerClearLog();
    WinlayerResetCallCounts();
    return ok;
}

BOOL LibraryTest::Attach()
{
    BOOL ok = DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr);
    attached_ = ok == TRUE;
    return ok;
}

void LibraryTest::Detach()
{
    if (!attached_)
        return;
    DllMain(nullptr, DLL_PROCESS_DETACH, nullptr);
    attached_ = false;
}

void LibraryTest::Open(WORD n)
{
    WORD w = n;
    ASSERT_EQ(VantriCreate(&w), TRUE) << "board " << n;
    ASSERT_EQ(w, n);
}

void LibraryTest::SetFault(const VantriSimFault &f)
{
    ASSERT_EQ(WinlayerSetFault(&f), TRUE);
}

}  // namespace vt

namespace {

// A test program that was killed (or stopped by a sanitizer) cannot remove
// its object: remove those whose process is gone.
void RemoveStaleSharedObjects()
{
    DIR *d = opendir("/dev/shm");
    if (d == nullptr)
        return;
    while (dirent *e = readdir(d)) {
        int pid = 0;
        char tail = 0;
        if (std::sscanf(e->d_name, "vantri-test-%d%c", &pid, &tail) != 1 || pid <= 0)
            continue;
        if (kill(pid, 0) != 0 && errno == ESRCH) {
            char name[80];
            std::snprintf(name, sizeof name, "/%s", e->d_name);
            shm_unlink(name);
        }
    }
    closedir(d);
}

}  // namespace

int main(int argc, char **argv)
{
    RemoveStaleSharedObjects();
    // A shared-memory object of this process's own, so test programs that
    // run side by side never see each other's attach count.
    char name[64];
    std::snprintf(name, sizeof name, "/vantri-test-%d", static_cast<int>(getpid()));
    shm_unlink(name);
    WinlayerSetSharedName(name);
    ::testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    shm_unlink(name);
    return rc;
}
