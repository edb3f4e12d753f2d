/*
 * vantrisim_client.h - Win32 helpers for the simulator's control channel,
 * used by the console tool and by the tests. Header-only; each call opens the
 * control device, sends one request and closes it again, so no handle is
 * ever kept open across calls.
 */
#ifndef VANTRISIM_CLIENT_H
#define VANTRISIM_CLIENT_H

#include <windows.h>
#include <string.h>
#include "vantrisim.h"

static inline BOOL VantriSimControl(DWORD code, const void *in, DWORD inLen,
                                    void *out, DWORD outLen, DWORD *returned)
{
    HANDLE h = CreateFileA(VANTRISIM_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    DWORD got = 0;
    BOOL ok = DeviceIoControl(h, code, (void *)in, inLen, out, outLen, &got, NULL);
    CloseHandle(h);
    if (returned)
        *returned = got;
    return ok;
}

static inline void VantriSimDefaultConfig(VantriSimConfig *cfg)
{
    memset(cfg, 0, sizeof *cfg);
    cfg->dwBoardMask = VANTRISIM_DEFAULT_BOARD_MASK;
    cfg->dwDriverVersion = VANTRISIM_DEFAULT_VERSION;
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; n++) {
        cfg->dwBase[n] = VANTRISIM_DEFAULT_BASE(n);
        cfg->dwLength[n] = VANTRISIM_DEFAULT_LENGTH;
    }
}

static inline BOOL VantriSimReset(const VantriSimConfig *cfg)
{
    return VantriSimControl(IOCTL_VANTRISIM_RESET, cfg, sizeof *cfg, NULL, 0, NULL);
}

static inline BOOL VantriSimResetDefault(void)
{
    VantriSimConfig cfg;
    VantriSimDefaultConfig(&cfg);
    return VantriSimReset(&cfg);
}

static inline BOOL VantriSimGetStatus(VantriSimStatus *st)
{
    return VantriSimControl(IOCTL_VANTRISIM_GET_STATUS, NULL, 0, st, sizeof *st, NULL);
}

static inline BOOL VantriSimSetInput(DWORD board, DWORD port, DWORD mode, DWORD value)
{
    VantriSimInput in = { board, port, mode, value };
    return VantriSimControl(IOCTL_VANTRISIM_SET_INPUT, &in, sizeof in, NULL, 0, NULL);
}

static inline BOOL VantriSimSetPattern(DWORD board, DWORD port, DWORD periodMs)
{
    VantriSimPattern p = { board, port, periodMs };
    return VantriSimControl(IOCTL_VANTRISIM_SET_PATTERN, &p, sizeof p, NULL, 0, NULL);
}

static inline BOOL VantriSimSetFault(DWORD board, DWORD code, DWORD kind,
                                     DWORD word, DWORD value, DWORD count)
{
    VantriSimFault f = { board, code, kind, word, value, count };
    return VantriSimControl(IOCTL_VANTRISIM_SET_FAULT, &f, sizeof f, NULL, 0, NULL);
}

static inline BOOL VantriSimClearFaults(void)
{
    return VantriSimControl(IOCTL_VANTRISIM_CLEAR_FAULTS, NULL, 0, NULL, 0, NULL);
}

static inline BOOL VantriSimClearLog(void)
{
    return VantriSimControl(IOCTL_VANTRISIM_CLEAR_LOG, NULL, 0, NULL, 0, NULL);
}

/* Waits until no board is open, up to timeoutMs; TRUE when none is. Under
 * Wine the close of a board handle reaches the simulator only after
 * CloseHandle has returned, so a check right after a close polls. */
static inline BOOL VantriSimWaitAllClosed(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        VantriSimStatus st;
        if (!VantriSimGetStatus(&st))
            return FALSE;
        BOOL open = FALSE;
        for (int n = 0; n < VANTRISIM_MAX_BOARDS; n++)
            if (st.dwOpenCount[n] != 0)
                open = TRUE;
        if (!open)
            return TRUE;
        if (GetTickCount() - start >= timeoutMs)
            return FALSE;
        Sleep(5);
    }
}

/* Reads up to max entries from the start of the log; returns how many, or -1. */
static inline int VantriSimReadLog(VantriSimLogEntry *entries, int max)
{
    int got = 0;
    for (;;) {
        VantriSimLogQuery q = { (uint32_t)got };
        VantriSimLogPage page;
        if (!VantriSimControl(IOCTL_VANTRISIM_READ_LOG, &q, sizeof q, &page, sizeof page, NULL))
            return -1;
        for (uint32_t i = 0; i < page.dwCount && got < max; i++)
            entries[got++] = page.entries[i];
        if (page.dwCount == 0 || got >= max || (uint32_t)got >= page.dwTotal)
            return got;
    }
}

#endif /* VANTRISIM_CLIENT_H */
