/* example.c - how an application uses vantri.dll: link with the import
 * library, open every board, read port 0 of each, close them. */
#include <windows.h>
#include <stdio.h>

#include "vantri.h"

int main(void)
{
    WORD boards[VANTRI_MAX_DEVICES];
    int count = 0, i;
    DWORD dllVersion, driverVersion;

    if (VantriGetVersion(&dllVersion, &driverVersion))
        printf("library %08lx, driver %08lx\n", dllVersion, driverVersion);

    /* Each call opens the next free board, until none is left. */
    while (count < VANTRI_MAX_DEVICES) {
        WORD device = VANTRI_ANY_DEVICE;
        if (!VantriCreate(&device))
            break;
        boards[count++] = device;
    }
    if (count == 0) {
        printf("no board opens (error %lu)\n", VantriGetLastError(VANTRI_ANY_DEVICE));
        return 1;
    }

    for (i = 0; i < count; i++) {
        BYTE value;
        if (VantriInPort(boards[i], 0, &value))
            printf("board %u: port 0 reads 0x%02x\n", boards[i], value);
        else
            printf("board %u: error %lu\n", boards[i], VantriGetLastError(boards[i]));
    }

    for (i = 0; i < count; i++)
        VantriClose(boards[i]);
    return 0;
}
