#include "WaitDialog.h"

#include <QCloseEvent>
#include <QPainter>

namespace verup::gui {

WaitDialog::WaitDialog(QWidget* owner) : TemplateDialog(IDD_WAIT, owner, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("WaitDialog"));
    setModal(false);
}

void WaitDialog::ShowOverOwner()
{
    if (QWidget* owner = parentWidget(); owner != nullptr && owner->isVisible()) {
        const QRect frame = owner->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
}

void WaitDialog::paintEvent(QPaintEvent* event)
{
    TemplateDialog::paintEvent(event);
    // Without a caption the box still needs its frame to stand out from what is below it.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void WaitDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

}  // namespace verup::gui
