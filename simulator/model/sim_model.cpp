/*
 * sim_model.cpp - the simulated boards: latches, inputs, pattern generators,
 * faults, the request log and the open counts. No system calls, no heap.
 */
#include "sim_model.h"

#include <string.h>

#include "../../library/src/vantri_protocol.h"

namespace {

constexpr uint32_t kReplyWords = VANTRI_REQUEST_SIZE / 4;

bool IsBoard(uint32_t board) { return board < VANTRISIM_MAX_BOARDS; }
bool IsPort(uint32_t port) { return port < VANTRISIM_PORTS; }

bool BoardExists(const SimModel *m, uint32_t board)
{
    return IsBoard(board) && (m->config.dwBoardMask >> board) & 1u;
}

uint32_t ReadWord(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// What an IN_PORT of the port reads at nowMs: the pattern generator when it
// runs, else the fixed value, else the port's own latch (loopback cable).
uint8_t InputValue(const SimModel *m, uint32_t board, uint32_t port, uint64_t nowMs)
{
    uint32_t period = m->patternMs[board][port];
    if (period != 0) {
        uint64_t start = m->patternStartMs[board][port];
        uint64_t elapsed = nowMs > start ? nowMs - start : 0;  // a clock that went back reads as the start
        return (uint8_t)(1u << ((elapsed / period) % 8));
    }
    if (m->inputMode[board][port] == VANTRISIM_INPUT_FIXED)
        return m->fixedInput[board][port];
    return m->latch[board][port];
}

void ClearBoardState(SimModel *m)
{
    memset(m->latch, 0, sizeof m->latch);
    memset(m->fixedInput, 0, sizeof m->fixedInput);
    memset(m->inputMode, 0, sizeof m->inputMode);
    memset(m->patternMs, 0, sizeof m->patternMs);
    memset(m->patternStartMs, 0, sizeof m->patternStartMs);
    memset(m->faults, 0, sizeof m->faults);
    m->faultCount = 0;
}

void ClearLog(SimModel *m)
{
    m->logCount = 0;
    m->logDropped = 0;
    m->logSequence = 0;
}

void RemoveFault(SimModel *m, uint32_t index)
{
    for (uint32_t i = index + 1; i < m->faultCount; i++)
        m->faults[i - 1] = m->faults[i];
    m->faultCount--;
    memset(&m->faults[m->faultCount], 0, sizeof m->faults[0]);
}

int FindFault(const SimModel *m, uint32_t board, uint32_t code)
{
    for (uint32_t i = 0; i < m->faultCount; i++)
        if (m->faults[i].dwBoard == board && m->faults[i].dwCode == code)
            return (int)i;
    return -1;
}

// Takes one hit of the fault at index: a counted fault ends after its last hit.
VantriSimFault HitFault(SimModel *m, uint32_t index)
{
    VantriSimFault f = m->faults[index];
    if (f.dwCount != 0 && --m->faults[index].dwCount == 0)
        RemoveFault(m, index);
    return f;
}

// The request fault that hits (board, code), or kind NONE. OPEN_FAILS faults
// act on opens only.
VantriSimFault TakeRequestFault(SimModel *m, uint32_t board, uint32_t code)
{
    int i = FindFault(m, board, code);
    if (i < 0 || m->faults[i].dwKind == VANTRISIM_FAULT_OPEN_FAILS) {
        VantriSimFault none = {};
        return none;
    }
    return HitFault(m, (uint32_t)i);
}

void AppendLog(SimModel *m, const VantriSimLogEntry &e)
{
    m->logSequence++;
    if (m->logCount >= VANTRISIM_LOG_CAPACITY) {
        m->logDropped++;  // the oldest entries stay: page indexes never move under a reader
        return;
    }
    m->log[m->logCount] = e;
    m->log[m->logCount].dwSequence = m->logSequence;
    m->logCount++;
}

// The normal answer of the board to one request, into reply; applies the
// request's effect (OUT_PORT writes the latch).
void Answer(SimModel *m, uint32_t board, uint32_t code, const uint8_t *in, uint32_t inLen,
            uint32_t reply[kReplyWords], uint64_t nowMs)
{
    switch (code) {
    case IOCTL_VANTRI_GET_VERSION:
        reply[1] = m->config.dwDriverVersion;
        break;
    case IOCTL_VANTRI_OPEN:
    case IOCTL_VANTRI_CLOSE:
        break;
    case IOCTL_VANTRI_GET_RESOURCE:
        reply[1] = m->config.dwBase[board];
        reply[2] = m->config.dwLength[board];
        break;
    case IOCTL_VANTRI_IN_PORT:
    case IOCTL_VANTRI_OUT_PORT: {
        uint32_t need = code == IOCTL_VANTRI_IN_PORT ? 4 : 8;
        if (in == nullptr || inLen < need) {
            reply[0] = VANTRISIM_STATUS_BAD_LENGTH;
            break;
        }
        uint32_t port = ReadWord(in);
        if (!IsPort(port)) {
            reply[0] = VANTRISIM_STATUS_BAD_PORT;
            break;
        }
        if (code == IOCTL_VANTRI_IN_PORT)
            reply[1] = InputValue(m, board, port, nowMs);
        else
            m->latch[board][port] = (uint8_t)ReadWord(in + 4);
        break;
    }
    default:
        reply[0] = VANTRISIM_STATUS_BAD_REQUEST;
        break;
    }
}

bool ValidFault(const VantriSimFault &f)
{
    if (!IsBoard(f.dwBoard) || f.dwKind > VANTRISIM_FAULT_OPEN_FAILS)
        return false;
    if (f.dwKind == VANTRISIM_FAULT_STATUS && f.dwValue == 0)
        return false;  // status 0 would be no fault at all
    if (f.dwKind == VANTRISIM_FAULT_REPLY_WORD && f.dwWord >= kReplyWords)
        return false;
    return true;
}

bool SetFault(SimModel *m, const VantriSimFault &f)
{
    if (!ValidFault(f))
        return false;
    int i = FindFault(m, f.dwBoard, f.dwCode);
    if (f.dwKind == VANTRISIM_FAULT_NONE) {
        if (i >= 0)
            RemoveFault(m, (uint32_t)i);
        return true;
    }
    if (i >= 0) {  // one fault per board and code: the newer one replaces it
        m->faults[i] = f;
        return true;
    }
    if (m->faultCount >= VANTRISIM_MAX_FAULTS)
        return false;
    m->faults[m->faultCount++] = f;
    return true;
}

void FillStatus(const SimModel *m, VantriSimStatus *st, uint64_t nowMs)
{
    memset(st, 0, sizeof *st);
    st->config = m->config;
    for (uint32_t b = 0; b < VANTRISIM_MAX_BOARDS; b++) {
        st->dwOpenCount[b] = m->openCount[b];
        for (uint32_t p = 0; p < VANTRISIM_PORTS; p++) {
            st->bLatch[b][p] = m->latch[b][p];
            st->bInput[b][p] = InputValue(m, b, p, nowMs);
            st->dwInputMode[b][p] = m->inputMode[b][p];
            st->dwPatternMs[b][p] = m->patternMs[b][p];
        }
    }
    st->dwFaultCount = m->faultCount;
    st->dwLogTotal = m->logCount;
    st->dwPendingCount = m->pendingCount;
}

void FillLogPage(const SimModel *m, uint32_t first, VantriSimLogPage *page)
{
    memset(page, 0, sizeof *page);
    page->dwTotal = m->logCount;
    page->dwDropped = m->logDropped;
    if (first >= m->logCount)
        return;
    uint32_t n = m->logCount - first;
    if (n > VANTRISIM_LOG_PAGE)
        n = VANTRISIM_LOG_PAGE;
    for (uint32_t i = 0; i < n; i++)
        page->entries[i] = m->log[first + i];
    page->dwCount = n;
}

}  // namespace

void SimModelDefaultConfig(VantriSimConfig *cfg)
{
    memset(cfg, 0, sizeof *cfg);
    cfg->dwBoardMask = VANTRISIM_DEFAULT_BOARD_MASK;
    cfg->dwDriverVersion = VANTRISIM_DEFAULT_VERSION;
    for (uint32_t n = 0; n < VANTRISIM_MAX_BOARDS; n++) {
        cfg->dwBase[n] = VANTRISIM_DEFAULT_BASE(n);
        cfg->dwLength[n] = VANTRISIM_DEFAULT_LENGTH;
    }
}

void SimModelInit(SimModel *m)
{
    memset(m, 0, sizeof *m);
    SimModelDefaultConfig(&m->config);
}

bool SimModelValidConfig(const VantriSimConfig *cfg)
{
    return cfg != nullptr && (cfg->dwBoardMask >> VANTRISIM_MAX_BOARDS) == 0;
}

bool SimModelReset(SimModel *m, const VantriSimConfig *cfg)
{
    if (!SimModelValidConfig(cfg))
        return false;
    m->config = *cfg;
    ClearBoardState(m);
    ClearLog(m);
    return true;
}

bool SimModelOpen(SimModel *m, uint32_t board)
{
    if (!BoardExists(m, board) || m->openCount[board] != 0)
        return false;
    for (uint32_t i = 0; i < m->faultCount; i++) {
        if (m->faults[i].dwBoard == board && m->faults[i].dwKind == VANTRISIM_FAULT_OPEN_FAILS) {
            HitFault(m, i);
            return false;
        }
    }
    m->openCount[board]++;
    return true;
}

bool SimModelPathOpens(const SimModel *m, uint32_t board)
{
    if (!BoardExists(m, board))
        return false;
    for (uint32_t i = 0; i < m->faultCount; i++)
        if (m->faults[i].dwBoard == board && m->faults[i].dwKind == VANTRISIM_FAULT_OPEN_FAILS)
            return false;
    return true;
}

void SimModelClose(SimModel *m, uint32_t board)
{
    if (IsBoard(board) && m->openCount[board] != 0)
        m->openCount[board]--;
}

SimResult SimModelRequest(SimModel *m, uint32_t board, uint32_t code,
                          const void *input, uint32_t inputLength,
                          void *output, uint32_t outputLength,
                          uint32_t processId, uint64_t nowMs)
{
    SimResult r = { SimOutcome::Complete, 0, 0 };
    if (!IsBoard(board)) {
        r.outcome = SimOutcome::Fail;
        return r;
    }

    // Everything the request carries is read before any output is written:
    // with buffered I/O both are one buffer.
    const uint8_t *in = inputLength != 0 ? static_cast<const uint8_t *>(input) : nullptr;
    uint8_t inCopy[VANTRI_REQUEST_SIZE] = {};
    uint32_t inLen = 0;
    if (in != nullptr) {
        inLen = inputLength < sizeof inCopy ? inputLength : (uint32_t)sizeof inCopy;
        memcpy(inCopy, in, inLen);
    }

    VantriSimLogEntry e = {};
    e.dwBoard = board;
    e.dwCode = code;
    e.dwInputLength = inputLength;
    e.dwOutputLength = outputLength;
    e.dwProcessId = processId;
    e.dwInputPresent = in != nullptr ? 1u : 0u;
    memcpy(e.bInput, inCopy, inLen < 8 ? inLen : 8);

    uint32_t reply[kReplyWords] = {};
    VantriSimFault f = {};
    if (!BoardExists(m, board)) {
        // The board went away under an open handle (a reset without it).
        r.outcome = SimOutcome::Fail;
        f.dwKind = VANTRISIM_FAULT_FAIL;
    } else {
        f = TakeRequestFault(m, board, code);
        switch (f.dwKind) {
        case VANTRISIM_FAULT_FAIL:
            r.outcome = SimOutcome::Fail;
            break;
        case VANTRISIM_FAULT_STATUS:
            reply[0] = f.dwValue;  // refused: the request has no effect on the board
            break;
        case VANTRISIM_FAULT_REPLY_WORD:
            Answer(m, board, code, in ? inCopy : nullptr, inLen, reply, nowMs);
            reply[f.dwWord] = f.dwValue;
            break;
        case VANTRISIM_FAULT_PEND:
            Answer(m, board, code, in ? inCopy : nullptr, inLen, reply, nowMs);
            r.outcome = SimOutcome::Pend;
            r.pendMs = f.dwValue;
            break;
        default:
            Answer(m, board, code, in ? inCopy : nullptr, inLen, reply, nowMs);
            break;
        }
    }
    e.dwOutcome = f.dwKind;
    AppendLog(m, e);

    if (r.outcome != SimOutcome::Fail && output != nullptr) {
        // A short output buffer receives the leading part of the reply.
        uint32_t n = outputLength < sizeof reply ? outputLength : (uint32_t)sizeof reply;
        memcpy(output, reply, n);
        r.bytesReturned = n;
    }
    return r;
}

bool SimModelControl(SimModel *m, uint32_t code,
                     const void *input, uint32_t inputLength,
                     void *output, uint32_t outputLength,
                     uint32_t *bytesReturned, uint64_t nowMs)
{
    uint32_t dummy;
    uint32_t *ret = bytesReturned ? bytesReturned : &dummy;
    *ret = 0;
    bool hasIn = input != nullptr;

    switch (code) {
    case IOCTL_VANTRISIM_RESET: {
        if (!hasIn || inputLength != sizeof(VantriSimConfig))
            return false;
        VantriSimConfig cfg;
        memcpy(&cfg, input, sizeof cfg);
        return SimModelReset(m, &cfg);
    }
    case IOCTL_VANTRISIM_GET_STATUS: {
        if (output == nullptr || outputLength < sizeof(VantriSimStatus))
            return false;
        VantriSimStatus st;
        FillStatus(m, &st, nowMs);
        memcpy(output, &st, sizeof st);
        *ret = sizeof st;
        return true;
    }
    case IOCTL_VANTRISIM_SET_INPUT: {
        if (!hasIn || inputLength != sizeof(VantriSimInput))
            return false;
        VantriSimInput in;
        memcpy(&in, input, sizeof in);
        if (!IsBoard(in.dwBoard) || !IsPort(in.dwPort) || in.dwMode > VANTRISIM_INPUT_FIXED)
            return false;
        m->inputMode[in.dwBoard][in.dwPort] = in.dwMode;
        m->fixedInput[in.dwBoard][in.dwPort] =
            in.dwMode == VANTRISIM_INPUT_FIXED ? (uint8_t)in.dwValue : 0;
        return true;
    }
    case IOCTL_VANTRISIM_SET_PATTERN: {
        if (!hasIn || inputLength != sizeof(VantriSimPattern))
            return false;
        VantriSimPattern p;
        memcpy(&p, input, sizeof p);
        if (!IsBoard(p.dwBoard) || !IsPort(p.dwPort))
            return false;
        m->patternMs[p.dwBoard][p.dwPort] = p.dwPeriodMs;
        m->patternStartMs[p.dwBoard][p.dwPort] = nowMs;
        return true;
    }
    case IOCTL_VANTRISIM_SET_FAULT: {
        if (!hasIn || inputLength != sizeof(VantriSimFault))
            return false;
        VantriSimFault f;
        memcpy(&f, input, sizeof f);
        return SetFault(m, f);
    }
    case IOCTL_VANTRISIM_CLEAR_FAULTS:
        memset(m->faults, 0, sizeof m->faults);
        m->faultCount = 0;
        return true;
    case IOCTL_VANTRISIM_READ_LOG: {
        if (!hasIn || inputLength != sizeof(VantriSimLogQuery) ||
            output == nullptr || outputLength < sizeof(VantriSimLogPage))
            return false;
        VantriSimLogQuery q;
        memcpy(&q, input, sizeof q);  // the page below overwrites the query
        FillLogPage(m, q.dwFirst, static_cast<VantriSimLogPage *>(output));
        *ret = sizeof(VantriSimLogPage);
        return true;
    }
    case IOCTL_VANTRISIM_CLEAR_LOG:
        ClearLog(m);
        return true;
    default:
        return false;
    }
}

void SimModelPendingChanged(SimModel *m, int delta)
{
    if (delta < 0 && (uint32_t)-delta > m->pendingCount)
        m->pendingCount = 0;
    else
        m->pendingCount += (uint32_t)delta;
}
