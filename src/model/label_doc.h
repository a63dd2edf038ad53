#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/label_object.h"

// The record behind both label and label-document handles. Printer-parameter
// and geometry field names are the keys of the label file's parameter XML.
struct LabelDoc {
    int printerDPI = 203;  // resolution the label was designed for
    int printSpeed = 4;    // inches per second
    int printDarkness = 10;
    int pageDirection = 1;
    bool labelhavegap = true;
    float labelwidth = 104.0f;  // mm
    float labelheight = 75.0f;  // mm
    float labelrowgap = 2.0f;
    float labelcolumngap = 2.0f;
    int labelrownum = 1;
    int labelcolumnnum = 1;
    float leftoffset = 0.0f;
    float topoffset = 0.0f;
    float pageleftedges = 0.0f;
    float pagerightedges = 0.0f;
    int pagestartlocation = 0;
    int pagelabelorder = 0;
    int labelshape = 0;
    std::vector<LabelObject> objects;  // drawing order; index = object index of the exports
    int printCount = 1;
    int copyCount = 1;
    bool reverse = false;
    std::string errorText;
    int scaledDpi = 0;  // resolution the scale fields now correspond to; 0: never rescaled
    float fileVersion = 1.0f;
};

namespace mk {

// The most bytes of text one label composes, and the most its text objects
// draw, each counted over the whole label. Ids may repeat and fixed lengths
// pad, so a few bytes of a file could ask for gigabytes of composed text;
// and text is laid out one code point at a time, so a label's drawing time
// follows its text. 4 MiB is far more than any label shows.
inline constexpr uint64_t kMaxLabelTextBytes = uint64_t{4} << 20;

void initLabelRecord(LabelDoc& doc);

// The object at index, or nullptr when the document is NULL or the index is
// outside 0 <= index < count.
LabelObject* objectAt(LabelDoc* doc, int index);
const LabelObject* objectAt(const LabelDoc* doc, int index);

// Appends the object and returns its index. Callers that built the object
// only to append it move it in, so its image bytes are not copied.
int appendObject(LabelDoc& doc, LabelObject object);

}  // namespace mk
