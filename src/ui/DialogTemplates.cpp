#include "ui/DialogTemplates.h"

#include <stdexcept>
#include <string>

namespace verup {
namespace {

using K = ControlKind;
constexpr int N = NO_CONTROL_ID;

// "接続", "終了", "ポート選択", "COMポート", "ＩＰアドレス"
constexpr std::string_view kConnect = "\x90\xda\x91\xb1";
constexpr std::string_view kQuit = "\x8f\x49\x97\xb9";
constexpr std::string_view kPortGroup = "\x83\x7c\x81\x5b\x83\x67\x91\x49\x91\xf0";
constexpr std::string_view kComLabel = "COM\x83\x7c\x81\x5b\x83\x67";
constexpr std::string_view kAddressLabel = "\x82\x68\x82\x6f\x83\x41\x83\x68\x83\x8c\x83\x58";
// "接続ポート設定"
constexpr std::string_view kConnectionCaption = "\x90\xda\x91\xb1\x83\x7c\x81\x5b\x83\x67\x90\xdd\x92\xe8";

DialogTemplate MainDialog()
{
    return DialogTemplate{
        IDD_UPDATE_DIALOG,
        // "NEXAVO7300QBバージョンアップ・プログラム"
        "NEXAVO7300QB\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x81\x45\x83\x76\x83\x8d\x83\x4f\x83\x89\x83\x80",
        215,
        257,
        {
            {N, K::GroupBox, "\x8f\xee\x95\xf1", {7, 12, 201, 55}},  // "情報"
            {N, K::GroupBox, "\x83\x66\x83\x6f\x83\x62\x83\x4e", {7, 131, 201, 119}},  // "デバック"
            {IDC_CURRENT_VERSION, K::StaticCentre, "Version x.xx", {35, 5, 75, 8}},
            {N, K::Static, "->", {115, 5, 8, 8}},
            {IDC_NEW_VERSION, K::StaticCentre, "Version x.xx", {125, 5, 80, 8}},
            {IDC_STATUS, K::Static, "", {33, 28, 167, 8}},
            {IDC_NOTICE, K::Static, "", {33, 48, 167, 8}},
            {N, K::Static, "\x90\x69\x8d\x73\x8f\xf3\x8b\xb5\x81\x46", {7, 79, 32, 8}},  // "進行状況："
            {IDC_PROGRESS, K::ProgressBar, "", {40, 76, 160, 15}},
            {IDC_START, K::PushButton, "\x8a\x4a\x8e\x6e", {102, 98, 50, 14}},  // "開始"
            {IDC_CLOSE, K::PushButton, "\x95\xc2\x82\xb6\x82\xe9", {158, 98, 50, 14}},  // "閉じる"
            {IDC_DEBUG_LOG, K::LogEdit, "", {13, 142, 188, 102}},
        },
    };
}

DialogTemplate PortSelectDialog()
{
    return DialogTemplate{
        IDD_PORT_SELECT,
        kConnectionCaption,
        159,
        139,
        {
            {N, K::GroupBox, kPortGroup, {10, 20, 135, 95}},
            {IDC_HEADER, K::StaticCentre, "Static", {5, 5, 145, 8}},
            {IDC_RADIO_SERIAL, K::RadioButton, "\x83\x56\x83\x8a\x83\x41\x83\x8b", {15, 35, 41, 10}},  // "シリアル"
            {N, K::Static, kComLabel, {30, 55, 42, 8}},
            {IDC_COM_COMBO, K::ComboBox, "", {75, 50, 57, 74}},
            {IDC_RADIO_LAN, K::RadioButton, "\x82\x6b\x82\x60\x82\x6d", {15, 75, 31, 10}},  // "ＬＡＮ"
            {N, K::Static, kAddressLabel, {30, 95, 44, 8}},
            {IDC_ADDRESS, K::Edit, "", {75, 90, 57, 14}},
            {IDC_OK, K::DefaultPushButton, kConnect, {40, 120, 40, 14}},
            {IDC_CANCEL, K::DefaultPushButton, kQuit, {85, 120, 40, 14}},
        },
    };
}

DialogTemplate IpAddressDialog()
{
    return DialogTemplate{
        IDD_IP_ADDRESS,
        kConnectionCaption,
        159,
        85,
        {
            {N, K::GroupBox, kPortGroup, {10, 20, 135, 40}},
            {IDC_HEADER, K::StaticCentre, "Static", {5, 5, 145, 8}},
            {N, K::Static, kAddressLabel, {20, 40, 44, 8}},
            {IDC_ADDRESS, K::Edit, "", {65, 35, 62, 14}},
            {IDC_OK, K::DefaultPushButton, kConnect, {40, 65, 40, 14}},
            {IDC_CANCEL, K::DefaultPushButton, kQuit, {85, 65, 40, 14}},
        },
    };
}

DialogTemplate ComPortDialog()
{
    return DialogTemplate{
        IDD_COM_PORT,
        kConnectionCaption,
        159,
        85,
        {
            {N, K::GroupBox, kPortGroup, {10, 20, 135, 40}},
            {IDC_HEADER, K::StaticCentre, "Static", {5, 5, 145, 8}},
            {N, K::Static, kComLabel, {25, 40, 42, 8}},
            {IDC_COM_COMBO, K::ComboBox, "", {70, 35, 57, 74}},
            {IDC_OK, K::DefaultPushButton, kConnect, {40, 65, 40, 14}},
            {IDC_CANCEL, K::DefaultPushButton, kQuit, {85, 65, 40, 14}},
        },
    };
}

DialogTemplate AboutDialog()
{
    return DialogTemplate{
        IDD_ABOUTBOX,
        "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x8f\xee\x95\xf1",  // "バージョン情報"
        155,
        69,
        {
            {IDC_OK, K::DefaultPushButton, "OK", {100, 50, 50, 14}},
            {N, K::Icon, "", {5, 10, 20, 20}},
            {IDC_ABOUT_TEXT1, K::StaticCentre, "", {25, 10, 123, 8}},
            {IDC_ABOUT_TEXT2, K::StaticRight, "", {35, 25, 106, 8}},
            {N, K::Static, "Version 1.01", {45, 40, 37, 8}},
        },
    };
}

DialogTemplate WaitDialog()
{
    return DialogTemplate{
        IDD_WAIT,
        "",
        129,
        48,
        {
            // "しばらくお待ちください！"
            {N, K::StaticCentre, "\x82\xb5\x82\xce\x82\xe7\x82\xad\x82\xa8\x91\xd2\x82\xbf\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x49", {7, 19, 115, 8}},
        },
    };
}

}  // namespace

const TemplateControl* DialogTemplate::Find(int control_id) const
{
    for (const auto& control : controls)
        if (control.id == control_id)
            return &control;
    return nullptr;
}

const DialogTemplate& GetDialogTemplate(int template_id)
{
    static const DialogTemplate kMain = MainDialog();
    static const DialogTemplate kPortSelect = PortSelectDialog();
    static const DialogTemplate kIpAddress = IpAddressDialog();
    static const DialogTemplate kComPort = ComPortDialog();
    static const DialogTemplate kAbout = AboutDialog();
    static const DialogTemplate kWait = WaitDialog();
    switch (template_id) {
    case IDD_UPDATE_DIALOG: return kMain;
    case IDD_PORT_SELECT: return kPortSelect;
    case IDD_IP_ADDRESS: return kIpAddress;
    case IDD_COM_PORT: return kComPort;
    case IDD_ABOUTBOX: return kAbout;
    case IDD_WAIT: return kWait;
    default: throw std::out_of_range("no dialog template " + std::to_string(template_id));
    }
}

int MainClientHeight(bool full_height, DialogBaseUnits units)
{
    return DuToPixelsY(full_height ? GetDialogTemplate(IDD_UPDATE_DIALOG).height : kDebugAreaTopDu, units);
}

}  // namespace verup
