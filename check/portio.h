/* portio.h - the Port I/O window: eight input lamps and eight output lamps of one port. */
#ifndef VANTRI_CHECK_PORTIO_H
#define VANTRI_CHECK_PORTIO_H

#include <windows.h>
#include <stddef.h>

#define PORTIO_PROPERTY "Property"

typedef struct PortWindowInfo {
    HWND hwndOwner;   /* the panel, told of creation and destruction */
    WORD wDevice;     /* board of this window, fixed for its life */
    WORD wPort;       /* port index 0..3 */
} PortWindowInfo;

#ifdef __cplusplus
static_assert(sizeof(PortWindowInfo) == 8, "PortWindowInfo layout");
static_assert(offsetof(PortWindowInfo, wDevice) == 4, "PortWindowInfo: device at 4");
static_assert(offsetof(PortWindowInfo, wPort) == 6, "PortWindowInfo: port at 6");
#endif

INT_PTR CALLBACK PortWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
