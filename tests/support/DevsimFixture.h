#pragma once
// The simulator started on the package the default PackageOptions make, for the tests that
// drive one of its front ends with raw bytes.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "PackageMaker.h"
#include "SimHarness.h"
#include "platform/Clock.h"
#include "support/TempDir.h"

namespace verup::test {

class DevsimFixture : public ::testing::Test {
protected:
    // Writes the package and starts the simulator; `front_end` picks the links, then
    // Configure has its say.
    void StartSim(const std::function<void(devsim::HarnessOptions&)>& front_end)
    {
        std::string error;
        ASSERT_TRUE(devsim::WritePackage(dir_.Path(), devsim::PackageOptions{}, &error)) << error;
        devsim::HarnessOptions options;
        ASSERT_TRUE(devsim::SimHarness::UsePackage(options, dir_.Path(), &error)) << error;
        front_end(options);
        Configure(options);
        options_ = options;
        sim_ = std::make_unique<devsim::SimHarness>(options, clock_);
        ASSERT_TRUE(sim_->Start(&error)) << error;
    }
    virtual void Configure(devsim::HarnessOptions&) {}

    devsim::SimDevice& Device() { return sim_->Device(); }

    TempDir dir_;
    Clock clock_{50};
    devsim::HarnessOptions options_;
    std::unique_ptr<devsim::SimHarness> sim_;
};

}  // namespace verup::test
