#include "Inspection.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "image/ImageBuilder.h"

namespace devsim {

std::string DescribeDevice(SimDevice& device)
{
    std::string out;
    char line[256];
    const auto program = device.ProgramInFlash();
    const std::string version = FindVersionText(program);
    const uint16_t flash_sum = device.FlashChecksum();
    const bool valid = flash_sum == 0 && !version.empty();
    if (device.BootCount() > 0) {
        std::snprintf(line, sizeof line, "mode: %s\n", RunModeName(device.Mode()));
        out += line;
    }
    out += "program in flash: " + std::string(valid ? "valid" : "NOT VALID") + "\n";
    out += std::string("next start: ") + (valid ? "firmware" : "boot monitor") + "\n";
    out += "program version text: " + (version.empty() ? std::string("(none)") : version) + "\n";
    if (device.Mode() == RunMode::Firmware)
        out += "running version: " + device.VersionText() + "\n";
    std::snprintf(line, sizeof line, "flash checksum (cs): %04X\n", flash_sum);
    out += line;
    const auto& cfg = device.Profile().Cfg;
    for (int area = 0; area < SimDevice::kAreaCount; ++area) {
        const auto bytes = device.Area(area);
        const bool erased = std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0xFF; });
        if (erased)
            continue;
        std::string role;
        if (area == SimDevice::kBootArea)
            role = "flash monitor";
        else if (area == SimDevice::kSettingsArea)
            role = "settings";
        else if (area == cfg.DATA)
            role = "data";
        else if (area == cfg.FPGA)
            role = "FPGA";
        else if (area >= 1 && area <= cfg.MAIN)
            role = "program";
        const std::size_t used = static_cast<std::size_t>(
            std::find_if(bytes.rbegin(), bytes.rend(), [](uint8_t b) { return b != 0xFF; }).base() - bytes.begin());
        std::snprintf(line, sizeof line, "area %2d %-13s written up to 0x%05zX, word sum %04X\n", area, role.c_str(), used,
                      verup::SumImageWords(bytes, 0, bytes.size() - 1));
        out += line;
    }
    const auto settings = device.SavedSettings();
    if (!settings) {
        out += "settings: none saved\n";
        return out;
    }
    std::snprintf(line, sizeof line, "settings (%s layout, %d blocks):\n", settings->NewLayout ? "new" : "old",
                  settings->BlockCount());
    out += line;
    for (int b = 1; b <= settings->BlockCount(); ++b) {
        const auto& items = settings->Blocks[static_cast<std::size_t>(b - 1)];
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::snprintf(line, sizeof line, "  %d.%zu = ", b, i + 1);
            out += line + EscapeItem(items[i]) + "\n";
        }
    }
    return out;
}

bool DumpArea(SimDevice& device, int area, const std::string& path, std::string* error)
{
    const auto bytes = device.Area(area);
    if (bytes.empty()) {
        if (error)
            *error = "no flash area " + std::to_string(area);
        return false;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        if (error)
            *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace devsim
