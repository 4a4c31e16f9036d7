#pragma once
// The progress of one update run. The run declares its steps and their weights (how many
// ticks each will give) before it starts; the range is their sum, and each step ticks itself
// off. Nobody else counts: the position is the ticks given so far.
#include <array>
#include <functional>
#include <string>

namespace verup {

class Reporter {
public:
    enum class Step {
        Start,            // the run has begun
        SettingsSave,     // a block (or the settings area) read from the device
        SettingsErase,    // the old settings sector erased
        ProgramErase,     // half and all of the program sectors erased
        ProgramDownload,  // a sector's share of the program's lines sent
        ProgramWrite,     // sectors written to the flash
        Fpga,             // an FPGA configuration written
        Boot,             // the boot area written
        Reconnect,        // the device reached again after its restart
        VersionCheck,     // the new program answered
        SettingsRestore,  // a block (or the settings area) written back
        SettingsConfirm,  // a block (or the settings area) read back as written
        Finish,           // the run is complete
    };

    // `range` receives the total once the steps are declared; `show` every position with the
    // log text that goes with it (empty for none); `bar` the positions of Move.
    Reporter(std::function<void(int total)> range, std::function<void(int position, const std::string& text)> show,
             std::function<void(int position)> bar);

    // Forgets the previous run's steps and ticks.
    void Reset();
    // Adds `weight` ticks to `step` (a step declared twice adds up).
    void Declare(Step step, int weight);
    // The settings carried block by block: `blocks` read, and those plus the `added` blocks of
    // the new firmware written back and read back to confirm them.
    void DeclareSettingsBlocks(int blocks, int added);
    // Hands the declared total to the range.
    void Announce() const;
    int Total() const;
    int Position() const;

    // One tick of `step`, shown with `text`.
    void Tick(Step step, const std::string& text = {});
    // One tick of `step` that only moves the bar (no log, no refresh of the texts).
    void Move(Step step);
    // The position as it is, shown with `text` (a log line within a step).
    void Show(const std::string& text) const;
    // Takes back the ticks `step` has given (a transfer that starts over).
    void Rewind(Step step);
    // The run is complete: the position becomes the total, shown with `text`.
    void Finish(const std::string& text = {});

private:
    static constexpr std::size_t kStepCount = static_cast<std::size_t>(Step::Finish) + 1;
    static std::size_t Index(Step step) { return static_cast<std::size_t>(step); }

    std::function<void(int)> range_;
    std::function<void(int, const std::string&)> show_;
    std::function<void(int)> bar_;
    std::array<int, kStepCount> weights_{};
    std::array<int, kStepCount> ticks_{};
    int position_ = 0;
};

}  // namespace verup
