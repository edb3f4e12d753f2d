/*
 * vantrisim.h - control channel of the board simulator.
 *
 * The simulator stands in for the board's kernel-mode driver. Besides the
 * board devices "\\.\vantri0".."\\.\vantri15" it offers a control device,
 * "\\.\vantrisim", through which tests and the console tool configure the
 * boards, set input bits, inject faults and read the request log.
 *
 * All records are plain little-endian structures of fixed layout, shared by
 * the driver, the in-process model of the native build, the console tool and
 * the tests.
 */
#ifndef VANTRISIM_H
#define VANTRISIM_H

#include <stddef.h>
#include <stdint.h>

#define VANTRISIM_CONTROL_PATH   "\\\\.\\vantrisim"
#define VANTRISIM_SERVICE_NAME   "vantrisim"
#define VANTRISIM_MAX_BOARDS     16
#define VANTRISIM_PORTS          4
#define VANTRISIM_LOG_CAPACITY   1024

/* Defaults: boards 0, 1, 2 at 0x300, 0x310, 0x320, four ports each. */
#define VANTRISIM_DEFAULT_BOARD_MASK  0x0007u
#define VANTRISIM_DEFAULT_BASE(n)     (0x300u + 0x10u * (uint32_t)(n))
#define VANTRISIM_DEFAULT_LENGTH      4u
#define VANTRISIM_DEFAULT_VERSION     0x00020001u

/* Reply status words of the simulated driver for requests it refuses. */
#define VANTRISIM_STATUS_BAD_PORT     0x00000100u /* port index outside 0..3 */
#define VANTRISIM_STATUS_BAD_REQUEST  0x00000101u /* request code not known */
#define VANTRISIM_STATUS_BAD_LENGTH   0x00000102u /* port request without its record (null or short input) */

/* Control requests: CTL_CODE(0x8001, function, METHOD_BUFFERED, FILE_ANY_ACCESS). */
#define VANTRISIM_CTL_CODE(fn) ((0x8001u << 16) | ((fn) << 2))
#define IOCTL_VANTRISIM_RESET       VANTRISIM_CTL_CODE(0x900u) /* in: VantriSimConfig */
#define IOCTL_VANTRISIM_GET_STATUS  VANTRISIM_CTL_CODE(0x901u) /* out: VantriSimStatus */
#define IOCTL_VANTRISIM_SET_INPUT   VANTRISIM_CTL_CODE(0x902u) /* in: VantriSimInput */
#define IOCTL_VANTRISIM_SET_FAULT   VANTRISIM_CTL_CODE(0x903u) /* in: VantriSimFault */
#define IOCTL_VANTRISIM_CLEAR_FAULTS VANTRISIM_CTL_CODE(0x904u) /* no input */
#define IOCTL_VANTRISIM_READ_LOG    VANTRISIM_CTL_CODE(0x905u) /* in: VantriSimLogQuery, out: VantriSimLogPage */
#define IOCTL_VANTRISIM_CLEAR_LOG   VANTRISIM_CTL_CODE(0x906u) /* no input */
#define IOCTL_VANTRISIM_SET_PATTERN VANTRISIM_CTL_CODE(0x907u) /* in: VantriSimPattern */

/* Board configuration. A reset also clears faults, latches, inputs, patterns
 * and the log; open handles stay open. */
typedef struct VantriSimConfig {
    uint32_t dwBoardMask;                     /* bit n set: board n exists */
    uint32_t dwDriverVersion;                 /* answered to GET_VERSION, 0 allowed */
    uint32_t dwBase[VANTRISIM_MAX_BOARDS];    /* base I/O address per board */
    uint32_t dwLength[VANTRISIM_MAX_BOARDS];  /* range length per board (4 on a real board) */
} VantriSimConfig;

/* Input source of one port. */
enum {
    VANTRISIM_INPUT_LOOPBACK = 0,  /* input reads the port's own output latch */
    VANTRISIM_INPUT_FIXED    = 1   /* input reads bValue */
};

typedef struct VantriSimInput {
    uint32_t dwBoard;
    uint32_t dwPort;      /* 0..3 */
    uint32_t dwMode;      /* VANTRISIM_INPUT_* */
    uint32_t dwValue;     /* low 8 bits, for VANTRISIM_INPUT_FIXED */
} VantriSimInput;

/* Walking-bit pattern generator on one port; dwPeriodMs 0 switches it off. */
typedef struct VantriSimPattern {
    uint32_t dwBoard;
    uint32_t dwPort;
    uint32_t dwPeriodMs;  /* the lit bit moves one place every period */
} VantriSimPattern;

/* Fault kinds. dwCode names the request the fault applies to; an
 * OPEN_FAILS fault acts on opens of the board whatever its dwCode. A board
 * holds one fault per dwCode: a new one replaces it, NONE removes it.
 * STATUS refuses the request without effect on the board; REPLY_WORD and PEND
 * act after the normal answer (an OUT_PORT still writes its latch).
 * Under Wine the driver keeps a board's path absent while an OPEN_FAILS
 * fault names it, so CreateFileA fails with ERROR_FILE_NOT_FOUND until the
 * fault is removed; its dwCount is honoured only by the in-process model. */
enum {
    VANTRISIM_FAULT_NONE       = 0,
    VANTRISIM_FAULT_FAIL       = 1,  /* not delivered: the request completes with an error */
    VANTRISIM_FAULT_STATUS     = 2,  /* reply status word = dwValue (nonzero) */
    VANTRISIM_FAULT_REPLY_WORD = 3,  /* reply word dwWord (0..15) = dwValue, status 0 */
    VANTRISIM_FAULT_PEND       = 4,  /* pend, complete normally dwValue ms later */
    VANTRISIM_FAULT_OPEN_FAILS = 5   /* the board's path does not open */
};

#define VANTRISIM_MAX_FAULTS 32

typedef struct VantriSimFault {
    uint32_t dwBoard;     /* 0..15 */
    uint32_t dwCode;      /* IOCTL_VANTRI_* the fault applies to */
    uint32_t dwKind;      /* VANTRISIM_FAULT_*; NONE removes faults of board and code */
    uint32_t dwWord;      /* REPLY_WORD: index of the 32-bit reply word */
    uint32_t dwValue;     /* STATUS, REPLY_WORD: the value; PEND: delay in ms */
    uint32_t dwCount;     /* how many requests it hits; 0 = until cleared */
} VantriSimFault;

/* One logged request (board requests only; opens and closes of paths are
 * counted in the status, not logged). */
typedef struct VantriSimLogEntry {
    uint32_t dwSequence;      /* 1, 2, 3 ... since the last reset or clear */
    uint32_t dwBoard;
    uint32_t dwCode;          /* the request code as received */
    uint32_t dwInputLength;   /* declared input length */
    uint32_t dwOutputLength;  /* declared output length */
    uint32_t dwProcessId;     /* the calling process */
    uint8_t  bInput[8];       /* first 8 input bytes; zero when no input */
    uint32_t dwInputPresent;  /* 1 when the request carried input bytes */
    uint32_t dwOutcome;       /* VANTRISIM_FAULT_* that hit it, NONE when answered normally */
} VantriSimLogEntry;

typedef struct VantriSimLogQuery {
    uint32_t dwFirst;         /* index of the first entry wanted, 0-based */
} VantriSimLogQuery;

#define VANTRISIM_LOG_PAGE 32
typedef struct VantriSimLogPage {
    uint32_t dwTotal;         /* entries held in the log */
    uint32_t dwCount;         /* entries in this page */
    uint32_t dwDropped;       /* entries lost because the log was full */
    uint32_t dwReserved;
    VantriSimLogEntry entries[VANTRISIM_LOG_PAGE];
} VantriSimLogPage;

typedef struct VantriSimStatus {
    VantriSimConfig config;
    uint32_t dwOpenCount[VANTRISIM_MAX_BOARDS];        /* open handles per board */
    uint8_t  bLatch[VANTRISIM_MAX_BOARDS][VANTRISIM_PORTS];  /* output latches */
    uint8_t  bInput[VANTRISIM_MAX_BOARDS][VANTRISIM_PORTS];  /* what an IN_PORT would read now */
    uint32_t dwInputMode[VANTRISIM_MAX_BOARDS][VANTRISIM_PORTS];
    uint32_t dwPatternMs[VANTRISIM_MAX_BOARDS][VANTRISIM_PORTS];
    uint32_t dwFaultCount;                               /* active faults */
    uint32_t dwLogTotal;
    uint32_t dwPendingCount;                             /* pended requests not yet completed */
    uint32_t dwReserved;
} VantriSimStatus;

#ifdef __cplusplus
static_assert(sizeof(VantriSimConfig) == 136, "config layout");
static_assert(sizeof(VantriSimFault) == 24, "fault layout");
static_assert(sizeof(VantriSimLogEntry) == 40, "log entry layout");
static_assert(offsetof(VantriSimLogEntry, bInput) == 24, "log input bytes");
static_assert(offsetof(VantriSimLogPage, entries) == 16, "log page header");
static_assert(offsetof(VantriSimStatus, dwOpenCount) == 136, "status layout");
#endif

#endif /* VANTRISIM_H */
