// The render and preview calls.
#include "mklabel.h"
#include "model/export_guard.h"
#include "model/printer.h"
#include "model/rescale.h"
#include "model/variables.h"
#include "render/bmp_preview.h"
#include "render/label_surface.h"
#include "platform/open_file.h"

namespace {

constexpr int kDefaultDpi = 203;

bool anyNull(const LabelDoc* doc, void** pixels, int* width, int* height, int* stride) {
    return doc == nullptr || pixels == nullptr || width == nullptr || height == nullptr || stride == nullptr;
}

// The flag is carried for callers that pass one and is not read.
int renderResult(const LabelDoc& doc, int dpi, int /*flag*/, void** pixels, int* width, int* height, int* stride) {
    return mk::renderLabelForHost(doc, dpi, pixels, width, height, stride) ? MK_OK : MK_RENDER_FAILED;
}

// The label kind prints with the printer's settings, so it previews with
// them too, and they stay in the document.
void copyPrinterSettings(LabelDoc& doc, const Printer* printer) {
    const Printer defaults;
    mk::copyPrinterSettings(printer != nullptr ? *printer : defaults, doc);
}

using RenderCall = int (*)(LabelDoc*, const Printer*, int, void**, int*, int*, int*);

int savePreview(RenderCall render, LabelDoc* doc, const Printer* printer, const char* path, int fileDpi) {
    if (doc == nullptr || path == nullptr) return MK_RENDER_BAD_ARGS;
    void* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    if (render(doc, printer, 0, &pixels, &width, &height, &stride) != MK_OK || pixels == nullptr) {
        MkFree(pixels);
        return MK_RENDER_FAILED;
    }
    mk::PixelBuffer buffer{decltype(mk::PixelBuffer::pixels)(static_cast<uint8_t*>(pixels)), width, height, stride};
    mk::platform::FilePtr file = mk::platform::openFileUtf8(path, "wb");
    if (file == nullptr) return MK_RENDER_CANNOT_OPEN_FILE;
    bool written = mk::writeBmpPreview(file.get(), buffer.pixels.get(), width, height, stride, fileDpi);
    // A preview that did not reach the disk in full is a failure the host
    // must hear about, not a success.
    bool closed = std::fclose(file.release()) == 0;
    return written && closed ? MK_OK : MK_RENDER_CANNOT_OPEN_FILE;
}

int validDpi(int dpi) { return dpi < 1 ? kDefaultDpi : dpi; }

}  // namespace

extern "C" {

MK_API int MkLabelDoc_Render(LabelDoc* doc, const Printer* printer, int flag, void** outPixels, int* outWidth,
                             int* outHeight, int* outStride) {
    if (anyNull(doc, outPixels, outWidth, outHeight, outStride)) return MK_RENDER_BAD_ARGS;
    return mk::guarded(MK_RENDER_FAILED, [&] {
        int dpi = printer != nullptr ? printer->dpi : kDefaultDpi;
        mk::rescaleForPrinter(*doc, dpi);
        if (!mk::composeDocumentVariableTexts(*doc)) return MK_RENDER_FAILED;
        return renderResult(*doc, dpi, flag, outPixels, outWidth, outHeight, outStride);
    });
}

MK_API int MkLabel_Render(LabelDoc* doc, const Printer* printer, int flag, void** outPixels, int* outWidth,
                          int* outHeight, int* outStride) {
    if (anyNull(doc, outPixels, outWidth, outHeight, outStride)) return MK_RENDER_BAD_ARGS;
    return mk::guarded(MK_RENDER_FAILED, [&] {
        copyPrinterSettings(*doc, printer);
        return renderResult(*doc, doc->printerDPI, flag, outPixels, outWidth, outHeight, outStride);
    });
}

MK_API int MkLabelDoc_SavePreview(LabelDoc* doc, const Printer* printer, const char* utf8Path) {
    if (doc == nullptr || utf8Path == nullptr) return MK_RENDER_BAD_ARGS;
    // The file states the printer's resolution, or the one the document was
    // designed for, even though the pixels without a printer are 203 dpi.
    int fileDpi = validDpi(printer != nullptr ? printer->dpi : doc->printerDPI);
    return mk::guarded(MK_RENDER_FAILED,
                       [&] { return savePreview(MkLabelDoc_Render, doc, printer, utf8Path, fileDpi); });
}

MK_API int MkLabel_SavePreview(LabelDoc* doc, const Printer* printer, const char* utf8Path) {
    if (doc == nullptr || utf8Path == nullptr) return MK_RENDER_BAD_ARGS;
    int fileDpi = validDpi(printer != nullptr ? printer->dpi : kDefaultDpi);
    return mk::guarded(MK_RENDER_FAILED,
                       [&] { return savePreview(MkLabel_Render, doc, printer, utf8Path, fileDpi); });
}

}  // extern "C"
