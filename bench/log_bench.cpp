// WriteLog and ClearLog per line, with the heap allocations each line makes (counted by the
// replacement of operator new the tests use).
#include "bench_support.h"
#include "support/counting_new.h"

namespace tav::bench {
namespace {

constexpr char16_t kOperation[] = u"ExchangeAdaptorDLL::Bench";

// `lines` lines written, then cleared. chars 0: lines of at most 7 characters ("4:123", no
// operation name), which need no block for their text; otherwise a line with the operation's
// name and a message of that many characters.
void WriteAndClear(benchmark::State& state) {
    const auto lines = static_cast<int>(state.range(0));
    const auto chars = static_cast<std::size_t>(state.range(1));
    const std::u16string message(chars, u'x');
    ClearLog();
    std::size_t allocations = 0;
    for (auto _ : state) {
        testing::ResetAllocationCount();
        for (int i = 0; i < lines; ++i) {
            if (chars == 0)
                WriteLog(u"", 4, u"%d", i % 1000);
            else
                WriteLog(kOperation, 4, u"%s %d", message, i);
        }
        allocations += testing::AllocationCount();
        ClearLog();
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["allocations_per_line"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations() * lines);
}
BENCHMARK(WriteAndClear)
    ->ArgNames({"lines", "chars"})
    ->ArgsProduct({{100, 1000, 10000}, {0, 60}});

}  // namespace
}  // namespace tav::bench

BENCHMARK_MAIN();
