#include "TemplateDialog.h"

#include <QKeyEvent>

namespace verup::gui {

TemplateDialog::TemplateDialog(int template_id, QWidget* parent, Qt::WindowFlags flags) : QDialog(parent, flags)
{
    setFont(DialogFont());
    const DialogTemplate& dialog_template = GetDialogTemplate(template_id);
    setWindowTitle(FromCp932(dialog_template.caption));
    view_ = std::make_unique<TemplateView>(dialog_template, this);
    setFixedSize(view_->ClientSize());
    view_->FitFixedTexts(view_->ClientSize());
}

void TemplateDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_F1) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace verup::gui
