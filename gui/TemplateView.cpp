#include "TemplateView.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <algorithm>

#include "platform/Cp932.h"

namespace verup::gui {
namespace {

constexpr int kDialogFontPoints = 9;
constexpr const char* kDialogFontFamily = "Noto Sans CJK JP";

QWidget* MakeControl(const TemplateControl& control, QWidget* parent)
{
    const QString text = FromCp932(control.text);
    switch (control.kind) {
    case ControlKind::Static:
    case ControlKind::StaticCentre:
    case ControlKind::StaticRight: {
        auto* label = new QLabel(text, parent);
        Qt::Alignment align = Qt::AlignLeft;
        if (control.kind == ControlKind::StaticCentre)
            align = Qt::AlignHCenter;
        else if (control.kind == ControlKind::StaticRight)
            align = Qt::AlignRight;
        label->setAlignment(align | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
        return label;
    }
    case ControlKind::GroupBox:
        return new QGroupBox(text, parent);
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: {
        auto* button = new QPushButton(text, parent);
        button->setAutoDefault(control.kind == ControlKind::DefaultPushButton);
        return button;
    }
    case ControlKind::RadioButton:
        return new QRadioButton(text, parent);
    case ControlKind::ComboBox:
        return new QComboBox(parent);
    case ControlKind::Edit:
        return new QLineEdit(text, parent);
    case ControlKind::LogEdit: {
        auto* log = new QPlainTextEdit(parent);
        log->setReadOnly(true);
        log->setLineWrapMode(QPlainTextEdit::NoWrap);
        return log;
    }
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(parent);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        return bar;
    }
    case ControlKind::Icon: {
        auto* icon = new QLabel(parent);
        icon->setPixmap(parent->style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32));
        icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return icon;
    }
    }
    return new QWidget(parent);
}

}  // namespace

QFont DialogFont()
{
    QFont font(QString::fromLatin1(kDialogFontFamily), kDialogFontPoints);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

DialogBaseUnits BaseUnitsFor(const QFont& font)
{
    const QFontMetrics metrics(font);
    return BaseUnitsFromFont(metrics.horizontalAdvance(QString::fromLatin1(kBaseUnitAlphabet)), metrics.height());
}

QString FromCp932(std::string_view cp932)
{
    QString text = QString::fromStdString(Cp932ToUtf8(cp932));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

void FitLabelWidth(QLabel* label)
{
    QWidget* parent = label->parentWidget();
    if (parent == nullptr || label->text().isEmpty())
        return;
    constexpr int kMargin = 2;
    const int needed = label->fontMetrics().horizontalAdvance(label->text()) + kMargin;
    QRect r = label->geometry();
    if (needed <= r.width())
        return;
    const int room = parent->width() - 2 * kMargin;
    const int width = std::min(needed, room);
    if (label->alignment() & Qt::AlignHCenter)
        r.moveLeft(r.center().x() - width / 2);
    else if (label->alignment() & Qt::AlignRight)
        r.moveLeft(r.right() - width + 1);
    r.setWidth(width);
    r.moveLeft(std::clamp(r.left(), kMargin, std::max(kMargin, parent->width() - kMargin - width)));
    label->setGeometry(r);
}

TemplateView::TemplateView(const DialogTemplate& dialog_template, QWidget* parent)
    : template_(dialog_template), units_(BaseUnitsFor(parent->font())), parent_(parent)
{
    int unnamed = 0;
    auto place = [&](const TemplateControl& control) {
        QWidget* widget = MakeControl(control, parent);
        const PixelRect r = ToPixels(control.rect, units_);
        // A drop-down list's template height includes its list; the closed box is one line.
        const int height = control.kind == ControlKind::ComboBox ? widget->sizeHint().height() : r.height;
        widget->setGeometry(r.x, r.y, r.width, height);
        if (control.id == NO_CONTROL_ID) {
            widget->setObjectName(QStringLiteral("static%1").arg(unnamed++));
            if (auto* label = qobject_cast<QLabel*>(widget))
                fixed_labels_.push_back(label);
        } else {
            widget->setObjectName(QStringLiteral("ctl%1").arg(control.id));
            controls_.insert(control.id, widget);
        }
    };
    for (const TemplateControl& control : template_.controls)
        if (control.kind == ControlKind::GroupBox)
            place(control);
    for (const TemplateControl& control : template_.controls)
        if (control.kind != ControlKind::GroupBox)
            place(control);
}

void TemplateView::FitFixedTexts(QSize client)
{
    parent_->resize(client);
    for (QLabel* label : fixed_labels_)
        FitLabelWidth(label);
}

QSize TemplateView::ClientSize() const
{
    return QSize(DuToPixelsX(template_.width, units_), DuToPixelsY(template_.height, units_));
}

}  // namespace verup::gui
