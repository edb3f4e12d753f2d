// Tests of the simulator driver under Wine, through the same CreateFileA and
// DeviceIoControl calls the library makes: byte-exact replies, the request
// log, exclusive opens, board configurations and every fault kind.
#include "wtest.h"

#include "vantri_protocol.h"
#include "vantrisim_client.h"

namespace {

constexpr DWORD kDeadlineMs = 5000;

// Every test starts from the default configuration and must leave no board
// open behind it; the default is restored at the end either way.
struct SimFixture {
    SimFixture()
    {
        WCHECK(VantriSimResetDefault());
    }
    ~SimFixture()
    {
        VantriSimWaitAllClosed(kDeadlineMs);  // closes arrive after CloseHandle returns
        VantriSimStatus st;
        memset(&st, 0, sizeof st);
        WCHECK(VantriSimGetStatus(&st));
        for (int n = 0; n < VANTRISIM_MAX_BOARDS; n++) {
            WCONTEXT("open count of board %d at the end", n);
            WCHECK_EQ(0u, st.dwOpenCount[n]);
        }
        WCONTEXT("");
        WCHECK(VantriSimResetDefault());
    }
};

// A board handle opened with the library's parameters, closed when it goes.
struct Board {
    HANDLE h;
    explicit Board(int n) : h(Open(n)) {}
    ~Board() { Close(); }
    void Close()
    {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
    bool IsOpen() const { return h != INVALID_HANDLE_VALUE; }
    static HANDLE Open(int n)
    {
        char path[VANTRI_DEVICE_PATH_SIZE];
        wsprintfA(path, VANTRI_DEVICE_PATH_FORMAT, n);
        return CreateFileA(path, VANTRI_OPEN_ACCESS, VANTRI_OPEN_SHARE, NULL,
                           VANTRI_OPEN_DISPOSITION, VANTRI_OPEN_FLAGS, NULL);
    }
};

struct Outcome {
    BOOL ok;
    DWORD error;     // GetLastError when not ok
    DWORD returned;  // bytes the request returned
    bool pended;     // DeviceIoControl answered ERROR_IO_PENDING first
    DWORD waitedMs;  // from the call to its completion
};

// One request on an overlapped handle, waited for to its completion.
Outcome Request(HANDLE h, DWORD code, const void *in, DWORD inLen, void *out, DWORD outLen)
{
    Outcome r = {};
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD start = GetTickCount();
    DWORD got = 0xDEADBEEF;
    r.ok = DeviceIoControl(h, code, const_cast<void *>(in), inLen, out, outLen, &got, &ov);
    if (!r.ok && GetLastError() == ERROR_IO_PENDING) {
        r.pended = true;
        got = 0xDEADBEEF;
        r.ok = GetOverlappedResult(h, &ov, &got, TRUE);
    }
    r.error = r.ok ? 0 : GetLastError();
    r.returned = got;
    r.waitedMs = GetTickCount() - start;
    CloseHandle(ov.hEvent);
    return r;
}

// Each request with its declared lengths: null/0 for the version query,
// 64/64 for the others, a port record for the port requests and a zeroed
// record for open, close and resource (Wine refuses a null input pointer
// with a nonzero length before the driver sees it; see the test below).
Outcome Send(HANDLE h, DWORD code, VantriReply *reply, DWORD port = 0, DWORD value = 0)
{
    memset(reply, 0xEE, sizeof *reply);
    VantriPortRequest req;
    bool portRequest = code == IOCTL_VANTRI_IN_PORT || code == IOCTL_VANTRI_OUT_PORT;
    memset(&req, portRequest ? 0xA5 : 0, sizeof req);
    req.dwPort = portRequest ? port : 0;
    req.dwValue = portRequest ? value : 0;
    if (code == IOCTL_VANTRI_GET_VERSION)
        return Request(h, code, NULL, 0, reply, sizeof *reply);
    return Request(h, code, &req, VANTRI_REQUEST_SIZE, reply, sizeof *reply);
}

VantriReply Expected(DWORD status, DWORD data1, DWORD data2)
{
    VantriReply r;
    memset(&r, 0, sizeof r);
    r.dwStatus = status;
    r.dwData1 = data1;
    r.dwData2 = data2;
    return r;
}

int ReadLog(VantriSimLogEntry *entries, int max)
{
    return VantriSimReadLog(entries, max);
}

VantriSimStatus Status()
{
    VantriSimStatus st;
    memset(&st, 0, sizeof st);
    WCHECK(VantriSimGetStatus(&st));
    return st;
}

VantriSimConfig Config(DWORD mask, DWORD version)
{
    VantriSimConfig cfg;
    VantriSimDefaultConfig(&cfg);
    cfg.dwBoardMask = mask;
    cfg.dwDriverVersion = version;
    return cfg;
}

}  // namespace

WTEST(sim_six_requests_answer_byte_exactly_and_are_logged)
{
    SimFixture fx;
    WCHECK(VantriSimSetInput(0, 2, VANTRISIM_INPUT_FIXED, 0x5A));
    Board b(0);
    WREQUIRE(b.IsOpen());
    WCHECK(VantriSimClearLog());

    struct Row {
        DWORD code, port, value;
        VantriReply reply;
        DWORD inLen;
        BYTE input[8];
        DWORD inputPresent;
    } rows[] = {
        { IOCTL_VANTRI_GET_VERSION, 0, 0, Expected(0, VANTRISIM_DEFAULT_VERSION, 0), 0, {}, 0 },
        { IOCTL_VANTRI_OPEN, 0, 0, Expected(0, 0, 0), 64, {}, 1 },
        { IOCTL_VANTRI_GET_RESOURCE, 0, 0, Expected(0, 0x300, 4), 64, {}, 1 },
        { IOCTL_VANTRI_OUT_PORT, 1, 0xC3, Expected(0, 0, 0), 64, { 1, 0, 0, 0, 0xC3, 0, 0, 0 }, 1 },
        { IOCTL_VANTRI_IN_PORT, 1, 0, Expected(0, 0xC3, 0), 64, { 1, 0, 0, 0, 0, 0, 0, 0 }, 1 },
        { IOCTL_VANTRI_IN_PORT, 2, 0, Expected(0, 0x5A, 0), 64, { 2, 0, 0, 0, 0, 0, 0, 0 }, 1 },
        { IOCTL_VANTRI_CLOSE, 0, 0, Expected(0, 0, 0), 64, {}, 1 },
    };
    const int n = sizeof rows / sizeof rows[0];
    for (int i = 0; i < n; i++) {
        WCONTEXT("request 0x%08lx", rows[i].code);
        VantriReply reply;
        Outcome r = Send(b.h, rows[i].code, &reply, rows[i].port, rows[i].value);
        WCHECK(r.ok);
        WCHECK(!r.pended);
        WCHECK_EQ(64u, r.returned);
        WCHECK(memcmp(&rows[i].reply, &reply, sizeof reply) == 0);
        WCHECK_EQ(rows[i].reply.dwData1, reply.dwData1);
    }

    VantriSimLogEntry log[16];
    int got = ReadLog(log, 16);
    WCONTEXT("");
    WREQUIRE(got == n);
    for (int i = 0; i < n; i++) {
        WCONTEXT("log entry %d, request 0x%08lx", i, rows[i].code);
        WCHECK_EQ((DWORD)(i + 1), log[i].dwSequence);
        WCHECK_EQ(0u, log[i].dwBoard);
        WCHECK_EQ(rows[i].code, log[i].dwCode);
        WCHECK_EQ(rows[i].inLen, log[i].dwInputLength);
        WCHECK_EQ(64u, log[i].dwOutputLength);
        WCHECK_EQ((DWORD)VANTRISIM_FAULT_NONE, log[i].dwOutcome);
        WCHECK_EQ(rows[i].inputPresent, log[i].dwInputPresent);
        bool portRequest = rows[i].code == IOCTL_VANTRI_IN_PORT || rows[i].code == IOCTL_VANTRI_OUT_PORT;
        if (portRequest) {
            // Bytes 4..7 of an IN_PORT record carry the sender's filler.
            size_t defined = rows[i].code == IOCTL_VANTRI_OUT_PORT ? 8 : 4;
            WCHECK(memcmp(rows[i].input, log[i].bInput, defined) == 0);
        } else {
            BYTE zero[8] = {};
            WCHECK(memcmp(zero, log[i].bInput, 8) == 0);
        }
    }
}

// A platform fact the library has to live with: under Wine a request with a
// null input pointer and a declared input length of 64 fails in the caller
// and never reaches the driver.
WTEST(sim_null_input_with_nonzero_length_never_reaches_the_driver)
{
    SimFixture fx;
    Board b(0);
    WREQUIRE(b.IsOpen());
    WCHECK(VantriSimClearLog());
    VantriReply reply;
    memset(&reply, 0xEE, sizeof reply);
    DWORD got = 0;
    BOOL ok = DeviceIoControl(b.h, IOCTL_VANTRI_OPEN, NULL, 64, &reply, 64, &got, NULL);
    DWORD err = GetLastError();
    WCHECK(!ok);
    printf("  null input, length 64: DeviceIoControl %s, error %lu\n", ok ? "succeeded" : "failed", err);
    VantriSimLogEntry log[4];
    WCHECK_EQ(0, ReadLog(log, 4));
    WCHECK_EQ(0xEEEEEEEEu, reply.dwStatus);
}

WTEST(sim_log_names_the_calling_process)
{
    SimFixture fx;
    Board b(1);
    WREQUIRE(b.IsOpen());
    WCHECK(VantriSimClearLog());
    VantriReply reply;
    WCHECK(Send(b.h, IOCTL_VANTRI_GET_RESOURCE, &reply).ok);
    VantriSimLogEntry log[4];
    WREQUIRE(ReadLog(log, 4) == 1);
    WCHECK_EQ(GetCurrentProcessId(), log[0].dwProcessId);
}

WTEST(sim_path_opens_once_and_only_for_a_configured_board)
{
    SimFixture fx;
    {
        Board first(0);
        WREQUIRE(first.IsOpen());
        WCHECK_EQ(1u, Status().dwOpenCount[0]);
        // On NT the second CreateFileA fails. Wine hands out the file before
        // the driver refuses its create; the handle must then be dead.
        Board second(0);
        if (second.IsOpen()) {
            WCHECK(VantriSimClearLog());
            VantriReply reply;
            WCHECK(!Send(second.h, IOCTL_VANTRI_GET_VERSION, &reply).ok);
            WCHECK(!Send(second.h, IOCTL_VANTRI_OUT_PORT, &reply, 0, 1).ok);
            VantriSimLogEntry log[4];
            WCHECK_EQ(0, ReadLog(log, 4));
            WCHECK_EQ(0, Status().bLatch[0][0]);
        }
        WCHECK_EQ(1u, Status().dwOpenCount[0]);
        VantriReply reply;
        WCHECK(Send(first.h, IOCTL_VANTRI_GET_VERSION, &reply).ok);
        Board other(2);
        WCHECK(other.IsOpen());
        WCHECK_EQ(1u, Status().dwOpenCount[2]);
    }
    static const int absentBoards[] = { 3, 15, 16, 99 };
    for (int n : absentBoards) {
        WCONTEXT("board %d", n);
        Board absent(n);
        WCHECK(!absent.IsOpen());
    }
    WCONTEXT("");
    Board again(0);
    WCHECK(again.IsOpen());
    again.Close();
    WCHECK(VantriSimWaitAllClosed(kDeadlineMs));
}

WTEST(sim_reset_configures_gaps_and_all_sixteen_boards)
{
    SimFixture fx;
    VantriSimConfig cfg = Config((1u << 1) | (1u << 4) | (1u << 15), 0);
    cfg.dwBase[4] = 0x2A0;
    cfg.dwLength[4] = 8;
    WREQUIRE(VantriSimReset(&cfg));
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; n++) {
        WCONTEXT("board %d of mask 0x%x", n, (unsigned)cfg.dwBoardMask);
        Board b(n);
        WCHECK_EQ((cfg.dwBoardMask >> n) & 1u, b.IsOpen() ? 1u : 0u);
    }
    {
        Board b(4);
        VantriReply reply;
        WCHECK(Send(b.h, IOCTL_VANTRI_GET_RESOURCE, &reply).ok);
        WCHECK_EQ(0x2A0u, reply.dwData1);
        WCHECK_EQ(8u, reply.dwData2);
        WCHECK(Send(b.h, IOCTL_VANTRI_GET_VERSION, &reply).ok);
        WCHECK_EQ(0u, reply.dwData1);
    }

    cfg = Config(0xFFFF, 0x12345678);
    WREQUIRE(VantriSimReset(&cfg));
    Board *boards[VANTRISIM_MAX_BOARDS];
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; n++)
        boards[n] = new Board(n);
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; n++) {
        WCONTEXT("board %d of all sixteen", n);
        WCHECK(boards[n]->IsOpen());
        VantriReply reply;
        WCHECK(Send(boards[n]->h, IOCTL_VANTRI_GET_RESOURCE, &reply).ok);
        WCHECK_EQ(VANTRISIM_DEFAULT_BASE(n), reply.dwData1);
    }
    WCONTEXT("");
    WCHECK_EQ(1u, Status().dwOpenCount[15]);
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; n++)
        delete boards[n];

    cfg.dwBoardMask = 0x10000;
    WCHECK(!VantriSimReset(&cfg));  // board 16 does not exist
    WCHECK(!VantriSimControl(IOCTL_VANTRISIM_RESET, &cfg, sizeof cfg - 4, NULL, 0, NULL));
}

WTEST(sim_fail_fault_makes_the_request_fail)
{
    SimFixture fx;
    Board b(0);
    WREQUIRE(b.IsOpen());
    WREQUIRE(VantriSimSetFault(0, IOCTL_VANTRI_OUT_PORT, VANTRISIM_FAULT_FAIL, 0, 0, 1));
    VantriReply reply;
    Outcome r = Send(b.h, IOCTL_VANTRI_OUT_PORT, &reply, 0, 0xFF);
    WCHECK(!r.ok);
    WCHECK(r.error != 0);
    WCHECK_EQ(0xEEEEEEEEu, reply.dwStatus);
    WCHECK_EQ(0, Status().bLatch[0][0]);
    r = Send(b.h, IOCTL_VANTRI_OUT_PORT, &reply, 0, 0xFF);
    WCHECK(r.ok);
    WCHECK_EQ(0xFF, Status().bLatch[0][0]);

    // The library's own calls carry no OVERLAPPED; those fail the same way.
    WREQUIRE(VantriSimSetFault(0, IOCTL_VANTRI_GET_VERSION, VANTRISIM_FAULT_FAIL, 0, 0, 0));
    DWORD got = 0;
    WCHECK(!DeviceIoControl(b.h, IOCTL_VANTRI_GET_VERSION, NULL, 0, &reply, sizeof reply, &got, NULL));
}

WTEST(sim_status_and_reply_word_faults_change_the_reply)
{
    SimFixture fx;
    Board b(1);
    WREQUIRE(b.IsOpen());
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_OPEN, VANTRISIM_FAULT_STATUS, 0, 0x1234, 0));
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_REPLY_WORD, 2, 8, 0));
    WREQUIRE(VantriSimSetFault(1, IOCTL_VANTRI_GET_VERSION, VANTRISIM_FAULT_REPLY_WORD, 1, 0, 0));
    struct Row {
        DWORD code;
        VantriReply reply;
    } rows[] = {
        { IOCTL_VANTRI_OPEN, Expected(0x1234, 0, 0) },
        { IOCTL_VANTRI_GET_RESOURCE, Expected(0, 0x310, 8) },
        { IOCTL_VANTRI_GET_VERSION, Expected(0, 0, 0) },
        { IOCTL_VANTRI_CLOSE, Expected(0, 0, 0) },
    };
    for (const Row &row : rows) {
        WCONTEXT("request 0x%08lx", row.code);
        VantriReply reply;
        Outcome r = Send(b.h, row.code, &reply);
        WCHECK(r.ok);
        WCHECK_EQ(64u, r.returned);
        WCHECK(memcmp(&row.reply, &reply, sizeof reply) == 0);
    }
    WCONTEXT("");
    WCHECK_EQ(3u, Status().dwFaultCount);
    WCHECK(VantriSimClearFaults());
    VantriReply reply;
    Send(b.h, IOCTL_VANTRI_GET_RESOURCE, &reply);
    WCHECK_EQ(4u, reply.dwData2);
}

WTEST(sim_pend_fault_completes_later_from_the_driver)
{
    SimFixture fx;
    Board b(0);
    WREQUIRE(b.IsOpen());
    WREQUIRE(VantriSimSetFault(0, IOCTL_VANTRI_GET_RESOURCE, VANTRISIM_FAULT_PEND, 0, 300, 1));

    VantriReply reply;
    memset(&reply, 0xEE, sizeof reply);
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    DWORD start = GetTickCount();
    DWORD got = 0;
    VantriPortRequest none = {};
    BOOL ok = DeviceIoControl(b.h, IOCTL_VANTRI_GET_RESOURCE, &none, 64, &reply, 64, &got, &ov);
    WCHECK(!ok);
    WCHECK_EQ((DWORD)ERROR_IO_PENDING, GetLastError());
    WCHECK_EQ(1u, Status().dwPendingCount);
    WCHECK(GetOverlappedResult(b.h, &ov, &got, TRUE));
    DWORD waited = GetTickCount() - start;
    CloseHandle(ov.hEvent);
    WCHECK_EQ(64u, got);
    VantriReply want = Expected(0, 0x300, 4);
    WCHECK(memcmp(&want, &reply, sizeof reply) == 0);
    WCHECK(waited >= 250);  // tick granularity allows a little less than the delay
    WCHECK_EQ(0u, Status().dwPendingCount);

    VantriSimLogEntry log[8];
    int n = ReadLog(log, 8);
    WREQUIRE(n >= 1);
    WCHECK_EQ((DWORD)VANTRISIM_FAULT_PEND, log[n - 1].dwOutcome);

    // Used up: the next one completes at once.
    Outcome r = Send(b.h, IOCTL_VANTRI_GET_RESOURCE, &reply);
    WCHECK(r.ok);
    WCHECK(!r.pended);
}

WTEST(sim_pended_request_still_in_flight_at_close_completes)
{
    SimFixture fx;
    {
        Board b(2);
        WREQUIRE(b.IsOpen());
        WREQUIRE(VantriSimSetFault(2, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 0, 200, 1));
        VantriPortRequest req = {};
        static VantriReply reply;  // outlives the handle: the reply lands after the close
        OVERLAPPED ov = {};
        ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        DWORD got = 0;
        WCHECK(!DeviceIoControl(b.h, IOCTL_VANTRI_IN_PORT, &req, 64, &reply, 64, &got, &ov));
        WCHECK_EQ((DWORD)ERROR_IO_PENDING, GetLastError());
        b.Close();
        WCHECK_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(ov.hEvent, 5000));
        CloseHandle(ov.hEvent);
    }
    DWORD deadline = GetTickCount() + kDeadlineMs;
    while (Status().dwPendingCount != 0 && GetTickCount() < deadline)
        Sleep(10);
    WCHECK_EQ(0u, Status().dwPendingCount);
}

WTEST(sim_open_fails_fault_refuses_the_path)
{
    SimFixture fx;
    WREQUIRE(VantriSimSetFault(1, 0, VANTRISIM_FAULT_OPEN_FAILS, 0, 0, 0));
    for (int i = 0; i < 2; i++) {
        Board refused(1);
        WCHECK(!refused.IsOpen());
        WCHECK_EQ((DWORD)ERROR_FILE_NOT_FOUND, GetLastError());
    }
    WCHECK_EQ(0u, Status().dwOpenCount[1]);
    {
        Board other(0);
        WCHECK(other.IsOpen());
    }
    WREQUIRE(VantriSimSetFault(1, 0, VANTRISIM_FAULT_NONE, 0, 0, 0));
    Board b(1);
    WCHECK(b.IsOpen());
}

WTEST(sim_inputs_and_pattern_reach_in_port)
{
    SimFixture fx;
    Board b(0);
    WREQUIRE(b.IsOpen());
    VantriReply reply;
    Send(b.h, IOCTL_VANTRI_OUT_PORT, &reply, 3, 0x1F0);
    Send(b.h, IOCTL_VANTRI_IN_PORT, &reply, 3);
    WCHECK_EQ(0xF0u, reply.dwData1);  // loopback of the low 8 bits
    WCHECK_EQ(0xF0, Status().bLatch[0][3]);

    WREQUIRE(VantriSimSetPattern(0, 1, 40));
    BYTE seen = 0;
    DWORD deadline = GetTickCount() + 3000;
    while (seen != 0xFF && GetTickCount() < deadline) {
        WCHECK(Send(b.h, IOCTL_VANTRI_IN_PORT, &reply, 1).ok);
        DWORD v = reply.dwData1;
        WCHECK(v != 0 && (v & (v - 1)) == 0 && v <= 0x80);  // exactly one bit lit
        seen |= (BYTE)v;
        Sleep(5);
    }
    WCHECK_EQ(0xFF, seen);

    Send(b.h, IOCTL_VANTRI_IN_PORT, &reply, 7);
    WCHECK_EQ(VANTRISIM_STATUS_BAD_PORT, reply.dwStatus);
    VantriPortRequest none = {};
    WCHECK(Request(b.h, 0x8000200C, &none, 64, &reply, 64).ok);
    WCHECK_EQ(VANTRISIM_STATUS_BAD_REQUEST, reply.dwStatus);
}

// Two threads on one handle and a third on the control channel at once:
// every request is answered, every one is logged, and the latches end as
// the last writes left them.
struct Hammer {
    HANDLE h;
    DWORD port;
    int count;
    int failures;
};

static DWORD WINAPI HammerThread(void *arg)
{
    Hammer *w = static_cast<Hammer *>(arg);
    for (int i = 0; i < w->count; i++) {
        VantriReply reply;
        DWORD value = (DWORD)i & 0xFF;
        if (!Send(w->h, IOCTL_VANTRI_OUT_PORT, &reply, w->port, value).ok || reply.dwStatus != 0)
            w->failures++;
        if (!Send(w->h, IOCTL_VANTRI_IN_PORT, &reply, w->port).ok || reply.dwData1 != value)
            w->failures++;
    }
    return 0;
}

static DWORD WINAPI StatusThread(void *arg)
{
    int *failures = static_cast<int *>(arg);
    for (int i = 0; i < 100; i++) {
        VantriSimStatus st;
        if (!VantriSimGetStatus(&st))
            (*failures)++;
    }
    return 0;
}

WTEST(sim_concurrent_requests_on_one_handle_are_all_answered)
{
    SimFixture fx;
    Board b(0);
    WREQUIRE(b.IsOpen());
    WCHECK(VantriSimClearLog());
    Hammer w[2] = { { b.h, 1, 200, 0 }, { b.h, 2, 200, 0 } };
    int statusFailures = 0;
    HANDLE threads[3];
    threads[0] = CreateThread(NULL, 0, HammerThread, &w[0], 0, NULL);
    threads[1] = CreateThread(NULL, 0, HammerThread, &w[1], 0, NULL);
    threads[2] = CreateThread(NULL, 0, StatusThread, &statusFailures, 0, NULL);
    WCHECK_EQ((DWORD)WAIT_OBJECT_0, WaitForMultipleObjects(3, threads, TRUE, 60000));
    for (HANDLE t : threads)
        CloseHandle(t);
    WCHECK_EQ(0, w[0].failures);
    WCHECK_EQ(0, w[1].failures);
    WCHECK_EQ(0, statusFailures);
    VantriSimStatus st = Status();
    WCHECK_EQ(800u, st.dwLogTotal);
    WCHECK_EQ(199u, st.bLatch[0][1]);
    WCHECK_EQ(199u, st.bLatch[0][2]);
}

// Stops and starts the simulator service, as an administrator would after
// changing its registry values; TRUE when it runs again.
static BOOL RestartSimulator()
{
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (scm == NULL)
        return FALSE;
    SC_HANDLE svc = OpenServiceA(scm, VANTRISIM_SERVICE_NAME,
                                 SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    BOOL running = FALSE;
    if (svc != NULL) {
        SERVICE_STATUS ss;
        ControlService(svc, SERVICE_CONTROL_STOP, &ss);
        DWORD deadline = GetTickCount() + kDeadlineMs;
        while (QueryServiceStatus(svc, &ss) && ss.dwCurrentState != SERVICE_STOPPED &&
               GetTickCount() < deadline)
            Sleep(20);
        StartServiceA(svc, 0, NULL);
        deadline = GetTickCount() + kDeadlineMs;
        while (QueryServiceStatus(svc, &ss) && !(running = ss.dwCurrentState == SERVICE_RUNNING) &&
               GetTickCount() < deadline)
            Sleep(20);
        CloseServiceHandle(svc);
    }
    CloseServiceHandle(scm);
    return running;
}

// The service key's values, removed again (and the driver restarted) at the end.
struct ServiceValues {
    HKEY key = NULL;
    ServiceValues()
    {
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\" VANTRISIM_SERVICE_NAME,
                      0, KEY_SET_VALUE, &key);
    }
    ~ServiceValues()
    {
        static const char *const names[] = { "BoardMask", "DriverVersion", "Base15", "Length2", "Length0" };
        for (const char *name : names)
            RegDeleteValueA(key, name);
        if (key != NULL)
            RegCloseKey(key);
        WCHECK(RestartSimulator());
    }
    void Dword(const char *name, DWORD v) { WCHECK_EQ(0, RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&v, 4)); }
    void Text(const char *name, const char *v)
    {
        WCHECK_EQ(0, RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)v, (DWORD)strlen(v) + 1));
    }
};

WTEST(sim_default_configuration_comes_from_the_service_key)
{
    {
        ServiceValues values;
        WREQUIRE(values.key != NULL);
        values.Dword("BoardMask", 0x8005);
        values.Dword("DriverVersion", 0x00030007);
        values.Dword("Base15", 0x2F0);
        values.Dword("Length2", 8);
        values.Text("Length0", "8");  // not a REG_DWORD: ignored
        WREQUIRE(RestartSimulator());
        VantriSimStatus st = Status();
        WCHECK_EQ(0x8005u, st.config.dwBoardMask);
        WCHECK_EQ(0x00030007u, st.config.dwDriverVersion);
        WCHECK_EQ(0x2F0u, st.config.dwBase[15]);
        WCHECK_EQ(0x320u, st.config.dwBase[2]);
        WCHECK_EQ(8u, st.config.dwLength[2]);
        WCHECK_EQ(4u, st.config.dwLength[0]);
        Board b(15);
        WCHECK(b.IsOpen());
        Board absent(1);
        WCHECK(!absent.IsOpen());
    }
    VantriSimStatus st = Status();
    VantriSimConfig def;
    VantriSimDefaultConfig(&def);
    WCHECK(memcmp(&def, &st.config, sizeof def) == 0);
    WCHECK(VantriSimWaitAllClosed(kDeadlineMs));
}

WTEST(sim_console_tool_exit_codes)
{
    char tool[MAX_PATH];
    DWORD len = GetModuleFileNameA(NULL, tool, sizeof tool);
    WREQUIRE(len > 0 && len < sizeof tool);
    char *slash = strrchr(tool, '\\');
    WREQUIRE(slash != NULL);
    strcpy(slash + 1, "vantrisim-ctl.exe");
    WREQUIRE(GetFileAttributesA(tool) != INVALID_FILE_ATTRIBUTES);

    SimFixture fx;
    struct Row {
        const char *args;
        DWORD exitCode;
    } rows[] = {
        { "status", 0 },
        { "help", 0 },
        { "", 2 },
        { "frobnicate", 2 },
        { "input 0 1 0x3c", 0 },
        { "input 0 4 1", 2 },
        { "input 16 0 1", 2 },
        { "input 0 1 loopback", 0 },
        { "pattern 0 0 100", 0 },
        { "pattern 0 0 off", 0 },
        { "pattern 0 0 soon", 2 },
        { "fault 0 in fail --count 1", 0 },
        { "fault 0 resource word 8 --word 2", 0 },
        { "fault 0 version word 0 --word 1", 0 },
        { "fault 0 out status 0x55", 0 },
        { "fault 0 out status 0", 2 },
        { "fault 0 open openfails", 0 },
        { "fault 0 in pend 100", 0 },
        { "fault 0 bogus fail", 2 },
        { "fault 0 in explode", 2 },
        { "fault 0 in none", 0 },
        { "clear-faults", 0 },
        { "log", 0 },
        { "log --clear", 0 },
        { "log --bogus", 2 },
        { "reset --boards 0,3,15 --version 0 --base 3=0x2a0 --length 3=8", 0 },
        { "reset --boards 16", 2 },
        { "reset --base 3", 2 },
        { "reset --boards all", 0 },
        { "reset", 0 },
    };
    for (const Row &row : rows) {
        WCONTEXT("vantrisim-ctl %s", row.args);
        char cmd[MAX_PATH + 128];
        wsprintfA(cmd, "\"%s\" %s", tool, row.args);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        SECURITY_ATTRIBUTES sa = { sizeof sa, NULL, TRUE };  // inherited by the tool
        HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                 OPEN_EXISTING, 0, NULL);
        si.hStdInput = NULL;
        si.hStdOutput = nul;
        si.hStdError = nul;
        PROCESS_INFORMATION pi;
        BOOL started = CreateProcessA(NULL, cmd, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
        WCHECK(started);
        if (started) {
            WCHECK_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 20000));
            DWORD code = 0xFFFF;
            GetExitCodeProcess(pi.hProcess, &code);
            WCHECK_EQ(row.exitCode, code);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
        CloseHandle(nul);
    }
    WCONTEXT("");
    // What the last rows left behind.
    VantriSimStatus st = Status();
    WCHECK_EQ(VANTRISIM_DEFAULT_BOARD_MASK, st.config.dwBoardMask);
    WCHECK_EQ(0u, st.dwFaultCount);
}

int main(int argc, char **argv)
{
    return WTestMain(argc, argv);
}
