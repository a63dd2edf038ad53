/* A tour of the C interface: build a label, add objects and read them back;
 * load a label file and list its objects; then the library's main job: load
 * a label file, fill its variables, save a preview and print it.
 *
 *   mklabel_demo [LABEL.lsf [PRINTER-ADDRESS [PRINTED-DIR]]]
 *
 * `make demo` runs it with a virtual network printer on a loopback address
 * that saves what it prints in PRINTED-DIR. */
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

/* The sample label file next to this program's source, unless one is named. */
#ifndef MKLABEL_SAMPLE_LSF
#define MKLABEL_SAMPLE_LSF "examples/sample.lsf"
#endif

static int listLabelFile(const char* path) {
    LabelDoc* label = MkLabelDoc_Load(path);
    int count;
    int i;
    if (label == NULL) {
        fprintf(stderr, "cannot load %s: error %d, %s\n", path, MkGetLastErrorCode(), MkGetLastErrorMessage());
        return 1;
    }
    count = MkLabelDoc_GetObjectCount(label);
    printf("%s: %.1f x %.1f mm at %d dpi, %d objects\n", path, MkLabel_GetWidth(label), MkLabel_GetHeight(label),
           MkLabelDoc_GetPrinterDpi(label), count);
    for (i = 0; i < count; ++i) printObject(label, i);
    MkLabelDoc_Destroy(label);
    return 0;
}

/* Renders a label at 203 dpi and saves its BMP preview; returns 0 on success. */
static int writePreview(LabelDoc* label, const char* what, const char* path) {
    Printer* printer = MkPrinter_Create();
    void* pixels = NULL;
    int width = 0;
    int height = 0;
    int stride = 0;
    int rc = 1;
    if (printer == NULL) return 1;
    MkPrinter_SetDpi(printer, 203);
    if (MkLabel_Render(label, printer, 0, &pixels, &width, &height, &stride) != MK_OK) {
        fprintf(stderr, "cannot render the %s label\n", what);
    } else if (MkLabel_SavePreview(label, printer, path) != MK_OK) {
        fprintf(stderr, "cannot write %s\n", path);
    } else {
        printf("%s label rendered at %d x %d dots (stride %d), preview in %s\n", what, width, height, stride, path);
        rc = 0;
    }
    MkFree(pixels);
    MkPrinter_Destroy(printer);
    return rc;
}

/* Text samples: a free line, a box that wraps and centres its lines on the
 * anchor, and a line of Chinese text in the black-body face. Returns 0 when
 * all were added. */
static int addTextSamples(LabelDoc* label) {
    int box;
    if (MkLabel_AddText(label, "text_free", "Free text, 8 pt", 34.0f, 30.0f, 8.0f, "Arial", 0, 0.0f) < 0) return -1;
    box = MkLabel_AddText(label, "text_box", "Centred box text wraps at its width", 46.0f, 3.0f, 7.0f, "Arial", 1,
                          24.0f);
    if (box < 0 || MkLabel_SetTextAlign(label, box, 1) < 0) return -1;
    if (MkLabel_AddText(label, "text_cjk", "\xE4\xB8\xAD\xE6\x96\x87\xE6\xA0\x87\xE7\xAD\xBE 123", 4.0f, 29.0f,
                        10.0f, "\xE9\xBB\x91\xE4\xBD\x93", 0, 0.0f) < 0)
        return -1;
    return 0;
}

/* Shapes: lines in every dash style, rectangles, a rounded rectangle and an
 * ellipse, rendered and saved as a BMP preview a person can open. */
static int saveShapesPreview(const char* path) {
    LabelDoc* label = MkLabel_Create();
    int dash;
    int index;
    int rc;
    if (label == NULL) return 1;
    MkLabel_SetWidth(label, 80.0f);
    MkLabel_SetHeight(label, 50.0f);

    for (dash = 0; dash <= 4; ++dash) {
        index = MkLabel_AddLine(label, "line", 4.0f, 4.0f + 3.0f * (float)dash, 40.0f, 4.0f + 3.0f * (float)dash,
                                dash % 2 == 0 ? 0.5f : 0.1f);
        MkLabel_SetLineDash(label, index, dash);
    }
    MkLabel_AddLine(label, "line", 44.0f, 4.0f, 76.0f, 18.0f, 0.3f);
    MkLabel_AddRect(label, "rectangle", 4.0f, 22.0f, 24.0f, 36.0f, 0.5f);
    index = MkLabel_AddRect(label, "rectangle", 6.0f, 24.0f, 14.0f, 30.0f, 0.1f);
    MkLabel_SetRectFill(label, index, 1);
    index = MkLabel_AddRect(label, "rectangle", 28.0f, 22.0f, 50.0f, 46.0f, 0.8f);
    MkLabel_SetRectShape(label, index, 1);
    MkLabel_SetRectRadius(label, index, 6.0f);
    index = MkLabel_AddRect(label, "rectangle", 54.0f, 22.0f, 76.0f, 46.0f, 0.4f);
    MkLabel_SetRectShape(label, index, 2);
    MkLabel_SetLineDash(label, index, 1);
    index = MkLabel_AddRect(label, "rectangle", 60.0f, 28.0f, 70.0f, 40.0f, 0.1f);
    MkLabel_SetRectShape(label, index, 2);
    MkLabel_SetRectFill(label, index, 1);

    rc = writePreview(label, "shapes", path);
    MkLabel_Destroy(label);
    return rc;
}

/* Barcodes: a Code 128, an EAN-13 with its digit groups and a QR Code,
 * rendered and saved as a BMP preview. */
static int saveBarcodePreview(const char* path) {
    LabelDoc* label = MkLabel_Create();
    int index;
    int rc = 1;
    if (label == NULL) return 1;
    MkLabel_SetWidth(label, 80.0f);
    MkLabel_SetHeight(label, 50.0f);

    index = MkLabel_AddBarcode(label, "barcode_code128", "MK-000123", 4.0f, 4.0f, "Code 128 Auto", 2.0f, 10.0f, 0);
    if (index < 0 || MkLabel_SetBarcodeText(label, index, "Arial", 8.0f, 0.5f, 2) < 0) goto done;
    index = MkLabel_AddBarcode(label, "barcode_ean13", "5901234123457", 4.0f, 24.0f, "EAN-13", 2.0f, 15.0f, 0);
    if (index < 0 || MkLabel_SetBarcodeText(label, index, "Arial", 8.0f, 0.0f, 2) < 0) goto done;
    if (MkLabel_AddBarcode(label, "barcode_qr", "https://mklabel.test/item/000123", 50.0f, 4.0f, "QR Code(2D)", 4.0f,
                           0.0f, 2) < 0)
        goto done;
    rc = writePreview(label, "barcode", path);
done:
    MkLabel_Destroy(label);
    return rc;
}

/* The text objects composed from variables, as they now read. */
static void printComposedTexts(const LabelDoc* label) {
    int count = MkLabelDoc_GetObjectCount(label);
    int i;
    for (i = 0; i < count; ++i) {
        if (MkObject_GetVarCount(label, i) > 0) printObject(label, i);
    }
}

/* The library's main job: load a label file, fill its variables, save a
 * preview and print the label on the network printer at printerAddress.
 * Returns 0 on success. */
static int printLabelFile(const char* path, const char* printerAddress, const char* printedDir) {
    const char* previewPath = "label-file-preview.bmp";
    LabelDoc* label = MkLabelDoc_Load(path);
    Printer* printer = MkPrinter_Create();
    char statusText[64];
    int rc = 1;
    int printRc;
    if (label == NULL) {
        fprintf(stderr, "cannot load %s: error %d, %s\n", path, MkGetLastErrorCode(), MkGetLastErrorMessage());
    } else if (printer == NULL) {
        fprintf(stderr, "cannot create a printer\n");
    } else {
        /* Every object that shares the variable "lot" gets the new value;
           printing composes their texts from it. */
        MkObject_SetVariableAll(label, "lot", "Lot 4711");
        MkPrinter_SetInterface(printer, MK_INTERFACE_NETWORK);
        MkPrinter_SetNetAddress(printer, printerAddress);
        MkPrinter_SetDpi(printer, 203);
        MkPrinter_SetSpeed(printer, 4);
        if (MkLabelDoc_SavePreview(label, printer, previewPath) != MK_OK) {
            fprintf(stderr, "cannot write %s\n", previewPath);
        } else if (MkPrinter_Connect(printer) != MK_OK) {
            fprintf(stderr, "cannot connect to %s: %s\n", printerAddress, MkGetLastErrorMessage());
        } else if ((printRc = MkLabelDoc_Print(label, printer)) != MK_OK) {
            fprintf(stderr, "printing failed with %d: %s\n", printRc, MkGetLastErrorMessage());
        } else {
            MkPrinter_GetStatusInfo(MkPrinter_GetStatusCode(printer), statusText, (int)sizeof statusText);
            printf("printed %s on the network printer at %s; it reports: %s\n", path, printerAddress, statusText);
            printComposedTexts(label);
            printf("preview: %s\n", previewPath);
            printf("printed label: %s/label-1.bmp (saved by the virtual printer)\n", printedDir);
            rc = 0;
        }
    }
    MkPrinter_Destroy(printer);
    MkLabelDoc_Destroy(label);
    return rc;
}

int main(int argc, char** argv) {
    const char* labelFile = argc > 1 ? argv[1] : MKLABEL_SAMPLE_LSF;
    LabelDoc* label = MkLabel_Create();
    int count;
    int i;
    int previewRc;
    if (label == NULL) {
        fprintf(stderr, "cannot create a label\n");
        return 1;
    }
    MkLabel_SetWidth(label, 60.0f);
    MkLabel_SetHeight(label, 40.0f);
    MkLabel_SetColumnCount(label, 2);
    MkLabel_SetColumnGap(label, 3.0f);

    if (MkLabel_AddText(label, "text1", "Hello, label", 4.0f, 3.0f, 12.0f, NULL, 0, 50.0f) < 0 ||
        MkLabel_AddBarcode(label, "barcode1", "MK-000123", 4.0f, 12.0f, "Code 128 Auto", 2.0f, 10.0f, 0) < 0 ||
        MkLabel_AddLine(label, "line1", 2.0f, 36.0f, 58.0f, 36.0f, 0.5f) < 0 || addTextSamples(label) < 0 ||
        addImage(label) < 0) {
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

    previewRc = writePreview(label, "sample", "label-preview.bmp");
    MkLabel_Destroy(label);
    if (saveBarcodePreview("barcode-preview.bmp") != 0) previewRc = 1;
    if (saveShapesPreview("shapes-preview.bmp") != 0 || previewRc != 0) return 1;
    if (listLabelFile(labelFile) != 0) return 1;
    if (argc < 3) {
        printf("no printer address given: `make demo` prints to a virtual printer\n");
        return 0;
    }
    return printLabelFile(labelFile, argv[2], argc > 3 ? argv[3] : ".");
}
