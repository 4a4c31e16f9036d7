#pragma once
// The one verdict on a package's images, taken before an update erases anything and shown by
// `verup images`: every image that will be written converts completely (up to its
// termination record, with nothing unusable after it), and the program's sectors fit the
// program areas of the flash layout. Both update roads and the command line call this, so
// they never disagree about a file.
#include <cstdint>
#include <string>
#include <vector>

#include "image/ImageBuilder.h"
#include "image/ImageLayout.h"

namespace verup {

struct ImagesToWrite {
    bool Program = false;  // rt00.mot
    bool Fpga = false;     // fpga01.mot and fpga02.mot
    bool Boot = false;     // from00.mot
};

struct ImagePreflight {
    ImagesToWrite Writes;
    // The builds, as far as they ran; each only when that image is written.
    ProgramBuildResult Program;
    SectorBuildResult Fpga;
    SectorBuildResult Boot;
    // The images as the LAN download sends them.
    std::vector<std::uint8_t> ProgramImage;
    std::vector<std::uint8_t> FpgaImage;
    std::vector<std::uint8_t> BootImage;
    // The words of the boot and FPGA files as the serial monitor is sent them.
    LineTable Fpga1Lines = LineTable::ForFpga();
    LineTable Fpga2Lines = LineTable::ForFpga();
    LineTable BootLines = LineTable::ForBoot();
    // Why each image is refused, one line each ("rt00.mot: line 3001, column 2: expected ...,
    // found ..."); the program's lines include a layout in verup.dat that cannot hold it.
    std::vector<std::string> ProgramProblems;
    std::vector<std::string> FpgaProblems;
    std::vector<std::string> BootProblems;

    // Every line above, program first.
    std::vector<std::string> Problems() const;
    bool Usable() const { return ProgramProblems.empty() && FpgaProblems.empty() && BootProblems.empty(); }
    // The program's sectors when it is written and usable, else 0.
    std::uint8_t SectorCount() const;
};

// Whether the layout in verup.dat can hold a program at all: MAIN program areas of
// SECT_END_ADR + 1 bytes (the pieces the download cuts) must cover the program area
// PROG_RAM_STR_ADR ... PROG_RAM_END_ADR. Empty when they do, else why not. A layout whose
// sector size does not match the areas MAIN counts (SECT_END_ADR=7FFF for 64 KiB areas)
// fails here before any file is read.
std::string CheckProgramLayout(const ImageLayout& cfg);

// Whether a program of `sector_count` sectors stays in its areas: sectors 1 ... sector_count
// must lie within 1 ... MAIN and reach neither the FPGA area nor the data area. Empty when
// they do, else why not.
std::string CheckProgramSectors(const ImageLayout& cfg, int sector_count);

// Builds every image in `writes` from `image_directory` and judges them. `program_file_size`
// is the size of rt00.mot taken at start-up.
[[nodiscard]] ImagePreflight CheckImagesBeforeWriting(const ImageLayout& cfg, const std::string& image_directory,
                                                      const ImagesToWrite& writes, std::uint32_t program_file_size);

}  // namespace verup
