#pragma once
// A dialog box built from a template: fixed size, the template's caption, the dialog font.
// Escape does nothing (only "終了" or closing the box cancels) and F1 asks for no help.
#include <QDialog>

#include <memory>

#include "TemplateView.h"

namespace verup::gui {

class TemplateDialog : public QDialog {
    Q_OBJECT
public:
    TemplateDialog(int template_id, QWidget* parent, Qt::WindowFlags flags = Qt::Dialog);

    QWidget* Control(int id) const { return view_->Control(id); }
    template <class W>
    W* ControlAs(int id) const { return view_->ControlAs<W>(id); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<TemplateView> view_;
};

}  // namespace verup::gui
