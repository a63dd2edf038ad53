/* A tour of the C interface: build a label, add objects and read them back. */
#include <stdio.h>

#include "mklabel.h"

/* Base64 of len bytes into out, which holds at least 4 * ((len + 2) / 3) + 1 characters. */
static void toBase64(const unsigned char* bytes, size_t len, char* out) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    size_t i;
    for (i = 0; i < len; i += 3) {
        unsigned long group = (unsigned long)bytes[i] << 16;
        if (i + 1 < len) group |= (unsigned long)bytes[i + 1] << 8;
        if (i + 2 < len) group |= bytes[i + 2];
        *out++ = alphabet[(group >> 18) & 63];
        *out++ = alphabet[(group >> 12) & 63];
        *out++ = i + 1 < len ? alphabet[(group >> 6) & 63] : '=';
        *out++ = i + 2 < len ? alphabet[group & 63] : '=';
    }
    *out = '\0';
}

static void putLe32(unsigned char* at, unsigned long value) {
    at[0] = (unsigned char)value;
    at[1] = (unsigned char)(value >> 8);
    at[2] = (unsigned char)(value >> 16);
    at[3] = (unsigned char)(value >> 24);
}

/* Adds a 16 x 16 two-colour bitmap, a black frame around a black diamond,
   drawn twice its size (32 x 32 dots, 4 mm at 203 dpi). An image object holds
   the bytes of an image file: BMP, PNG, JPEG, GIF or icon. Its horizontal and
   vertical scales (1.0 for a new object) win over the uniform one given when
   it is added, so they are set too. */
static int addImage(LabelDoc* label) {
    enum { side = 16, stride = 4, pixelOffset = 14 + 40 + 8 };
    unsigned char file[pixelOffset + side * stride] = {0};
    char base64[4 * ((sizeof file + 2) / 3) + 1];
    int x;
    int y;
    int index;
    file[0] = 'B';
    file[1] = 'M';
    putLe32(file + 2, sizeof file);
    putLe32(file + 10, pixelOffset);
    putLe32(file + 14, 40);   /* info header size */
    putLe32(file + 18, side); /* width */
    putLe32(file + 22, side); /* height: rows stored bottom-up */
    file[26] = 1;             /* planes */
    file[28] = 1;             /* bits per pixel */
    putLe32(file + 38, sizeof file - pixelOffset);
    putLe32(file + 46, 2); /* colours used: index 0 black, index 1 white */
    file[58] = file[59] = file[60] = 0xFF;
    for (y = 0; y < side; ++y) {
        for (x = 0; x < side; ++x) {
            int dx = x < side / 2 ? side / 2 - 1 - x : x - side / 2;
            int dy = y < side / 2 ? side / 2 - 1 - y : y - side / 2;
            int black = x == 0 || y == 0 || x == side - 1 || y == side - 1 || dx + dy < side / 2 - 2;
            if (!black) file[pixelOffset + y * stride + x / 8] |= (unsigned char)(0x80 >> (x % 8));
        }
    }
    toBase64(file, sizeof file, base64);
    index = MkLabel_AddImage(label, "image1", 48.0f, 3.0f, 2.0f, base64);
    if (index >= 0) MkLabel_SetImageScale(label, index, 2.0f, 2.0f);
    return index;
}

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
        MkLabel_AddLine(label, "line1", 2.0f, 36.0f, 58.0f, 36.0f, 0.5f) < 0 || addImage(label) < 0) {
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
