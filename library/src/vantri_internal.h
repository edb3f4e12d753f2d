/*
 * vantri_internal.h - declarations shared by the library's modules.
 *
 *   state.cpp           device slots, error store, RecordError, the two
 *                       exports that only read state
 *   channel.cpp         device path, open/close, SendRequest, the version
 *                       query, the OVERLAPPED/event machinery
 *   device.cpp          VantriCreate, VantriClose
 *   port.cpp            VantriGetResource, VantriInPort, VantriOutPort
 *   dllmain.cpp         platform check, attach, detach
 *   shared_section.cpp  (Win32) the machine-wide block in ".unidat"
 *
 * The modules call only the handful of system functions the native Win32
 * layer provides as well, so the same sources build natively for tests.
 */
#ifndef VANTRI_INTERNAL_H
#define VANTRI_INTERNAL_H

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "vantri.h"
#include "vantri_protocol.h"

/* ---- Machine-wide block (one per library file and machine) ---- */

/* Seen by every process that has the library loaded, so its layout is
 * fixed. The attach count changes only through interlocked operations; the
 * driver version is a plain store made by the attach that found the count
 * at 0. */
struct VantriSharedBlock {
    volatile LONG  lAttachCount;     /* processes with the library attached */
    volatile DWORD dwDriverVersion;  /* 0 = no version obtained */
};
static_assert(sizeof(VantriSharedBlock) == 8, "VantriSharedBlock is 8 bytes");
static_assert(offsetof(VantriSharedBlock, lAttachCount) == 0, "attach count at 0");
static_assert(offsetof(VantriSharedBlock, dwDriverVersion) == 4, "driver version at 4");

VantriSharedBlock *GetSharedBlock(void);

/* ---- Per-process state (state.cpp) ---- */

/* Sets up the error store's lock, clears all 17 codes and frees all slots.
 * Called once by process attach, before anything can record a code. */
void InitLibraryState(void);
/* Deletes the error store's lock; nothing may record a code afterwards. */
void DeleteLibraryState(void);

/* Stores a code: device numbers 0..15 get their own code, anything else
 * (VANTRI_ANY_DEVICE included) and every code 2 go to the global code. */
void RecordError(DWORD dwDevice, DWORD dwCode);

/* Device slots. Each slot is FREE, CLAIMING (a VantriCreate owns it and is
 * opening it), OPEN, or CLOSING (a VantriClose owns it). State changes are
 * interlocked compare-exchanges, so exactly one thread owns a slot while it
 * is being opened or closed, and no lock is held across a system call or a
 * driver request. The handle is published as soon as the path opens and is
 * read without a lock by requests. */
enum class SlotState : LONG {
    Free = 0,
    Claiming = 1,
    Open = 2,
    Closing = 3
};

/* The handle in the slot of dwDevice (0..15), INVALID_HANDLE_VALUE when
 * none is published. */
HANDLE GetDeviceSlot(DWORD dwDevice);
/* FREE -> CLAIMING; false when the slot is not free. */
BOOL BeginClaimSlot(DWORD dwDevice);
/* CLAIMING: publishes the freshly opened handle. */
void PublishSlotHandle(DWORD dwDevice, HANDLE hDevice);
/* CLAIMING -> OPEN. */
void ConfirmSlot(DWORD dwDevice);
/* OPEN -> CLOSING; false when the slot is not open. */
BOOL BeginCloseSlot(DWORD dwDevice);
/* CLOSING -> OPEN, handle kept (a close that failed). */
void AbortCloseSlot(DWORD dwDevice);
/* CLAIMING or CLOSING -> FREE, handle forgotten (it is closed already). */
void ReleaseSlot(DWORD dwDevice);

/* ---- Driver channel (channel.cpp) ---- */

/* Opens the path of device n (low 16 bits) with the fixed open parameters;
 * INVALID_HANDLE_VALUE (and code 1 in the global code) when it does not
 * open. */
HANDLE OpenDevicePath(DWORD dwDevice);
/* 1 when closed or nothing to close; 0 (code 1 global) when CloseHandle
 * fails. */
BOOL CloseDevicePath(HANDLE hDevice);
/* One 64/64 request on an open board's handle: 1 delivered, 0 not (code 4
 * for a free slot, code 1 when it could not be delivered, for dwDevice). The
 * status word is the caller's to read. */
BOOL SendRequest(HANDLE hDevice, DWORD dwCode, const void *pInput,
                 VantriReply *pReply, DWORD dwDevice);
/* Asks device 0 for the driver version on a handle of its own and caches
 * the reply word in the shared block: 1 on a delivered request. */
BOOL QueryDriverVersion(void);
/* Zeroes a record of whole 32-bit words without calling the C runtime. */
void ZeroRecord(void *pRecord, size_t cbRecord);
/* Closes the reusable request events; called by detach. */
void ReleaseChannelEvents(void);

#endif /* VANTRI_INTERNAL_H */
