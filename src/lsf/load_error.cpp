#include "lsf/load_error.h"

#include <string>

#include "mklabel.h"
#include "model/last_error.h"

namespace mk {
namespace {

struct LoadErrorText {
    int code;
    const char* message;
};

constexpr LoadErrorText kLoadErrors[] = {
    {MK_ERR_OPEN_FILE, "Cannot open file: "},
    {MK_ERR_READ_FILE, "Cannot read file: "},
    {MK_ERR_BAD_HEADER, "Invalid LSF file header."},
    {MK_ERR_PARAM_BLOCK_SIZE, "Parameter block exceeds file size."},
    {MK_ERR_PARAM_BLOCK_INFLATE, "Failed to decompress parameter block."},
    {MK_ERR_OBJECTS_BLOCK_INFLATE, "Failed to decompress objects block."},
    {MK_ERR_PARAM_XML, "Failed to parse printer parameters from XML."},
    {MK_ERR_OBJECTS_XML, "Failed to parse label objects from XML."},
};

}  // namespace

bool failLoad(LabelDoc& doc, int code, std::string_view detail) {
    std::string message;
    for (const LoadErrorText& entry : kLoadErrors) {
        if (entry.code == code) message = entry.message;
    }
    message.append(detail);
    setLastError(code, message);
    doc.errorText = message;
    return false;
}

}  // namespace mk
