/*
 * sim_model.h - the simulated Vantri-K2 boards, in portable C++ with no
 * system calls, so the kernel-mode simulator and the native test layer run
 * the very same model.
 *
 * The model is not thread-safe: its caller holds one lock around every call.
 * It allocates nothing; a SimModel is plain storage (static in the driver).
 */
#ifndef SIM_MODEL_H
#define SIM_MODEL_H

#include <stdint.h>
#include "vantrisim.h"

enum class SimOutcome : uint32_t {
    Complete = 0,  // reply written, complete the request with success now
    Fail     = 1,  // complete the request with an error: DeviceIoControl fails
    Pend     = 2   // reply written; complete with success after pendMs
};

struct SimResult {
    SimOutcome outcome;
    uint32_t   bytesReturned;  // bytes of the output buffer that were written
    uint32_t   pendMs;         // for SimOutcome::Pend
};

struct SimModel {
    VantriSimConfig   config;
    uint32_t          openCount[VANTRISIM_MAX_BOARDS];
    uint8_t           latch[VANTRISIM_MAX_BOARDS][VANTRISIM_PORTS];
    uint8_t           fixedInput[VANTRISIM_MAX_BOARDS][VANTRISIM_PORTS];
    uint32_t          inputMode[VANTRISIM_MAX_BOARDS][VANTRISIM_PORTS];
    uint32_t          patternMs[VANTRISIM_MAX_BOARDS][VANTRISIM_PORTS];
    uint64_t          patternStartMs[VANTRISIM_MAX_BOARDS][VANTRISIM_PORTS];
    VantriSimFault    faults[VANTRISIM_MAX_FAULTS];
    uint32_t          faultCount;
    VantriSimLogEntry log[VANTRISIM_LOG_CAPACITY];
    uint32_t          logCount;
    uint32_t          logDropped;
    uint32_t          logSequence;
    uint32_t          pendingCount;   // kept by the caller through SimModelPendingChanged
};

// Default configuration (boards 0, 1, 2; see vantrisim.h); nothing open.
void SimModelInit(SimModel *m);
void SimModelDefaultConfig(VantriSimConfig *cfg);

// A configuration is valid when it names only boards 0..15.
bool SimModelValidConfig(const VantriSimConfig *cfg);
// Takes a new configuration and clears faults, latches, inputs, patterns and
// the log; open counts stay. False (and nothing changed) for an invalid one.
bool SimModelReset(SimModel *m, const VantriSimConfig *cfg);

// Opening a board's path. Returns true when the path opens: the board exists,
// is not open already (exclusive use) and no OPEN_FAILS fault hits it.
bool SimModelOpen(SimModel *m, uint32_t board);
void SimModelClose(SimModel *m, uint32_t board);
// Whether the board's path can be opened at all: the board exists and no
// OPEN_FAILS fault names it. Open handles do not count here.
bool SimModelPathOpens(const SimModel *m, uint32_t board);

// One board request. With buffered I/O the input and the output may be the
// same buffer: the model reads all input before it writes any output.
// input is null when the caller passed no input buffer; an input length of 0
// also counts as no input. An output buffer shorter than the 64-byte reply
// receives the reply's leading bytes (bytesReturned says how many); a null
// output receives nothing. The request is logged whatever its outcome.
SimResult SimModelRequest(SimModel *m, uint32_t board, uint32_t code,
                          const void *input, uint32_t inputLength,
                          void *output, uint32_t outputLength,
                          uint32_t processId, uint64_t nowMs);

// One control request (IOCTL_VANTRISIM_*). Returns false for an unknown code
// or a record of the wrong size; *bytesReturned receives the output size.
bool SimModelControl(SimModel *m, uint32_t code,
                     const void *input, uint32_t inputLength,
                     void *output, uint32_t outputLength,
                     uint32_t *bytesReturned, uint64_t nowMs);

// The caller tracks pended requests that have not completed yet.
void SimModelPendingChanged(SimModel *m, int delta);

#endif /* SIM_MODEL_H */
