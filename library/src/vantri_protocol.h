/*
 * vantri_protocol.h - the request channel to the board's kernel-mode driver:
 * device path, request codes and the 64-byte request and reply records.
 * Private to the library (and to whatever stands in for the driver).
 */
#ifndef VANTRI_PROTOCOL_H
#define VANTRI_PROTOCOL_H

#include <stddef.h>
#include <stdint.h>

#define VANTRI_DEVICE_PATH_FORMAT "\\\\.\\vantri%d"
#define VANTRI_DEVICE_PATH_SIZE   32

/* CTL_CODE(0x8000, function, METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define VANTRI_CTL_CODE(fn) ((0x8000u << 16) | ((fn) << 2))

#define IOCTL_VANTRI_GET_VERSION   VANTRI_CTL_CODE(0x800u) /* 0x80002000 */
#define IOCTL_VANTRI_OPEN          VANTRI_CTL_CODE(0x801u) /* 0x80002004 */
#define IOCTL_VANTRI_CLOSE         VANTRI_CTL_CODE(0x802u) /* 0x80002008 */
#define IOCTL_VANTRI_GET_RESOURCE  VANTRI_CTL_CODE(0x804u) /* 0x80002010 */
#define IOCTL_VANTRI_IN_PORT       VANTRI_CTL_CODE(0x805u) /* 0x80002014 */
#define IOCTL_VANTRI_OUT_PORT      VANTRI_CTL_CODE(0x806u) /* 0x80002018 */

/* Input and output length declared on every request but the version query. */
#define VANTRI_REQUEST_SIZE 64

/* Desired access, share mode, disposition and flags of every open. */
#define VANTRI_OPEN_ACCESS  0xC0000000u /* GENERIC_READ | GENERIC_WRITE */
#define VANTRI_OPEN_SHARE   0u
#define VANTRI_OPEN_DISPOSITION 3u      /* OPEN_EXISTING */
#define VANTRI_OPEN_FLAGS   0x44000000u /* FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE */

/* Input record of IOCTL_VANTRI_IN_PORT and IOCTL_VANTRI_OUT_PORT. */
typedef struct VantriPortRequest {
    uint32_t dwPort;        /* byte 0: port index, passed unchanged */
    uint32_t dwValue;       /* byte 4: OUT_PORT only, 0..255 */
    uint8_t  bUnused[56];   /* bytes 8..63: no defined content */
} VantriPortRequest;

/* Reply record of every request. */
typedef struct VantriReply {
    uint32_t dwStatus;      /* byte 0: 0 = success, else the error code */
    uint32_t dwData1;       /* byte 4: version, base address, or value read (low byte) */
    uint32_t dwData2;       /* byte 8: range length (GET_RESOURCE) */
    uint8_t  bUnused[52];   /* bytes 12..63: never read */
} VantriReply;

#ifdef __cplusplus
static_assert(IOCTL_VANTRI_GET_VERSION == 0x80002000u, "request code");
static_assert(IOCTL_VANTRI_OPEN == 0x80002004u, "request code");
static_assert(IOCTL_VANTRI_CLOSE == 0x80002008u, "request code");
static_assert(IOCTL_VANTRI_GET_RESOURCE == 0x80002010u, "request code");
static_assert(IOCTL_VANTRI_IN_PORT == 0x80002014u, "request code");
static_assert(IOCTL_VANTRI_OUT_PORT == 0x80002018u, "request code");
static_assert(sizeof(VantriPortRequest) == VANTRI_REQUEST_SIZE, "port request is 64 bytes");
static_assert(offsetof(VantriPortRequest, dwValue) == 4, "value at byte 4");
static_assert(sizeof(VantriReply) == VANTRI_REQUEST_SIZE, "reply is 64 bytes");
static_assert(offsetof(VantriReply, dwData1) == 4, "first data word at byte 4");
static_assert(offsetof(VantriReply, dwData2) == 8, "second data word at byte 8");
#endif

#endif /* VANTRI_PROTOCOL_H */
