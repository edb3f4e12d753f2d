// layer_internal.h - state shared by the modules of the native Win32 layer.
//
// One mutex guards everything the layer keeps: the handle table, the board
// model, the queue of pended requests and the failure injections. Waiters
// (GetOverlappedResult, WaitForSingleObject, the drain hook) sleep on one
// condition variable that every state change signals.
#ifndef WINLAYER_LAYER_INTERNAL_H
#define WINLAYER_LAYER_INTERNAL_H

#include <windows.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "sim_model.h"
#include "winlayer_test.h"

namespace winlayer {

enum class ObjectKind : uint8_t { Free, Event, Device };

struct LayerObject {
    ObjectKind kind;
    uint16_t   generation;   // bumped at every reuse, so stale handles miss
    bool       signaled;     // event state, or a device's "some I/O completed"
    bool       manualReset;  // events only
    bool       overlapped;   // devices only: opened with FILE_FLAG_OVERLAPPED
    uint32_t   board;        // devices only
};

constexpr size_t kMaxObjects = 256;
constexpr size_t kMaxPending = 128;
constexpr size_t kStagingSize = 1024;  // reply bytes held for a pended request

// A request the model pended: completed by the worker at dueMs.
struct PendingOp {
    bool         used;
    uint64_t     dueMs;
    HANDLE       device;
    HANDLE       event;        // from the caller's OVERLAPPED, or null
    OVERLAPPED  *overlapped;   // the caller's, or null (the unsafe form)
    void        *output;       // the caller's reply buffer, or null
    uint32_t     bytes;
    uint8_t      reply[kStagingSize];
};

struct LayerState {
    std::mutex                            lock;
    std::condition_variable               changed;
    std::array<LayerObject, kMaxObjects>  objects;
    std::array<PendingOp, kMaxPending>    pending;
    uint32_t                              pendingCount;
    bool                                  workerStarted;
    SimModel                              model;
    uint32_t                              failCloses;
    uint32_t                              failCreateEvents;
    WinlayerCallCounts                    calls;
};

// The layer's state, created on first use and never destroyed (threads of
// the layer may outlive static destructors at exit).
LayerState &State();

// Milliseconds on a monotonic clock: the model's time base.
uint64_t NowMs();

// Handle table; the caller holds State().lock.
HANDLE AllocObject(LayerState &s, ObjectKind kind);
LayerObject *FindObject(LayerState &s, HANDLE h);
LayerObject *FindObject(LayerState &s, HANDLE h, ObjectKind kind);
void FreeObject(LayerState &s, HANDLE h);
void SignalObject(LayerState &s, HANDLE h);

// Waits, with State().lock held through `held`, until h is signaled or gone.
DWORD WaitObjectLocked(LayerState &s, std::unique_lock<std::mutex> &held, HANDLE h);

// The calling thread's last error (what SetLastError stores).
void SetLastErrorValue(DWORD code);

// The process id the model logs.
uint32_t ProcessIdForLog();

}  // namespace winlayer

#endif  // WINLAYER_LAYER_INTERNAL_H
