#include "ConnectionDialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "platform/Cp932.h"
#include "ui/CComPortDlg.h"
#include "ui/CIpAddressDlg.h"
#include "ui/CPortSelectDlg.h"
#include "ui/ComSelection.h"
#include "ui/ConnectionTexts.h"

namespace verup::gui {
namespace {

constexpr int kSelLanOnly = 0;
constexpr int kSelSerialOnly = 1;

}  // namespace

int ConnectionDialog::TemplateFor(int sel)
{
    if (sel == kSelLanOnly)
        return IDD_IP_ADDRESS;
    if (sel == kSelSerialOnly)
        return IDD_COM_PORT;
    return IDD_PORT_SELECT;
}

ConnectionDialog::ConnectionDialog(const ConnectionRequest& request, QWidget* parent)
    : TemplateDialog(TemplateFor(request.SEL), parent)
{
    combo_ = ControlAs<QComboBox>(IDC_COM_COMBO);
    address_ = ControlAs<QLineEdit>(IDC_ADDRESS);
    serial_ = ControlAs<QRadioButton>(IDC_RADIO_SERIAL);
    lan_ = ControlAs<QRadioButton>(IDC_RADIO_LAN);
    if (combo_ != nullptr) {
        for (int i = 0; i < COM_ENTRY_COUNT; ++i)
            combo_->addItem(FromCp932(ComEntryText(i)));
        // The box keeps its size; its list is as wide as the longest port path.
        combo_->view()->setMinimumWidth(combo_->view()->sizeHintForColumn(0) + combo_->iconSize().width());
    }
    if (address_ != nullptr)
        address_->setMaxLength(static_cast<int>(kAddressMaxChars));

    std::string header;
    switch (TemplateFor(request.SEL)) {
    case IDD_IP_ADDRESS:
        ip_ = std::make_unique<CIpAddressDlg>(request.ConfigFilePath);
        ip_->SetHeaderText(request.TitleText);
        ip_->OnInitDialog();
        header = ip_->HeaderText();
        break;
    case IDD_COM_PORT:
        com_ = std::make_unique<CComPortDlg>(request.ConfigFilePath);
        com_->AUTO = request.AUTO;
        com_->SetHeaderText(request.TitleText);
        com_->OnInitDialog();
        header = com_->HeaderText();
        break;
    default:
        both_ = std::make_unique<CPortSelectDlg>(request.ConfigFilePath);
        both_->AUTO = request.AUTO;
        both_->SetHeaderText(request.TitleText);
        both_->OnInitDialog();
        header = both_->HeaderText();
        connect(serial_, &QRadioButton::clicked, this, [this] {
            ReadControls();
            both_->OnSerialRadio();
            ShowModel();
        });
        connect(lan_, &QRadioButton::clicked, this, [this] {
            ReadControls();
            both_->OnLanRadio();
            ShowModel();
        });
        break;
    }
    ControlAs<QLabel>(IDC_HEADER)->setText(FromCp932(header));
    FitLabelWidth(ControlAs<QLabel>(IDC_HEADER));
    connect(ControlAs<QPushButton>(IDC_OK), &QPushButton::clicked, this, &ConnectionDialog::accept);
    connect(ControlAs<QPushButton>(IDC_CANCEL), &QPushButton::clicked, this, &ConnectionDialog::reject);
    ControlAs<QPushButton>(IDC_OK)->setDefault(true);
    ShowModel();
}

ConnectionDialog::~ConnectionDialog() = default;

void ConnectionDialog::ShowModel()
{
    if (ip_) {
        address_->setText(FromCp932(ip_->AddressText));
    } else if (com_) {
        combo_->setCurrentIndex(com_->ComSelection);
        combo_->setEnabled(com_->ComboEnabled);
    } else {
        combo_->setCurrentIndex(both_->ComSelection);
        combo_->setEnabled(both_->ComboEnabled);
        address_->setText(FromCp932(both_->AddressText));
        address_->setEnabled(both_->AddressEnabled);
        // Radio buttons are only ever checked here: a stored PORT other than 0 and 1 leaves both clear.
        if (both_->CheckedRadio == 0)
            serial_->setChecked(true);
        else if (both_->CheckedRadio == 1)
            lan_->setChecked(true);
    }
}

void ConnectionDialog::ReadControls()
{
    if (ip_) {
        ip_->AddressText = Utf8ToCp932(address_->text().toStdString());
    } else if (com_) {
        com_->ComSelection = combo_->currentIndex();
    } else {
        both_->ComSelection = combo_->currentIndex();
        both_->AddressText = Utf8ToCp932(address_->text().toStdString());
        both_->CheckedRadio = serial_->isChecked() ? 0 : (lan_->isChecked() ? 1 : -1);
    }
}

void ConnectionDialog::accept()
{
    ReadControls();
    ConnectionResult result;
    if (ip_) {
        ip_->OnOK();
        result.LinkKind = 1;
        result.DeviceAddress = ip_->ResultAddress;
    } else if (com_) {
        com_->OnOK();
        result.LinkKind = 0;
        result.ComPortNumber = com_->ComChoice;
    } else {
        const ConnectOutcome outcome = both_->OnOK();
        if (!outcome.Closed) {
            QMessageBox box(QMessageBox::Critical, FromCp932(outcome.MessageCaption), FromCp932(outcome.MessageText),
                            QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("MessageBox"));
            box.exec();
            return;
        }
        result.LinkKind = both_->LinkResult;
        result.ComPortNumber = both_->ComChoice;
        result.DeviceAddress = both_->ResultAddress;
    }
    result_ = result;
    QDialog::accept();
}

}  // namespace verup::gui
