#pragma once
// Widgets laid out from a dialog template: dialog units become pixels through the base units
// of the dialog font, as the dialog framework computes them.
#include <QFont>
#include <QHash>
#include <QLabel>
#include <QString>
#include <QWidget>

#include <string_view>

#include "ui/DialogTemplates.h"
#include "ui/DialogUnits.h"

namespace verup::gui {

// The dialog font: "Noto Sans CJK JP" 9 pt.
QFont DialogFont();
DialogBaseUnits BaseUnitsFor(const QFont& font);

// CP932 bytes for display; "\r\n" line ends become "\n".
QString FromCp932(std::string_view cp932);

// The dialog font's letters are wider than those the templates were drawn for: a label whose
// text does not fit grows within its parent, keeping its alignment, instead of being cut.
void FitLabelWidth(QLabel* label);

// Builds every control of `dialog_template` as a child of `parent`, each named "ctl<id>"
// (controls without an id are named "static<n>"). Group boxes are created first so that the
// controls they frame stay on top of them.
class TemplateView {
public:
    TemplateView(const DialogTemplate& dialog_template, QWidget* parent);

    QWidget* Control(int id) const { return controls_.value(id, nullptr); }
    template <class W>
    W* ControlAs(int id) const { return qobject_cast<W*>(Control(id)); }

    DialogBaseUnits Units() const { return units_; }
    QSize ClientSize() const;
    int ToPixelsY(int du) const { return DuToPixelsY(du, units_); }
    // Fits the template's own texts once the parent has its client size.
    void FitFixedTexts(QSize client);

private:
    const DialogTemplate& template_;
    DialogBaseUnits units_;
    QWidget* parent_;
    QHash<int, QWidget*> controls_;
    QList<QLabel*> fixed_labels_;
};

}  // namespace verup::gui
