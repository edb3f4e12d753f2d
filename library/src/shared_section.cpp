// shared_section.cpp - the machine-wide block in the image's data section
// ".unidat", which the loader maps shared into every process that loads
// this file. Eight bytes of zeros in the image: the block starts at zero.
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include "vantri.h"
#include "vantri_protocol.h"
#include "vantri_internal.h"

// Initialised, so the section holds data (not uninitialised space).
__attribute__((section(".unidat"), shared)) VantriSharedBlock VantriShared = { 0, 0 };

VantriSharedBlock *GetSharedBlock(void)
{
    return &VantriShared;
}

// The library's description text, kept in the read-only data of the image
// (used so the linker keeps it; nothing reads it).
extern "C" __attribute__((used)) const char g_szVantriDescription[] = "vantri.dll: Vantri-K2 Win32 API.";
