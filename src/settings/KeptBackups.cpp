#include "settings/KeptBackups.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Paths.h"
#include "platform/Process.h"

namespace verup {
namespace {

// The name older versions kept a backup under.
constexpr char kFixedBackupName[] = "7300qb.tmp";
constexpr std::size_t kMaxNoteBytes = 4096;
constexpr std::time_t kTemporaryFileStaleSeconds = 3600;
constexpr int kMaxSameSecondFiles = 99;

bool EndsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

bool StartsWith(std::string_view text, std::string_view start) { return text.substr(0, start.size()) == start; }

std::string FormatUtc(std::time_t when, const char* format)
{
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    char text[32];
    std::strftime(text, sizeof text, format, &utc);
    return text;
}

// A note's values stay on their line.
std::string OneLine(std::string_view value)
{
    std::string line(value);
    std::replace_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return line;
}

}  // namespace

std::string FileNameSafe(std::string_view text)
{
    std::string safe;
    for (const char c : text) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                          c == '_' || c == '-';
        if (keep)
            safe += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        else if (!safe.empty() && safe.back() != '-')
            safe += '-';
    }
    while (!safe.empty() && (safe.back() == '-' || safe.back() == '.'))
        safe.pop_back();
    while (!safe.empty() && (safe.front() == '-' || safe.front() == '.'))
        safe.erase(safe.begin());
    return safe.empty() ? std::string("unknown") : safe;
}

std::string CompactUtcTime(std::time_t when) { return FormatUtc(when, "%Y%m%dT%H%M%SZ"); }

std::string ReadableUtcTime(std::time_t when) { return FormatUtc(when, "%Y-%m-%dT%H:%M:%SZ"); }

std::string FreeKeptFilePath(const std::string& folder, std::string_view prefix, const std::string& device,
                             std::time_t when, std::string_view extension)
{
    const std::string stem = std::string(prefix) + device + "-" + CompactUtcTime(when);
    for (int n = 1; n <= kMaxSameSecondFiles; ++n) {
        std::string name = stem;
        if (n > 1)
            name += "-" + std::to_string(n);
        name += extension;
        std::string path = JoinPath(folder, name);
        if (!FileExists(path) && !FileExists(NotePathOf(path)))
            return path;
    }
    return std::string();
}

std::string NotePathOf(const std::string& backup_path) { return backup_path + kBackupNoteExtension; }

bool WriteBackupNote(const std::string& backup_path, const BackupNote& note, std::string& error)
{
    std::ostringstream text;
    text << "kind=" << OneLine(note.Kind) << "\n"
         << "device=" << OneLine(note.Device) << "\n"
         << "mac=" << OneLine(note.Mac) << "\n"
         << "link=" << OneLine(note.Link) << "\n"
         << "time=" << OneLine(note.Time) << "\n"
         << "firmware=" << OneLine(note.Firmware) << "\n"
         << "layout=" << OneLine(note.Layout) << "\n"
         << "items=" << note.Items << "\n";
    const std::string path = NotePathOf(backup_path);
    if (!WriteFileAtomically(path, text.str(), 0600)) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool ReadBackupNote(const std::string& backup_path, BackupNote& note)
{
    FileInfo file;
    const std::string path = NotePathOf(backup_path);
    if (!IsRegularFile(path, &file) || file.Size > kMaxNoteBytes)
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    note = BackupNote{};
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (key == "kind")
            note.Kind = value;
        else if (key == "device")
            note.Device = value;
        else if (key == "mac")
            note.Mac = value;
        else if (key == "link")
            note.Link = value;
        else if (key == "time")
            note.Time = value;
        else if (key == "firmware")
            note.Firmware = value;
        else if (key == "layout")
            note.Layout = value;
        else if (key == "items")
            note.Items = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
    }
    return !note.Kind.empty();
}

bool RemoveKeptBackup(const std::string& backup_path)
{
    const bool file_gone = RemoveFile(backup_path);
    return RemoveFile(NotePathOf(backup_path)) && file_gone;
}

std::vector<KeptBackup> ListKeptBackups(const std::string& folder)
{
    std::vector<std::pair<std::time_t, KeptBackup>> found;
    for (const std::string& name : FolderEntries(folder)) {
        const bool settings = (StartsWith(name, kSettingsBackupPrefix) && EndsWith(name, kSettingsBackupExtension)) ||
                              name == kFixedBackupName;
        const bool area = StartsWith(name, kSettingsAreaPrefix) && EndsWith(name, kSettingsAreaExtension);
        if (!settings && !area)
            continue;
        KeptBackup kept;
        kept.Path = JoinPath(folder, name);
        FileInfo file;
        if (!IsRegularFile(kept.Path, &file))
            continue;
        kept.HasNote = ReadBackupNote(kept.Path, kept.Note);
        if (!kept.HasNote) {
            kept.Note.Kind = settings ? "settings" : "area31";
            kept.Note.Time = ReadableUtcTime(file.Modified);
        }
        found.emplace_back(file.Modified, std::move(kept));
    }
    // Newest first; the name (with its time) breaks ties within a second.
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a.second.Note.Time != b.second.Note.Time)
            return a.second.Note.Time > b.second.Note.Time;
        return a.second.Path > b.second.Path;
    });
    std::vector<KeptBackup> list;
    for (auto& entry : found)
        list.push_back(std::move(entry.second));
    return list;
}

std::vector<KeptBackup> KeptBackupsOf(const std::string& folder, const std::string& mac, const std::string& link)
{
    std::vector<KeptBackup> mine;
    for (KeptBackup& kept : ListKeptBackups(folder)) {
        if (!kept.HasNote)
            continue;
        const bool same = (!mac.empty() && !kept.Note.Mac.empty()) ? kept.Note.Mac == mac
                                                                    : !link.empty() && kept.Note.Link == link;
        if (same)
            mine.push_back(std::move(kept));
    }
    return mine;
}

std::vector<std::string> CleanLeftTemporaryFiles(const std::string& folder)
{
    std::vector<std::string> lines;
    const std::time_t now = std::time(nullptr);
    for (const std::string& name : FolderEntries(folder)) {
        if (!StartsWith(name, kTemporaryFilePrefix))
            continue;
        const std::string path = JoinPath(folder, name);
        FileInfo file;
        if (!IsRegularFile(path, &file))
            continue;
        const pid_t writer = TemporaryFileWriter(name);
        // Writers hold the lock of this folder, so a temporary file of another live process
        // is not ours to judge: it is only reported.
        const bool writer_alive = writer > 0 && ProcessIsRunning(writer);
        const bool stale = writer > 0 ? !writer_alive || writer == CurrentProcessId()
                                      : now - file.Modified > kTemporaryFileStaleSeconds;
        if (!stale) {
            lines.push_back("temporary file left as it is (" +
                            std::string(writer > 0 ? "its writer, process " + std::to_string(writer) + ", runs"
                                                   : "less than an hour old") +
                            "): " + path);
            continue;
        }
        if (RemoveFile(path))
            lines.push_back("temporary file of an interrupted write deleted: " + path);
        else
            lines.push_back("temporary file of an interrupted write not deleted: " + path + ": " +
                            std::strerror(errno));
    }
    return lines;
}

}  // namespace verup
