/* A host that loads the library at run time, as language runtimes and plugin
 * hosts do, and frees a render buffer in an exit handler it registered before
 * the load. Such a handler runs after the library's static objects are
 * destroyed. The handler ends the process with 0 once it has freed the
 * buffers; a crash in MkFree ends it by a signal, and a handler that never
 * ran leaves main's 3.
 * Usage: exit_handler_host LIBRARY */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "mklabel.h"

static void (*release)(void*);
static void* pixels[2];

static void freeHeldBuffers(void) {
    for (int i = 0; i < 2; ++i) release(pixels[i]);
    release(NULL);
    _exit(0);
}

int main(int argc, char** argv) {
    if (argc < 2 || atexit(freeHeldBuffers) != 0) return 2;
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) {
        fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    LabelDoc* (*create)(void) = (LabelDoc * (*)(void)) dlsym(library, "MkLabel_Create");
    int (*addRect)(LabelDoc*, const char*, float, float, float, float, float) =
        (int (*)(LabelDoc*, const char*, float, float, float, float, float))dlsym(library, "MkLabel_AddRect");
    int (*render)(LabelDoc*, const Printer*, int, void**, int*, int*, int*) =
        (int (*)(LabelDoc*, const Printer*, int, void**, int*, int*, int*))dlsym(library, "MkLabelDoc_Render");
    void (*destroy)(LabelDoc*) = (void (*)(LabelDoc*))dlsym(library, "MkLabelDoc_Destroy");
    release = (void (*)(void*))dlsym(library, "MkFree");
    if (create == NULL || addRect == NULL || render == NULL || destroy == NULL || release == NULL) return 2;

    LabelDoc* doc = create();
    if (doc == NULL || addRect(doc, "frame", 1.0f, 1.0f, 20.0f, 10.0f, 0.5f) < 0) return 2;
    int width = 0, height = 0, stride = 0;
    for (int i = 0; i < 2; ++i) {
        if (render(doc, NULL, 0, &pixels[i], &width, &height, &stride) != MK_OK || pixels[i] == NULL) return 2;
    }
    /* A buffer freed while the library is whole goes back to its pool, which
     * the library's own exit then empties. */
    void* spare = NULL;
    if (render(doc, NULL, 0, &spare, &width, &height, &stride) != MK_OK) return 2;
    release(spare);
    destroy(doc);
    return 3;
}
