/*
 * sim_bridge.cpp - the driver's one board model, behind C functions.
 */
#include "sim_bridge.h"

#include "sim_model.h"

namespace {
SimModel g_model;  // large (the log): static, never on a kernel stack
SimModel *Model() { return &g_model; }
}  // namespace

extern "C" {

void SimBridgeDefaultConfig(VantriSimConfig *cfg) { SimModelDefaultConfig(cfg); }

int SimBridgeValidConfig(const VantriSimConfig *cfg) { return SimModelValidConfig(cfg) ? 1 : 0; }

void SimBridgeInit(const VantriSimConfig *cfg)
{
    SimModelInit(Model());
    SimModelReset(Model(), cfg);
}

int SimBridgeOpen(uint32_t board)
{
    SimModel *m = Model();
    if (board >= VANTRISIM_MAX_BOARDS || !((m->config.dwBoardMask >> board) & 1u))
        return SIM_BRIDGE_OPEN_ABSENT;
    if (m->openCount[board] != 0)
        return SIM_BRIDGE_OPEN_BUSY;
    return SimModelOpen(m, board) ? SIM_BRIDGE_OPEN_OK : SIM_BRIDGE_OPEN_REFUSED;
}

void SimBridgeClose(uint32_t board) { SimModelClose(Model(), board); }

int SimBridgePathOpens(uint32_t board) { return SimModelPathOpens(Model(), board) ? 1 : 0; }

void SimBridgeRequest(uint32_t board, uint32_t code, const void *input, uint32_t inputLength,
                      void *output, uint32_t outputLength, uint32_t processId,
                      uint64_t nowMs, SimBridgeResult *result)
{
    SimResult r = SimModelRequest(Model(), board, code, input, inputLength, output, outputLength,
                                  processId, nowMs);
    result->outcome = r.outcome == SimOutcome::Fail   ? SIM_BRIDGE_FAIL
                      : r.outcome == SimOutcome::Pend ? SIM_BRIDGE_PEND
                                                      : SIM_BRIDGE_COMPLETE;
    result->bytesReturned = r.bytesReturned;
    result->pendMs = r.pendMs;
}

int SimBridgeControl(uint32_t code, const void *input, uint32_t inputLength,
                     void *output, uint32_t outputLength, uint32_t *bytesReturned,
                     uint64_t nowMs)
{
    return SimModelControl(Model(), code, input, inputLength, output, outputLength,
                           bytesReturned, nowMs) ? 1 : 0;
}

void SimBridgePendingChanged(int delta) { SimModelPendingChanged(Model(), delta); }

}  // extern "C"
