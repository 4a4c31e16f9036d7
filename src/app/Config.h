#pragma once
// The values of verup.dat, read once at start-up. Texts are CP932 bytes as stored in the file.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace verup {

class ProfileFile;

// One settings layout section (N_SAVE, O_SAVE, C_DATA, C_SAVE): a block count and the
// number of items in each block.
struct SettingsLayoutTable {
    int BlockCount = 0;
    std::vector<int> ItemCounts;  // ItemCounts[b - 1] = items of block b
    bool Capped = false;          // the section asked for more than a settings table holds
    int Items(int block) const { return block >= 1 && block <= static_cast<int>(ItemCounts.size()) ? ItemCounts[block - 1] : 0; }
};

struct Config {
    // [MODE]
    int DEBUG = 0;
    int SEL = 0;
    int RETRY = 0;
    int CRC = 0;
    int AUTO = 0;
    int SAVE = 0;
    int LANBOOT = 0;
    int UPLOAD = 0;
    // [AREA]
    int MAIN = 0;
    int FPGA = 0;
    int DATA = 0;
    uint32_t PROG_RAM_STR_ADR = 0;
    uint32_t PROG_RAM_END_ADR = 0;
    uint32_t FRAM_END_ADR = 0;
    uint32_t CHECK_SUM_ADR = 0;
    uint32_t SECT_END_ADR = 0;
    uint32_t FPGA_DATA_LEN = 0;
    uint32_t FPGA1_STR_ADR = 0;
    uint32_t FPGA2_STR_ADR = 0;
    // [VERUP]
    std::string NAME1;
    std::string NAME2;
    std::string KIKI1;
    std::string KIKI2;
    double FRM_VER = 0.0;
    double TEL_VER = 0.0;
    int NUM_LEN = 0;
    std::string NUM;
    int REV_VER = 0;
    int FP_LEN = 0;
    std::array<int8_t, 17> FpgaParams1{};  // FP00, FP01, ...
    std::array<int8_t, 17> FpgaParams2{};  // FP10, FP11, ...

    // Which keys were absent (default taken), for `verup config`.
    std::vector<std::string> DefaultedKeys;

    // PROG_RAM_END_ADR - PROG_RAM_STR_ADR, kept by the start-up.
    uint32_t ProgramAreaSize() const { return PROG_RAM_END_ADR - PROG_RAM_STR_ADR; }
};

}  // namespace verup
