/* classreg.h - window class registration shared by the shell and the LED control. */
#ifndef VANTRI_CHECK_CLASSREG_H
#define VANTRI_CHECK_CLASSREG_H

#include <windows.h>

/* Registers the class with RegisterClassExA; where that fails, the same
 * fields less the small icon with RegisterClassA. TRUE when either worked. */
inline BOOL RegisterClassWithFallback(const WNDCLASSEXA *pwcx)
{
    if (RegisterClassExA(pwcx))
        return TRUE;
    WNDCLASSA wc;
    wc.style         = pwcx->style;
    wc.lpfnWndProc   = pwcx->lpfnWndProc;
    wc.cbClsExtra    = pwcx->cbClsExtra;
    wc.cbWndExtra    = pwcx->cbWndExtra;
    wc.hInstance     = pwcx->hInstance;
    wc.hIcon         = pwcx->hIcon;
    wc.hCursor       = pwcx->hCursor;
    wc.hbrBackground = pwcx->hbrBackground;
    wc.lpszMenuName  = pwcx->lpszMenuName;
    wc.lpszClassName = pwcx->lpszClassName;
    return RegisterClassA(&wc) != 0;
}

#endif
