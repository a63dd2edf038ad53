/* A host program as a Windows developer writes one against the SDK folder.
 * Linked to an import library (MKLABEL_HOST_LINKED), it uses the DLL once on
 * two threads. Otherwise it loads mklabel.dll from beside it, uses it on two
 * threads and unloads it, CYCLES times, and fails unless the kernel handles
 * and the heap memory after the last cycle are those after the first (which
 * sets up what the system keeps for good, such as COM's registry keys).
 * Usage: sdk_host LABEL_FILE [CYCLES] */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "mklabel.h"

typedef struct Api {
    LabelDoc* (*load)(const char*);
    void (*destroy)(LabelDoc*);
    int (*render)(LabelDoc*, const Printer*, int, void**, int*, int*, int*);
    void (*release)(void*);
    int (*addImage)(LabelDoc*, const char*, float, float, float, const char*);
    int (*lastErrorCode)(void);
    Printer* (*createPrinter)(void);
    void (*destroyPrinter)(Printer*);
    void (*setInterface)(Printer*, int);
    void (*setNetAddress)(Printer*, const char*);
    int (*print)(LabelDoc*, Printer*);
} Api;

typedef struct Use {
    const Api* api;
    const char* label;
    int failed;
} Use;

/* A 1 x 1 GIF: drawn through the system's picture loader. */
static const char kGif[] = "R0lGODlhAQABAIAAAP///wAAACH5BAEAAAAALAAAAAABAAEAAAICRAEAOw==";

/* Loads a label, adds a picture, renders it, prints it to a loopback address
 * where nothing listens (Winsock is started, a connection refused, Winsock
 * cleaned up), and fails a load, which sets the thread's last error. */
static DWORD WINAPI useLibrary(void* argument) {
    Use* use = (Use*)argument;
    const Api* api = use->api;
    LabelDoc* doc = api->load(use->label);
    void* pixels = NULL;
    int width = 0, height = 0, stride = 0;
    Printer* printer = api->createPrinter();
    api->setInterface(printer, MK_INTERFACE_NETWORK);
    api->setNetAddress(printer, "127.0.0.2");
    use->failed = doc == NULL || api->addImage(doc, "image1", 1.0f, 1.0f, 4.0f, kGif) < 0 ||
                  api->render(doc, NULL, 0, &pixels, &width, &height, &stride) != 0 || width <= 0 ||
                  api->print(doc, printer) != MK_PRINT_SEND_FAILED;
    api->destroyPrinter(printer);
    api->release(pixels);
    api->destroy(doc);
    if (api->load("no such label file.lsf") != NULL || api->lastErrorCode() >= 0) use->failed = 1;
    return 0;
}

static int useOnTwoThreads(const Api* api, const char* label) {
    Use uses[2] = {{api, label, 1}, {api, label, 1}};
    HANDLE threads[2] = {CreateThread(NULL, 0, useLibrary, &uses[0], 0, NULL),
                         CreateThread(NULL, 0, useLibrary, &uses[1], 0, NULL)};
    if (threads[0] == NULL || threads[1] == NULL) return 0;
    WaitForMultipleObjects(2, threads, TRUE, 60000);
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    return !uses[0].failed && !uses[1].failed;
}

#ifdef MKLABEL_HOST_LINKED

int main(int argc, char** argv) {
    const Api api = {MkLabelDoc_Load,      MkLabelDoc_Destroy, MkLabelDoc_Render,     MkFree,
                     MkLabel_AddImage,     MkGetLastErrorCode, MkPrinter_Create,      MkPrinter_Destroy,
                     MkPrinter_SetInterface, MkPrinter_SetNetAddress, MkLabelDoc_Print};
    if (argc < 2 || !useOnTwoThreads(&api, argv[1])) return 1;
    printf("linked to the DLL through its import library: ok\n");
    return 0;
}

#else

#include "handle_count.h"

typedef struct Usage {
    unsigned long handles; /* open kernel handles */
    SIZE_T heapBytes;      /* in use in all of the process's heaps */
} Usage;

static Usage usage(void) {
    Usage now = {0};
    now.handles = openHandleCount();
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry = {0};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) now.heapBytes += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return now;
}

/* Any function pointer may be cast through void (*)(void). */
typedef void (*AnyFunction)(void);
static AnyFunction find(HMODULE dll, const char* name, int* missing) {
    const AnyFunction function = (AnyFunction)GetProcAddress(dll, name);
    if (function == NULL) *missing = 1;
    return function;
}

static int cycle(const wchar_t* dllPath, const char* label) {
    HMODULE dll = LoadLibraryW(dllPath);
    if (dll == NULL) return 0;
    int missing = 0;
    const Api api = {
        (LabelDoc * (*)(const char*)) find(dll, "MkLabelDoc_Load", &missing),
        (void (*)(LabelDoc*))find(dll, "MkLabelDoc_Destroy", &missing),
        (int (*)(LabelDoc*, const Printer*, int, void**, int*, int*, int*))find(dll, "MkLabelDoc_Render", &missing),
        (void (*)(void*))find(dll, "MkFree", &missing),
        (int (*)(LabelDoc*, const char*, float, float, float, const char*))find(dll, "MkLabel_AddImage", &missing),
        (int (*)(void))find(dll, "MkGetLastErrorCode", &missing),
        (Printer * (*)(void)) find(dll, "MkPrinter_Create", &missing),
        (void (*)(Printer*))find(dll, "MkPrinter_Destroy", &missing),
        (void (*)(Printer*, int))find(dll, "MkPrinter_SetInterface", &missing),
        (void (*)(Printer*, const char*))find(dll, "MkPrinter_SetNetAddress", &missing),
        (int (*)(LabelDoc*, Printer*))find(dll, "MkLabelDoc_Print", &missing)};
    const int used = !missing && useOnTwoThreads(&api, label);
    return FreeLibrary(dll) && GetModuleHandleW(L"mklabel.dll") == NULL && used;
}

int main(int argc, char** argv) {
    const int cycles = argc > 2 ? atoi(argv[2]) : 200;
    wchar_t dllPath[MAX_PATH];
    const DWORD length = GetModuleFileNameW(NULL, dllPath, MAX_PATH - 12);
    wchar_t* slash = wcsrchr(dllPath, L'\\');
    if (argc < 2 || length == 0 || length >= MAX_PATH - 12 || slash == NULL) return 2;
    wcscpy(slash + 1, L"mklabel.dll");
    /* The system DLLs the library imports stay loaded, as in most hosts:
     * Wine's winspool.drv leaves a mutex behind each time it is unloaded. */
    static const wchar_t* const kSystemDlls[] = {L"advapi32.dll", L"gdi32.dll",    L"iphlpapi.dll",
                                                 L"ole32.dll",    L"oleaut32.dll", L"setupapi.dll",
                                                 L"user32.dll",   L"winspool.drv", L"ws2_32.dll"};
    for (size_t i = 0; i < sizeof kSystemDlls / sizeof kSystemDlls[0]; ++i) LoadLibraryW(kSystemDlls[i]);

    Usage first = {0};
    for (int i = 1; i <= cycles; ++i) {
        if (!cycle(dllPath, argv[1])) {
            fprintf(stderr, "cycle %d: the DLL did not load, work or unload\n", i);
            return 1;
        }
        if (i == 1) first = usage();
    }
    const Usage last = usage();
    printf("after cycle 1 and cycle %d: open handles %lu, %lu; heap bytes in use %llu, %llu\n", cycles,
           first.handles, last.handles, (unsigned long long)first.heapBytes, (unsigned long long)last.heapBytes);
    /* What one cycle used to leave (2 handles, about 60 KB) would show as
     * hundreds of handles and megabytes. */
    const int clean = last.handles <= first.handles && last.heapBytes <= first.heapBytes + 256 * 1024;
    if (!clean) fprintf(stderr, "the unloaded DLL left handles or memory behind\n");
    return clean ? 0 : 1;
}

#endif
