/* A tour of the C interface: build a label and print a summary of it. */
#include <stdio.h>

#include "mklabel.h"

int main(void) {
    LabelDoc* label = MkLabel_Create();
    if (label == NULL) {
        fprintf(stderr, "cannot create a label\n");
        return 1;
    }
    MkLabel_SetWidth(label, 60.0f);
    MkLabel_SetHeight(label, 40.0f);
    MkLabel_SetColumnCount(label, 2);
    MkLabel_SetColumnGap(label, 3.0f);

    printf("label %.1f x %.1f mm, %d x %d per page, designed for %d dpi, %d objects\n",
           MkLabel_GetWidth(label), MkLabel_GetHeight(label), MkLabel_GetColumnCount(label),
           MkLabel_GetRowCount(label), MkLabelDoc_GetPrinterDpi(label), MkLabelDoc_GetObjectCount(label));

    MkLabel_Destroy(label);
    return 0;
}
