#include <gtest/gtest.h>

#include <chrono>
#include <atomic>
#include <future>

#include "app/CUpdateDlg.h"
#include "app/DialogTexts.h"
#include "app/SilentDialogHost.h"
#include "platform/Event.h"
#include "protocol/Reporter.h"
#include "support/RecordingHost.h"
#include "support/StartupFolders.h"
#include "support/TempDir.h"

namespace verup {
namespace {

class ProgressTest : public ::testing::Test {
protected:
    ProgressTest() : clock_(50)
    {
        env_.CurrentDirectory = dir_.Path();
        env_.StateDirectory = dir_.Path() + "/state";
        env_.clock = &clock_;
        dlg_ = std::make_unique<CUpdateDlg>(host_, env_);
    }
    // A package of nothing but its DEBUG mode.
    void LoadDebugMode(CUpdateDlg& dlg, int debug)
    {
        dir_.Write("verup.dat", "[MODE]\r\nDEBUG=" + std::to_string(debug) + "\r\n");
        (void)dlg.LoadPackage();
    }
    test::TempDir dir_;
    Clock clock_;
    StartupEnvironment env_;
    test::RecordingHost host_;
    std::unique_ptr<CUpdateDlg> dlg_;
};

// A run's bar as data: the range is the declared weights' sum, each tick moves it one, a
// transfer that starts over takes its ticks back, and the end is the range.
TEST(ReporterTest, RangeIsTheDeclaredWeightsAndTheStepsTickItOff)
{
    using Step = Reporter::Step;
    std::vector<int> ranges;
    std::vector<std::pair<int, std::string>> shown;
    Reporter progress([&](int total) { ranges.push_back(total); },
                      [&](int position, const std::string& text) { shown.emplace_back(position, text); },
                      [&](int position) { shown.emplace_back(position, "(bar)"); });
    progress.Declare(Step::Start, 1);
    progress.Declare(Step::ProgramDownload, 3);
    progress.Declare(Step::Boot, 0);
    progress.Declare(Step::Finish, 1);
    progress.Announce();
    progress.Tick(Step::Start);
    progress.Move(Step::ProgramDownload);
    progress.Move(Step::ProgramDownload);
    progress.Rewind(Step::ProgramDownload);
    progress.Tick(Step::ProgramDownload, "again");
    progress.Show("note");
    progress.Finish("done");
    EXPECT_EQ(ranges, std::vector<int>{5});
    EXPECT_EQ(shown, (std::vector<std::pair<int, std::string>>{
                         {1, ""}, {2, "(bar)"}, {3, "(bar)"}, {2, "again"}, {2, "note"}, {5, "done"}}));
    progress.Reset();
    EXPECT_EQ(progress.Total(), 0);
    EXPECT_EQ(progress.Position(), 0);
}

// Debug mode appends the texts to the log; the other modes drop them. Both move the bar and refresh.
TEST_F(ProgressTest, OnlyDebugModeLogsTheTextsButEveryModeMovesTheBar)
{
    for (const int debug : {99, 1}) {
        SCOPED_TRACE(debug);
        test::RecordingHost host;
        CUpdateDlg dlg(host, env_);
        LoadDebugMode(dlg, debug);
        dlg.Report(-1, "Com Open\r\n");
        dlg.Report(3, "step\r\n");
        dlg.Report(4);
        const std::string logged = debug == 99 ? "Com Open\r\nstep\r\n" : "";
        EXPECT_EQ(dlg.DebugLogText(), logged);
        EXPECT_EQ(dlg.LogLineCount(), debug == 99 ? 2 : 0);
        auto lock = host.Lock();
        EXPECT_EQ(host.Log, logged);
        EXPECT_EQ(host.ProgressPositions, (std::vector<int>{3, 4}));
        EXPECT_EQ(host.Refreshes.size(), 3u);
        EXPECT_EQ(host.Calls.back(), "RefreshFields");
    }
}

TEST_F(ProgressTest, RepeatsAreFoldedAndTheLogEndsWithACutNotice)
{
    std::string sink;
    env_.LogSink = [&sink](const std::string& text) { sink += text; };
    dlg_ = std::make_unique<CUpdateDlg>(host_, env_);
    LoadDebugMode(*dlg_, 99);
    const int shown = LogLimiter::kRepeatsShown;
    for (int i = 0; i < 10000; ++i)
        dlg_->Report(-1, "IAC data\r\n");
    dlg_->Report(-1, "connect ok\r\n");
    for (int i = 0; i <= shown; ++i)
        dlg_->Report(-1, "IAC data\r\n");
    dlg_->FlushLog();
    std::string lines;
    for (int i = 0; i < shown; ++i)
        lines += "IAC data\r\n";
    const std::string expected = lines + "last line repeated " + std::to_string(10000 - shown) +
                                 " more times\r\nconnect ok\r\n" + lines + "last line repeated 1 more time\r\n";
    EXPECT_EQ(dlg_->DebugLogText(), expected);
    EXPECT_EQ(sink, expected);

    // Distinct texts: the log stops at its limit with one notice, both in memory and in the sink.
    const std::string block(1u << 20, 'x');
    for (char c = 'a'; c < 'h'; ++c)
        dlg_->Report(-1, c + block);
    const std::string& log = dlg_->DebugLogText();
    EXPECT_LE(log.size(), LogLimiter::kMaxLogBytes);
    const std::string notice = "debug log cut here: it reached its limit of 4194304 bytes; later lines are left out\r\n";
    ASSERT_GE(log.size(), notice.size());
    EXPECT_EQ(log.substr(log.size() - notice.size()), notice);
    EXPECT_EQ(sink, log);
    auto lock = host_.Lock();
    EXPECT_EQ(host_.Log, log);
}

// One more dot (a CP932 middle dot after the ideographic space) each second, then again, on
// the timer service until stopped.
TEST_F(ProgressTest, StatusAnimationRunsThroughFiveDotPhasesUntilStopped)
{
    const std::string stage = kStageTexts[0];
    std::string dots = "\x81\x40";
    for (int tick = 0; tick < 6; ++tick) {
        dots = tick == 5 ? "\x81\x40\x81\x44" : dots + "\x81\x44";
        dlg_->OnTimer(TIMER_STATUS);
        EXPECT_EQ(dlg_->StatusText(), stage + dots) << "tick " << tick;
    }
    EXPECT_EQ(host_.Count("RefreshFields"), 6);

    dlg_->StartStatusAnimation();
    EXPECT_TRUE(host_.WaitFor([&] { return host_.Refreshes.size() >= 9; }));
    dlg_->StopStatusAnimation();
    const std::size_t seen = host_.Count("RefreshFields");
    const auto last = host_.LastRefresh();
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(last->StatusText.rfind(stage, 0), 0u);
    // Nothing fires after the stop returned.
    clock_.SleepMs(3000);
    EXPECT_EQ(static_cast<std::size_t>(host_.Count("RefreshFields")), seen);
}

// The status timer's refresh and a worker's call reach the host one at a time: while the
// timer's refresh is held inside the host, the worker's progress call waits for it.
TEST(HostContractTest, TimerRefreshAndWorkerCallsDoNotOverlap)
{
    class HoldingHost : public SilentDialogHost {
    public:
        // The first refresh stays inside the host until Release.
        void RefreshFields(const BoundTexts&) override
        {
            if (entered_.exchange(true))
                return;
            inside_ = true;
            held.Set();
            released_.WaitMs(clock_, 20000);
            inside_ = false;
        }
        void SetProgressPos(int) override { overlapped_ = overlapped_ || inside_; }
        void Release() { released_.Set(); }
        bool Overlapped() const { return overlapped_; }
        ManualResetEvent held;

    private:
        const Clock clock_;
        ManualResetEvent released_;
        std::atomic<bool> entered_{false}, inside_{false}, overlapped_{false};
    };
    test::TempDir dir;
    Clock clock(50);
    HoldingHost host;
    CUpdateDlg dlg(host, test::EnvironmentIn(dir.Path(), clock));
    dlg.StartStatusAnimation();
    ASSERT_TRUE(host.held.WaitMs(clock, 20000 * 50));
    auto worker = std::async(std::launch::async, [&dlg] { dlg.Report(5); });
    // Room for a call that does not wait to arrive; one that waits arrives after the release.
    worker.wait_for(std::chrono::milliseconds(200));
    host.Release();
    worker.get();
    dlg.StopStatusAnimation();
    EXPECT_FALSE(host.Overlapped());
}

}  // namespace
}  // namespace verup
