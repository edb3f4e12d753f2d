// test_channel.cpp - requests the driver pends, and threads that create,
// close and poll boards at once, on the real vantri.dll.
#include "libtest.h"

#include <string.h>

namespace {

constexpr DWORD kPendMs = 300;

HANDLE OpenBoardRaw(int n)
{
    char szPath[32];
    wsprintfA(szPath, VANTRI_DEVICE_PATH_FORMAT, n);
    return CreateFileA(szPath, VANTRI_OPEN_ACCESS, VANTRI_OPEN_SHARE, NULL,
                       VANTRI_OPEN_DISPOSITION, VANTRI_OPEN_FLAGS, NULL);
}

bool WaitPending(DWORD dwCount, DWORD dwTimeoutMs = 3000)
{
    DWORD dwStart = GetTickCount();
    VantriSimStatus st;
    while (GetTickCount() - dwStart < dwTimeoutMs) {
        if (VantriSimGetStatus(&st) && st.dwPendingCount == dwCount)
            return true;
        Sleep(5);
    }
    return false;
}

struct RawCall {
    HANDLE hDevice;
    HANDLE hRelease;    // the thread stays until the reply has landed
    DWORD dwPort;
    VantriReply reply;  // the driver writes here, possibly after the call returned
    BOOL bResult;
    DWORD dwError;
    DWORD dwElapsedMs;
    volatile LONG lReturned;
};

// The request's status block lived in DeviceIoControl's frame, which is gone
// when the late completion writes it: wait below a padding that covers that
// part of the stack, so the write lands in the padding.
__attribute__((noinline)) void WaitBelowPadding(HANDLE hEvent)
{
    volatile BYTE pad[32768];
    pad[0] = 0;
    pad[sizeof pad - 1] = 0;
    WaitForSingleObject(hEvent, 10000);
}

DWORD WINAPI RawInPortThread(LPVOID pv)
{
    RawCall *pCall = static_cast<RawCall *>(pv);
    VantriPortRequest req;
    memset(&req, 0, sizeof req);
    req.dwPort = pCall->dwPort;
    DWORD dwReturned = 0xFFFFFFFFu;
    DWORD dwStart = GetTickCount();
    pCall->bResult = DeviceIoControl(pCall->hDevice, IOCTL_VANTRI_IN_PORT, &req, sizeof req,
                                     &pCall->reply, sizeof pCall->reply, &dwReturned, NULL);
    pCall->dwError = GetLastError();
    pCall->dwElapsedMs = GetTickCount() - dwStart;
    InterlockedExchange(&pCall->lReturned, 1);
    WaitBelowPadding(pCall->hRelease);
    return 0;
}

struct LibCall {
    const VantriApi *pApi;
    HANDLE hStart;
    DWORD dwDevice, dwPort;
    BYTE bValue;
    BOOL bResult;
    DWORD dwElapsedMs;
};

DWORD WINAPI LibInPortThread(LPVOID pv)
{
    LibCall *pCall = static_cast<LibCall *>(pv);
    WaitForSingleObject(pCall->hStart, 5000);
    DWORD dwStart = GetTickCount();
    pCall->bResult = pCall->pApi->InPort(pCall->dwDevice, pCall->dwPort, &pCall->bValue);
    pCall->dwElapsedMs = GetTickCount() - dwStart;
    return 0;
}

struct CreateCall {
    const VantriApi *pApi;
    WORD wDevice;
    BOOL bResult;
};

DWORD WINAPI CreateThread_(LPVOID pv)
{
    CreateCall *pCall = static_cast<CreateCall *>(pv);
    pCall->bResult = pCall->pApi->Create(&pCall->wDevice);
    return 0;
}

DWORD WINAPI CloseThread_(LPVOID pv)
{
    CreateCall *pCall = static_cast<CreateCall *>(pv);
    pCall->bResult = pCall->pApi->Close(pCall->wDevice);
    return 0;
}

int CountCode(const std::vector<VantriSimLogEntry> &log, DWORD dwCode)
{
    int n = 0;
    for (const VantriSimLogEntry &e : log)
        n += e.dwCode == dwCode;
    return n;
}

}  // namespace

// Without an OVERLAPPED, a request the driver pends on a handle opened for
// overlapped I/O returns at once with ERROR_IO_PENDING, for each of two
// threads on one handle, and the replies land later in their buffers.
WTEST(ChannelRawRequestWithoutOverlappedReturnsEarly)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    WREQUIRE(VantriSimSetInput(1, 0, VANTRISIM_INPUT_FIXED, 0x5A));
    WREQUIRE(VantriSimSetInput(1, 1, VANTRISIM_INPUT_FIXED, 0x6B));
    HANDLE h = OpenBoardRaw(1);
    WREQUIRE(h != INVALID_HANDLE_VALUE);
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 0, kPendMs, 2));
    HANDLE hRelease = CreateEventA(NULL, TRUE, FALSE, NULL);
    RawCall calls[2];
    HANDLE threads[2];
    for (int i = 0; i < 2; i++) {
        memset(&calls[i], 0, sizeof calls[i]);
        memset(&calls[i].reply, 0xEE, sizeof calls[i].reply);
        calls[i].hDevice = h;
        calls[i].hRelease = hRelease;
        calls[i].dwPort = (DWORD)i;
        threads[i] = CreateThread(NULL, 0, RawInPortThread, &calls[i], 0, NULL);
        WREQUIRE(threads[i]);
    }
    // Both calls return while the driver still holds both requests.
    DWORD dwStart = GetTickCount();
    while (GetTickCount() - dwStart < 5000 && !(calls[0].lReturned && calls[1].lReturned))
        Sleep(1);
    for (int i = 0; i < 2; i++) {
        WCONTEXT("thread %d", i);
        WCHECK_EQ(FALSE, calls[i].bResult);
        WCHECK_EQ(ERROR_IO_PENDING, calls[i].dwError);
        WCHECK(calls[i].dwElapsedMs < kPendMs / 2);
    }
    // The replies arrive after the calls have returned.
    dwStart = GetTickCount();
    while (GetTickCount() - dwStart < 5000 &&
           ((volatile DWORD &)calls[0].reply.dwStatus != 0 || (volatile DWORD &)calls[1].reply.dwStatus != 0))
        Sleep(10);
    for (int i = 0; i < 2; i++) {
        WCONTEXT("thread %d", i);
        WCHECK_EQ(0, calls[i].reply.dwStatus);
        WCHECK_EQ(i == 0 ? 0x5A : 0x6B, calls[i].reply.dwData1 & 0xFF);
    }
    WCONTEXT("");
    WCHECK(WaitPending(0));
    SetEvent(hRelease);
    WaitForMultipleObjects(2, threads, TRUE, 10000);
    for (HANDLE t : threads)
        CloseHandle(t);
    CloseHandle(hRelease);
    CloseHandle(h);
}

// The library waits for a pended request and reads the reply it got.
WTEST(ChannelLibraryWaitsForPendedRequests)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    WREQUIRE(VantriSimSetInput(1, 0, VANTRISIM_INPUT_FIXED, 0x5A));
    WREQUIRE(VantriSimSetInput(1, 1, VANTRISIM_INPUT_FIXED, 0x6B));
    WORD w = 1;
    WREQUIRE(api.Create(&w));

    // One thread.
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 0, kPendMs, 1));
    BYTE b = 0;
    DWORD dwStart = GetTickCount();
    WCHECK(api.InPort(1, 0, &b) == 1);
    WCHECK(GetTickCount() - dwStart >= kPendMs - 50);
    WCHECK_EQ(0x5A, b);

    // Two threads on the one handle of board 1, each with its own reply.
    WREQUIRE(VantriSimClearLog());
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 0, kPendMs, 2));
    HANDLE hStart = CreateEventA(NULL, TRUE, FALSE, NULL);
    LibCall calls[2];
    HANDLE threads[2];
    for (int i = 0; i < 2; i++) {
        calls[i] = LibCall{&api, hStart, 1, (DWORD)i, 0, 2, 0};
        threads[i] = CreateThread(NULL, 0, LibInPortThread, &calls[i], 0, NULL);
        WREQUIRE(threads[i]);
    }
    SetEvent(hStart);
    WCHECK(WaitForMultipleObjects(2, threads, TRUE, 10000) == WAIT_OBJECT_0);
    for (int i = 0; i < 2; i++) {
        WCONTEXT("thread %d", i);
        WCHECK_EQ(1, calls[i].bResult);
        WCHECK_EQ(i == 0 ? 0x5A : 0x6B, calls[i].bValue);
        WCHECK(calls[i].dwElapsedMs >= kPendMs - 50);
        CloseHandle(threads[i]);
    }
    WCONTEXT("");
    CloseHandle(hStart);
    std::vector<VantriSimLogEntry> log = ReadSimLog(GetCurrentProcessId());
    WREQUIRE(log.size() == 2);
    DWORD dwPortsSeen = 0;
    for (const VantriSimLogEntry &e : log) {
        WCHECK_EQ(IOCTL_VANTRI_IN_PORT, e.dwCode);
        WCHECK_EQ(VANTRISIM_FAULT_PEND, e.dwOutcome);
        dwPortsSeen |= 1u << (LogWord(e, 0) & 31);
    }
    WCHECK_EQ(0x3, dwPortsSeen);

    // Every other request and the first attach's version query wait too.
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_PEND, 0, kPendMs, 1));
    WCHECK(api.OutPort(1, 3, 0x99));
    VantriSimStatus st;
    WREQUIRE(VantriSimGetStatus(&st));
    WCHECK_EQ(0x99, st.bLatch[1][3]);
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_PEND, 0, kPendMs, 1));
    VantriResource res;
    WCHECK(api.GetResource(1, &res));
    WCHECK_EQ(VANTRISIM_DEFAULT_BASE(1), res.dwBase);
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_PEND, 0, kPendMs, 1));
    WCHECK(api.Close(1));
    WCHECK(WaitOpenCounts(0));
}

WTEST(ChannelVersionQueryWaitsForPendedReply)
{
    VantriSimConfig cfg = SimConfig(VANTRISIM_DEFAULT_BOARD_MASK, 0x00770001);
    SimSession sim(&cfg);
    WREQUIRE(sim.ok());
    WREQUIRE(VantriSimSetFault(0, IOCTL_VANTRI_GET_VERSION, VANTRISIM_FAULT_PEND, 0, kPendMs, 1));
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    DWORD dwDrv = 0;
    WCHECK(lib.api().GetVersion(NULL, &dwDrv));
    WCHECK_EQ(0x00770001, dwDrv);
}

// A board another thread is still opening is taken for VantriCreate and not
// open for VantriClose; nothing is sent for either, and the opening thread
// ends with the board open.
WTEST(ChannelCreateAndCloseWhileAnotherThreadOpens)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    WREQUIRE(VantriSimSetFault(2, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_PEND, 0, kPendMs, 1));
    WREQUIRE(VantriSimClearLog());
    CreateCall opener{&api, 2, 2};
    HANDLE hThread = CreateThread(NULL, 0, CreateThread_, &opener, 0, NULL);
    WREQUIRE(hThread);
    WREQUIRE(WaitPending(1));
    WORD w = 2;
    WCHECK(api.Create(&w) == 0);
    WCHECK_EQ(4, api.GetLastError(VANTRI_ANY_DEVICE));
    WCHECK(api.Close(2) == 0);
    WCHECK_EQ(4, api.GetLastError(2));
    w = VANTRI_ANY_DEVICE;  // the scan passes the claimed slot by
    WCHECK(api.Create(&w) == 1);
    WCHECK_EQ(0, w);
    WCHECK(WaitForSingleObject(hThread, 5000) == WAIT_OBJECT_0);
    CloseHandle(hThread);
    WCHECK_EQ(1, opener.bResult);
    std::vector<VantriSimLogEntry> log = ReadSimLog(GetCurrentProcessId());
    WCHECK_EQ(0, CountCode(log, IOCTL_VANTRI_CLOSE));
    WCHECK_EQ(2, CountCode(log, IOCTL_VANTRI_OPEN));
    WCHECK(WaitOpenCounts(0x5));
    WCHECK(api.Close(2) == 1);
    WCHECK(api.Close(0) == 1);
    WCHECK(WaitOpenCounts(0));
}

// Two threads closing one board: one close request, one handle closed.
WTEST(ChannelCloseWhileAnotherThreadCloses)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    WORD w = 1;
    WREQUIRE(api.Create(&w));
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_CLOSE, VANTRISIM_FAULT_PEND, 0, kPendMs, 1));
    WREQUIRE(VantriSimClearLog());
    CreateCall closer{&api, 1, 2};
    HANDLE hThread = CreateThread(NULL, 0, CloseThread_, &closer, 0, NULL);
    WREQUIRE(hThread);
    WREQUIRE(WaitPending(1));
    WCHECK(api.Close(1) == 0);
    WCHECK_EQ(4, api.GetLastError(1));
    WCHECK(WaitForSingleObject(hThread, 5000) == WAIT_OBJECT_0);
    CloseHandle(hThread);
    WCHECK_EQ(1, closer.bResult);
    WCHECK_EQ(1, CountCode(ReadSimLog(GetCurrentProcessId()), IOCTL_VANTRI_CLOSE));
    WCHECK(WaitOpenCounts(0));
    BYTE b;
    WCHECK(api.InPort(1, 0, &b) == 0);
    WCHECK_EQ(4, api.GetLastError(1));
}

namespace {

struct StressShared {
    const VantriApi *pApi;
    HANDLE hStart;
    volatile LONG lBadResults;  // a BOOL other than 0 or 1
    volatile LONG lCalls;
};

struct StressThread {
    StressShared *pShared;
    DWORD dwSeed;
};

DWORD NextRandom(DWORD *pSeed)
{
    *pSeed = *pSeed * 1103515245u + 12345u;
    return *pSeed >> 16;
}

DWORD WINAPI StressThreadProc(LPVOID pv)
{
    StressThread *pThread = static_cast<StressThread *>(pv);
    StressShared *pShared = pThread->pShared;
    const VantriApi &api = *pShared->pApi;
    WaitForSingleObject(pShared->hStart, 5000);
    for (int i = 0; i < 300; i++) {
        DWORD r = NextRandom(&pThread->dwSeed);
        WORD n = (WORD)(r % 4);  // boards 0..2 exist, 3 does not
        BOOL b = 2;
        BYTE v;
        switch ((r >> 4) % 5) {
        case 0: { WORD w = n; b = api.Create(&w); break; }
        case 1: { WORD w = VANTRI_ANY_DEVICE; b = api.Create(&w); break; }
        case 2: b = api.Close(n); break;
        case 3: b = api.InPort(n, 0, &v); break;
        default: b = api.OutPort(n, 1, r); break;
        }
        if (b != 0 && b != 1)
            InterlockedIncrement(&pShared->lBadResults);
        InterlockedIncrement(&pShared->lCalls);
    }
    return 0;
}

}  // namespace

// Threads creating, closing and polling at once leave every slot agreeing
// with the simulator's open counts, and nothing open after the closes.
WTEST(ChannelConcurrentCreateClosePoll)
{
    SimSession sim;
    WREQUIRE(sim.ok());
    LoadedLibrary lib;
    WREQUIRE(lib.ok());
    const VantriApi &api = lib.api();
    StressShared shared{&api, CreateEventA(NULL, TRUE, FALSE, NULL), 0, 0};
    StressThread params[4];
    HANDLE threads[4];
    for (int i = 0; i < 4; i++) {
        params[i] = StressThread{&shared, 0x1234u + 977u * (DWORD)i};
        threads[i] = CreateThread(NULL, 0, StressThreadProc, &params[i], 0, NULL);
        WREQUIRE(threads[i]);
    }
    SetEvent(shared.hStart);
    WCHECK(WaitForMultipleObjects(4, threads, TRUE, 120000) == WAIT_OBJECT_0);
    for (HANDLE h : threads)
        CloseHandle(h);
    CloseHandle(shared.hStart);
    WCHECK_EQ(0, shared.lBadResults);
    WCHECK_EQ(1200, shared.lCalls);

    // The library's view of each board against the simulator's count.
    DWORD dwLibraryOpen = 0;
    for (WORD n = 0; n < 16; n++) {
        BYTE v;
        if (api.InPort(n, 0, &v))
            dwLibraryOpen |= 1u << n;
        else
            WCHECK_EQ(4, api.GetLastError(n));  // only ever "not open"
    }
    WCHECK(WaitOpenCounts(dwLibraryOpen));
    for (WORD n = 0; n < 16; n++)
        if (dwLibraryOpen & (1u << n))
            WCHECK(api.Close(n) == 1);
    WCHECK(WaitOpenCounts(0));
}
