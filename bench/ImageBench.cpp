// Throughput of the S-record conversion on a program file of several megabytes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "image/ImageBuilder.h"
#include "image/SRecordConverter.h"
#include "image/SRecordWriter.h"
#include "package/Config.h"

namespace {

// A 4 MiB program area at 0x00100000; the file fills it all but the checksum slot.
verup::Config BenchConfig()
{
    verup::Config cfg;
    cfg.PROG_RAM_STR_ADR = 0x00100000;
    cfg.PROG_RAM_END_ADR = 0x004FFFFF;
    cfg.FRAM_END_ADR = 0x00FFFFFF;
    cfg.CHECK_SUM_ADR = 0x400;
    cfg.SECT_END_ADR = 0xFFFF;
    return cfg;
}

const std::string& ProgramText()
{
    static const std::string text = [] {
        const verup::Config cfg = BenchConfig();
        std::vector<std::uint8_t> data(cfg.PROG_RAM_END_ADR - cfg.PROG_RAM_STR_ADR + 1);
        std::mt19937 rng(1);
        for (auto& b : data)
            b = static_cast<std::uint8_t>(rng());
        data[cfg.CHECK_SUM_ADR] = data[cfg.CHECK_SUM_ADR + 1] = 0;
        verup::SRecordWriter writer("rt00", 32);
        writer.AddData(cfg.PROG_RAM_STR_ADR, data);
        return writer.Finish();
    }();
    return text;
}

void BM_ConvertSRecordText(benchmark::State& state)
{
    const verup::Config cfg = BenchConfig();
    const std::string& text = ProgramText();
    std::vector<std::uint8_t> image(cfg.PROG_RAM_END_ADR - cfg.PROG_RAM_STR_ADR + 1, 0xFF);
    for (auto _ : state) {
        const auto r = verup::ConvertSRecordText(text, image, verup::Placement::Program, cfg);
        if (!r.Terminated)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
    state.counters["text_MiB"] = static_cast<double>(text.size()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ConvertSRecordText)->Unit(benchmark::kMillisecond);

// The whole LAN build: read the file, fill, convert, checksum twice.
void BM_BuildProgramImage(benchmark::State& state)
{
    const verup::Config cfg = BenchConfig();
    const auto dir = std::filesystem::temp_directory_path() / ("verup-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    {
        std::ofstream file(dir / "rt00.mot", std::ios::binary);
        file << ProgramText();
    }
    std::vector<std::uint8_t> image;
    for (auto _ : state) {
        const auto r = verup::BuildProgramImage(cfg, dir.string(), static_cast<std::uint32_t>(ProgramText().size()), image);
        if (!r.Ok())
            state.SkipWithError(r.Reason.c_str());
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(ProgramText().size()));
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_BuildProgramImage)->Unit(benchmark::kMillisecond);

}  // namespace
