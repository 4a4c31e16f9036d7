#pragma once
// The dialog resources as data: every window of the tool is laid out from one of these, in
// dialog units. Texts are CP932 bytes.
#include <string_view>
#include <vector>

#include "ui/DialogUnits.h"

namespace verup {

enum class ControlKind {
    Static,         // left-aligned text
    StaticCentre,   // centred text
    StaticRight,    // right-aligned text
    GroupBox,
    PushButton,
    DefaultPushButton,
    RadioButton,
    ComboBox,       // drop-down list
    Edit,
    LogEdit,        // multi-line, read-only, scrolling
    ProgressBar,
    Icon,
};

inline constexpr int NO_CONTROL_ID = -1;

struct TemplateControl {
    int id;
    ControlKind kind;
    std::string_view text;
    DuRect rect;
};

struct DialogTemplate {
    int id;
    std::string_view caption;
    int width;
    int height;
    std::vector<TemplateControl> controls;

    const TemplateControl* Find(int control_id) const;
};

// Template numbers
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_UPDATE_DIALOG = 102;
inline constexpr int IDD_PORT_SELECT = 129;
inline constexpr int IDD_WAIT = 130;
inline constexpr int IDD_IP_ADDRESS = 131;
inline constexpr int IDD_COM_PORT = 132;

// Control ids
inline constexpr int IDC_OK = 1;
inline constexpr int IDC_CANCEL = 2;
inline constexpr int IDC_RADIO_SERIAL = 1000;
inline constexpr int IDC_RADIO_LAN = 1001;
inline constexpr int IDC_ADDRESS = 1002;
inline constexpr int IDC_PROGRESS = 1004;
inline constexpr int IDC_START = 1006;
inline constexpr int IDC_STATUS = 1007;
inline constexpr int IDC_DEBUG_LOG = 1008;
inline constexpr int IDC_COM_COMBO = 1009;
inline constexpr int IDC_CURRENT_VERSION = 1010;
inline constexpr int IDC_NOTICE = 1011;
inline constexpr int IDC_NEW_VERSION = 1012;
inline constexpr int IDC_CLOSE = 1013;
inline constexpr int IDC_ABOUT_TEXT1 = 1014;
inline constexpr int IDC_ABOUT_TEXT2 = 1015;
inline constexpr int IDC_HEADER = 1016;

// Everything of the main dialog from this y down is the debug area.
inline constexpr int kDebugAreaTopDu = 131;

const DialogTemplate& GetDialogTemplate(int template_id);

// Client heights of the main dialog: the full template, or only the part above the debug area.
int MainClientHeight(bool full_height, DialogBaseUnits units);

}  // namespace verup
