/* led.h - the "PARA_LED" lamp control. */
#ifndef VANTRI_CHECK_LED_H
#define VANTRI_CHECK_LED_H

#include <windows.h>

#define LED_CLASS_NAME  "PARA_LED"

#define LEDM_SETSTATE   (WM_USER + 100)   /* wParam: state bits to apply */
#define LEDM_GETSTATE   (WM_USER + 101)   /* returns the state word */

#define LEDS_OFF        0x0001
#define LEDS_ON         0x0002
#define LEDS_INPUT      0x0004
#define LEDS_OUTPUT     0x0008

#define LEDN_TURNEDON   1
#define LEDN_TURNEDOFF  2

BOOL RegisterLedClass(HINSTANCE hInstance);
LRESULT CALLBACK LedWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
