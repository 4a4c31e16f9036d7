#pragma once
// `verup-devsim make-package DIR`: a consistent update package for demos and tests:
// verup.dat in CP932, rt00.mot with its version text and a zero checksum slot, both FPGA
// files and from00.mot, all matching the flash layout the simulator uses.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/Config.h"

namespace devsim {

struct PackageOptions {
    std::string Version = "Version 1.20";  // NUM; the program carries it with the revision
    int Revision = 3;                      // REV_VER
    std::size_t ProgramSize = 200 * 1024;  // data bytes of rt00.mot
    bool Program = true;
    bool Fpga = true;
    bool Boot = true;
    int Debug = 99;
    int Sel = 2;
    int Retry = 3;
    int Crc = 1;
    int Save = 2;
    int Lanboot = 10;
    int Upload = 1;
    double FrmVer = 1.00;
    double TelVer = 1.50;
    std::string Kiki1 = "NEXAVO7300QB";
    std::string Kiki2 = "NEXAVO7300QW";
    std::string Address = "127.0.0.1";
};

// Program areas never reach the fixed areas above them (FPGA = MAIN + 1, DATA 30, settings 31).
inline constexpr int kMaxProgramSectors = 27;
inline constexpr uint32_t kProgramRamStart = 0x00400000;
inline constexpr uint32_t kChecksumSlot = 0x400;
inline constexpr uint32_t kVersionOffset = 0x800;
inline constexpr int kDataArea = 30;

// The configuration values verup.dat will hold (sections MODE, AREA, VERUP).
verup::Config MakeConfig(const PackageOptions& pkg);
// N_SAVE (= C_SAVE), O_SAVE and C_DATA.
verup::SettingsLayoutTable NewSettingsLayout();
verup::SettingsLayoutTable OldSettingsLayout();
verup::SettingsLayoutTable ConversionSettingsLayout();

// The program bytes rt00.mot carries from PROG_RAM_STR_ADR: `size` bytes, with
// `version_text` (e.g. "Version 1.20 3") at kVersionOffset and 0x0000 at the checksum slot.
std::vector<uint8_t> MakeProgramBytes(const std::string& version_text, std::size_t size);

// Writes the package into `dir` (created when missing). False with a reason on failure.
bool WritePackage(const std::string& dir, const PackageOptions& pkg, std::string* error);

}  // namespace devsim
