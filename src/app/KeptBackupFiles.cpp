// Naming, noting and finding the settings files the tool keeps in the state folder.
#include <ctime>

#include "app/CUpdateDlg.h"
#include "platform/Cp932.h"
#include "platform/SerialPortNames.h"
#include "settings/KeptBackups.h"

namespace verup {
namespace {

// A MAC address as "show version" gives it: six pairs of hexadecimal digits, ':' or '-' between.
bool LooksLikeMac(const std::string& text)
{
    if (text.size() != 17)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (i % 3 == 2 ? (c != ':' && c != '-') : !hex)
            return false;
    }
    return text != "00:00:00:00:00:00";
}

}  // namespace

std::string CUpdateDlg::DeviceMac() const
{
    // The wired port first: it is the one every device of the product has.
    for (const std::string* text : {&Device_.Eth0MacText, &Device_.Eth1MacText, &Device_.Wl0MacText, &Device_.Usb0MacText})
        if (LooksLikeMac(*text))
            return FileNameSafe(*text);
    return std::string();
}

std::string CUpdateDlg::LinkText() const
{
    if (LinkKind_ != 0)
        return "LAN " + DeviceAddress_;
    return PortName() + " " + ResolvePortName(PortName());
}

std::string CUpdateDlg::DeviceFileTag() const
{
    const std::string mac = DeviceMac();
    if (!mac.empty())
        return mac;
    return FileNameSafe(LinkKind_ != 0 ? DeviceAddress_ : ResolvePortName(PortName()));
}

void CUpdateDlg::LookForKeptBackups()
{
    Carrier_.BackupFilePath =
        FreeKeptFilePath(env_.StateDirectory, kSettingsBackupPrefix, DeviceFileTag(), std::time(nullptr),
                         kSettingsBackupExtension);
    KeptBackups_ = KeptBackupsOf(env_.StateDirectory, DeviceMac(), LinkText());
    for (const KeptBackup& kept : KeptBackups_)
        Report(-1, "settings kept by an earlier run for this device: " + kept.Path + "\r\n");
}

BackupNote CUpdateDlg::NewBackupNote(const char* kind) const
{
    BackupNote note;
    note.Kind = kind;
    note.Device = DeviceFileTag();
    note.Mac = DeviceMac();
    note.Link = LinkText();
    note.Time = ReadableUtcTime(std::time(nullptr));
    note.Firmware = Cp932ToUtf8(CurrentVersionText());
    return note;
}

void CUpdateDlg::NoteBackupFile(const std::string& path)
{
    BackupNote note = NewBackupNote("settings");
    note.Layout = Carrier_.SettingsLayoutName;
    for (int b = 1; b <= Carrier_.SettingsLayout.BlockCount; ++b)
        note.Items += Carrier_.SettingsLayout.Items(b);
    std::string error;
    // The backup stays usable without its note; `verup settings list` then knows less of it.
    if (!WriteBackupNote(path, note, error))
        Report(-1, "settings backup note not written: " + error + "\r\n");
}

}  // namespace verup
