#include <gtest/gtest.h>

#include "ui/DialogTemplates.h"
#include "ui/DialogUnits.h"

namespace verup {
namespace {

TEST(DialogUnits, RoundingOfBaseUnitsAndConversionsKeepsNeighboursFlush)
{
    // The rounded average letter width (52 letters) and the font height.
    EXPECT_EQ(BaseUnitsFromFont(312, 13).x, 6);
    EXPECT_EQ(BaseUnitsFromFont(312, 13).y, 13);
    EXPECT_EQ(BaseUnitsFromFont(337, 13).x, 6);  // 6.48
    EXPECT_EQ(BaseUnitsFromFont(351, 13).x, 7);  // 6.75
    // Halves round away from zero; a zero divisor gives zero.
    EXPECT_EQ(MulDiv(5, 6, 4), 8);
    EXPECT_EQ(MulDiv(3, 13, 8), 5);
    EXPECT_EQ(MulDiv(-5, 6, 4), -8);
    EXPECT_EQ(MulDiv(1, 1, 0), 0);
    const DialogBaseUnits units{7, 17};
    const PixelRect left = ToPixels({7, 79, 33, 8}, units);
    EXPECT_EQ(left.x + left.width, ToPixels({40, 76, 160, 15}, units).x);
}

TEST(DialogTemplates, MainDialogHalfHeightShowsExactlyThePartAboveTheDebugArea)
{
    const DialogTemplate& main = GetDialogTemplate(IDD_UPDATE_DIALOG);
    EXPECT_THROW(GetDialogTemplate(999), std::out_of_range);
    for (const DialogBaseUnits units : {DialogBaseUnits{6, 12}, DialogBaseUnits{7, 17}, DialogBaseUnits{9, 22}}) {
        const int half = MainClientHeight(false, units);
        EXPECT_EQ(MainClientHeight(true, units), DuToPixelsY(257, units));
        for (const TemplateControl& control : main.controls) {
            const PixelRect r = ToPixels(control.rect, units);
            if (control.rect.y >= kDebugAreaTopDu)
                EXPECT_GE(r.y, half) << "control " << control.id << " shows at half height";
            else
                EXPECT_LE(r.y + r.height, half) << "control " << control.id << " is cut at half height";
        }
    }
    const TemplateControl* log = main.Find(IDC_DEBUG_LOG);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->kind, ControlKind::LogEdit);
}

// Which controls each connection dialog offers is checked on the drawn window.
TEST(DialogTemplates, ConnectionDialogControlsLieInsideTheirDialog)
{
    for (const int id : {IDD_IP_ADDRESS, IDD_COM_PORT, IDD_PORT_SELECT}) {
        const DialogTemplate& t = GetDialogTemplate(id);
        for (const TemplateControl& control : t.controls) {
            if (control.kind == ControlKind::ComboBox)
                continue;  // its height includes the dropped-down list
            EXPECT_LE(control.rect.x + control.rect.width, t.width) << id << "/" << control.id;
            EXPECT_LE(control.rect.y + control.rect.height, t.height) << id << "/" << control.id;
        }
    }
}

}  // namespace
}  // namespace verup
