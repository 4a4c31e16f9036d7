#pragma once
// The version-information box (template 100) with the product names from verup.dat.
#include <string>

#include "TemplateDialog.h"

namespace verup::gui {

class AboutDialog : public TemplateDialog {
    Q_OBJECT
public:
    // Both texts are CP932 (NAME1 and NAME2).
    AboutDialog(const std::string& text1, const std::string& text2, QWidget* parent);
};

}  // namespace verup::gui
