// The frame of a test that drives the library against the simulated organisation: fresh
// simulator, registry, message boxes, COM and clock before the test; after it the session is
// uninitialised and nothing may be left alive.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/diagnostic_log.h"
#include "core/exports.h"
#include "core/wide_string_slot.h"
#include "mapi/portable/mapi_accounting.h"
#include "platform/portable/portable_platform.h"
#include "sim/builder.h"
#include "sim/simulator.h"
#include "sim/sim_text.h"
#include "support/simulated_world.h"

namespace tav::testing {

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSimulatedWorld();
    }

    void TearDown() override {
        Uninitialize();
        ExpectNothingLeft();
        sim::Simulator::Instance().Reset();
        platform::portable::ResetMessageBoxes();
        platform::portable::FixSystemTime(std::nullopt);
    }

    void ExpectNothingLeft() {
        auto& simulator = sim::Simulator::Instance();
        EXPECT_EQ(simulator.LiveObjects(), 0) << ::testing::PrintToString(simulator.LiveObjectLabels());
        EXPECT_EQ(simulator.DoubleReleases(), 0);
        EXPECT_EQ(simulator.MapiInitializeBalance(), 0);
        EXPECT_EQ(simulator.MapiUninitializeUnmatched(), 0);
        EXPECT_EQ(platform::portable::ComInitializeBalance(), 0);
        EXPECT_EQ(platform::portable::OpenRegistryHandleCount(), 0u);
        mapi::portable::BufferStats buffers = mapi::portable::GetBufferStats();
        EXPECT_EQ(buffers.liveBuffers, 0u);
        EXPECT_EQ(buffers.badFrees, 0u);
        EXPECT_EQ(buffers.badParents, 0u);
    }

    sim::MailboxBuilder& AdminOrganisation() { return testing::AdminOrganisation(builder_); }
    static sim::MailboxBuilder& AdminOrganisation(sim::OrgBuilder& builder) {
        return testing::AdminOrganisation(builder);
    }

    static std::vector<std::u16string> Log() { return DiagnosticLog::Instance().Lines(); }
    static std::vector<std::string> LogUtf8() {
        std::vector<std::string> lines;
        for (const auto& line : Log()) lines.push_back(sim::ToUtf8(line));
        return lines;
    }
    static const std::vector<platform::portable::MessageBoxRecord>& Boxes() {
        return platform::portable::ShownMessageBoxes();
    }
    static std::vector<std::string> BoxTexts() {
        std::vector<std::string> texts;
        for (const auto& box : Boxes()) texts.push_back(sim::ToUtf8(box.text));
        return texts;
    }
    static void Fail(std::string method, std::int32_t result, int nth = 0) {
        sim::Fault fault;
        fault.method = std::move(method);
        fault.result = result;
        fault.nth = nth;
        sim::Simulator::Instance().AddFault(fault);
    }

    sim::OrgBuilder builder_;
};

}  // namespace tav::testing
