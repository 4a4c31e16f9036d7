#pragma once
// The connection dialog that SEL asks for: the address only (template 131, SEL 0), the COM
// port only (template 132, SEL 1), or both with the choice between them (template 129). The
// decisions and the writes to verup.dat are the models' (src/ui); this class mirrors them.
#include <memory>
#include <optional>

#include "TemplateDialog.h"
#include "app/DialogHost.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace verup {
class CComPortDlg;
class CIpAddressDlg;
class CPortSelectDlg;
}  // namespace verup

namespace verup::gui {

class ConnectionDialog : public TemplateDialog {
    Q_OBJECT
public:
    ConnectionDialog(const ConnectionRequest& request, QWidget* parent);
    ~ConnectionDialog() override;

    static int TemplateFor(int sel);
    // Set after "接続" closed the dialog.
    const std::optional<ConnectionResult>& Result() const { return result_; }

public slots:
    void accept() override;

private:
    void ShowModel();
    void ReadControls();

    std::unique_ptr<CIpAddressDlg> ip_;
    std::unique_ptr<CComPortDlg> com_;
    std::unique_ptr<CPortSelectDlg> both_;
    QComboBox* combo_ = nullptr;
    QLineEdit* address_ = nullptr;
    QRadioButton* serial_ = nullptr;
    QRadioButton* lan_ = nullptr;
    std::optional<ConnectionResult> result_;
};

}  // namespace verup::gui
