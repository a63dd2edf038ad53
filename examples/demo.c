/* A tour of the C interface: build a label, add objects and read them back. */
#include <stdio.h>

#include "mklabel.h"

static void printObject(const LabelDoc* label, int index) {
    char name[64];
    char data[128];
    char kind[32];
    if (MkObject_GetName(label, index, name, (int)sizeof name) < 0 ||
        MkObject_GetData(label, index, data, (int)sizeof data) < 0 ||
        MkObject_GetBarcodeKind(label, index, kind, (int)sizeof kind) < 0) {
        printf("  object %d: cannot be read\n", index);
        return;
    }
    printf("  object %d: %-9s type %d at (%.1f, %.1f) mm, data \"%s\"", index, name,
           MkLabelDoc_GetObjectType(label, index), MkObject_GetX(label, index), MkObject_GetY(label, index), data);
    if (kind[0] != '\0') printf(", kind %s", kind);
    printf("\n");
}

int main(void) {
    LabelDoc* label = MkLabel_Create();
    int count;
    int i;
    if (label == NULL) {
        fprintf(stderr, "cannot create a label\n");
        return 1;
    }
    MkLabel_SetWidth(label, 60.0f);
    MkLabel_SetHeight(label, 40.0f);
    MkLabel_SetColumnCount(label, 2);
    MkLabel_SetColumnGap(label, 3.0f);

    if (MkLabel_AddText(label, "text1", "Hello, label", 4.0f, 3.0f, 12.0f, NULL, 0, 50.0f) < 0 ||
        MkLabel_AddBarcode(label, "barcode1", "MK-000123", 4.0f, 12.0f, "Code128", 2.0f, 10.0f, 0) < 0 ||
        MkLabel_AddLine(label, "line1", 2.0f, 36.0f, 58.0f, 36.0f, 0.5f) < 0) {
        fprintf(stderr, "cannot add the objects\n");
        MkLabel_Destroy(label);
        return 1;
    }
    MkLabel_SetFontStyle(label, 0, 1);
    MkLabel_SetLineDash(label, 2, 1);

    count = MkLabelDoc_GetObjectCount(label);
    printf("label %.1f x %.1f mm, %d x %d per page, designed for %d dpi, %d objects\n", MkLabel_GetWidth(label),
           MkLabel_GetHeight(label), MkLabel_GetColumnCount(label), MkLabel_GetRowCount(label),
           MkLabelDoc_GetPrinterDpi(label), count);
    for (i = 0; i < count; ++i) printObject(label, i);

    MkLabel_Destroy(label);
    return 0;
}
