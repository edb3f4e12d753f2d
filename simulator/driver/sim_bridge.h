/*
 * sim_bridge.h - the driver's C view of the board model. The DDK headers do
 * not compile as C++, so the driver is C and reaches the C++ model through
 * these functions; the model instance lives in sim_bridge.cpp.
 * The caller holds its lock around every call.
 */
#ifndef SIM_BRIDGE_H
#define SIM_BRIDGE_H

#include <stdint.h>
#include "vantrisim.h"

#ifdef __cplusplus
extern "C" {
#endif

enum {
    SIM_BRIDGE_COMPLETE = 0,  /* complete with success now */
    SIM_BRIDGE_FAIL     = 1,  /* complete with an error */
    SIM_BRIDGE_PEND     = 2   /* complete with success pendMs later */
};

typedef struct SimBridgeResult {
    uint32_t outcome;         /* SIM_BRIDGE_* */
    uint32_t bytesReturned;
    uint32_t pendMs;
} SimBridgeResult;

/* Why a board's path would not open; SIM_BRIDGE_OPEN_OK when it opened. */
enum {
    SIM_BRIDGE_OPEN_OK      = 0,
    SIM_BRIDGE_OPEN_ABSENT  = 1,  /* board not configured */
    SIM_BRIDGE_OPEN_BUSY    = 2,  /* already open: exclusive use */
    SIM_BRIDGE_OPEN_REFUSED = 3   /* an OPEN_FAILS fault */
};

void SimBridgeDefaultConfig(VantriSimConfig *cfg);
int  SimBridgeValidConfig(const VantriSimConfig *cfg);
void SimBridgeInit(const VantriSimConfig *cfg);
int  SimBridgeOpen(uint32_t board);
void SimBridgeClose(uint32_t board);
int  SimBridgePathOpens(uint32_t board);
void SimBridgeRequest(uint32_t board, uint32_t code, const void *input, uint32_t inputLength,
                      void *output, uint32_t outputLength, uint32_t processId,
                      uint64_t nowMs, SimBridgeResult *result);
int  SimBridgeControl(uint32_t code, const void *input, uint32_t inputLength,
                      void *output, uint32_t outputLength, uint32_t *bytesReturned,
                      uint64_t nowMs);
void SimBridgePendingChanged(int delta);

#ifdef __cplusplus
}
#endif

#endif /* SIM_BRIDGE_H */
