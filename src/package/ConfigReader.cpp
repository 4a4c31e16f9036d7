#include "package/ConfigReader.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>


namespace verup {
namespace {

constexpr char kIdeographicSpace[] = "\x81\x40";
constexpr char kToolVersionSuffix[] = "Ver 1.01";

class SectionReader {
public:
    SectionReader(const ProfileSnapshot& file, const char* section, Config& cfg)
        : file_(file), section_(section), cfg_(cfg)
    {
    }

    int Int(const char* key, int def = 0)
    {
        Note(key);
        return file_.GetInt(section_, key, def);
    }
    std::string Text(const char* key, std::size_t buffer = kProfileTextBuffer)
    {
        Note(key);
        return file_.GetString(section_, key, "", buffer);
    }
    // strtoul with base 16 on a 32-bit unsigned long: "0x" optional, overflow saturates.
    uint32_t Hex(const char* key)
    {
        const std::string text = Text(key);
        const unsigned long long value = std::strtoull(text.c_str(), nullptr, 16);
        return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(value);
    }
    double Real(const char* key)
    {
        const std::string text = Text(key);
        return std::strtod(text.c_str(), nullptr);
    }

private:
    void Note(const char* key)
    {
        if (!file_.HasKey(section_, key))
            cfg_.DefaultedKeys.push_back(std::string(section_) + "." + key);
    }

    const ProfileSnapshot& file_;
    const char* section_;
    Config& cfg_;
};

// atoi without its undefined behaviour on overflow.
int TextToInt(const std::string& text)
{
    const long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

}  // namespace

void ReadConfig(const ProfileFile& file, Config& cfg) { ReadConfig(file.Read(), cfg); }

void ReadConfig(const ProfileSnapshot& file, Config& cfg)
{
    cfg.DefaultedKeys.clear();

    SectionReader mode(file, "MODE", cfg);
    cfg.DEBUG = mode.Int("DEBUG");
    cfg.SEL = mode.Int("SEL");
    cfg.RETRY = mode.Int("RETRY");
    cfg.CRC = mode.Int("CRC");
    cfg.AUTO = mode.Int("AUTO");
    cfg.SAVE = mode.Int("SAVE");
    cfg.LANBOOT = mode.Int("LANBOOT");
    cfg.UPLOAD = mode.Int("UPLOAD");

    SectionReader area(file, "AREA", cfg);
    cfg.MAIN = area.Int("MAIN");
    cfg.FPGA = area.Int("FPGA");
    cfg.DATA = area.Int("DATA");
    cfg.PROG_RAM_STR_ADR = area.Hex("PROG_RAM_STR_ADR");
    cfg.PROG_RAM_END_ADR = area.Hex("PROG_RAM_END_ADR");
    cfg.FRAM_END_ADR = area.Hex("FRAM_END_ADR");
    cfg.CHECK_SUM_ADR = area.Hex("CHECK_SUM_ADR");
    cfg.SECT_END_ADR = area.Hex("SECT_END_ADR");
    cfg.FPGA_DATA_LEN = area.Hex("FPGA_DATA_LEN");
    cfg.FPGA1_STR_ADR = area.Hex("FPGA1_STR_ADR");
    cfg.FPGA2_STR_ADR = area.Hex("FPGA2_STR_ADR");

    SectionReader verup(file, "VERUP", cfg);
    cfg.NAME1 = verup.Text("NAME1");
    cfg.NAME2 = verup.Text("NAME2");
    cfg.KIKI1 = verup.Text("KIKI1");
    cfg.KIKI2 = verup.Text("KIKI2");
    cfg.FRM_VER = verup.Real("FRM_VER");
    cfg.TEL_VER = verup.Real("TEL_VER");
    // Every cut of a version text goes into a 30-character field: a longer length would
    // run past it.
    cfg.NUM_LEN = std::clamp(verup.Int("NUM_LEN"), 0, kMaxVersionTextLength);
    cfg.NUM = verup.Text("NUM", kMaxVersionTextLength + 1);
    cfg.REV_VER = TextToInt(verup.Text("REV_VER"));
    cfg.FP_LEN = std::clamp(verup.Int("FP_LEN"), 0, kMaxFpgaParams);
    cfg.FpgaParams1.fill(0);
    cfg.FpgaParams2.fill(0);
    for (int i = 0; i < cfg.FP_LEN; ++i) {
        char first[16];
        char second[16];
        std::snprintf(first, sizeof first, "FP%02X", i);
        std::snprintf(second, sizeof second, "FP%02X", i + 16);
        cfg.FpgaParams1[i] = static_cast<int8_t>(verup.Int(first));
        cfg.FpgaParams2[i] = static_cast<int8_t>(verup.Int(second));
    }
    cfg.N_SAVE = ReadSettingsLayout(file, "N_SAVE");
    cfg.O_SAVE = ReadSettingsLayout(file, "O_SAVE");
    cfg.C_DATA = ReadSettingsLayout(file, "C_DATA");
    cfg.C_SAVE = ReadSettingsLayout(file, "C_SAVE");
}

SettingsLayoutTable ReadSettingsLayout(const ProfileFile& file, std::string_view section)
{
    return ReadSettingsLayout(file.Read(), section);
}

SettingsLayoutTable ReadSettingsLayout(const ProfileSnapshot& file, std::string_view section)
{
    SettingsLayoutTable table;
    const int count = file.GetInt(section, "NUM", 0);
    table.BlockCount = std::clamp(count, 0, kMaxSettingsBlocks);
    table.Capped = count > kMaxSettingsBlocks;
    table.ItemCounts.resize(static_cast<std::size_t>(table.BlockCount), 0);
    for (int i = 1; i <= table.BlockCount; ++i) {
        const int items = file.GetInt(section, std::to_string(i), 0);
        if (items > kMaxSettingsItems)
            table.Capped = true;
        table.ItemCounts[static_cast<std::size_t>(i - 1)] = std::clamp(items, 0, kMaxSettingsItems);
    }
    return table;
}

std::string CutText(std::string_view text, int length)
{
    if (length <= 0)
        return std::string();
    return std::string(text.substr(0, static_cast<std::size_t>(length)));
}

std::string MakeTitleText(const Config& cfg)
{
    return cfg.NAME1 + kIdeographicSpace + cfg.NAME2;
}

std::string MakeTitleVersionText(const std::string& title_text)
{
    return title_text + kIdeographicSpace + kToolVersionSuffix;
}

std::string LayoutText(const SettingsLayoutTable& table)
{
    std::string text = std::to_string(table.BlockCount) + " blocks";
    if (table.BlockCount > 0) {
        text += ", items per block:";
        for (int count : table.ItemCounts)
            text += " " + std::to_string(count);
    }
    if (table.Capped)
        text += " (capped to 128 blocks of at most 1024 items)";
    return text;
}

}  // namespace verup
