/* devselect.h - the Device Select dialog: choose the current entry of the panel's list. */
#ifndef VANTRI_CHECK_DEVSELECT_H
#define VANTRI_CHECK_DEVSELECT_H

#include <windows.h>
#include <stddef.h>

typedef struct DeviceSelectParam {
    HWND  hwndOwner;          /* the dialog is centred over it */
    DWORD dwCountAndCurrent;  /* high word: entries to list; low word: entry to preselect */
} DeviceSelectParam;

#ifdef __cplusplus
static_assert(sizeof(DeviceSelectParam) == 8, "DeviceSelectParam layout");
static_assert(offsetof(DeviceSelectParam, dwCountAndCurrent) == 4, "DeviceSelectParam: count and current at 4");
#endif

/* Returns through EndDialog the chosen entry index, or -1 for no change. */
INT_PTR CALLBACK DeviceSelectDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
