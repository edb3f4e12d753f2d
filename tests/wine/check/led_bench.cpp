/* Cost of the LED control's immediate repaint: a port window sends eight
 * LEDM_SETSTATE per 50 ms poll, each a full off-screen paint and one copy.
 * Prints the time per call, round by round. */
#include <windows.h>
#include <stdio.h>
#include "led.h"

static INT_PTR CALLBACK HostProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

int main(int argc, char **argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 3;
    const int calls = 4000;
    HINSTANCE inst = GetModuleHandleA(NULL);
    RegisterLedClass(inst);
    HWND host = CreateDialogParamA(inst, MAKEINTRESOURCEA(500), NULL, HostProc, 0);
    if (!host) {
        printf("no host dialog\n");
        return 1;
    }
    HWND led = GetDlgItem(host, 201);
    RECT rc;
    GetClientRect(led, &rc);
    UpdateWindow(host);
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    printf("LED %ldx%ld px, %d LEDM_SETSTATE calls per round (each repaints)\n", rc.right, rc.bottom, calls);
    for (int r = 0; r < rounds; r++) {
        QueryPerformanceCounter(&t0);
        for (int i = 0; i < calls; i++)
            SendMessageA(led, LEDM_SETSTATE, (i & 1) ? LEDS_ON : LEDS_OFF, 0);
        QueryPerformanceCounter(&t1);
        double us = (double)(t1.QuadPart - t0.QuadPart) * 1e6 / (double)f.QuadPart / calls;
        printf("round %d: %.1f us per call; one port poll (8 calls) %.2f ms of its 50 ms\n",
               r + 1, us, us * 8 / 1000.0);
    }
    DestroyWindow(host);
    return 0;
}
