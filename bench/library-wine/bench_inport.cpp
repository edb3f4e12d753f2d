// bench_inport.cpp - VantriInPort against a raw DeviceIoControl round trip
// to the same board, in the same run, under Wine with the simulator.
//
// The raw loop sends IOCTL_VANTRI_IN_PORT with no OVERLAPPED on a handle of
// its own (the board is exclusive, so the two loops take turns with it);
// the library loop goes through vantri.dll, which adds the OVERLAPPED, a
// pooled event and its argument checks. Prints figures only.
//
//   tools/wine-run.sh $VANTRI_BUILD/win32/bin/bench-inport.exe [calls] [rounds]
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vantri.h"
#include "vantri_protocol.h"
#include "vantrisim_client.h"

namespace {

constexpr DWORD kBoard = 0;

double Seconds(const LARGE_INTEGER &a, const LARGE_INTEGER &b)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

// Calls per second of the raw request, or 0 when a call fails.
double RawRound(int calls)
{
    char szPath[32];
    wsprintfA(szPath, VANTRI_DEVICE_PATH_FORMAT, (int)kBoard);
    HANDLE h = CreateFileA(szPath, VANTRI_OPEN_ACCESS, VANTRI_OPEN_SHARE, NULL,
                           VANTRI_OPEN_DISPOSITION, VANTRI_OPEN_FLAGS, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    VantriPortRequest req;
    memset(&req, 0, sizeof req);
    VantriReply reply;
    DWORD got;
    bool ok = true;
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < calls && ok; i++)
        ok = DeviceIoControl(h, IOCTL_VANTRI_IN_PORT, &req, sizeof req, &reply, sizeof reply, &got, NULL) &&
             reply.dwStatus == 0;
    QueryPerformanceCounter(&t1);
    CloseHandle(h);
    return ok ? calls / Seconds(t0, t1) : 0;
}

double LibraryRound(int calls)
{
    WORD w = kBoard;
    if (!VantriCreate(&w))
        return 0;
    BYTE b;
    bool ok = true;
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < calls && ok; i++)
        ok = VantriInPort(kBoard, 0, &b) == 1;
    QueryPerformanceCounter(&t1);
    VantriClose(kBoard);
    return ok ? calls / Seconds(t0, t1) : 0;
}

// The board's path opens again only once the driver has seen the close.
void WaitClosed(void)
{
    VantriSimStatus st;
    for (int i = 0; i < 500; i++) {
        if (VantriSimGetStatus(&st) && st.dwOpenCount[kBoard] == 0)
            return;
        Sleep(2);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    int calls = argc > 1 ? atoi(argv[1]) : 5000;
    int rounds = argc > 2 ? atoi(argv[2]) : 5;
    const int kSlices = 10;  // raw and library take turns in slices, so load spikes hit both
    if (calls < kSlices || rounds <= 0) {
        fprintf(stderr, "usage: bench-inport [calls per round, >= %d] [rounds]\n", kSlices);
        return 2;
    }
    if (!VantriSimResetDefault()) {
        fprintf(stderr, "bench-inport: the simulator does not answer\n");
        return 1;
    }
    printf("VantriInPort vs raw DeviceIoControl (no OVERLAPPED), board %lu,\n", kBoard);
    printf("%d calls of each a round, in %d alternating slices\n", calls, kSlices);
    printf("%-6s %14s %14s %8s\n", "round", "raw calls/s", "lib calls/s", "lib/raw");
    double ratios[64];
    double rawAll = 0, libAll = 0;
    if (rounds > 64)
        rounds = 64;
    for (int r = 0; r < rounds; r++) {
        double rawSec = 0, libSec = 0;
        int slice = calls / kSlices;
        for (int k = 0; k < kSlices; k++) {
            double raw = RawRound(slice);
            WaitClosed();
            double lib = LibraryRound(slice);
            WaitClosed();
            if (raw == 0 || lib == 0) {
                fprintf(stderr, "bench-inport: a request failed in round %d\n", r + 1);
                return 1;
            }
            rawSec += slice / raw;
            libSec += slice / lib;
        }
        double raw = slice * kSlices / rawSec, lib = slice * kSlices / libSec;
        ratios[r] = lib / raw;
        rawAll += rawSec;
        libAll += libSec;
        printf("%-6d %14.0f %14.0f %8.3f\n", r + 1, raw, lib, ratios[r]);
    }
    for (int i = 1; i < rounds; i++)  // insertion sort for the median
        for (int j = i; j > 0 && ratios[j] < ratios[j - 1]; j--) {
            double t = ratios[j];
            ratios[j] = ratios[j - 1];
            ratios[j - 1] = t;
        }
    printf("all    %14.0f %14.0f %8.3f\n", calls * rounds / rawAll, calls * rounds / libAll, rawAll / libAll);
    printf("median ratio of the rounds: %.3f (above 1: the library is faster)\n", ratios[rounds / 2]);
    return 0;
}
