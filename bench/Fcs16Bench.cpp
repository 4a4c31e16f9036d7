// FCS-16 throughput: the table-driven paths beside Boost.CRC's CRC-16/X.25.
#include <benchmark/benchmark.h>

#include <boost/crc.hpp>
#include <random>
#include <vector>

#include "lan/Fcs16.h"

namespace {

std::vector<std::uint8_t> Block(std::size_t size)
{
    std::vector<std::uint8_t> data(size);
    std::mt19937 rng(3);
    for (auto& b : data)
        b = static_cast<std::uint8_t>(rng());
    return data;
}

void BM_Fcs16Update(benchmark::State& state)
{
    const auto data = Block(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(verup::Fcs16Update(verup::FCS16_INIT, data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Fcs16UpdateBytewise(benchmark::State& state)
{
    const auto data = Block(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(verup::Fcs16UpdateBytewise(verup::FCS16_INIT, data.data(), data.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_BoostCrcX25(benchmark::State& state)
{
    const auto data = Block(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        boost::crc_optimal<16, 0x1021, 0xFFFF, 0xFFFF, true, true> crc;
        crc.process_bytes(data.data(), data.size());
        benchmark::DoNotOptimize(crc.checksum());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// 64 KiB is a sector block; 16 bytes shows the per-call cost.
BENCHMARK(BM_Fcs16Update)->Arg(16)->Arg(65536);
BENCHMARK(BM_Fcs16UpdateBytewise)->Arg(16)->Arg(65536);
BENCHMARK(BM_BoostCrcX25)->Arg(16)->Arg(65536);

}  // namespace
