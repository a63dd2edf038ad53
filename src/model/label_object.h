#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/label_variable.h"
#include "platform/mapped_memory.h"

// The object type reported to the host. Processing selects an object's
// handling by the beginning of its name instead (see objectKindOf).
enum class ObjectType : int { Text = 0, Barcode = 1, Line = 2, Rectangle = 3, Image = 4, Rfid = 5 };

// The tag password every RFID password field starts with (eight hex digits).
inline constexpr const char* kDefaultTagPassword = "5A1C9E27";

// The black-body face name new objects get (U+9ED1 U+4F53).
inline constexpr const char* kDefaultTextFont = "\xE9\xBB\x91\xE4\xBD\x93";

// One record for every kind of object. Field names are the keys of the label
// file's object XML; a field no operation interprets is still loaded, copied
// and returned faithfully. Lengths are millimetres unless noted.
struct LabelObject {
    // common
    std::string ObjectName;
    std::string objectdata;
    bool enable = true;
    int id = 1;
    bool disallowprint = false;
    float Xposition = 2.0f;
    float Yposition = 2.0f;
    int objectclass = 0;  // ObjectType, only reported

    // barcode
    std::string barcodekind;
    std::string codedata;
    std::string datachild_IDs;  // comma-separated variable ids composing objectdata
    std::vector<LabelVariable> Variables;
    float barcodescale = 1.0f;  // module width in dots
    float barcodeheight = 10.0f;
    int direction = 0;
    int errorcorrection = 0;
    int eciOption = 0;  // no key
    int qrversion = 0;
    int code39widthratio = 3;
    bool code39StartStop = true;           // no key
    uint32_t barcodeColor = 0xFF000000u;  // ARGB, no key
    int pdf417_rows = 0;
    int pdf417_columns = 0;
    int pdf417_rows_auto = 3;
    int pdf417_columns_auto = 1;
    int textposition = 0;
    float textGap = 0.0f;  // no key
    int textalign = 2;

    // text
    std::string textfont = kDefaultTextFont;
    int fontstyle = 0;
    float fontsize = 10.0f;  // points
    int fontscale = 1;
    bool blackbackground = false;
    float chargap = 0.0f;
    float charHZoom = 1.0f;
    int texttype = 0;
    int texttextalign = 0;
    int texttextvalign = 0;
    float textwidth = 10.0f;
    int textwidthbeyound = 0;
    int textmaxline = 0;
    bool isverticaltext = false;
    uint32_t textColor = 0xFF000000u;  // ARGB, no key
    int linegapindex = 0;
    float linegap = 0.0f;

    // line and rectangle
    int lineclass = 1;
    int rectangleclass = 0;  // 0 rectangle, 1 rounded, 2 ellipse
    float cornerRadius = 2.0f;  // no key
    float startXposition = 1.0f;
    float startYposition = 1.0f;
    float endXposition = 3.0f;
    float endYposition = 3.0f;
    float lineWidth = 0.4f;
    int lineDashStyle = 0;
    uint32_t lineColorArgb = 0xFF000000u;
    bool fillRectangle = false;

    // image
    std::string imagename;
    int imagefilesource = 0;
    std::string imagefilepath;
    // Bytes of an image file: up to megabytes, so mapped, to go back to the
    // system with the document instead of staying in a thread's heap.
    std::vector<uint8_t, mk::platform::MappedAllocator<uint8_t>> imagedata;
    float scale = 1.0f;
    float hscale = 1.0f;
    float vscale = 1.0f;
    bool aspectRatio = true;
    bool imagefixedsize = false;
    float imagefixedwidth = 1.0f;
    float imagefixedheight = 1.0f;
    bool transparent = true;

    // RFID
    int RFIDEncodertype = 0;  // 0 UHF, 1 and 3 HF block write, 2 HF with directory
    int RFIDDatablock = 0;
    int RFIDDatatype = 0;
    int RFIDTextencoding = 0;
    int DataAlignment = 0;
    int RFIDerrortimes = 2;
    bool ReadIDOnly = false;
    bool ReadIDOnlyFailurePrint = false;
    bool ReadIDRepeatedlyReport = false;
    int ReadIDOnlyType = 0;
    int ReadIDStringSplit = 0;
    int ReadIDProcess = 0;
    int ReadIDTimeout = 1000;  // ms
    std::string RFIDaccessnewpwd = kDefaultTagPassword;
    std::string RFIDaccessoldpwd = kDefaultTagPassword;
    bool usekillpwd = false;
    std::string RFIDkillpwd = kDefaultTagPassword;
    int HFstartblock = 0;
    int HFModulepower = 0;
    bool HFlocklabel = false;
    int HFlabeltype = 0;
    bool HFReadverifylabel = false;
    int RFIDepccontrol = 0;
    int RFIDusercontrol = 0;
    int RFIDtidcontrol = 0;
    int RFIDaccesspwdcontrol = 0;
    int RFIDkillpwdcontrol = 0;
    bool Datalengthdoublewords = false;
    int RFIDUser0control = 0;
    int RFIDUser1control = 0;
    int RFIDUser2control = 0;
    int RFIDUser3control = 0;
    int RFIDsecuritycontrol = 0;
    std::string RFIDUser0newreadpwd = kDefaultTagPassword;
    std::string RFIDUser1newreadpwd = kDefaultTagPassword;
    std::string RFIDUser2newreadpwd = kDefaultTagPassword;
    std::string RFIDUser3newreadpwd = kDefaultTagPassword;
    std::string RFIDUser0oldwritepwd = kDefaultTagPassword;
    std::string RFIDUser1oldwritepwd = kDefaultTagPassword;
    std::string RFIDUser2oldwritepwd = kDefaultTagPassword;
    std::string RFIDUser3oldwritepwd = kDefaultTagPassword;
    std::string RFIDUser0newwritepwd = kDefaultTagPassword;
    std::string RFIDUser1newwritepwd = kDefaultTagPassword;
    std::string RFIDUser2newwritepwd = kDefaultTagPassword;
    std::string RFIDUser3newwritepwd = kDefaultTagPassword;
    std::string RFIDUserdatareadpwd = kDefaultTagPassword;
};

// How an object is handled, chosen by the beginning of its name (case-sensitive;
// a name shorter than the word matches nothing). Tested in the order drawing uses.
enum class ObjectKind { Barcode, Text, Rectangle, Line, Image, Rfid, None };

namespace mk {

ObjectKind objectKindOf(std::string_view objectName);
bool nameStartsWith(std::string_view objectName, std::string_view word);

void initLabelObject(LabelObject& object);
void copyLabelObject(LabelObject& target, const LabelObject& source);
void moveLabelObject(LabelObject& target, LabelObject& source);
void destroyLabelObject(LabelObject& object);

// The keyed fields of LabelObject, in record order, described once as data so
// that the loader and anything else that walks the fields read one table.
// Fields without an XML key (eciOption, code39StartStop, barcodeColor, textGap,
// textColor, cornerRadius) and the Variables block are not listed.
using ObjectFieldMember = std::variant<std::string LabelObject::*, bool LabelObject::*, int LabelObject::*,
                                       float LabelObject::*, uint32_t LabelObject::*,
                                       decltype(LabelObject::imagedata) LabelObject::*>;

struct ObjectField {
    const char* key;
    ObjectFieldMember member;  // uint32_t: an ARGB colour, written as a signed decimal
                               // vector<uint8_t>: bytes carried as Base64 text
};

extern const std::array<ObjectField, 107> kObjectFields;

}  // namespace mk
