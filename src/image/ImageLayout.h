#pragma once
// What the image builders need to know about the flash: the areas, the program's place in
// memory and its checksum slot, and where the FPGA parameter bytes go. verup.dat's [AREA]
// section and its FP keys fill it; the builders read nothing else of the package.
#include <array>
#include <cstdint>

namespace verup {

struct ImageLayout {
    int MAIN = 0;  // program areas 1 ... MAIN
    int FPGA = 0;  // the FPGA area
    int DATA = 0;  // the settings area
    uint32_t PROG_RAM_STR_ADR = 0;
    uint32_t PROG_RAM_END_ADR = 0;
    uint32_t FRAM_END_ADR = 0;
    uint32_t CHECK_SUM_ADR = 0;
    uint32_t SECT_END_ADR = 0;
    uint32_t FPGA_DATA_LEN = 0;
    uint32_t FPGA1_STR_ADR = 0;
    uint32_t FPGA2_STR_ADR = 0;
    int FP_LEN = 0;
    std::array<int8_t, 17> FpgaParams1{};  // FP00, FP01, ...
    std::array<int8_t, 17> FpgaParams2{};  // FP10, FP11, ...

    uint32_t ProgramAreaSize() const { return PROG_RAM_END_ADR - PROG_RAM_STR_ADR; }
};

}  // namespace verup
