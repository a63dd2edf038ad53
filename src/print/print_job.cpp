#include "print/print_job.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "comm/transport.h"
#include "model/append_format.h"
#include "print/pcx_image.h"
#include "render/label_surface.h"

namespace mk {

std::string makeGraphicName() {
    const unsigned seed = static_cast<unsigned>(std::time(nullptr)) + static_cast<unsigned>(std::rand());
    std::srand(seed);
    return "KVP" + std::to_string(std::rand() % 9000 + 1000);
}

PrintJob buildLabelCommands(const LabelDoc& doc, int dpi, int interfaceType, std::string_view rfidText) {
    platform::MappedString pcx;
    int width = 0, height = 0;
    {
        // The graphic is made from the surface itself; nothing is copied.
        const auto surface = drawLabel(doc, dpi);
        if (surface == nullptr) return {};
        width = surface->width();
        height = surface->height();
        pcx = buildPcxImage(surface->pixels(), width, height, surface->stride());
    }

    const std::string name = makeGraphicName();
    PrintJob job;
    job.reserve(pcx.size() + rfidText.size() + 256);
    job += "I8,1,001\r\n";
    appendFormat(job, "S%d\r\n", std::clamp(doc.printSpeed, 1, 8) * 10);
    appendFormat(job, "H%d\r\n", doc.printDarkness);
    appendFormat(job, "q%d\r\n", width);
    appendFormat(job, "Q%d,%d\r\n", height, doc.labelhavegap ? 16 : 0);
    job += "N\r\n";
    appendFormat(job, "GK\"%s\"\r\n", name.c_str());
    job += "GM\"" + name + "\"" + std::to_string(pcx.size()) + "\r\n";
    job += pcx;
    job += "\r\n";
    appendFormat(job, "GG0,0,\"%s\"\r\n", name.c_str());
    job += rfidText;
    if (const char* confirm = transportFor(interfaceType).confirmCommand) {
        job += confirm;
    } else {
        appendFormat(job, "W%d,%d\r\n", doc.printCount > 0 ? doc.printCount : 1, doc.copyCount > 0 ? doc.copyCount : 1);
    }
    appendFormat(job, "GK\"%s\"\r\n", name.c_str());
    return job;
}

}  // namespace mk
