// vantrisim-bench.exe: what a request to the simulator costs under Wine, and
// how close a pended request completes to its delay. Prints figures only.
//   vantrisim-bench [calls-per-round]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

#include "vantri_protocol.h"
#include "vantrisim_client.h"

static double Seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f)
{
    return (double)(b.QuadPart - a.QuadPart) / (double)f.QuadPart;
}

static BOOL Request(HANDLE h, HANDLE ev, DWORD code, void *in, void *out)
{
    OVERLAPPED ov = {};
    ov.hEvent = ev;
    DWORD got = 0;
    BOOL ok = DeviceIoControl(h, code, in, 64, out, 64, &got, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(h, &ov, &got, TRUE);
    return ok;
}

int main(int argc, char **argv)
{
    int calls = argc > 1 ? atoi(argv[1]) : 5000;
    if (calls <= 0)
        calls = 5000;
    if (!VantriSimResetDefault()) {
        fprintf(stderr, "vantrisim-bench: the simulator is not running\n");
        return 1;
    }
    HANDLE h = CreateFileA("\\\\.\\vantri0", VANTRI_OPEN_ACCESS, VANTRI_OPEN_SHARE, NULL,
                           VANTRI_OPEN_DISPOSITION, VANTRI_OPEN_FLAGS, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "vantrisim-bench: board 0 does not open\n");
        return 1;
    }
    HANDLE ev = CreateEventA(NULL, TRUE, FALSE, NULL);
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    VantriPortRequest req = {};
    VantriReply reply;

    for (int round = 1; round <= 3; round++) {
        VantriSimClearLog();  // keep the log from filling: a full log drops, never slows
        QueryPerformanceCounter(&t0);
        int failed = 0;
        for (int i = 0; i < calls; i++) {
            req.dwPort = (DWORD)i & 3;
            if (!Request(h, ev, IOCTL_VANTRI_IN_PORT, &req, &reply))
                failed++;
        }
        QueryPerformanceCounter(&t1);
        printf("round %d: %d IN_PORT requests, %.1f us each, %d failed\n", round, calls,
               Seconds(t0, t1, f) * 1e6 / calls, failed);
    }

    const DWORD delays[] = { 20, 50, 200 };
    for (DWORD delay : delays) {
        double worst = 0, sum = 0;
        const int n = 5;
        for (int i = 0; i < n; i++) {
            VantriSimSetFault(0, IOCTL_VANTRI_IN_PORT, VANTRISIM_FAULT_PEND, 0, delay, 1);
            QueryPerformanceCounter(&t0);
            Request(h, ev, IOCTL_VANTRI_IN_PORT, &req, &reply);
            QueryPerformanceCounter(&t1);
            double late = Seconds(t0, t1, f) * 1e3 - delay;
            sum += late;
            if (late > worst)
                worst = late;
        }
        printf("pend %lu ms: completed %.1f ms late on average, %.1f ms at worst (%d requests)\n",
               (unsigned long)delay, sum / n, worst, n);
    }
    CloseHandle(ev);
    CloseHandle(h);
    VantriSimResetDefault();
    return 0;
}
