/* Compiled as strict C99: the public header must be usable from C. */
#include "mklabel.h"

typedef char usb_printer_info_is_128_bytes[sizeof(UsbPrinterInfo) == 128 ? 1 : -1];

int mklabel_header_c99_probe(void);
int mklabel_header_c99_probe(void) {
    UsbPrinterInfo info;
    (void)info;
    return MK_OK;
}
