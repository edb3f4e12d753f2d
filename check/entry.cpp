/* entry.cpp - the program's own entry point: no C runtime, so it gathers
 * what WinMain expects itself and ends the process with WinMain's result. */
#include "shell.h"

namespace {

BOOL IsBlank(char c) { return c == ' ' || c == '\t'; }

/* The command line after the program name, quoted or not, and the blanks
 * that follow it. Shift-JIS trail bytes are never a blank or a quote. */
LPSTR CommandTail(LPSTR p)
{
    if (!p)
        return (LPSTR)"";
    if (*p == '"') {
        for (p++; *p && *p != '"'; p++) { }
        if (*p == '"')
            p++;
    } else {
        while (*p && !IsBlank(*p))
            p++;
    }
    while (IsBlank(*p))
        p++;
    return p;
}

} // namespace

extern "C" void VantriCheckEntry(void)
{
    STARTUPINFOA si;
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    int nCmdShow = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
    ExitProcess((UINT)WinMain(GetModuleHandleA(NULL), NULL, CommandTail(GetCommandLineA()), nCmdShow));
}
