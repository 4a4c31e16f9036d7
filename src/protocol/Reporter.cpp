#include "protocol/Reporter.h"

#include <numeric>
#include <utility>

namespace verup {

Reporter::Reporter(std::function<void(int total)> range, std::function<void(int position, const std::string& text)> show,
                   std::function<void(int position)> bar)
    : range_(std::move(range)), show_(std::move(show)), bar_(std::move(bar))
{
}

void Reporter::Reset()
{
    weights_.fill(0);
    ticks_.fill(0);
    position_ = 0;
}

void Reporter::Declare(Step step, int weight)
{
    if (weight > 0)
        weights_[Index(step)] += weight;
}

void Reporter::DeclareSettingsBlocks(int blocks, int added)
{
    Declare(Step::SettingsSave, blocks);
    Declare(Step::SettingsRestore, blocks + added);
    Declare(Step::SettingsConfirm, blocks + added);
}

void Reporter::Announce() const
{
    if (range_)
        range_(Total());
}

int Reporter::Total() const { return std::accumulate(weights_.begin(), weights_.end(), 0); }

int Reporter::Position() const { return position_; }

void Reporter::Tick(Step step, const std::string& text)
{
    ++ticks_[Index(step)];
    ++position_;
    Show(text);
}

void Reporter::Move(Step step)
{
    ++ticks_[Index(step)];
    ++position_;
    if (bar_)
        bar_(position_);
}

void Reporter::Show(const std::string& text) const
{
    if (show_)
        show_(position_, text);
}

void Reporter::Rewind(Step step)
{
    position_ -= ticks_[Index(step)];
    ticks_[Index(step)] = 0;
}

void Reporter::Finish(const std::string& text)
{
    position_ = Total();
    Show(text);
}

}  // namespace verup
