#pragma once
// The frameless "しばらくお待ちください！" box (template 130) that covers the start-up. It has
// no buttons and reacts to nothing; its owner destroys it.
#include "TemplateDialog.h"

namespace verup::gui {

class WaitDialog : public TemplateDialog {
    Q_OBJECT
public:
    explicit WaitDialog(QWidget* owner);
    // Centred over the owner when it is shown, else where the window system puts it.
    void ShowOverOwner();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace verup::gui
