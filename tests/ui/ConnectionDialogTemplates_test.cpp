#include <gtest/gtest.h>

#include "ui/DialogTemplates.h"
#include "ui/DialogUnits.h"

namespace verup {
namespace {

TEST(DialogUnits, RoundingOfBaseUnitsAndConversionsKeepsNeighboursFlush)
{
    // The rounded average width of the 52 letters.
    EXPECT_EQ(BaseUnitsFromFont(337, 13).x, 6);  // 6.48
    EXPECT_EQ(BaseUnitsFromFont(351, 13).x, 7);  // 6.75
    // Halves round away from zero.
    EXPECT_EQ(MulDiv(-5, 6, 4), -8);
    const DialogBaseUnits units{7, 17};
    const PixelRect left = ToPixels({7, 79, 33, 8}, units);
    EXPECT_EQ(left.x + left.width, ToPixels({40, 76, 160, 15}, units).x);
}

TEST(DialogTemplates, MainDialogHalfHeightShowsExactlyThePartAboveTheDebugArea)
{
    const DialogTemplate& main = GetDialogTemplate(IDD_UPDATE_DIALOG);
    for (const DialogBaseUnits units : {DialogBaseUnits{6, 12}, DialogBaseUnits{7, 17}, DialogBaseUnits{9, 22}}) {
        const int half = MainClientHeight(false, units);
        for (const TemplateControl& control : main.controls) {
            const PixelRect r = ToPixels(control.rect, units);
            if (control.rect.y >= kDebugAreaTopDu)
                EXPECT_GE(r.y, half) << "control " << control.id << " shows at half height";
            else
                EXPECT_LE(r.y + r.height, half) << "control " << control.id << " is cut at half height";
        }
    }
}

}  // namespace
}  // namespace verup
