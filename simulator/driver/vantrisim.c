/*
 * vantrisim.c - kernel-mode driver that serves the simulated boards.
 *
 * Sixteen board devices (\Device\vantri0..15, reachable as \\.\vantriN) and
 * one control device (\Device\vantrisim). Every board and control request
 * goes to the portable model (through sim_bridge.h) under one lock;
 * requests that a PEND fault holds back are completed later by a worker
 * system thread.
 *
 * Opens under Wine: the wineserver hands out a device file before the
 * driver has seen its create, so a failed create does not fail CreateFileA.
 * The driver therefore keeps the link \DosDevices\vantriN only while board
 * N exists and no OPEN_FAILS fault names it (CreateFileA then fails with
 * ERROR_FILE_NOT_FOUND), and refuses every request on a file whose create it
 * refused (a second open of an open board), so such a handle is dead. Links
 * are not dropped while a board is open: the close reaches the driver only
 * after CloseHandle has returned, so a reopen right after a close would race.
 *
 * The calling process of a request is PsGetCurrentProcessId in the dispatch
 * routine: Wine's ntoskrnl answers the client's process id there (on the
 * thread that carries the client's request), as NT does for a top-level
 * driver called in the caller's context. IoGetRequestorProcessId is not
 * implemented in Wine 8 (calling it aborts the driver host).
 */
#include <ntddk.h>

#include "sim_bridge.h"
#include "vantrisim.h"

NTSYSAPI NTSTATUS NTAPI ZwWaitForSingleObject(HANDLE, BOOLEAN, PLARGE_INTEGER);
NTSYSAPI NTSTATUS NTAPI ZwYieldExecution(VOID);

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);

enum { KIND_BOARD = 1, KIND_CONTROL = 2 };

typedef struct DeviceExtension {
    ULONG kind;   /* KIND_* */
    ULONG board;  /* KIND_BOARD only */
} DeviceExtension;

// A request held back by a PEND fault, completed when its time has come.
typedef struct PendingIrp {
    PIRP irp;
    ULONGLONG dueMs;
    ULONG bytes;
} PendingIrp;
#define MAX_PENDING 64
#define WORKER_TICK_MS 5

// FsContext of a board file object whose create succeeded: only such a file
// gives its open back at close.
#define BOARD_OPENED ((PVOID)1)

typedef struct DriverState {
    volatile LONG lock;    // 1 while held; see Lock()
    PDEVICE_OBJECT boards[VANTRISIM_MAX_BOARDS];
    BOOLEAN linked[VANTRISIM_MAX_BOARDS];  // \DosDevices\vantriN present
    PDEVICE_OBJECT control;
    BOOLEAN controlLinked;
    PendingIrp pending[MAX_PENDING];
    ULONG pendingCount;
    HANDLE worker;
    volatile LONG stopping;
} DriverState;
static DriverState g_state;

static DriverState *State(void) { return &g_state; }

// The one lock around the model, held for microseconds by a dispatch routine
// or the worker. A plain interlocked flag that yields while taken: Wine's
// emulation of kernel dispatcher objects (KMUTEX, KEVENT) was seen to hang the
// driver host when a pended request's file was closed under load.
static void Lock(void)
{
    while (InterlockedCompareExchange(&State()->lock, 1, 0) != 0)
        ZwYieldExecution();
}
static void Unlock(void) { InterlockedExchange(&State()->lock, 0); }

static void SyncLinks(void);

// Milliseconds of the system clock. KeQueryInterruptTime was seen not to
// advance in Wine's driver host (a pended request never came due).
static ULONGLONG NowMs(void)
{
    LARGE_INTEGER t;
    KeQuerySystemTime(&t);
    return (ULONGLONG)t.QuadPart / 10000;
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

/* ---- registry: the default configuration from the service key ---- */

// Reads one REG_DWORD value of the open key; false when absent or of another type.
static BOOLEAN ReadDword(HANDLE key, const wchar_t *name, ULONG *value)
{
    UNICODE_STRING us;
    RtlInitUnicodeString(&us, name);
    union {
        KEY_VALUE_PARTIAL_INFORMATION info;
        UCHAR bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    } buf;
    ULONG got = 0;
    NTSTATUS st = ZwQueryValueKey(key, &us, KeyValuePartialInformation, &buf, sizeof buf, &got);
    if (!NT_SUCCESS(st) || buf.info.Type != REG_DWORD || buf.info.DataLength != sizeof(ULONG))
        return FALSE;
    RtlCopyMemory(value, buf.info.Data, sizeof(ULONG));
    return TRUE;
}

// Value name "Base" or "Length" followed by the board number.
static void IndexedName(wchar_t *out, const wchar_t *stem, ULONG n)
{
    ULONG i = 0;
    while (stem[i] != 0) {
        out[i] = stem[i];
        i++;
    }
    if (n >= 10)
        out[i++] = (wchar_t)(L'0' + n / 10);
    out[i++] = (wchar_t)(L'0' + n % 10);
    out[i] = 0;
}

// Values BoardMask, DriverVersion, Base0..Base15 and Length0..Length15, each
// an optional REG_DWORD; whatever is missing keeps the built-in default. A
// BoardMask naming boards above 15 is ignored as a whole.
static void ReadConfig(PUNICODE_STRING registryPath, VantriSimConfig *cfg)
{
    SimBridgeDefaultConfig(cfg);
    if (registryPath == NULL)
        return;
    OBJECT_ATTRIBUTES attr;
    InitializeObjectAttributes(&attr, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL, NULL);
    HANDLE key;
    if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attr)))
        return;
    ULONG v;
    if (ReadDword(key, L"BoardMask", &v) && (v >> VANTRISIM_MAX_BOARDS) == 0)
        cfg->dwBoardMask = v;
    if (ReadDword(key, L"DriverVersion", &v))
        cfg->dwDriverVersion = v;
    for (ULONG n = 0; n < VANTRISIM_MAX_BOARDS; n++) {
        wchar_t name[16];
        IndexedName(name, L"Base", n);
        if (ReadDword(key, name, &v))
            cfg->dwBase[n] = v;
        IndexedName(name, L"Length", n);
        if (ReadDword(key, name, &v))
            cfg->dwLength[n] = v;
    }
    ZwClose(key);
}

/* ---- pended requests and their worker ---- */

// Queues irp for completion after delayMs; false when the queue is full.
// Called with the lock held.
static BOOLEAN QueuePending(PIRP irp, ULONG bytes, ULONG delayMs)
{
    DriverState *s = State();
    if (s->pendingCount >= MAX_PENDING)
        return FALSE;
    s->pending[s->pendingCount].irp = irp;
    s->pending[s->pendingCount].dueMs = NowMs() + delayMs;
    s->pending[s->pendingCount].bytes = bytes;
    s->pendingCount++;
    SimBridgePendingChanged(+1);
    return TRUE;
}

// Takes the queued requests that are due (all of them when stopping) into
// out; returns how many. Called with the lock held.
static ULONG TakeDue(PendingIrp *out, BOOLEAN all)
{
    DriverState *s = State();
    ULONGLONG now = NowMs();
    ULONG taken = 0, kept = 0;
    for (ULONG i = 0; i < s->pendingCount; i++) {
        PendingIrp p = s->pending[i];
        if (all || p.dueMs <= now)
            out[taken++] = p;
        else
            s->pending[kept++] = p;
    }
    s->pendingCount = kept;
    SimBridgePendingChanged(-(int)taken);
    return taken;
}

static void NTAPI WorkerThread(PVOID context)
{
    DriverState *s = State();
    (void)context;
    static PendingIrp due[MAX_PENDING];  // this thread's alone
    for (;;) {
        // Polls every WORKER_TICK_MS: a due request completes at most one tick late.
        LARGE_INTEGER interval;
        interval.QuadPart = -(LONGLONG)WORKER_TICK_MS * 10000;
        KeDelayExecutionThread(KernelMode, FALSE, &interval);
        BOOLEAN stop = s->stopping != 0;
        Lock();
        ULONG n = TakeDue(due, stop);
        Unlock();
        // Completed outside the lock: completion may call back into the I/O manager.
        for (ULONG i = 0; i < n; i++) {
            if (stop)
                Complete(due[i].irp, STATUS_CANCELLED, 0);
            else
                Complete(due[i].irp, STATUS_SUCCESS, due[i].bytes);
        }
        if (stop)
            break;
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

/* ---- dispatch ---- */

static DeviceExtension *Extension(PDEVICE_OBJECT device)
{
    return (DeviceExtension *)device->DeviceExtension;
}

static ULONG RequestorProcessId(void)
{
    return (ULONG)(ULONG_PTR)PsGetCurrentProcessId();
}

static NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT device, PIRP irp)
{
    DeviceExtension *ext = Extension(device);
    if (ext->kind == KIND_CONTROL)
        return Complete(irp, STATUS_SUCCESS, 0);

    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->FileObject == NULL)
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    NTSTATUS status;
    Lock();
    int opened = SimBridgeOpen(ext->board);
    Unlock();
    switch (opened) {
    case SIM_BRIDGE_OPEN_OK:      status = STATUS_SUCCESS; break;
    case SIM_BRIDGE_OPEN_ABSENT:  status = STATUS_NO_SUCH_DEVICE; break;
    case SIM_BRIDGE_OPEN_BUSY:    status = STATUS_SHARING_VIOLATION; break;  /* exclusive use */
    default:                      status = STATUS_DEVICE_NOT_READY; break;   /* OPEN_FAILS fault */
    }
    if (NT_SUCCESS(status))
        sp->FileObject->FsContext = BOARD_OPENED;
    return Complete(irp, status, 0);
}

static NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT device, PIRP irp)
{
    DeviceExtension *ext = Extension(device);
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (ext->kind == KIND_BOARD && sp->FileObject != NULL &&
        sp->FileObject->FsContext == BOARD_OPENED) {
        sp->FileObject->FsContext = NULL;
        Lock();
        SimBridgeClose(ext->board);
        Unlock();
    }
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT device, PIRP irp)
{
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS BoardControl(DeviceExtension *ext, PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG code = sp->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLen = sp->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLen = sp->Parameters.DeviceIoControl.OutputBufferLength;
    void *in = NULL, *out = NULL;
    // A file whose create was refused (a second open of an open board) is
    // still handed to its opener by Wine; it never reaches the board.
    if (sp->FileObject == NULL || sp->FileObject->FsContext != BOARD_OPENED)
        return Complete(irp, STATUS_INVALID_DEVICE_STATE, 0);
    // Only buffered requests have their bytes in the system buffer; any
    // other method is logged and answered without touching a buffer.
    if ((code & 3u) == METHOD_BUFFERED) {
        void *buffer = irp->AssociatedIrp.SystemBuffer;
        in = inLen != 0 ? buffer : NULL;
        out = outLen != 0 ? buffer : NULL;
    }
    ULONG pid = RequestorProcessId();

    Lock();
    SimBridgeResult r;
    SimBridgeRequest(ext->board, code, in, inLen, out, outLen, pid, NowMs(), &r);
    BOOLEAN queued = FALSE;
    if (r.outcome == SIM_BRIDGE_PEND) {
        IoMarkIrpPending(irp);
        queued = QueuePending(irp, r.bytesReturned, r.pendMs);
        if (!queued)
            sp->Control &= ~SL_PENDING_RETURNED;  // queue full: complete at once instead
    }
    Unlock();
    if (queued) {
        return STATUS_PENDING;
    }
    if (r.outcome == SIM_BRIDGE_FAIL)
        return Complete(irp, STATUS_IO_DEVICE_ERROR, 0);
    return Complete(irp, STATUS_SUCCESS, r.bytesReturned);
}

static NTSTATUS ControlControl(PIRP irp)
{
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    ULONG code = sp->Parameters.DeviceIoControl.IoControlCode;
    ULONG inLen = sp->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLen = sp->Parameters.DeviceIoControl.OutputBufferLength;
    if ((code & 3u) != METHOD_BUFFERED)
        return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    void *buffer = irp->AssociatedIrp.SystemBuffer;
    void *in = inLen != 0 ? buffer : NULL;
    void *out = outLen != 0 ? buffer : NULL;

    uint32_t got = 0;
    Lock();
    int ok = SimBridgeControl(code, in, inLen, out, outLen, &got, NowMs());
    if (ok)
        SyncLinks();
    Unlock();
    if (!ok)
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    return Complete(irp, STATUS_SUCCESS, got);
}

static NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    DeviceExtension *ext = Extension(device);
    if (ext->kind == KIND_BOARD)
        return BoardControl(ext, irp);
    return ControlControl(irp);
}

/* ---- devices and their links ---- */

static void DeviceNames(ULONG board, wchar_t *device, wchar_t *link)
{
    IndexedName(device, L"\\Device\\vantri", board);
    IndexedName(link, L"\\DosDevices\\vantri", board);
}

static NTSTATUS CreateDevice(PDRIVER_OBJECT driver, const wchar_t *deviceName,
                             ULONG kind, ULONG board, PDEVICE_OBJECT *created)
{
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, deviceName);
    PDEVICE_OBJECT dev = NULL;
    NTSTATUS st = IoCreateDevice(driver, sizeof(DeviceExtension), &name, FILE_DEVICE_UNKNOWN,
                                 0, FALSE, &dev);
    if (!NT_SUCCESS(st))
        return st;
    DeviceExtension *ext = Extension(dev);
    ext->kind = kind;
    ext->board = board;
    dev->Flags |= DO_BUFFERED_IO;
    dev->Flags &= ~DO_DEVICE_INITIALIZING;
    *created = dev;
    return STATUS_SUCCESS;
}

static NTSTATUS SetLink(const wchar_t *deviceName, const wchar_t *linkName, BOOLEAN present)
{
    UNICODE_STRING name, link;
    RtlInitUnicodeString(&name, deviceName);
    RtlInitUnicodeString(&link, linkName);
    return present ? IoCreateSymbolicLink(&link, &name) : IoDeleteSymbolicLink(&link);
}

// Wine opens a device file without waiting for the driver's answer to the
// create, so a path that must not open must not exist: a board's link is
// present only while the board is configured and no OPEN_FAILS fault names
// it. Called with the lock held, after every change of configuration or faults.
static void SyncLinks(void)
{
    DriverState *s = State();
    for (ULONG n = 0; n < VANTRISIM_MAX_BOARDS; n++) {
        BOOLEAN wanted = s->boards[n] != NULL && SimBridgePathOpens(n);
        if (wanted == s->linked[n])
            continue;
        wchar_t device[32], link[32];
        DeviceNames(n, device, link);
        if (NT_SUCCESS(SetLink(device, link, wanted)))
            s->linked[n] = wanted;
    }
}

static void DeleteDevices(void)
{
    DriverState *s = State();
    for (ULONG n = 0; n < VANTRISIM_MAX_BOARDS; n++) {
        wchar_t device[32], link[32];
        DeviceNames(n, device, link);
        if (s->linked[n])
            SetLink(device, link, FALSE);
        s->linked[n] = FALSE;
        if (s->boards[n] != NULL)
            IoDeleteDevice(s->boards[n]);
        s->boards[n] = NULL;
    }
    if (s->controlLinked)
        SetLink(L"\\Device\\vantrisim", L"\\DosDevices\\vantrisim", FALSE);
    s->controlLinked = FALSE;
    if (s->control != NULL)
        IoDeleteDevice(s->control);
    s->control = NULL;
}

static void StopWorker(void)
{
    DriverState *s = State();
    if (s->worker == NULL)
        return;
    InterlockedExchange(&s->stopping, 1);
    ZwWaitForSingleObject(s->worker, FALSE, NULL);
    ZwClose(s->worker);
    s->worker = NULL;
}

static void NTAPI DriverUnload(PDRIVER_OBJECT driver)
{
    (void)driver;
    StopWorker();  // completes what is still pended, as cancelled
    DeleteDevices();
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    DriverState *s = State();
    RtlZeroMemory(s, sizeof *s);
    VantriSimConfig cfg;
    ReadConfig(registryPath, &cfg);
    SimBridgeInit(&cfg);
    // Dispatch routines first: a device may be opened as soon as its link exists.
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;

    NTSTATUS st = STATUS_SUCCESS;
    for (ULONG n = 0; n < VANTRISIM_MAX_BOARDS && NT_SUCCESS(st); n++) {
        wchar_t device[32], link[32];
        DeviceNames(n, device, link);
        st = CreateDevice(driver, device, KIND_BOARD, n, &s->boards[n]);
    }
    if (NT_SUCCESS(st))
        st = CreateDevice(driver, L"\\Device\\vantrisim", KIND_CONTROL, 0, &s->control);
    if (NT_SUCCESS(st)) {
        st = SetLink(L"\\Device\\vantrisim", L"\\DosDevices\\vantrisim", TRUE);
        s->controlLinked = NT_SUCCESS(st);
    }
    if (NT_SUCCESS(st)) {
        Lock();
        SyncLinks();
        Unlock();
    }
    if (NT_SUCCESS(st))
        st = PsCreateSystemThread(&s->worker, THREAD_ALL_ACCESS, NULL, NULL, NULL,
                                  WorkerThread, NULL);
    if (!NT_SUCCESS(st)) {
        s->worker = NULL;
        DeleteDevices();
        return st;
    }
    driver->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}
