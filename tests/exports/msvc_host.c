/* A host program of the MSVC ABI, linked through the SDK's mklabel.lib
 * without any C runtime: loads a label, renders it and releases the pixels.
 * Usage: msvc_host LABEL_FILE (the path as Wine or Windows reads it) */
#include "mklabel.h"

typedef void* HANDLE;
__declspec(dllimport) void __stdcall ExitProcess(unsigned code);
__declspec(dllimport) HANDLE __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(HANDLE file, const void* data, unsigned long size, unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) char* __stdcall GetCommandLineA(void);

static void say(const char* text) {
    unsigned long size = 0, written = 0;
    while (text[size] != '\0') ++size;
    WriteFile(GetStdHandle((unsigned long)-11), text, size, &written, 0);
}

/* The command line's second word: the label's path, without spaces. */
static const char* labelPath(char* line) {
    while (*line != '\0' && *line != ' ') ++line;
    while (*line == ' ') ++line;
    for (char* end = line; *end != '\0'; ++end)
        if (*end == ' ') *end = '\0';
    return line;
}

void mainCRTStartup(void) {
    LabelDoc* doc = MkLabelDoc_Load(labelPath(GetCommandLineA()));
    void* pixels = 0;
    int width = 0, height = 0, stride = 0;
    const int rendered = doc != 0 && MkLabelDoc_Render(doc, 0, 0, &pixels, &width, &height, &stride) == 0 && width > 0;
    MkFree(pixels);
    MkLabelDoc_Destroy(doc);
    say(rendered ? "an MSVC-ABI program linked through mklabel.lib: ok\n" : "the label did not load or render\n");
    ExitProcess(rendered ? 0 : 1);
}
