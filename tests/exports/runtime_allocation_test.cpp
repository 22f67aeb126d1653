// The MAPI32 stand-in answers running out of memory in its own bookkeeping with
// MAPI_E_NOT_ENOUGH_MEMORY, as a C interface must: no exception crosses it, and nothing it
// allocated is left behind.
#include <gtest/gtest.h>

#include "mapi/mapi.h"
#include "mapi/mapi_fakes.h"
#include "mapi/portable/mapi_accounting.h"
#include "support/counting_new.h"

namespace mapi {
namespace {

class RuntimeAllocation : public test::MapiBufferTest {
  protected:
    void SetUp() override {
        test::MapiBufferTest::SetUp();
        tav::testing::CountOnlyTheMapiRuntime(true);
    }
    void TearDown() override {
        tav::testing::ClearAllocationFailure();
        tav::testing::CountOnlyTheMapiRuntime(false);
        test::MapiBufferTest::TearDown();
    }

    // Runs `call` with the n-th allocation failing, for n = 0, 1, ... until one run completes
    // without reaching the failure; returns how many runs met a failure.
    template <class Call>
    int EveryAllocationFailing(Call call) {
        int failures = 0;
        for (std::size_t succeeding = 0; succeeding < 5000; ++succeeding) {
            SCOPED_TRACE("allocations before the failure: " + std::to_string(succeeding));
            tav::testing::FailAllocationAfter(succeeding);
            HRESULT hr = S_OK;
            try {
                hr = call();
            } catch (...) {
                ADD_FAILURE() << "an exception left the runtime";
            }
            const bool failed = tav::testing::ClearAllocationFailure();
            EXPECT_EQ(NewLiveBuffers(), 0u);
            EXPECT_EQ(NewLiveBytes(), 0u);
            if (!failed) {
                EXPECT_EQ(hr, S_OK);
                return failures;
            }
            EXPECT_EQ(hr, MAPI_E_NOT_ENOUGH_MEMORY);
            ++failures;
        }
        ADD_FAILURE() << "still failing after 5000 allocations";
        return failures;
    }
};

TEST_F(RuntimeAllocation, BuffersAndLinkedBlocks) {
    const int failures = EveryAllocationFailing([] {
        LPVOID root = nullptr, more = nullptr;
        HRESULT hr = MAPIAllocateBuffer(64, &root);
        if (FAILED(hr)) return hr;
        // Enough blocks that the runtime's table of live blocks must grow while they are made.
        for (int i = 0; i < 2000 && SUCCEEDED(hr); ++i) hr = MAPIAllocateMore(16, root, &more);
        MAPIFreeBuffer(root);
        return hr;
    });
    EXPECT_GT(failures, 0) << "the bookkeeping allocates as it grows, so some run must fail";
}

TEST_F(RuntimeAllocation, QueryAllRowsOfALargeTable) {
    const int failures = EveryAllocationFailing([] {
        test::FakeTable table(260);  // two batches
        RowSetPtr rows;
        HRESULT hr = HrQueryAllRows(&table, nullptr, nullptr, nullptr, 0, rows.Put());
        if (SUCCEEDED(hr) && rows.Count() != 260) return E_FAIL;
        return hr;
    });
    EXPECT_GT(failures, 0);
}

}  // namespace
}  // namespace mapi
