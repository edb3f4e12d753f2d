/* panel.h - the main panel: board list, port-window table, timer fan-out. */
#ifndef VANTRI_CHECK_PANEL_H
#define VANTRI_CHECK_PANEL_H

#include <windows.h>

#define PANELM_PORTWINDOW  (WM_USER + 100)   /* wParam: WM_INITDIALOG or WM_DESTROY, lParam: port */
#define PANEL_TIMER_ID     1
#define PANEL_TIMER_MS     50
#define PANEL_PORTS        4

typedef struct DeviceList {
    WORD wDevices[16];   /* device numbers of the opened boards, in opening order */
    WORD wCount;         /* boards opened, 0..16 */
    WORD wCurrent;       /* entry index of the current board */
} DeviceList;

#ifdef __cplusplus
static_assert(sizeof(DeviceList) == 36, "DeviceList is 18 words");
#endif

INT_PTR CALLBACK PanelDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

void ClearPortWindowSlots(void);
void SetPortWindowSlot(WORD wPort, HWND hwnd);
HWND GetPortWindowSlot(WORD wPort);
void EnableExecuteButton(HWND hwndPanel, WORD wPort, BOOL bEnable);

#endif
