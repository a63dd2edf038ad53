/*
 * mklabel: load, fill, render and print labels on thermal label printers.
 *
 * A flat C interface. Handles are opaque; objects of a label are addressed by
 * their index. Strings are NUL-terminated UTF-8. Strings returned by the
 * library are copied into buffers the caller supplies (at most size - 1
 * bytes, then a NUL). Memory the library allocates for the caller (render
 * buffers) is released with MkFree.
 */
#ifndef MKLABEL_H
#define MKLABEL_H

#include <stdbool.h>

/* On Windows the calls are imported from mklabel.dll; elsewhere they are
 * plain declarations. */
#if defined(_WIN32)
#if defined(MKLABEL_BUILDING)
#define MK_API __declspec(dllexport)
#else
#define MK_API __declspec(dllimport)
#endif
#elif defined(MKLABEL_BUILDING) && (defined(__GNUC__) || defined(__clang__))
#define MK_API __attribute__((visibility("default")))
#else
#define MK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Handles ----------------------------------------------------------- */

/* One record stands behind both label and label-document handles. */
typedef struct LabelDoc LabelDoc;
typedef struct Printer Printer;

/* One USB printer found by MkPrinter_EnumUsb: 128 bytes, texts NUL-terminated. */
typedef struct UsbPrinterInfo {
    char name[64];
    char port[32];
    char serial[32];
} UsbPrinterInfo;

/* ---- Result codes -------------------------------------------------------- */

#define MK_OK 0

/* Small per-call failure values. */
#define MK_FAIL (-1)              /* NULL handle or pointer, bad buffer size, bad index */
#define MK_BAD_OBJECT_INDEX (-2)  /* object string getters, MkObject_GetVarInfo, MkObject_SetVariable */
#define MK_BAD_VARIABLE_INDEX (-3) /* MkObject_GetVarInfo */

/* MkLabelDoc_Render, MkLabel_Render, MkLabelDoc_SavePreview, MkLabel_SavePreview */
#define MK_RENDER_BAD_ARGS (-1)
#define MK_RENDER_FAILED (-2)
#define MK_RENDER_CANNOT_OPEN_FILE (-3)

/* MkLabelDoc_Print, MkLabel_Print */
#define MK_PRINT_BAD_ARGS (-1)
#define MK_PRINT_JOB_FAILED (-2)
#define MK_PRINT_CONNECT_FAILED (-3)
#define MK_PRINT_SEND_FAILED (-4)
#define MK_PRINT_NO_RESPONSE (-5)

/* MkLabelDoc_PrintBlankPage, MkLabel_PrintBlankPage */
#define MK_BLANK_BAD_ARGS (-1)
#define MK_BLANK_CONNECT_FAILED (-2)
#define MK_BLANK_SEND_FAILED (-3)

/* MkPrinter_Connect */
#define MK_CONNECT_FAILED (-2)

/* Last-error codes of loading (MkGetLastErrorCode). */
#define MK_ERR_OPEN_FILE (-100)
#define MK_ERR_READ_FILE (-101)
#define MK_ERR_BAD_HEADER (-102)
#define MK_ERR_PARAM_BLOCK_SIZE (-103)
#define MK_ERR_PARAM_BLOCK_INFLATE (-104)
#define MK_ERR_OBJECTS_BLOCK_INFLATE (-106)
#define MK_ERR_PARAM_XML (-107)
#define MK_ERR_OBJECTS_XML (-108)

/* Last-error codes of printer communication (MkGetLastErrorCode). */
#define MK_ERR_USB_ENUM (-501)
#define MK_ERR_USB_SERIAL_NOT_FOUND (-502)
#define MK_ERR_USB_OPEN_WRITE (-503)
#define MK_ERR_USB_WRITE_ARGS (-504)
#define MK_ERR_USB_WRITE_FAILED (-505)
#define MK_ERR_USB_PARTIAL_WRITE (-506)
#define MK_ERR_USB_READ_ARGS (-508)
#define MK_ERR_USB_READ_WAIT (-509)
#define MK_ERR_USB_READ_TIMEOUT (-510)
#define MK_ERR_USB_OPEN_READ (-511)
#define MK_ERR_USB_READ_EVENT (-512)
#define MK_ERR_USB_STATUS_HANDLE (-513)
#define MK_ERR_USB_OPEN_STATUS (-520)
#define MK_ERR_USB_NOT_FOUND (-521)
#define MK_ERR_NET_ADDRESS_NOT_SET (-523)
#define MK_ERR_UNSUPPORTED_INTERFACE (-524)
#define MK_ERR_DRIVER_NAME_NOT_SET (-525) /* also "writeData: invalid parameters" */
#define MK_ERR_WRITE_ARGS (-525)
#define MK_ERR_WRITE_USB_PATH (-526)
#define MK_ERR_WRITE_NET_ADDRESS (-527)
#define MK_ERR_WRITE_INTERFACE (-528)
#define MK_ERR_STATUS_USB_PATH (-529)
#define MK_ERR_STATUS_NET_ADDRESS (-530)
#define MK_ERR_UHF_BUFFER (-531)
#define MK_ERR_UHF_SEND (-532)
#define MK_ERR_UHF_INTERFACE (-535)
#define MK_ERR_RESPONSE_NOT_USB (-540)
#define MK_ERR_RESPONSE_NONE (-541)
#define MK_ERR_RESPONSE_NOT_RP (-542)
#define MK_ERR_PN_NOT_NET (-545)
#define MK_ERR_PN_DATA (-546)
#define MK_ERR_PN_NOT_RECEIVED (-549)
#define MK_ERR_HF_BUFFER (-550)
#define MK_ERR_HF_INTERFACE (-551)
#define MK_ERR_HF_SEND_HS (-552)
#define MK_ERR_HF_SEND_HR (-553)
#define MK_ERR_TAG_NET_ADDRESS (-560)
#define MK_ERR_TAG_CALLBACK (-563)
#define MK_ERR_SPOOL_OPEN (-600)
#define MK_ERR_SPOOL_START_DOC (-601)
#define MK_ERR_SPOOL_START_PAGE (-602)
#define MK_ERR_SPOOL_WRITE (-603)

/* Interface types for MkPrinter_SetInterface. */
#define MK_INTERFACE_SPOOLER 0
#define MK_INTERFACE_USB 1
#define MK_INTERFACE_NETWORK 2
/* 4, 6, 8: USB with print confirmation; 5, 7, 9: network with print confirmation. */

/* Object types reported by MkLabelDoc_GetObjectType. */
#define MK_OBJECT_TEXT 0
#define MK_OBJECT_BARCODE 1
#define MK_OBJECT_LINE 2
#define MK_OBJECT_RECTANGLE 3
#define MK_OBJECT_IMAGE 4
#define MK_OBJECT_RFID 5

/* ---- Memory and errors --------------------------------------------------- */

MK_API void MkFree(void* block);
/* The calling thread's last error; 0 and "" when it never had one. Never reset. */
MK_API int MkGetLastErrorCode(void);
/* Borrowed: valid until the calling thread's next error. */
MK_API const char* MkGetLastErrorMessage(void);
MK_API const char* MkLabelDoc_GetLastError(void);

/* ---- Documents ------------------------------------------------------------ */

MK_API LabelDoc* MkLabel_Create(void);
MK_API void MkLabel_Destroy(LabelDoc* doc);
MK_API void MkLabelDoc_Destroy(LabelDoc* doc);
/* NULL on failure; the last error says why (-100 to -108). */
MK_API LabelDoc* MkLabelDoc_Load(const char* utf8Path);
MK_API LabelDoc* MkLabelDoc_LoadFromMemory(const void* data, int size);

MK_API int MkLabelDoc_GetPrinterDpi(const LabelDoc* doc);
MK_API int MkLabelDoc_GetPrinterSpeed(const LabelDoc* doc);
MK_API int MkLabelDoc_GetPrinterDarkness(const LabelDoc* doc);
MK_API int MkLabelDoc_GetPrinterPageDirection(const LabelDoc* doc);
MK_API bool MkLabelDoc_GetPrinterHaveGap(const LabelDoc* doc);
MK_API void MkLabelDoc_SetPrintCount(LabelDoc* doc, int count);
MK_API void MkLabelDoc_SetCopyCount(LabelDoc* doc, int count);
MK_API void MkLabelDoc_SetReverse(LabelDoc* doc, int reverse);
MK_API int MkLabelDoc_GetObjectCount(const LabelDoc* doc);
/* Converts barcode module widths and image scales from one resolution to another. */
MK_API void MkLabelDoc_AdjustDpiScale(LabelDoc* doc, int fromDpi, int toDpi);

/* ---- Label geometry (millimetres, counts and codes) ------------------------ */

MK_API float MkLabel_GetWidth(const LabelDoc* doc);
MK_API void MkLabel_SetWidth(LabelDoc* doc, float mm);
MK_API float MkLabel_GetHeight(const LabelDoc* doc);
MK_API void MkLabel_SetHeight(LabelDoc* doc, float mm);
MK_API float MkLabel_GetRowGap(const LabelDoc* doc);
MK_API void MkLabel_SetRowGap(LabelDoc* doc, float mm);
MK_API float MkLabel_GetColumnGap(const LabelDoc* doc);
MK_API void MkLabel_SetColumnGap(LabelDoc* doc, float mm);
MK_API int MkLabel_GetRowCount(const LabelDoc* doc);
MK_API void MkLabel_SetRowCount(LabelDoc* doc, int count);
MK_API int MkLabel_GetColumnCount(const LabelDoc* doc);
MK_API void MkLabel_SetColumnCount(LabelDoc* doc, int count);
MK_API float MkLabel_GetLeftOffset(const LabelDoc* doc);
MK_API void MkLabel_SetLeftOffset(LabelDoc* doc, float value);
MK_API float MkLabel_GetTopOffset(const LabelDoc* doc);
MK_API void MkLabel_SetTopOffset(LabelDoc* doc, float value);
MK_API float MkLabel_GetPageLeftEdges(const LabelDoc* doc);
MK_API void MkLabel_SetPageLeftEdges(LabelDoc* doc, float mm);
MK_API float MkLabel_GetPageRightEdges(const LabelDoc* doc);
MK_API void MkLabel_SetPageRightEdges(LabelDoc* doc, float mm);
MK_API int MkLabel_GetStartLocation(const LabelDoc* doc);
MK_API void MkLabel_SetStartLocation(LabelDoc* doc, int code);
MK_API int MkLabel_GetLabelOrder(const LabelDoc* doc);
MK_API void MkLabel_SetLabelOrder(LabelDoc* doc, int code);
MK_API int MkLabel_GetLabelShape(const LabelDoc* doc);
MK_API void MkLabel_SetLabelShape(LabelDoc* doc, int code);

/* ---- Building a label: each add returns the new object's index, or -1 ------ */

/* An object is drawn and printed as the kind its name starts with: "text",
 * "barcode", "rectangle", "line", "image" or "rfid". An object of any other
 * name is kept and read back, but draws nothing. */

MK_API int MkLabel_AddText(LabelDoc* doc, const char* name, const char* text, float x, float y, float fontSize, const char* fontName, int textType, float textWidth);
MK_API int MkLabel_AddBarcode(LabelDoc* doc, const char* name, const char* data, float x, float y, const char* barcodeKind, float moduleWidth, float barHeight, int textPosition);
MK_API int MkLabel_AddLine(LabelDoc* doc, const char* name, float startX, float startY, float endX, float endY, float lineWidth);
MK_API int MkLabel_AddRect(LabelDoc* doc, const char* name, float startX, float startY, float endX, float endY, float lineWidth);
/* The image is the Base64 text of an image file. Drawn everywhere: BMP, JPEG,
 * GIF, icons; PNG on Linux, and on Windows only where the system's picture
 * loader reads it (Wine's does, Windows' own does not); WMF and EMF on
 * Windows only. Other formats draw nothing, without an error.
 * The per-axis scales (MkLabel_SetImageScale, 1.0 on a new object) win over
 * scale; scale applies on an axis whose own scale is 0.01 or below. */
MK_API int MkLabel_AddImage(LabelDoc* doc, const char* name, float x, float y, float scale, const char* base64Data);
MK_API int MkLabel_AddRfid(LabelDoc* doc, const char* name, const char* data, int encoderType, int dataType, int dataBlock);

/* Style setters: 0, or -1 for a NULL document or a bad index. */
MK_API int MkLabel_SetFontStyle(LabelDoc* doc, int index, int style);
MK_API int MkLabel_SetTextAlign(LabelDoc* doc, int index, int align);
MK_API int MkLabel_SetLineDash(LabelDoc* doc, int index, int dash);
MK_API int MkLabel_SetRectShape(LabelDoc* doc, int index, int shape);
MK_API int MkLabel_SetRectRadius(LabelDoc* doc, int index, float radius);
MK_API int MkLabel_SetRectFill(LabelDoc* doc, int index, int fill);
MK_API int MkLabel_SetImageScale(LabelDoc* doc, int index, float hscale, float vscale);
MK_API int MkLabel_SetBarcodeText(LabelDoc* doc, int index, const char* fontName, float fontSize, float textGap, int textAlign);
MK_API int MkLabel_SetRfidHf(LabelDoc* doc, int index, int startBlock, int power);

/* ---- Reading objects ------------------------------------------------------- */

/* String getters: bytes copied; -1 for NULL arguments or size < 1, -2 for a bad index. */
MK_API int MkObject_GetName(const LabelDoc* doc, int index, char* buffer, int size);
MK_API int MkObject_GetData(const LabelDoc* doc, int index, char* buffer, int size);
MK_API int MkObject_GetBarcodeKind(const LabelDoc* doc, int index, char* buffer, int size);
MK_API int MkObject_GetCodeData(const LabelDoc* doc, int index, char* buffer, int size);
MK_API int MkObject_GetDataChildIDs(const LabelDoc* doc, int index, char* buffer, int size);
/* Position in millimetres; -1.0 on failure. */
MK_API float MkObject_GetX(const LabelDoc* doc, int index);
MK_API float MkObject_GetY(const LabelDoc* doc, int index);
MK_API int MkObject_GetVarCount(const LabelDoc* doc, int index);
MK_API int MkLabelDoc_GetObjectType(const LabelDoc* doc, int index);

/* ---- Variables ------------------------------------------------------------- */

/* 0; -1 NULL document or buffer or size < 1; -2 bad object; -3 bad variable. */
MK_API int MkObject_GetVarInfo(const LabelDoc* doc, int objectIndex, int varIndex, char* name, int nameSize, char* value, int valueSize, int* outId, int* outType, int* outEnable);
/* Sets the first variable of the object with that exact name. */
MK_API int MkObject_SetVariable(LabelDoc* doc, int objectIndex, const char* name, const char* value);
/* Sets the first variable with that exact name in every object. */
MK_API int MkObject_SetVariableAll(LabelDoc* doc, const char* name, const char* value);

/* ---- Rendering and previews -------------------------------------------------- */

/* 32-bit pixels (blue, green, red, unused), rows top-down; release with MkFree.
 * The document kind rescales to the printer and composes variable text; the
 * label kind copies the printer's settings. printer may be NULL (203 dpi). */
MK_API int MkLabelDoc_Render(LabelDoc* doc, const Printer* printer, int flag, void** outPixels, int* outWidth, int* outHeight, int* outStride);
MK_API int MkLabel_Render(LabelDoc* doc, const Printer* printer, int flag, void** outPixels, int* outWidth, int* outHeight, int* outStride);
MK_API int MkLabelDoc_SavePreview(LabelDoc* doc, const Printer* printer, const char* utf8Path);
MK_API int MkLabel_SavePreview(LabelDoc* doc, const Printer* printer, const char* utf8Path);

/* ---- Printers ---------------------------------------------------------------- */

MK_API Printer* MkPrinter_Create(void);
MK_API void MkPrinter_Destroy(Printer* printer);
MK_API void MkPrinter_SetDpi(Printer* printer, int dpi);
MK_API void MkPrinter_SetSpeed(Printer* printer, int speed);
MK_API void MkPrinter_SetDarkness(Printer* printer, int darkness);
MK_API void MkPrinter_SetPageDirection(Printer* printer, int direction);
MK_API void MkPrinter_SetInterface(Printer* printer, int interfaceType);
/* Spooler printer name for interface type 0: a CUPS queue on Linux, a printer
 * of the Windows spooler on Windows. */
MK_API void MkPrinter_SetName(Printer* printer, const char* name);
MK_API void MkPrinter_SetNetAddress(Printer* printer, const char* ipv4Address);
MK_API void MkPrinter_SetUsbSerial(Printer* printer, const char* serial);

/* Fills up to maxCount records; returns how many printers were found and copied. */
MK_API int MkPrinter_EnumUsb(UsbPrinterInfo* out, int maxCount);
/* 0 connected; -2 failed (the last error says why); -1 NULL handle. */
MK_API int MkPrinter_Connect(Printer* printer);
MK_API void MkPrinter_Disconnect(Printer* printer);
MK_API int MkPrinter_GetStatusCode(Printer* printer);
/* Copies the text of a status code; returns the number of bytes copied. */
MK_API int MkPrinter_GetStatusInfo(int code, char* buffer, int size);
MK_API int MkPrinter_ReadHFTag(Printer* printer, int hsParameter, int startBlock, int blockCount, int timeoutMs, char* buffer, int size);
MK_API int MkPrinter_ReadUHFTag(Printer* printer, int bank, int length, int timeoutMs, char* buffer, int size);

/* ---- Printing ------------------------------------------------------------------ */

/* 0; -1 NULL handle; -2 job not built (the label cannot be rendered, an RFID
 * object's data does not fit its NDEF record, or the label's RFID data is over
 * 64 KiB); -3 connect failed; -4 send failed; -5 no "RP" answer. */
MK_API int MkLabelDoc_Print(LabelDoc* doc, Printer* printer);
MK_API int MkLabel_Print(LabelDoc* doc, Printer* printer);
/* 0; -1 NULL handle; -2 connect failed; -3 send failed. */
MK_API int MkLabelDoc_PrintBlankPage(LabelDoc* doc, Printer* printer, int mode);
MK_API int MkLabel_PrintBlankPage(LabelDoc* doc, Printer* printer, int mode);

#ifdef __cplusplus
}
#endif

#endif /* MKLABEL_H */
