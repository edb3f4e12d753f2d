// shared_posix.cpp - the machine-wide block where the loader offers no shared
// data section: a POSIX shared-memory object, one per machine, created zero
// (ftruncate fills with zeros) and mapped by every process that has the
// library loaded. The object's name comes from the native Win32 layer, so
// tests running side by side each get their own.
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vantri.h"
#include "vantri_protocol.h"
#include "vantri_internal.h"
#include "winlayer_test.h"

namespace {

// Used only when the shared object cannot be had: the library still works,
// with a block private to this process.
VantriSharedBlock g_privateBlock;

VantriSharedBlock *MapSharedBlock(void)
{
    int fd = shm_open(WinlayerSharedName(), O_RDWR | O_CREAT, 0666);
    if (fd < 0)
        return &g_privateBlock;
    // Whoever comes first gives the object its size; a process that maps it
    // before that would fault on the first access, so every opener makes
    // sure. Growing fills with zeros, and growing to the same size twice is
    // harmless.
    struct stat st;
    if (fstat(fd, &st) != 0 ||
        (st.st_size < static_cast<off_t>(sizeof(VantriSharedBlock)) &&
         ftruncate(fd, sizeof(VantriSharedBlock)) != 0)) {
        close(fd);
        return &g_privateBlock;
    }
    void *p = mmap(NULL, sizeof(VantriSharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);  // the mapping keeps the object
    if (p == MAP_FAILED)
        return &g_privateBlock;
    return static_cast<VantriSharedBlock *>(p);
}

}  // namespace

VantriSharedBlock *GetSharedBlock(void)
{
    // Mapped once per process, on first use, and kept for the process's life
    // (like the image's section).
    static VantriSharedBlock *const pBlock = MapSharedBlock();
    return pBlock;
}
