// The console's scenario reader and the simulator's setup loader over arbitrary files.
//
// Input: the text of a scenario file (docs/scenarios.md), read from a file as the console reads
// one.
//
// Properties: a file is either read or refused with sim::JsonError, never any other exception
// (and no crash, nesting limit or not); a setup is loaded or refused with sim::JsonError; and the
// state a setup builds, dumped, loads again into the same state.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz_input.h"
#include "platform/portable/portable_platform.h"
#include "sim/org_json.h"
#include "sim/simulator.h"
#include "tools/console/scenario.h"

namespace {

std::filesystem::path g_folder;

void ResetState() {
    platform::portable::ResetRegistry();
    platform::portable::ResetMessageBoxes();
    platform::portable::ResetCom();
    platform::portable::FixSystemTime(std::nullopt);
    platform::portable::SetUiLanguage(1033);
    sim::Simulator::Instance().Reset();
}

[[noreturn]] void Unexpected(const char* where, const std::exception& error) {
    std::fprintf(stderr, "%s threw %s\n", where, error.what());
    tav::fuzz::Violated(__FILE__, __LINE__, "only sim::JsonError may leave the reader");
}

}  // namespace

// The input lies where the corpus' scenarios do, tests/scenarios/ of a copy of the tree that
// holds the setups they include (examples/ and the setups beside them).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("tav-scenario-fuzz-" + std::to_string(::getpid()));
    const fs::path source = TAV_SOURCE_DIR;
    g_folder = root / "tests" / "scenarios";
    fs::create_directories(g_folder);
    std::error_code ignored;
    fs::create_directory_symlink(source / "examples", root / "examples", ignored);
    for (const fs::directory_entry& entry : fs::directory_iterator(source / "tests" / "scenarios")) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with(".json") && !name.ends_with(".scenario.json"))
            fs::create_symlink(entry.path(), g_folder / name, ignored);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path file = g_folder / "input.scenario.json";
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    console::Scenario scenario;
    try {
        scenario = console::LoadScenario(file);
    } catch (const sim::JsonError&) {
        return 0;
    } catch (const std::exception& error) {
        Unexpected("LoadScenario", error);
    }

    ResetState();
    try {
        sim::LoadSetup(scenario.setup, scenario.baseDir);
    } catch (const sim::JsonError&) {
        return 0;
    } catch (const std::exception& error) {
        Unexpected("LoadSetup", error);
    }
    const sim::OrderedJson state = sim::DumpState();
    ResetState();
    try {
        sim::LoadSetup(sim::Json::parse(state.dump()), g_folder);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "the dump does not load: %s\n%s\n", error.what(), state.dump(1).c_str());
        TAV_FUZZ_CHECK(!"a dumped state loads");
    }
    const sim::OrderedJson again = sim::DumpState();
    if (again != state) {
        std::fprintf(stderr, "dumped:\n%s\nreloaded:\n%s\n", state.dump(1).c_str(),
                     again.dump(1).c_str());
        TAV_FUZZ_CHECK(!"a dumped state loads into the same state");
    }
    return 0;
}
