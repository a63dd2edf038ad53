#include "render/text_object.h"

#include "render/box_text.h"
#include "render/data_mnemonics.h"
#include "render/free_text.h"
#include "render/object_font.h"
#include "render/units.h"

namespace mk {

namespace {

// Boxes narrower than this use free layout.
constexpr int kMinBoxWidth = 11;

// The object's font in the device context; a new size replaces it there.
class DeviceBoxFont : public BoxTextFont {
public:
    DeviceBoxFont(platform::DeviceContext& dc, const LabelObject& object, int dpi)
        : dc_(dc), object_(object), dpi_(dpi) {}
    TextExtent extent(std::u16string_view text) const override { return dc_.textExtent(text); }
    void setSize(float points) override { dc_.selectFont(createObjectFont(object_, points, dpi_)); }
    int emFor(float points) const override { return objectFontEm(points, dpi_); }
    bool covers(std::u16string_view text) const override { return dc_.font()->covers(text); }

private:
    platform::DeviceContext& dc_;
    const LabelObject& object_;
    int dpi_;
};

}  // namespace

void drawTextRun(platform::DeviceContext& dc, std::u16string_view text, int x, int y, platform::Colorref color) {
    dc.setTextColor(color);
    dc.textOut(x, y, text);
}

void drawTextObject(platform::DeviceContext& dc, const LabelObject& object, int dpi, DrawBudget& budget) {
    if (object.objectdata.empty() || budget.exceeded()) return;
    // Mnemonics start with '<': text without one is drawn as it is, not
    // copied (a copy of a long text would stay in the drawing thread's heap).
    const bool hasMnemonics = object.objectdata.find('<') != std::string::npos;
    const std::string substituted =
        hasMnemonics ? substituteMnemonics(object.objectdata, MnemonicVariant::Text) : std::string();
    const std::string_view text = hasMnemonics ? std::string_view(substituted) : std::string_view(object.objectdata);
    const int x0 = mmToDots(object.Xposition, dpi);
    const int y0 = mmToDots(object.Yposition, dpi);
    const platform::FontHandle kept = dc.selectFont(createObjectFont(object, object.fontsize, dpi));
    dc.setBackgroundMode(platform::BackgroundMode::Transparent);
    const platform::Colorref color = rgbToColorref(object.textColor);
    const int boxWidth = mmToDots(object.textwidth, dpi);

    // Text that ends before its first character (a leading zero byte, which
    // "<NUL>" gives) converts to nothing and draws nothing.
    if (!text.empty() && text.front() != '\0') {
        if (object.texttype == 1 && boxWidth >= kMinBoxWidth) {
            DeviceBoxFont font(dc, object, dpi);
            const TextPlan plan =
                layoutBoxText(font, object, text, x0, y0, color, boxWidth, dpi, {dc.width(), dc.height()}, &budget);
            if (!budget.exceeded() && budget.charge(plan.paintCost)) drawTextPlan(dc, plan);
        } else {
            drawFreeText(dc, object, text, x0, y0, color, dpi, budget);
        }
    }
    dc.selectFont(kept);
}

}  // namespace mk
