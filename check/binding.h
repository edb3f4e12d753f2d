/* binding.h - run-time binding of "vantri.dll" and the guarded entry points. */
#ifndef VANTRI_CHECK_BINDING_H
#define VANTRI_CHECK_BINDING_H

#include <windows.h>

struct VantriResource;

BOOL LibLoad(void);
BOOL LibFree(void);
BOOL LibResolve(void);

/* Each answers 0, calling nothing, while no library is loaded. */
BOOL LibGetVersion(DWORD *pdwDllVersion, DWORD *pdwDriverVersion);
BOOL LibCreate(WORD *pwDevice);
BOOL LibClose(WORD wDevice);
BOOL LibGetResource(WORD wDevice, struct VantriResource *pResource);
BOOL LibInPort(WORD wDevice, DWORD dwPort, BYTE *pbValue);
BOOL LibOutPort(WORD wDevice, DWORD dwPort, BYTE bValue);

#endif
