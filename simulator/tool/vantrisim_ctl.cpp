/*
 * vantrisim_ctl.cpp - console tool for the board simulator's control channel.
 *
 * Exit codes: 0 done, 1 the simulator is not running or refused the request,
 * 2 bad arguments.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vantri_protocol.h"
#include "vantrisim_client.h"

namespace {

enum ExitCode { kExitOk = 0, kExitSimulator = 1, kExitUsage = 2 };

const char kUsage[] =
    "usage: vantrisim-ctl COMMAND [ARGUMENTS]\n"
    "\n"
    "  status                      boards, configuration, open handles, latches,\n"
    "                              inputs, faults and pended requests\n"
    "  reset [--boards LIST|all|none] [--version HEX] [--base N=HEX] [--length N=DEC]\n"
    "                              new configuration (default: boards 0,1,2 at\n"
    "                              0x300, 0x310, 0x320, length 4, version 0x00020001);\n"
    "                              clears faults, latches, inputs, patterns, the log\n"
    "  input BOARD PORT VALUE|loopback\n"
    "                              fix the input bits of a port, or loop its output back\n"
    "  pattern BOARD PORT MS|off   walking bit on a port's input, one place every MS\n"
    "  fault BOARD REQUEST KIND [VALUE] [--word N] [--count N]\n"
    "                              REQUEST: version open close resource in out\n"
    "                              KIND: fail             the request fails\n"
    "                                    status VALUE     reply status = VALUE (nonzero)\n"
    "                                    word VALUE --word N   reply word N = VALUE\n"
    "                                    pend MS          complete MS later\n"
    "                                    openfails        the board's path does not open\n"
    "                                    none             remove the fault\n"
    "                              --count N: the next N requests only (default: until cleared)\n"
    "  clear-faults                remove every fault\n"
    "  log [--clear]               print the request log (then clear it)\n"
    "  help                        this text\n"
    "\n"
    "Numbers are decimal or 0x-prefixed hexadecimal; --version and --base take\n"
    "hexadecimal with or without 0x. Exit code 0 done, 1 simulator not running\n"
    "or request refused, 2 bad arguments.\n";

int Usage(const char *fmt, const char *arg)
{
    fprintf(stderr, "vantrisim-ctl: ");
    fprintf(stderr, fmt, arg);
    fprintf(stderr, "\n(vantrisim-ctl help shows the usage)\n");
    return kExitUsage;
}

// Whole-string number: decimal, or hexadecimal with 0x (always hex when hex is set).
bool ParseNumber(const char *s, bool hex, DWORD *out)
{
    if (s == NULL || *s == 0)
        return false;
    int base = 10;
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s += 2;
        base = 16;
    } else if (hex) {
        base = 16;
    }
    if (*s == 0 || *s == '-' || *s == '+' || *s == ' ')
        return false;
    char *end = NULL;
    unsigned long long v = strtoull(s, &end, base);
    if (*end != 0 || v > 0xFFFFFFFFull)
        return false;
    *out = (DWORD)v;
    return true;
}

bool ParseBoard(const char *s, DWORD *out)
{
    return ParseNumber(s, false, out) && *out < VANTRISIM_MAX_BOARDS;
}

bool ParsePort(const char *s, DWORD *out)
{
    return ParseNumber(s, false, out) && *out < VANTRISIM_PORTS;
}

struct RequestName {
    const char *name;
    DWORD code;
};
const RequestName kRequests[] = {
    { "version", IOCTL_VANTRI_GET_VERSION }, { "open", IOCTL_VANTRI_OPEN },
    { "close", IOCTL_VANTRI_CLOSE },         { "resource", IOCTL_VANTRI_GET_RESOURCE },
    { "in", IOCTL_VANTRI_IN_PORT },          { "out", IOCTL_VANTRI_OUT_PORT },
};

const char *RequestNameOf(DWORD code)
{
    for (const RequestName &r : kRequests)
        if (r.code == code)
            return r.name;
    return "?";
}

const char *const kFaultNames[] = { "none", "fail", "status", "word", "pend", "openfails" };

const char *FaultName(DWORD kind)
{
    return kind < sizeof kFaultNames / sizeof kFaultNames[0] ? kFaultNames[kind] : "?";
}

// Opens and closes the control device once, so "not running" gets its own message.
bool SimulatorRunning()
{
    HANDLE h = CreateFileA(VANTRISIM_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "vantrisim-ctl: the simulator is not running (%s does not open, error %lu)\n",
                VANTRISIM_CONTROL_PATH, GetLastError());
        return false;
    }
    CloseHandle(h);
    return true;
}

int Refused(const char *what)
{
    fprintf(stderr, "vantrisim-ctl: the simulator refused %s (error %lu)\n", what, GetLastError());
    return kExitSimulator;
}

int CmdStatus(int argc, char **)
{
    if (argc != 0)
        return Usage("status takes no arguments%s", "");
    VantriSimStatus st;
    if (!VantriSimGetStatus(&st))
        return Refused("the status request");
    printf("driver version 0x%08lx, %lu fault(s), %lu log entr%s, %lu pended request(s)\n",
           (unsigned long)st.config.dwDriverVersion, (unsigned long)st.dwFaultCount,
           (unsigned long)st.dwLogTotal, st.dwLogTotal == 1 ? "y" : "ies",
           (unsigned long)st.dwPendingCount);
    printf("board  base    length  open  latch 0..3   input 0..3   (input source per port)\n");
    for (int n = 0; n < VANTRISIM_MAX_BOARDS; n++) {
        bool exists = (st.config.dwBoardMask >> n) & 1u;
        if (!exists && st.dwOpenCount[n] == 0)
            continue;
        printf("%5d  0x%04lx  %6lu  %4lu  ", n, (unsigned long)st.config.dwBase[n],
               (unsigned long)st.config.dwLength[n], (unsigned long)st.dwOpenCount[n]);
        for (int p = 0; p < VANTRISIM_PORTS; p++)
            printf("%02X ", st.bLatch[n][p]);
        printf(" ");
        for (int p = 0; p < VANTRISIM_PORTS; p++)
            printf("%02X ", st.bInput[n][p]);
        printf(" (");
        for (int p = 0; p < VANTRISIM_PORTS; p++) {
            if (st.dwPatternMs[n][p] != 0)
                printf("%swalk %lums", p ? ", " : "", (unsigned long)st.dwPatternMs[n][p]);
            else
                printf("%s%s", p ? ", " : "",
                       st.dwInputMode[n][p] == VANTRISIM_INPUT_FIXED ? "fixed" : "loopback");
        }
        printf(")%s\n", exists ? "" : "  [removed, still open]");
    }
    return kExitOk;
}

int CmdReset(int argc, char **argv)
{
    VantriSimConfig cfg;
    VantriSimDefaultConfig(&cfg);
    for (int i = 0; i < argc; i++) {
        const char *opt = argv[i];
        const char *val = i + 1 < argc ? argv[i + 1] : NULL;
        if (val == NULL)
            return Usage("reset: %s needs a value", opt);
        i++;
        if (strcmp(opt, "--boards") == 0) {
            if (strcmp(val, "all") == 0) {
                cfg.dwBoardMask = 0xFFFF;
                continue;
            }
            DWORD mask = 0;
            char list[128];
            if (strlen(val) >= sizeof list)
                return Usage("reset: board list too long: %s", val);
            strcpy(list, val);
            if (strcmp(list, "none") != 0) {
                char *ctx = NULL;
                for (char *tok = strtok_s(list, ",", &ctx); tok; tok = strtok_s(NULL, ",", &ctx)) {
                    DWORD b;
                    if (!ParseBoard(tok, &b))
                        return Usage("reset: not a board number 0..15: %s", tok);
                    mask |= 1u << b;
                }
                if (mask == 0)
                    return Usage("reset: empty board list: %s", val);
            }
            cfg.dwBoardMask = mask;
        } else if (strcmp(opt, "--version") == 0) {
            DWORD version;
            if (!ParseNumber(val, true, &version))
                return Usage("reset: not a hexadecimal version: %s", val);
            cfg.dwDriverVersion = version;
        } else if (strcmp(opt, "--base") == 0 || strcmp(opt, "--length") == 0) {
            bool base = strcmp(opt, "--base") == 0;
            const char *eq = strchr(val, '=');
            char num[16];
            DWORD b, v;
            if (eq == NULL || eq - val >= (ptrdiff_t)sizeof num)
                return Usage("reset: expected N=VALUE, got %s", val);
            memcpy(num, val, eq - val);
            num[eq - val] = 0;
            if (!ParseBoard(num, &b) || !ParseNumber(eq + 1, base, &v))
                return Usage("reset: expected N=VALUE with N 0..15, got %s", val);
            (base ? cfg.dwBase : cfg.dwLength)[b] = v;
        } else {
            return Usage("reset: unknown option %s", opt);
        }
    }
    if (!SimulatorRunning())
        return kExitSimulator;
    if (!VantriSimReset(&cfg))
        return Refused("the configuration");
    printf("reset: boards 0x%04lx, version 0x%08lx\n", (unsigned long)cfg.dwBoardMask,
           (unsigned long)cfg.dwDriverVersion);
    return kExitOk;
}

int CmdInput(int argc, char **argv)
{
    DWORD board, port, value = 0, mode = VANTRISIM_INPUT_FIXED;
    if (argc != 3)
        return Usage("input needs BOARD PORT VALUE|loopback%s", "");
    if (!ParseBoard(argv[0], &board))
        return Usage("input: not a board number 0..15: %s", argv[0]);
    if (!ParsePort(argv[1], &port))
        return Usage("input: not a port 0..3: %s", argv[1]);
    if (strcmp(argv[2], "loopback") == 0)
        mode = VANTRISIM_INPUT_LOOPBACK;
    else if (!ParseNumber(argv[2], false, &value) || value > 0xFF)
        return Usage("input: not a value 0..255 or loopback: %s", argv[2]);
    if (!SimulatorRunning())
        return kExitSimulator;
    if (!VantriSimSetInput(board, port, mode, value))
        return Refused("the input");
    return kExitOk;
}

int CmdPattern(int argc, char **argv)
{
    DWORD board, port, ms = 0;
    if (argc != 3)
        return Usage("pattern needs BOARD PORT MS|off%s", "");
    if (!ParseBoard(argv[0], &board))
        return Usage("pattern: not a board number 0..15: %s", argv[0]);
    if (!ParsePort(argv[1], &port))
        return Usage("pattern: not a port 0..3: %s", argv[1]);
    if (strcmp(argv[2], "off") != 0 && (!ParseNumber(argv[2], false, &ms) || ms == 0))
        return Usage("pattern: not a period in ms (1 or more) or off: %s", argv[2]);
    if (!SimulatorRunning())
        return kExitSimulator;
    if (!VantriSimSetPattern(board, port, ms))
        return Refused("the pattern");
    return kExitOk;
}

int CmdFault(int argc, char **argv)
{
    if (argc < 3)
        return Usage("fault needs BOARD REQUEST KIND%s", "");
    DWORD board, code = 0, kind = 0, word = 0, value = 0, count = 0;
    if (!ParseBoard(argv[0], &board))
        return Usage("fault: not a board number 0..15: %s", argv[0]);
    bool known = false;
    for (const RequestName &r : kRequests)
        if (strcmp(argv[1], r.name) == 0) {
            code = r.code;
            known = true;
        }
    if (!known)
        return Usage("fault: unknown request %s (version open close resource in out)", argv[1]);
    known = false;
    for (DWORD k = 0; k < sizeof kFaultNames / sizeof kFaultNames[0]; k++)
        if (strcmp(argv[2], kFaultNames[k]) == 0) {
            kind = k;
            known = true;
        }
    if (!known)
        return Usage("fault: unknown kind %s (fail status word pend openfails none)", argv[2]);

    bool needsValue = kind == VANTRISIM_FAULT_STATUS || kind == VANTRISIM_FAULT_REPLY_WORD ||
                      kind == VANTRISIM_FAULT_PEND;
    int i = 3;
    if (needsValue) {
        if (i >= argc || !ParseNumber(argv[i], false, &value))
            return Usage("fault: %s needs a number", argv[2]);
        if (kind == VANTRISIM_FAULT_STATUS && value == 0)
            return Usage("fault: a status fault needs a nonzero status%s", "");
        i++;
    }
    bool haveWord = false;
    for (; i < argc; i++) {
        const char *opt = argv[i];
        const char *val = i + 1 < argc ? argv[i + 1] : NULL;
        if (strcmp(opt, "--word") == 0) {
            if (!ParseNumber(val, false, &word) || word >= VANTRI_REQUEST_SIZE / 4)
                return Usage("fault: --word needs a reply word 0..15, got %s", val ? val : "nothing");
            haveWord = true;
        } else if (strcmp(opt, "--count") == 0) {
            if (!ParseNumber(val, false, &count))
                return Usage("fault: --count needs a number, got %s", val ? val : "nothing");
        } else {
            return Usage("fault: unexpected argument %s", opt);
        }
        i++;
    }
    if (kind == VANTRISIM_FAULT_REPLY_WORD && !haveWord)
        return Usage("fault: a word fault needs --word N%s", "");
    if (!SimulatorRunning())
        return kExitSimulator;
    if (!VantriSimSetFault(board, code, kind, word, value, count))
        return Refused("the fault (the table holds 32)");
    return kExitOk;
}

int CmdClearFaults(int argc, char **)
{
    if (argc != 0)
        return Usage("clear-faults takes no arguments%s", "");
    if (!SimulatorRunning())
        return kExitSimulator;
    if (!VantriSimClearFaults())
        return Refused("clearing the faults");
    return kExitOk;
}

int CmdLog(int argc, char **argv)
{
    bool clear = false;
    if (argc == 1 && strcmp(argv[0], "--clear") == 0)
        clear = true;
    else if (argc != 0)
        return Usage("log: unexpected argument %s", argv[0]);
    if (!SimulatorRunning())
        return kExitSimulator;
    VantriSimLogQuery q = { 0 };
    VantriSimLogPage page;
    if (!VantriSimControl(IOCTL_VANTRISIM_READ_LOG, &q, sizeof q, &page, sizeof page, NULL))
        return Refused("the log request");
    printf("%lu entr%s, %lu dropped\n", (unsigned long)page.dwTotal,
           page.dwTotal == 1 ? "y" : "ies", (unsigned long)page.dwDropped);
    if (page.dwTotal != 0)
        printf("  seq board request            in  out  process  input bytes              outcome\n");
    for (uint32_t first = 0; first < page.dwTotal;) {
        q.dwFirst = first;
        if (!VantriSimControl(IOCTL_VANTRISIM_READ_LOG, &q, sizeof q, &page, sizeof page, NULL))
            return Refused("the log request");
        if (page.dwCount == 0)
            break;
        for (uint32_t i = 0; i < page.dwCount; i++) {
            const VantriSimLogEntry &e = page.entries[i];
            printf("%5lu %5lu %-8s 0x%08lx %3lu %4lu %8lu  ", (unsigned long)e.dwSequence,
                   (unsigned long)e.dwBoard, RequestNameOf(e.dwCode), (unsigned long)e.dwCode,
                   (unsigned long)e.dwInputLength, (unsigned long)e.dwOutputLength,
                   (unsigned long)e.dwProcessId);
            if (e.dwInputPresent)
                for (int b = 0; b < 8; b++)
                    printf("%02X ", e.bInput[b]);
            else
                printf("(no input)              ");
            printf(" %s\n", FaultName(e.dwOutcome));
        }
        first += page.dwCount;
    }
    if (clear && !VantriSimClearLog())
        return Refused("clearing the log");
    return kExitOk;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return Usage("no command given%s", "");
    const char *cmd = argv[1];
    int rest = argc - 2;
    char **args = argv + 2;
    if (strcmp(cmd, "help") == 0 || strcmp(cmd, "--help") == 0 || strcmp(cmd, "-h") == 0) {
        fputs(kUsage, stdout);
        return kExitOk;
    }
    if (strcmp(cmd, "status") == 0) {
        if (rest != 0)
            return CmdStatus(rest, args);
        return SimulatorRunning() ? CmdStatus(rest, args) : kExitSimulator;
    }
    if (strcmp(cmd, "reset") == 0)
        return CmdReset(rest, args);
    if (strcmp(cmd, "input") == 0)
        return CmdInput(rest, args);
    if (strcmp(cmd, "pattern") == 0)
        return CmdPattern(rest, args);
    if (strcmp(cmd, "fault") == 0)
        return CmdFault(rest, args);
    if (strcmp(cmd, "clear-faults") == 0)
        return CmdClearFaults(rest, args);
    if (strcmp(cmd, "log") == 0)
        return CmdLog(rest, args);
    return Usage("unknown command %s", cmd);
}
