// tavmgr-console: plays the management console. Loads the library, runs a scenario against the
// simulated organisation and prints the transcript (see docs/scenarios.md).
//
//   tavmgr-console [--library PATH] [--json] [--dump-state FILE] [SCENARIO]
//
// Without a scenario it runs the bundled demo. Exit codes: 0 the scenario ran, 1 an expectation
// of the scenario failed, 2 a malformed command line, scenario or setup, 3 the library could not
// be loaded.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "sim/org_json.h"
#include "tools/console/library.h"
#include "tools/console/runner.h"
#include "tools/console/scenario.h"
#include "tools/console/transcript.h"

namespace {

constexpr int kExitExpectations = 1;
constexpr int kExitMalformed = 2;
constexpr int kExitLibrary = 3;

int Usage(const char* message) {
    std::fprintf(stderr,
                 "%s\nusage: tavmgr-console [--library PATH] [--json] [--dump-state FILE] "
                 "[SCENARIO]\n",
                 message);
    return kExitMalformed;
}

}  // namespace

int main(int argc, char** argv) {
    console::PrepareStandardOutput();
    std::filesystem::path library = console::DefaultLibraryPath();
    std::filesystem::path scenarioPath;
    std::filesystem::path dumpPath;
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--library" || arg == "--dump-state") {
            if (i + 1 == argc) return Usage(("missing value after " + arg).c_str());
            (arg == "--library" ? library : dumpPath) = argv[++i];
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--help" || arg == "-h") {
            Usage("Runs a scenario against the library and prints the transcript.");
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else if (!scenarioPath.empty()) {
            return Usage("more than one scenario given");
        } else {
            scenarioPath = arg;
        }
    }
    if (scenarioPath.empty()) scenarioPath = console::DefaultScenarioPath();

    try {
        console::Scenario scenario = console::LoadScenario(scenarioPath);
        console::RunResult result = console::RunScenario(scenario, library, !dumpPath.empty());
        if (json) {
            std::cout << result.transcript.dump(2, ' ', false,
                                                sim::OrderedJson::error_handler_t::replace)
                      << '\n';
        } else {
            std::cout << console::FormatTranscript(result.transcript);
        }
        if (!dumpPath.empty()) {
            std::ofstream out(dumpPath);
            out << result.state.dump(2) << '\n';
            if (!out) {
                std::fprintf(stderr, "cannot write %s\n", dumpPath.string().c_str());
                return kExitMalformed;
            }
        }
        return result.failedExpectations ? kExitExpectations : 0;
    } catch (const sim::JsonError& error) {
        std::fprintf(stderr, "%s: %s\n", scenarioPath.string().c_str(), error.what());
        return kExitMalformed;
    } catch (const console::LibraryError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return kExitLibrary;
    } catch (const std::exception& error) {
        // A scenario the parser let through and the run could not carry out.
        std::fprintf(stderr, "%s: cannot be run: %s\n", scenarioPath.string().c_str(),
                     error.what());
        return kExitMalformed;
    }
}
