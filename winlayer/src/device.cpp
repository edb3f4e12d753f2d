// device.cpp - board channels: CreateFileA, DeviceIoControl and
// GetOverlappedResult over the in-process board model.
//
// The completion rules follow the real system where the library depends on
// them:
//  - A request the model completes at once returns TRUE; with an OVERLAPPED
//    its Internal/InternalHigh are set and its event signaled as well.
//  - A request the model fails returns FALSE with ERROR_GEN_FAILURE.
//  - A request the model pends, on a handle opened with FILE_FLAG_OVERLAPPED,
//    returns FALSE with ERROR_IO_PENDING. The worker thread completes it
//    pendMs later: the reply is written into the caller's buffer, the
//    OVERLAPPED (if any) is completed and its event, or else the device,
//    signaled. Without an OVERLAPPED the caller has nothing to wait on and
//    the reply lands in its buffer whenever the worker gets to it; that is
//    the real behaviour, kept here so tests can show it.
//  - A pended request on a handle opened without FILE_FLAG_OVERLAPPED simply
//    blocks for pendMs.
#include "layer_internal.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace winlayer {
namespace {

constexpr uint32_t kStatusSuccess = 0;
constexpr uint32_t kStatusUnsuccessful = 0xC0000001u;

// "\\.\vantriN", N = 0..15 in decimal without leading zeros, any case.
bool ParseBoardPath(LPCSTR path, uint32_t *board)
{
    if (path == nullptr)
        return false;
    static const char kPrefix[] = "\\\\.\\vantri";
    size_t i = 0;
    for (; kPrefix[i] != '\0'; ++i) {
        char c = path[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kPrefix[i])
            return false;
    }
    const char *digits = path + i;
    if (digits[0] < '0' || digits[0] > '9')
        return false;
    if (digits[0] == '0' && digits[1] != '\0')
        return false;
    uint32_t n = 0;
    for (size_t k = 0; digits[k] != '\0'; ++k) {
        if (digits[k] < '0' || digits[k] > '9' || k >= 2)
            return false;
        n = n * 10 + static_cast<uint32_t>(digits[k] - '0');
    }
    if (n >= VANTRISIM_MAX_BOARDS)
        return false;
    *board = n;
    return true;
}

void CompleteOverlapped(LayerState &s, OVERLAPPED *ov, uint32_t status, uint32_t bytes)
{
    ov->Internal = status;
    ov->InternalHigh = bytes;
    if (ov->hEvent != nullptr)
        SignalObject(s, ov->hEvent);
}

void CompletePending(LayerState &s, PendingOp &op)
{
    if (op.output != nullptr && op.bytes > 0)
        std::memcpy(op.output, op.reply, op.bytes);
    if (op.overlapped != nullptr) {
        op.overlapped->Internal = kStatusSuccess;
        op.overlapped->InternalHigh = op.bytes;
    }
    if (op.event != nullptr)
        SignalObject(s, op.event);
    else
        SignalObject(s, op.device);
    op.used = false;
    s.pendingCount--;
    SimModelPendingChanged(&s.model, -1);
    s.changed.notify_all();
}

void WorkerMain()
{
    LayerState &s = State();
    std::unique_lock<std::mutex> held(s.lock);
    for (;;) {
        uint64_t next = UINT64_MAX;
        uint64_t now = NowMs();
        for (PendingOp &op : s.pending) {
            if (!op.used)
                continue;
            if (op.dueMs <= now)
                CompletePending(s, op);
            else if (op.dueMs < next)
                next = op.dueMs;
        }
        if (next == UINT64_MAX)
            s.changed.wait(held);
        else
            s.changed.wait_for(held, std::chrono::milliseconds(next - now));
    }
}

PendingOp *QueuePending(LayerState &s)
{
    for (PendingOp &op : s.pending) {
        if (!op.used) {
            if (!s.workerStarted) {
                std::thread(WorkerMain).detach();
                s.workerStarted = true;
            }
            op.used = true;
            s.pendingCount++;
            SimModelPendingChanged(&s.model, +1);
            return &op;
        }
    }
    return nullptr;
}

}  // namespace
}  // namespace winlayer

using namespace winlayer;

extern "C" {

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                          HANDLE hTemplateFile)
{
    (void)dwDesiredAccess;
    (void)dwShareMode;  // the model grants every board to one opener only
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    s.calls.dwCreateFile++;
    uint32_t board;
    if (!ParseBoardPath(lpFileName, &board)) {
        SetLastErrorValue(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (dwCreationDisposition != OPEN_EXISTING && dwCreationDisposition != OPEN_ALWAYS) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    bool wasOpen = s.model.openCount[board] != 0;
    if (!SimModelOpen(&s.model, board)) {
        if ((s.model.config.dwBoardMask & (1u << board)) == 0)
            SetLastErrorValue(ERROR_FILE_NOT_FOUND);
        else if (wasOpen)
            SetLastErrorValue(ERROR_ACCESS_DENIED);
        else
            SetLastErrorValue(ERROR_GEN_FAILURE);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = AllocObject(s, ObjectKind::Device);
    if (h == nullptr) {
        SimModelClose(&s.model, board);
        SetLastErrorValue(ERROR_TOO_MANY_OPEN_FILES);
        return INVALID_HANDLE_VALUE;
    }
    LayerObject *o = FindObject(s, h);
    o->board = board;
    o->overlapped = (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) != 0;
    return h;
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode,
                            LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped)
{
    LayerState &s = State();
    std::unique_lock<std::mutex> held(s.lock);
    s.calls.dwDeviceIoControl++;
    if (lpOverlapped != nullptr)
        s.calls.dwWithOverlapped++;
    LayerObject *dev = FindObject(s, hDevice, ObjectKind::Device);
    if (dev == nullptr) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // An input length without a buffer is allowed: the model sees "no input
    // bytes". An output length without a buffer leaves nowhere for a reply.
    if (lpOutBuffer == nullptr && nOutBufferSize != 0) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const bool overlappedHandle = dev->overlapped;
    const uint32_t board = dev->board;

    // Starting an I/O clears the object it will signal.
    if (lpOverlapped != nullptr) {
        lpOverlapped->Internal = STATUS_PENDING;
        lpOverlapped->InternalHigh = 0;
        LayerObject *ev = FindObject(s, lpOverlapped->hEvent, ObjectKind::Event);
        if (ev != nullptr)
            ev->signaled = false;
    }
    if (lpOverlapped == nullptr || lpOverlapped->hEvent == nullptr)
        dev->signaled = false;

    // The model writes its reply into staging first, so that a pended reply
    // reaches the caller's buffer only when the request completes. Larger
    // outputs than the staging area are cut to it (no request needs that).
    uint8_t staging[kStagingSize];
    uint32_t outLength = nOutBufferSize < kStagingSize ? nOutBufferSize : kStagingSize;
    std::memset(staging, 0, outLength);
    SimResult r = SimModelRequest(&s.model, board, dwIoControlCode, lpInBuffer, nInBufferSize,
                                  staging, outLength, ProcessIdForLog(), NowMs());
    uint32_t bytes = r.bytesReturned <= outLength ? r.bytesReturned : outLength;

    switch (r.outcome) {
    case SimOutcome::Complete:
        if (lpOutBuffer != nullptr && bytes > 0)
            std::memcpy(lpOutBuffer, staging, bytes);
        if (lpBytesReturned != nullptr)
            *lpBytesReturned = bytes;
        if (lpOverlapped != nullptr)
            CompleteOverlapped(s, lpOverlapped, kStatusSuccess, bytes);
        else
            SignalObject(s, hDevice);
        return TRUE;

    case SimOutcome::Fail:
        if (lpOverlapped != nullptr)
            lpOverlapped->Internal = kStatusUnsuccessful;
        SetLastErrorValue(ERROR_GEN_FAILURE);
        return FALSE;

    case SimOutcome::Pend:
        break;
    }

    if (!overlappedHandle) {
        // A synchronous handle: the caller simply waits for the completion.
        s.pendingCount++;
        SimModelPendingChanged(&s.model, +1);
        held.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(r.pendMs));
        held.lock();
        s.pendingCount--;
        SimModelPendingChanged(&s.model, -1);
        s.changed.notify_all();
        if (lpOutBuffer != nullptr && bytes > 0)
            std::memcpy(lpOutBuffer, staging, bytes);
        if (lpBytesReturned != nullptr)
            *lpBytesReturned = bytes;
        if (lpOverlapped != nullptr)
            CompleteOverlapped(s, lpOverlapped, kStatusSuccess, bytes);
        return TRUE;
    }

    PendingOp *op = QueuePending(s);
    if (op == nullptr) {
        // Queue full (never in practice): fail as an undelivered request.
        if (lpOverlapped != nullptr)
            lpOverlapped->Internal = kStatusUnsuccessful;
        SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    op->dueMs = NowMs() + r.pendMs;
    op->device = hDevice;
    op->overlapped = lpOverlapped;
    op->event = lpOverlapped != nullptr ? lpOverlapped->hEvent : nullptr;
    op->output = lpOutBuffer;
    op->bytes = bytes;
    std::memcpy(op->reply, staging, bytes);
    s.changed.notify_all();
    SetLastErrorValue(ERROR_IO_PENDING);
    return FALSE;
}

BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                                LPDWORD lpNumberOfBytesTransferred, BOOL bWait)
{
    LayerState &s = State();
    std::unique_lock<std::mutex> held(s.lock);
    s.calls.dwGetOverlappedResult++;
    if (lpOverlapped == nullptr) {
        SetLastErrorValue(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (lpOverlapped->Internal == STATUS_PENDING) {
        if (!bWait) {
            SetLastErrorValue(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        HANDLE waitOn = lpOverlapped->hEvent != nullptr ? lpOverlapped->hEvent : hFile;
        if (FindObject(s, waitOn) == nullptr) {
            SetLastErrorValue(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        WaitObjectLocked(s, held, waitOn);
        if (lpOverlapped->Internal == STATUS_PENDING) {
            // Woken by another request's completion on the same object.
            SetLastErrorValue(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
    }
    if (lpNumberOfBytesTransferred != nullptr)
        *lpNumberOfBytesTransferred = static_cast<DWORD>(lpOverlapped->InternalHigh);
    if (lpOverlapped->Internal != kStatusSuccess) {
        SetLastErrorValue(ERROR_GEN_FAILURE);
        return FALSE;
    }
    return TRUE;
}

}  // extern "C"
