/* main.cpp - entry of each port window test program. */
#include "wtest.h"

/* Without a window manager (Xvfb) Wine waits 2 s for a state change that
 * nobody makes each time a managed window is hidden or destroyed. This
 * program's windows are therefore left unmanaged, by a setting that applies
 * to this executable alone and is read when its first window is made. */
static void LeaveWindowsUnmanaged(void)
{
    char exe[MAX_PATH], key[MAX_PATH + 64];
    GetModuleFileNameA(NULL, exe, MAX_PATH);
    const char *name = strrchr(exe, '\\') ? strrchr(exe, '\\') + 1 : exe;
    snprintf(key, sizeof key, "Software\\Wine\\AppDefaults\\%s\\X11 Driver", name);
    HKEY hkey;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_WRITE, NULL, &hkey, NULL) == ERROR_SUCCESS) {
        RegSetValueExA(hkey, "Managed", 0, REG_SZ, (const BYTE *)"N", 2);
        RegCloseKey(hkey);
    }
}

int main(int argc, char **argv)
{
    LeaveWindowsUnmanaged();
    return WTestMain(argc, argv);
}
