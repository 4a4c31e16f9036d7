// The serial recognizer's cost per byte, and the wall time of streaming a program image to
// the simulated monitor against the time the 115200-baud line needs for it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "PackageMaker.h"
#include "SimHarness.h"
#include "image/ImageFiles.h"
#include "platform/PosixSerialPort.h"
#include "serial/ResponseMatcher.h"
#include "serial/SerialLink.h"

namespace {

using namespace verup;

// A "getdata" reply of `bytes` bytes ending in the shell prompt.
std::string ShellReply(std::size_t bytes)
{
    std::string reply;
    while (reply.size() + 4 < bytes)
        reply += "putdata 12 34 0123456789abcdef\r\n";
    reply.resize(bytes - 4, 'x');
    return reply + "\r\n# ";
}

void BM_MatcherPerByte(benchmark::State& state)
{
    const std::string reply = ShellReply(static_cast<std::size_t>(state.range(0)));
    ReceiveBuffer buffer;
    ExchangeWords words;
    ResponseMatcher matcher(buffer, words);
    for (auto _ : state) {
        buffer.ResetForWrite();
        matcher.Reset();
        words.ExpectedReply = RK_SHELL_PROMPT;
        words.ExchangeState = STATE_WAITING;
        for (char c : reply)
            matcher.OnByte(static_cast<uint8_t>(c));
        benchmark::DoNotOptimize(words.ExchangeState.load());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(state.range(0)),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MatcherPerByte)->Arg(4096)->Arg(65536);

// Streams rt00.mot (about 1 MB of S-record text) after "DP\r" to the simulated monitor with
// baud pacing, until "Program Down Load OK". Device time runs range(0) times faster; the
// smaller the scale, the less the host's sleep granularity weighs.
void BM_StreamProgramPaced(benchmark::State& state)
{
    const double kScale = static_cast<double>(state.range(0));
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "verup-bench-serial";
    std::filesystem::create_directories(dir);
    devsim::PackageOptions package;
    package.ProgramSize = 450 * 1024;
    std::string error;
    if (!devsim::WritePackage(dir.string(), package, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::string text;
    if (!LoadProgramText((dir / "rt00.mot").string(), text).Read) {
        state.SkipWithError("rt00.mot not read");
        return;
    }
    Clock clock(kScale);
    devsim::HarnessOptions options;
    if (!devsim::SimHarness::UsePackage(options, dir.string(), &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    options.WithTelnet = false;
    options.Serial.BaudPacing = true;
    devsim::SimHarness sim(options, clock);
    if (!sim.Start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    sim.Device().Restart(true);
    clock.SleepMs(options.Device.RestartMs + 1000);
    SerialLink link(clock, std::make_unique<PosixSerialPort>([&](const std::string&) { return sim.PtyPath(); }));
    if (link.Open("COM1") != SERIAL_OPENED) {
        state.SkipWithError(link.OpenFailureReason().c_str());
        return;
    }
    std::string reply;
    link.Exchange("A", reply, 1000, RK_OK);
    if (link.Exchange("FROM\r\n", reply, 3000, RK_FROM_PROMPT) != EXCHANGE_OK) {
        state.SkipWithError("no flash monitor");
        return;
    }
    for (auto _ : state) {
        if (link.Exchange("DP\r", reply, 7000, RK_READY) != EXCHANGE_OK) {
            state.SkipWithError("DP not answered");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        std::size_t begin = 0;
        for (std::size_t i = 0; i + 1 < text.size(); ++i) {
            if (text[i] == '\r' && text[i + 1] == '\n') {
                link.SetMatchingEnabled(false);
                link.Write(std::string_view(text).substr(begin, i + 2 - begin));
                begin = i + 2;
                ++i;
            }
        }
        const bool done = link.WaitForReceived("Program Down Load OK", [] { return false; }, true) ==
                          SerialLink::WaitResult::Found;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!done) {
            state.SkipWithError("download not confirmed");
            return;
        }
        const double line_time = static_cast<double>(text.size()) * 10.0 / 115200.0;
        state.counters["bytes"] = static_cast<double>(text.size());
        state.counters["line_time_s"] = line_time;
        state.counters["device_time_s"] = wall * kScale;
        state.counters["ratio_to_line"] = wall * kScale / line_time;
    }
    link.Close();
    sim.Stop();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_StreamProgramPaced)->Arg(5)->Arg(20)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
