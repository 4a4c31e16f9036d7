#include "AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "ui/Cp932Text.h"

namespace verup::gui {
namespace {

constexpr std::size_t kAboutTextMaxChars = 128;

}  // namespace

AboutDialog::AboutDialog(const std::string& text1, const std::string& text2, QWidget* parent)
    : TemplateDialog(IDD_ABOUTBOX, parent)
{
    setObjectName(QStringLiteral("AboutDialog"));
    ControlAs<QLabel>(IDC_ABOUT_TEXT1)->setText(FromCp932(CutCp932(text1, kAboutTextMaxChars)));
    ControlAs<QLabel>(IDC_ABOUT_TEXT2)->setText(FromCp932(CutCp932(text2, kAboutTextMaxChars)));
    FitLabelWidth(ControlAs<QLabel>(IDC_ABOUT_TEXT1));
    FitLabelWidth(ControlAs<QLabel>(IDC_ABOUT_TEXT2));
    auto* ok = ControlAs<QPushButton>(IDC_OK);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &AboutDialog::accept);
}

}  // namespace verup::gui
