// handles.cpp - the handle table, events, waits and CloseHandle.
//
// A handle value encodes a table index and a generation:
//   value = generation << 12 | (index + 1) << 2
// so it is never null nor INVALID_HANDLE_VALUE, and a handle that was closed
// stays invalid after its entry is reused.
#include "layer_internal.h"

#include <chrono>
#include <new>

namespace winlayer {

LayerState &State()
{
    // Deliberately never freed: the completion worker may still run while
    // static destructors execute at process exit.
    static LayerState *state = [] {
        LayerState *s = new LayerState();
        SimModelInit(&s->model);
        return s;
    }();
    return *state;
}

uint64_t NowMs()
{
    using namespace std::chrono;
    static const steady_clock::time_point start = steady_clock::now();
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now() - start).count());
}

namespace {

constexpr uintptr_t kIndexShift = 2;
constexpr uintptr_t kGenerationShift = 12;

HANDLE EncodeHandle(size_t index, uint16_t generation)
{
    uintptr_t v = (static_cast<uintptr_t>(generation) << kGenerationShift) |
                  (static_cast<uintptr_t>(index + 1) << kIndexShift);
    return reinterpret_cast<HANDLE>(v);
}

bool DecodeHandle(HANDLE h, size_t *index, uint16_t *generation)
{
    uintptr_t v = reinterpret_cast<uintptr_t>(h);
    if (h == nullptr || h == INVALID_HANDLE_VALUE || (v & 3) != 0)
        return false;
    uintptr_t slot = (v >> kIndexShift) & ((1u << (kGenerationShift - kIndexShift)) - 1);
    uintptr_t gen = v >> kGenerationShift;
    if (slot == 0 || slot > kMaxObjects || gen == 0 || gen > 0xFFFF)
        return false;
    *index = slot - 1;
    *generation = static_cast<uint16_t>(gen);
    return true;
}

// Waits on one object until it is signaled or gone; false on timeout.
// An auto-reset event is consumed by the wait that sees it.
DWORD WaitLocked(LayerState &s, std::unique_lock<std::mutex> &held, HANDLE h,
                 DWORD timeoutMs)
{
    auto ready = [&] {
        LayerObject *o = FindObject(s, h);
        return o == nullptr || o->signaled;
    };
    if (timeoutMs == INFINITE) {
        s.changed.wait(held, ready);
    } else if (!s.changed.wait_for(held, std::chrono::milliseconds(timeoutMs), ready)) {
        return WAIT_TIMEOUT;
    }
    LayerObject *o = FindObject(s, h);
    if (o == nullptr) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (o->kind == ObjectKind::Event && !o->manualReset)
        o->signaled = false;
    return WAIT_OBJECT_0;
}

}  // namespace

HANDLE AllocObject(LayerState &s, ObjectKind kind)
{
    for (size_t i = 0; i < s.objects.size(); ++i) {
        LayerObject &o = s.objects[i];
        if (o.kind != ObjectKind::Free)
            continue;
        uint16_t gen = static_cast<uint16_t>(o.generation + 1);
        if (gen == 0)
            gen = 1;
        o = LayerObject{};
        o.kind = kind;
        o.generation = gen;
        return EncodeHandle(i, gen);
    }
    return nullptr;
}

LayerObject *FindObject(LayerState &s, HANDLE h)
{
    size_t index;
    uint16_t gen;
    if (!DecodeHandle(h, &index, &gen))
        return nullptr;
    LayerObject &o = s.objects[index];
    if (o.kind == ObjectKind::Free || o.generation != gen)
        return nullptr;
    return &o;
}

LayerObject *FindObject(LayerState &s, HANDLE h, ObjectKind kind)
{
    LayerObject *o = FindObject(s, h);
    return (o != nullptr && o->kind == kind) ? o : nullptr;
}

void FreeObject(LayerState &s, HANDLE h)
{
    LayerObject *o = FindObject(s, h);
    if (o == nullptr)
        return;
    uint16_t gen = o->generation;
    *o = LayerObject{};
    o->generation = gen;  // the next allocation moves it on
    s.changed.notify_all();
}

void SignalObject(LayerState &s, HANDLE h)
{
    LayerObject *o = FindObject(s, h);
    if (o == nullptr)
        return;
    o->signaled = true;
    s.changed.notify_all();
}

}  // namespace winlayer

using namespace winlayer;

extern "C" {

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    s.calls.dwCloseHandle++;
    if (s.failCloses > 0) {
        s.failCloses--;
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    LayerObject *o = FindObject(s, hObject);
    if (o == nullptr) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (o->kind == ObjectKind::Device)
        SimModelClose(&s.model, o->board);
    FreeObject(s, hObject);
    return TRUE;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName)
{
    (void)lpEventAttributes;
    (void)lpName;  // named events are not shared here: each call makes a new one
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    s.calls.dwCreateEvent++;
    if (s.failCreateEvents > 0) {
        s.failCreateEvents--;
        SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HANDLE h = AllocObject(s, ObjectKind::Event);
    if (h == nullptr) {
        SetLastErrorValue(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    LayerObject *o = FindObject(s, h);
    o->manualReset = bManualReset != FALSE;
    o->signaled = bInitialState != FALSE;
    return h;
}

BOOL WINAPI SetEvent(HANDLE hEvent)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    if (FindObject(s, hEvent, ObjectKind::Event) == nullptr) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SignalObject(s, hEvent);
    return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    LayerObject *o = FindObject(s, hEvent, ObjectKind::Event);
    if (o == nullptr) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    o->signaled = false;
    return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    LayerState &s = State();
    std::unique_lock<std::mutex> held(s.lock);
    if (FindObject(s, hHandle) == nullptr) {
        SetLastErrorValue(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return WaitLocked(s, held, hHandle, dwMilliseconds);
}

}  // extern "C"

namespace winlayer {

// Used by GetOverlappedResult: the same wait, for a caller that holds the lock.
DWORD WaitObjectLocked(LayerState &s, std::unique_lock<std::mutex> &held, HANDLE h)
{
    return WaitLocked(s, held, h, INFINITE);
}

}  // namespace winlayer
