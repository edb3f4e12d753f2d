// concurrency_test.cpp - threads creating, closing and polling boards at
// once. The slots must never open a number twice in the process, lose a
// handle, or close one twice. Also run under ThreadSanitizer.
#include "fixture.h"

#include <array>
#include <atomic>
#include <random>
#include <thread>

namespace vt {
namespace {

// Starts all threads of a round at the same moment.
class StartLine {
public:
    explicit StartLine(int threads) : waiting_(threads) {}
    void Arrive()
    {
        waiting_.fetch_sub(1);
        while (waiting_.load() > 0)
            std::this_thread::yield();
    }

private:
    std::atomic<int> waiting_;
};

TEST_F(LibraryTest, RacingCreatesOfOneNumberOpenItOnce)
{
    constexpr int kRounds = 100, kThreads = 4;
    for (int round = 0; round < kRounds; ++round) {
        StartLine start(kThreads);
        std::atomic<int> won{0};
        std::array<std::thread, kThreads> threads;
        for (std::thread &t : threads) {
            t = std::thread([&] {
                start.Arrive();
                WORD w = 2;
                if (VantriCreate(&w) == TRUE)
                    won++;
            });
        }
        for (std::thread &t : threads)
            t.join();
        ASSERT_EQ(won.load(), 1) << "round " << round;
        ASSERT_EQ(Status().dwOpenCount[2], 1u);
        ASSERT_EQ(VantriClose(2), TRUE);
    }
}

TEST_F(LibraryTest, RacingClosesOfOneBoardCloseItOnce)
{
    constexpr int kRounds = 100, kThreads = 4;
    for (int round = 0; round < kRounds; ++round) {
        Open(1);
        WinlayerResetCallCounts();
        WinlayerClearLog();
        StartLine start(kThreads);
        std::atomic<int> won{0};
        std::array<std::thread, kThreads> threads;
        for (std::thread &t : threads) {
            t = std::thread([&] {
                start.Arrive();
                if (VantriClose(1) == TRUE)
                    won++;
            });
        }
        for (std::thread &t : threads)
            t.join();
        ASSERT_EQ(won.load(), 1) << "round " << round;
        ASSERT_EQ(ReadLog().size(), 1u) << "one close request";
        WinlayerCallCounts calls;
        WinlayerGetCallCounts(&calls);
        ASSERT_EQ(calls.dwCloseHandle, 1u) << "the handle was closed once";
        ASSERT_EQ(Status().dwOpenCount[1], 0u);
    }
}

TEST_F(LibraryTest, RacingCreateAnyHandsOutDistinctBoards)
{
    ASSERT_EQ(Reattach(Config(0xFFFF)), TRUE);
    constexpr int kThreads = 4;
    StartLine start(kThreads);
    std::array<std::atomic<int>, VANTRI_MAX_DEVICES> owners{};
    std::atomic<int> opened{0}, twice{0};
    std::array<std::thread, kThreads> threads;
    for (std::thread &t : threads) {
        t = std::thread([&] {
            start.Arrive();
            for (;;) {
                WORD w = VANTRI_ANY_DEVICE;
                if (VantriCreate(&w) != TRUE)
                    break;
                if (w >= VANTRI_MAX_DEVICES || owners[w].fetch_add(1) != 0)
                    twice++;
                opened++;
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(twice.load(), 0);
    EXPECT_EQ(opened.load(), 16);
    EXPECT_EQ(WinlayerOpenDeviceCount(), 16u);
}

// A request the driver holds blocks only its own caller: the error store's
// lock is never held across a request, and requests on one handle do not
// queue behind each other.
TEST_F(LibraryTest, APendedRequestBlocksNobodyElse)
{
    Open(1);
    Open(2);
    SetFault(Fault(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 1000, 1));
    std::atomic<BOOL> slowResult{-1};
    std::thread slow([&] {
        BYTE b;
        slowResult = VantriInPort(1, 0, &b);
    });
    ASSERT_TRUE(WaitFor([] { return WinlayerPendingCount() == 1; })) << "the request never pended";

    BYTE b;
    EXPECT_EQ(VantriInPort(1, 1, &b), TRUE) << "same handle";
    EXPECT_EQ(VantriOutPort(2, 0, 0x42), TRUE) << "another board";
    EXPECT_EQ(VantriInPort(5, 0, &b), FALSE) << "a code recorded meanwhile";
    EXPECT_EQ(VantriGetLastError(5), static_cast<DWORD>(VANTRI_ERR_HANDLE));
    WORD w = 0;
    EXPECT_EQ(VantriCreate(&w), TRUE);
    EXPECT_EQ(VantriClose(0), TRUE);
    EXPECT_EQ(WinlayerPendingCount(), 1u) << "all of it happened while the first request waited";
    EXPECT_EQ(slowResult.load(), -1);

    slow.join();
    EXPECT_EQ(slowResult.load(), TRUE);
}

// Each worker opens boards (by number or the first free one), polls and
// writes ports of any board, and closes only the boards it opened. Nobody
// may ever be handed a board another thread holds, and at the end the
// model's open boards are exactly the ones still held.
TEST_F(LibraryTest, CreateClosePollStress)
{
    ASSERT_EQ(Reattach(Config(0x00FF)), TRUE);  // boards 0..7
    constexpr int kThreads = 4, kSteps = 600;
    std::array<std::atomic<int>, VANTRI_MAX_DEVICES> holder{};
    for (auto &h : holder)
        h.store(-1);
    std::atomic<int> violations{0}, badResults{0};
    StartLine start(kThreads);
    std::array<std::thread, kThreads> threads;
    for (int id = 0; id < kThreads; ++id) {
        threads[id] = std::thread([&, id] {
            std::mt19937 rng(1234 + id);
            std::vector<WORD> mine;
            start.Arrive();
            for (int step = 0; step < kSteps; ++step) {
                unsigned action = rng() % 8;
                if (action < 2) {
                    WORD w = action == 0 ? VANTRI_ANY_DEVICE : static_cast<WORD>(rng() % 9);
                    BOOL ok = VantriCreate(&w);
                    if (ok != TRUE && ok != FALSE)
                        badResults++;
                    if (ok == TRUE) {
                        int expected = -1;
                        if (!holder[w].compare_exchange_strong(expected, id))
                            violations++;  // handed a board someone holds
                        mine.push_back(w);
                    }
                } else if (action < 4 && !mine.empty()) {
                    size_t k = rng() % mine.size();
                    WORD w = mine[k];
                    holder[w].store(-1);
                    if (VantriClose(w) != TRUE) {
                        violations++;  // only its owner closes it: must succeed
                        holder[w].store(id);
                        continue;
                    }
                    mine[k] = mine.back();
                    mine.pop_back();
                } else {
                    DWORD n = rng() % 9;
                    BYTE b;
                    BOOL ok = (action & 1) ? VantriInPort(n, rng() % 4, &b)
                                           : VantriOutPort(n, rng() % 4, rng());
                    if (ok != TRUE && ok != FALSE)
                        badResults++;
                }
            }
            for (WORD w : mine) {
                holder[w].store(-1);
                if (VantriClose(w) != TRUE)
                    violations++;
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_EQ(badResults.load(), 0);
    EXPECT_EQ(WinlayerOpenDeviceCount(), 0u) << "no handle lost";
    VantriSimStatus st = Status();
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; ++n)
        EXPECT_EQ(st.dwOpenCount[n], 0u) << "board " << n;
    for (DWORD n = 0; n < VANTRI_MAX_DEVICES; ++n)
        EXPECT_NE(VantriGetLastError(n), static_cast<DWORD>(VANTRI_ERR_NODEVICE));
}

}  // namespace
}  // namespace vt
