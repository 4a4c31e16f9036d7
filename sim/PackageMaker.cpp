#include "PackageMaker.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "image/SRecordWriter.h"

namespace devsim {
namespace {

constexpr uint32_t kSectorBytes = 65536;
constexpr uint32_t kFpgaDataLen = 0x8000;
constexpr std::size_t kFpgaImageBytes = 4096;
constexpr std::size_t kBootImageBytes = 8192;
// Records short enough for the tool's line tables (47 characters for FPGA lines).
constexpr std::size_t kSectorRecordBytes = 16;
constexpr std::size_t kProgramRecordBytes = 32;
// NAME2 "バージョンアップ・プログラム" in CP932.
constexpr char kName2[] =
    "\x83\x6f\x81\x5b\x83\x57\x83\x87\x83\x93\x83\x41\x83\x62\x83\x76\x81\x45\x83\x76\x83\x8d\x83\x4f\x83\x89\x83\x80";
constexpr int8_t kFpgaParams1[] = {1, 12, -5};
constexpr int8_t kFpgaParams2[] = {2, 3, 4};

// Deterministic filler, so every package of the same options is byte-identical.
class Filler {
public:
    explicit Filler(uint32_t seed) : state_(seed | 1) {}
    uint8_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<uint8_t>(state_ >> 8);
    }

private:
    uint32_t state_;
};

std::vector<uint8_t> Filled(std::size_t size, uint32_t seed, const std::string& tag)
{
    Filler filler(seed);
    std::vector<uint8_t> data(size);
    for (auto& b : data)
        b = filler.Next();
    std::copy(tag.begin(), tag.end(), data.begin());
    return data;
}

std::string HexText(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

void Layout(std::string& out, const char* section, const verup::SettingsLayoutTable& layout)
{
    out += std::string("[") + section + "]\r\n";
    out += "NUM=" + std::to_string(layout.BlockCount) + "\r\n";
    for (int b = 1; b <= layout.BlockCount; ++b)
        out += std::to_string(b) + "=" + std::to_string(layout.Items(b)) + "\r\n";
}

bool WriteFile(const std::filesystem::path& path, const std::string& text, std::string* error)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
        if (error)
            *error = "cannot write " + path.string();
        return false;
    }
    return true;
}

std::string SectorImageText(const char* header, uint32_t address, const std::vector<uint8_t>& data)
{
    verup::SRecordWriter writer(header, kSectorRecordBytes);
    writer.AddData(address, data);
    return writer.Finish();
}

}  // namespace

verup::Config MakeConfig(const PackageOptions& pkg)
{
    verup::Config c;
    c.DEBUG = pkg.Debug;
    c.SEL = pkg.Sel;
    c.RETRY = pkg.Retry;
    c.CRC = pkg.Crc;
    c.AUTO = 0;
    c.SAVE = pkg.Save;
    c.LANBOOT = pkg.Lanboot;
    c.UPLOAD = pkg.Upload;
    const std::size_t sectors = (pkg.ProgramSize + kSectorBytes - 1) / kSectorBytes;
    c.MAIN = static_cast<int>(std::clamp<std::size_t>(sectors, 2, kMaxProgramSectors));
    c.FPGA = c.MAIN + 1;
    c.DATA = kDataArea;
    c.PROG_RAM_STR_ADR = kProgramRamStart;
    c.PROG_RAM_END_ADR = kProgramRamStart + static_cast<uint32_t>(c.MAIN) * kSectorBytes - 1;
    c.FRAM_END_ADR = static_cast<uint32_t>(c.MAIN) * kSectorBytes - 1;
    c.CHECK_SUM_ADR = kChecksumSlot;
    c.SECT_END_ADR = kSectorBytes - 1;
    c.FPGA_DATA_LEN = kFpgaDataLen;
    c.FPGA1_STR_ADR = 0;
    c.FPGA2_STR_ADR = kFpgaDataLen;
    c.NAME1 = "NEXAVO7300QB";
    c.NAME2 = kName2;
    c.KIKI1 = pkg.Kiki1;
    c.KIKI2 = pkg.Kiki2;
    c.FRM_VER = pkg.FrmVer;
    c.TEL_VER = pkg.TelVer;
    c.NUM_LEN = 12;
    c.NUM = pkg.Version;
    c.REV_VER = pkg.Revision;
    c.FP_LEN = 3;
    for (int k = 0; k < 3; ++k) {
        c.FpgaParams1[static_cast<std::size_t>(k)] = kFpgaParams1[k];
        c.FpgaParams2[static_cast<std::size_t>(k)] = kFpgaParams2[k];
    }
    return c;
}

verup::SettingsLayoutTable NewSettingsLayout()
{
    verup::SettingsLayoutTable t;
    t.BlockCount = 40;
    for (int b = 1; b <= t.BlockCount; ++b)
        t.ItemCounts.push_back(b == 19 ? 3 : (b % 5 == 0 ? 3 : 2));
    return t;
}

verup::SettingsLayoutTable OldSettingsLayout()
{
    // Blocks 1 ... 37 as the new firmware has them; block 38 of four items, which the new
    // firmware splits into blocks 38 and 39.
    verup::SettingsLayoutTable t = NewSettingsLayout();
    t.BlockCount = 38;
    t.ItemCounts.resize(38);
    t.ItemCounts[37] = 4;
    return t;
}

verup::SettingsLayoutTable ConversionSettingsLayout()
{
    verup::SettingsLayoutTable t = NewSettingsLayout();
    t.BlockCount = 39;
    t.ItemCounts.resize(39);
    t.ItemCounts[37] = 2;
    t.ItemCounts[38] = 2;
    return t;
}

std::vector<uint8_t> MakeProgramBytes(const std::string& version_text, std::size_t size)
{
    size = std::max<std::size_t>(size, kVersionOffset + 64);
    uint32_t seed = 2166136261u;
    for (unsigned char ch : version_text)
        seed = (seed ^ ch) * 16777619u;
    std::vector<uint8_t> data = Filled(size, seed, "NEXAVO7300QB main program");
    data[kChecksumSlot] = 0;
    data[kChecksumSlot + 1] = 0;
    std::copy(version_text.begin(), version_text.end(), data.begin() + kVersionOffset);
    data[kVersionOffset + version_text.size()] = 0;
    return data;
}

bool WritePackage(const std::string& dir, const PackageOptions& pkg, std::string* error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dir, ec);
    const fs::path root(dir);
    const verup::Config c = MakeConfig(pkg);

    std::string dat;
    dat += "[MODE]\r\n";
    dat += "DEBUG=" + std::to_string(c.DEBUG) + "\r\nSEL=" + std::to_string(c.SEL) + "\r\nRETRY=" +
           std::to_string(c.RETRY) + "\r\nCRC=" + std::to_string(c.CRC) + "\r\nAUTO=0\r\nSAVE=" +
           std::to_string(c.SAVE) + "\r\nLANBOOT=" + std::to_string(c.LANBOOT) + "\r\nUPLOAD=" +
           std::to_string(c.UPLOAD) + "\r\n";
    dat += "[AREA]\r\n";
    dat += "MAIN=" + std::to_string(c.MAIN) + "\r\nFPGA=" + std::to_string(c.FPGA) + "\r\nDATA=" +
           std::to_string(c.DATA) + "\r\n";
    dat += "PROG_RAM_STR_ADR=" + HexText(c.PROG_RAM_STR_ADR) + "\r\n";
    dat += "PROG_RAM_END_ADR=" + HexText(c.PROG_RAM_END_ADR) + "\r\n";
    dat += "FRAM_END_ADR=" + HexText(c.FRAM_END_ADR) + "\r\n";
    dat += "CHECK_SUM_ADR=" + HexText(c.CHECK_SUM_ADR) + "\r\n";
    dat += "SECT_END_ADR=" + HexText(c.SECT_END_ADR) + "\r\n";
    dat += "FPGA_DATA_LEN=" + HexText(c.FPGA_DATA_LEN) + "\r\n";
    dat += "FPGA1_STR_ADR=" + HexText(c.FPGA1_STR_ADR) + "\r\n";
    dat += "FPGA2_STR_ADR=" + HexText(c.FPGA2_STR_ADR) + "\r\n";
    char real[64];
    dat += "[VERUP]\r\n";
    dat += "NAME1=" + c.NAME1 + "\r\nNAME2=" + c.NAME2 + "\r\nKIKI1=" + c.KIKI1 + "\r\nKIKI2=" + c.KIKI2 + "\r\n";
    std::snprintf(real, sizeof real, "FRM_VER=%.2f\r\nTEL_VER=%.2f\r\n", c.FRM_VER, c.TEL_VER);
    dat += real;
    dat += "NUM_LEN=" + std::to_string(c.NUM_LEN) + "\r\nNUM=" + c.NUM + "\r\nREV_VER=" + std::to_string(c.REV_VER) + "\r\n";
    dat += "FP_LEN=" + std::to_string(c.FP_LEN) + "\r\n";
    for (int k = 0; k < c.FP_LEN; ++k) {
        char key[64];
        std::snprintf(key, sizeof key, "FP%02X=%d\r\nFP%02X=%d\r\n", k, c.FpgaParams1[static_cast<std::size_t>(k)],
                      k + 16, c.FpgaParams2[static_cast<std::size_t>(k)]);
        dat += key;
    }
    Layout(dat, "N_SAVE", NewSettingsLayout());
    Layout(dat, "O_SAVE", OldSettingsLayout());
    Layout(dat, "C_DATA", ConversionSettingsLayout());
    Layout(dat, "C_SAVE", NewSettingsLayout());
    dat += "[PORTSEL]\r\nPORT=0\r\nCOM=1\r\n[IPADDR]\r\nFIELD=" + pkg.Address + "\r\n";
    if (!WriteFile(root / "verup.dat", dat, error))
        return false;

    const char* images[] = {"rt00.mot", "fpga01.mot", "fpga02.mot", "from00.mot"};
    for (const char* name : images)
        fs::remove(root / name, ec);

    if (pkg.Program) {
        const std::string text = pkg.Version + " " + std::to_string(pkg.Revision);
        const std::size_t limit = static_cast<std::size_t>(c.MAIN) * kSectorBytes;
        const std::vector<uint8_t> program = MakeProgramBytes(text, std::min(pkg.ProgramSize, limit));
        verup::SRecordWriter writer("rt00", kProgramRecordBytes);
        writer.AddData(c.PROG_RAM_STR_ADR, program);
        if (!WriteFile(root / "rt00.mot", writer.Finish(c.PROG_RAM_STR_ADR), error))
            return false;
    }
    if (pkg.Fpga) {
        const auto fpga1 = Filled(kFpgaImageBytes, 0x1F1F1F1F, "FPGA1 configuration");
        const auto fpga2 = Filled(kFpgaImageBytes, 0x2E2E2E2E, "FPGA2 configuration");
        if (!WriteFile(root / "fpga01.mot", SectorImageText("fpga01", c.FPGA1_STR_ADR, fpga1), error) ||
            !WriteFile(root / "fpga02.mot", SectorImageText("fpga02", c.FPGA2_STR_ADR, fpga2), error))
            return false;
    }
    if (pkg.Boot) {
        const auto boot = Filled(kBootImageBytes, 0x0B0B0B0B, "FMON Version 1.00");
        if (!WriteFile(root / "from00.mot", SectorImageText("from00", 0, boot), error))
            return false;
    }
    return true;
}

}  // namespace devsim
