// hooks.cpp - the test controls of winlayer_test.h.
#include "layer_internal.h"

#include <chrono>
#include <cstring>

namespace winlayer {
namespace {

// Control requests go to the model exactly as the kernel simulator passes
// them, so both stand-ins answer the same records.
bool Control(LayerState &s, uint32_t code, const void *in, uint32_t inLength, void *out,
             uint32_t outLength)
{
    uint32_t bytes = 0;
    return SimModelControl(&s.model, code, in, inLength, out, outLength, &bytes, NowMs());
}

bool WaitNoPending(LayerState &s, std::unique_lock<std::mutex> &held, DWORD timeoutMs)
{
    return s.changed.wait_for(held, std::chrono::milliseconds(timeoutMs),
                              [&] { return s.pendingCount == 0; });
}

char g_sharedName[64] = "/vantri-shared";
std::mutex g_sharedNameLock;

}  // namespace
}  // namespace winlayer

using namespace winlayer;

extern "C" {

void WinlayerResetModel(const VantriSimConfig *cfg)
{
    LayerState &s = State();
    std::unique_lock<std::mutex> held(s.lock);
    WaitNoPending(s, held, 10000);
    VantriSimConfig config;
    if (cfg != nullptr)
        config = *cfg;
    else
        SimModelDefaultConfig(&config);
    Control(s, IOCTL_VANTRISIM_RESET, &config, sizeof config, nullptr, 0);
    s.failCloses = 0;
    s.failCreateEvents = 0;
    s.calls = WinlayerCallCounts{};
}

BOOL WinlayerSetFault(const VantriSimFault *fault)
{
    if (fault == nullptr)
        return FALSE;
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    return Control(s, IOCTL_VANTRISIM_SET_FAULT, fault, sizeof *fault, nullptr, 0);
}

void WinlayerClearFaults(void)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    Control(s, IOCTL_VANTRISIM_CLEAR_FAULTS, nullptr, 0, nullptr, 0);
}

BOOL WinlayerSetInput(const VantriSimInput *input)
{
    if (input == nullptr)
        return FALSE;
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    return Control(s, IOCTL_VANTRISIM_SET_INPUT, input, sizeof *input, nullptr, 0);
}

void WinlayerClearLog(void)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    Control(s, IOCTL_VANTRISIM_CLEAR_LOG, nullptr, 0, nullptr, 0);
}

void WinlayerGetStatus(VantriSimStatus *status)
{
    if (status == nullptr)
        return;
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    std::memset(status, 0, sizeof *status);
    Control(s, IOCTL_VANTRISIM_GET_STATUS, nullptr, 0, status, sizeof *status);
}

DWORD WinlayerReadLog(VantriSimLogEntry *entries, DWORD maxEntries)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    DWORD total = 0;
    for (DWORD first = 0;;) {
        VantriSimLogQuery query{first};
        VantriSimLogPage page;
        std::memset(&page, 0, sizeof page);
        if (!Control(s, IOCTL_VANTRISIM_READ_LOG, &query, sizeof query, &page, sizeof page))
            break;
        total = page.dwTotal;
        for (DWORD i = 0; i < page.dwCount && first + i < maxEntries; ++i)
            entries[first + i] = page.entries[i];
        first += page.dwCount;
        if (page.dwCount == 0 || first >= total || first >= maxEntries)
            break;
    }
    return total;
}

BOOL WinlayerDrainPending(DWORD timeoutMs)
{
    LayerState &s = State();
    std::unique_lock<std::mutex> held(s.lock);
    return WaitNoPending(s, held, timeoutMs) ? TRUE : FALSE;
}

DWORD WinlayerPendingCount(void)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    return s.pendingCount;
}

void WinlayerFailNextClose(DWORD count)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    s.failCloses = count;
}

void WinlayerFailNextCreateEvent(DWORD count)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    s.failCreateEvents = count;
}

void WinlayerGetCallCounts(WinlayerCallCounts *counts)
{
    if (counts == nullptr)
        return;
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    *counts = s.calls;
}

void WinlayerResetCallCounts(void)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    s.calls = WinlayerCallCounts{};
}

static DWORD CountObjects(ObjectKind kind, bool any)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    DWORD n = 0;
    for (const LayerObject &o : s.objects) {
        if (o.kind != ObjectKind::Free && (any || o.kind == kind))
            n++;
    }
    return n;
}

DWORD WinlayerOpenHandleCount(void)
{
    return CountObjects(ObjectKind::Free, true);
}

DWORD WinlayerOpenDeviceCount(void)
{
    return CountObjects(ObjectKind::Device, false);
}

DWORD WinlayerOpenEventCount(void)
{
    return CountObjects(ObjectKind::Event, false);
}

LONG WinlayerHandleBoard(HANDLE h)
{
    LayerState &s = State();
    std::lock_guard<std::mutex> held(s.lock);
    LayerObject *o = FindObject(s, h, ObjectKind::Device);
    return o != nullptr ? static_cast<LONG>(o->board) : -1;
}

void WinlayerCloseAllHandles(void)
{
    LayerState &s = State();
    std::unique_lock<std::mutex> held(s.lock);
    WaitNoPending(s, held, 10000);
    for (LayerObject &o : s.objects) {
        if (o.kind == ObjectKind::Device)
            SimModelClose(&s.model, o.board);
        if (o.kind != ObjectKind::Free) {
            uint16_t gen = o.generation;
            o = LayerObject{};
            o.generation = gen;
        }
    }
    s.failCloses = 0;
    s.changed.notify_all();
}

void WinlayerSetSharedName(LPCSTR name)
{
    std::lock_guard<std::mutex> held(g_sharedNameLock);
    if (name == nullptr || name[0] != '/' || std::strlen(name) >= sizeof g_sharedName)
        name = "/vantri-shared";
    std::strcpy(g_sharedName, name);
}

LPCSTR WinlayerSharedName(void)
{
    // The name is set once, before the block is first mapped; returning the
    // buffer itself is safe under that rule.
    std::lock_guard<std::mutex> held(g_sharedNameLock);
    return g_sharedName;
}

}  // extern "C"
