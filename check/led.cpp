/* led.cpp - the "PARA_LED" lamp control: a red or black disc in a white rim.
 *
 * The whole state is one word in the window's extra bytes; the owner drives
 * it with LEDM_SETSTATE / LEDM_GETSTATE and hears of clicks by WM_COMMAND. */
#include "led.h"
#include "classreg.h"

namespace {

constexpr int      kStateIndex   = 0;        /* offset of the state word in the extra bytes */
constexpr int      kExtraBytes   = 2;
constexpr WORD     kInitialState = LEDS_OFF | LEDS_OUTPUT;
constexpr COLORREF kRimColour    = RGB(255, 255, 255);
constexpr COLORREF kLitColour    = RGB(255, 0, 0);
constexpr COLORREF kDarkColour   = RGB(0, 0, 0);
constexpr int      kRimWidth     = 2;

WORD GetLedState(HWND hwnd)
{
    return (WORD)GetWindowWord(hwnd, kStateIndex);
}

/* Each bit of v that names one half of a pair clears the other half, then
 * the whole of v is merged in; the lamp is repainted even when unchanged. */
void ApplyLedState(HWND hwnd, WORD v)
{
    WORD s = GetLedState(hwnd);
    if (v & LEDS_OFF)    { s = (WORD)((s & ~LEDS_ON) | v); }
    if (v & LEDS_ON)     { s = (WORD)((s & ~LEDS_OFF) | v); }
    if (v & LEDS_INPUT)  { s = (WORD)((s & ~LEDS_OUTPUT) | v); }
    if (v & LEDS_OUTPUT) { s = (WORD)((s & ~LEDS_INPUT) | v); }
    SetWindowWord(hwnd, kStateIndex, (WORD)s);
    InvalidateRect(hwnd, NULL, FALSE);
    UpdateWindow(hwnd);
}

/* The template size is in dialog units, which are rarely square in pixels:
 * make the control as tall as it is wide, keeping its left and top. */
LRESULT OnCreate(HWND hwnd)
{
    RECT rc;
    POINT topLeft, bottomRight;
    HWND hwndParent = GetParent(hwnd);
    GetWindowRect(hwnd, &rc);
    topLeft.x = rc.left;      topLeft.y = rc.top;
    bottomRight.x = rc.right; bottomRight.y = rc.bottom;
    if (hwndParent) {
        ScreenToClient(hwndParent, &topLeft);
        ScreenToClient(hwndParent, &bottomRight);
    }
    int width = bottomRight.x - topLeft.x;
    int height = bottomRight.y - topLeft.y;
    if (width != height)
        MoveWindow(hwnd, topLeft.x, topLeft.y, width, width, FALSE);
    SetWindowWord(hwnd, kStateIndex, kInitialState);
    return 0;
}

LRESULT OnLButtonDown(HWND hwnd)
{
    WORD s = GetLedState(hwnd);
    if (s & LEDS_INPUT)
        return 0;
    WORD newBit = (s & LEDS_OFF) ? LEDS_ON : LEDS_OFF;
    WORD code = (s & LEDS_OFF) ? LEDN_TURNEDON : LEDN_TURNEDOFF;
    ApplyLedState(hwnd, newBit);
    /* The parent may query the state while it handles this: it is already stored. */
    SendMessageA(GetParent(hwnd), WM_COMMAND,
                 MAKEWPARAM(GetDlgCtrlID(hwnd), code), (LPARAM)hwnd);
    return 0;
}

void DrawDisc(HDC hdc, COLORREF colour, int left, int top, int right, int bottom)
{
    HBRUSH brush = CreateSolidBrush(colour);
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldBrush = brush ? SelectObject(hdc, brush) : NULL;
    HGDIOBJ oldPen = pen ? SelectObject(hdc, pen) : NULL;
    Ellipse(hdc, left, top, right, bottom);
    if (oldBrush) SelectObject(hdc, oldBrush);
    if (oldPen)   SelectObject(hdc, oldPen);
    if (brush)    DeleteObject(brush);
    if (pen)      DeleteObject(pen);
}

void DrawLamp(HDC hdc, const RECT &rc, BOOL lit)
{
    FillRect(hdc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    DrawDisc(hdc, kRimColour, 0, 0, rc.right, rc.bottom);
    DrawDisc(hdc, lit ? kLitColour : kDarkColour,
             kRimWidth, kRimWidth, rc.right - kRimWidth, rc.bottom - kRimWidth);
}

/* The picture is drawn off screen and copied in one BitBlt, so the screen
 * never shows a half-drawn lamp. When the memory DC or bitmap cannot be had,
 * it is drawn straight on the paint DC instead: a flicker beats a stale lamp. */
LRESULT OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    if (!hdc)
        return 0;
    RECT rc;
    GetClientRect(hwnd, &rc);
    BOOL lit = (GetLedState(hwnd) & LEDS_ON) != 0;
    HDC memDC = CreateCompatibleDC(hdc);
    HBITMAP bitmap = (memDC && rc.right > 0 && rc.bottom > 0)
                   ? CreateCompatibleBitmap(hdc, rc.right, rc.bottom) : NULL;
    if (memDC && bitmap) {
        HGDIOBJ oldBitmap = SelectObject(memDC, bitmap);
        DrawLamp(memDC, rc, lit);
        BitBlt(hdc, 0, 0, rc.right, rc.bottom, memDC, 0, 0, SRCCOPY);
        SelectObject(memDC, oldBitmap);
    } else {
        DrawLamp(hdc, rc, lit);
    }
    if (bitmap) DeleteObject(bitmap);
    if (memDC)  DeleteDC(memDC);
    EndPaint(hwnd, &ps);
    return 0;
}

} // namespace

LRESULT CALLBACK LedWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case LEDM_SETSTATE:   ApplyLedState(hwnd, LOWORD(wParam)); return 0;
    case LEDM_GETSTATE:   return (LRESULT)GetLedState(hwnd);
    case WM_CREATE:       return OnCreate(hwnd);
    case WM_PAINT:        return OnPaint(hwnd);
    case WM_ERASEBKGND:   return 1;   /* the paint covers every pixel */
    case WM_LBUTTONDOWN:  return OnLButtonDown(hwnd);
    default:              return DefWindowProcA(hwnd, msg, wParam, lParam);
    }
}

BOOL RegisterLedClass(HINSTANCE hInstance)
{
    WNDCLASSEXA wcx;
    wcx.cbSize        = sizeof wcx;
    wcx.style         = CS_HREDRAW | CS_VREDRAW;
    wcx.lpfnWndProc   = LedWndProc;
    wcx.cbClsExtra    = 0;
    wcx.cbWndExtra    = kExtraBytes;
    wcx.hInstance     = hInstance;
    wcx.hIcon         = NULL;
    wcx.hCursor       = LoadCursorA(NULL, (LPCSTR)IDC_ARROW);
    wcx.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wcx.lpszMenuName  = NULL;
    wcx.lpszClassName = LED_CLASS_NAME;
    wcx.hIconSm       = NULL;
    return RegisterClassWithFallback(&wcx);
}
