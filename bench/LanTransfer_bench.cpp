// The LAN transfers against the simulated device on loopback: one 64 KiB image block with
// its FCS ("mode crc\r", "download 1\r", the block), and one upload of the settings area
// (bulk reads until "UL.OK").
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "PackageMaker.h"
#include "SimHarness.h"
#include "lan/Fcs16.h"
#include "lan/TelnetLink.h"
#include "platform/Clock.h"
#include "protocol/ReplyKind.h"

namespace {

using namespace verup;

constexpr int kTimeoutMs = 10000;
constexpr std::size_t kBlockBytes = 65536;
const std::string kPasswordLine = "q4x8m2r7k1w9t3v6b0n5c8z2h7jpdkwa\r";

// One simulated device and one logged-in telnet link for the whole run.
class LanBench {
public:
    LanBench()
    {
        char pattern[] = "/tmp/verup-lan-bench-XXXXXX";
        if (::mkdtemp(pattern) == nullptr)
            return;
        dir_ = pattern;
        devsim::PackageOptions package;
        std::string error;
        devsim::HarnessOptions options;
        if (!devsim::WritePackage(dir_, package, &error) || !devsim::SimHarness::UsePackage(options, dir_, &error))
            return;
        options.WithSerial = false;
        sim_ = std::make_unique<devsim::SimHarness>(options, clock_);
        if (!sim_->Start(&error))
            return;
        link_ = std::make_unique<TelnetLink>(clock_, static_cast<std::uint16_t>(sim_->TelnetPort()));
        if (link_->Open("127.0.0.1") != 1)
            return;
        // The login, on this thread once the password prompt has come.
        if (link_->WaitLoginStart()) {
            std::string reply;
            const bool ok = link_->Exchange(kPasswordLine, reply, kTimeoutMs, TRK_COMMAND_PROMPT) == 1 &&
                            link_->Exchange("administrator\r", reply, kTimeoutMs, TRK_PASSWORD) == 1 &&
                            link_->Exchange(kPasswordLine, reply, kTimeoutMs, TRK_ADMIN_PROMPT) == 1;
            link_->EndLogin(ok ? LOGIN_DONE : LOGIN_REFUSED);
        }
        ready_ = link_->WaitLoginOutcome() == LOGIN_DONE;
    }
    ~LanBench()
    {
        link_.reset();
        sim_.reset();
        if (!dir_.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(dir_, ec);
        }
    }

    bool Ready() const { return ready_; }
    TelnetLink& Link() { return *link_; }

private:
    Clock clock_{1};
    std::string dir_;
    std::unique_ptr<devsim::SimHarness> sim_;
    std::unique_ptr<TelnetLink> link_;
    bool ready_ = false;
};

LanBench& Bench()
{
    static LanBench bench;
    return bench;
}

void BM_DownloadBlockWithFcs(benchmark::State& state)
{
    LanBench& bench = Bench();
    if (!bench.Ready()) {
        state.SkipWithError("simulated device not reached");
        return;
    }
    std::vector<std::uint8_t> block(kBlockBytes + 2);
    for (std::size_t i = 0; i < kBlockBytes; ++i)
        block[i] = static_cast<std::uint8_t>(i * 31 + (i >> 9));
    Fcs16Append(block.data(), kBlockBytes);
    const std::string data(reinterpret_cast<const char*>(block.data()), block.size());
    std::string reply;
    for (auto _ : state) {
        TelnetLink& link = bench.Link();
        if (link.Exchange("mode crc\r", reply, kTimeoutMs, TRK_SHELL_PROMPT) != 1 ||
            link.Exchange("download 1\r", reply, kTimeoutMs, TRK_DL_PROMPT) != 1 ||
            link.Exchange(data, reply, kTimeoutMs, TRK_DL_RESULT) != 1) {
            state.SkipWithError("download refused");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_DownloadBlockWithFcs)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UploadSettingsArea(benchmark::State& state)
{
    LanBench& bench = Bench();
    if (!bench.Ready()) {
        state.SkipWithError("simulated device not reached");
        return;
    }
    std::string reply;
    // The area's bytes start after the echoed command and six bytes more.
    constexpr std::size_t kDataOffset = 10 + 6;
    if (bench.Link().Exchange("mode crc\r", reply, kTimeoutMs, TRK_SHELL_PROMPT) != 1) {
        state.SkipWithError("mode crc refused");
        return;
    }
    for (auto _ : state) {
        TelnetLink& link = bench.Link();
        link.ClearReceiveBuffer();
        if (link.Exchange("upload 31\r", reply, kTimeoutMs, TRK_UPLOAD_BULK) != 1 ||
            reply.size() < kDataOffset + kBlockBytes + 2 ||
            Fcs16Check(reinterpret_cast<const std::uint8_t*>(reply.data()) + kDataOffset, kBlockBytes + 2) != 1) {
            state.SkipWithError("upload failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kBlockBytes + 2));
}
BENCHMARK(BM_UploadSettingsArea)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
