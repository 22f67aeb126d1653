// MAPIAllocateBuffer, MAPIAllocateMore and MAPIFreeBuffer with their accounting.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "mapi_fakes.h"

namespace mapi {
namespace {

using portable::GetBufferStats;

class MapiAllocatorTest : public test::MapiBufferTest {};

LPVOID Allocate(ULONG cb) {
    LPVOID p = nullptr;
    EXPECT_EQ(MAPIAllocateBuffer(cb, &p), S_OK);
    return p;
}

LPVOID AllocateOn(LPVOID parent, ULONG cb) {
    LPVOID p = nullptr;
    EXPECT_EQ(MAPIAllocateMore(cb, parent, &p), S_OK);
    return p;
}

TEST_F(MapiAllocatorTest, FreeingTheRootFreesEveryLinkedBlock) {
    LPVOID root = Allocate(64);
    LPVOID a = AllocateOn(root, 10);
    LPVOID b = AllocateOn(root, 20);
    LPVOID onLinked = AllocateOn(a, 30);  // linked to the root, not to a
    EXPECT_EQ(NewLiveBuffers(), 1u);
    EXPECT_EQ(NewLiveBytes(), 124u);
    EXPECT_EQ(GetBufferStats().liveLinkedBlocks, 3u);

    MAPIFreeBuffer(root);

    EXPECT_EQ(NewLiveBuffers(), 0u);
    EXPECT_EQ(NewLiveBytes(), 0u);
    for (LPVOID p : {root, a, b, onLinked}) EXPECT_FALSE(portable::IsLiveBuffer(p));
}

// Thousands of blocks, freed in an order unlike the one they came in: every block still alive
// is known, every freed one is not, and a root's linked blocks all go with it.
TEST_F(MapiAllocatorTest, ManyBlocksFreedInAnyOrderAreTrackedOneByOne) {
    std::vector<LPVOID> roots;
    std::vector<std::vector<LPVOID>> linked;
    for (ULONG i = 0; i < 3000; ++i) {
        roots.push_back(Allocate(i % 40));
        linked.emplace_back();
        for (ULONG k = 0; k < i % 4; ++k) {
            LPVOID parent = linked.back().empty() ? roots.back() : linked.back().back();
            linked.back().push_back(AllocateOn(parent, k + 1));
        }
    }
    ASSERT_EQ(NewLiveBuffers(), 3000u);
    auto checkAll = [&](const std::vector<bool>& freed) {
        for (std::size_t i = 0; i < roots.size(); ++i) {
            ASSERT_EQ(portable::IsLiveBuffer(roots[i]), !freed[i]) << i;
            for (LPVOID p : linked[i]) ASSERT_EQ(portable::IsLiveBuffer(p), !freed[i]) << i;
        }
    };
    std::vector<bool> freed(roots.size(), false);
    // Every seventh, then every third of the rest, then all that remain, newest first.
    for (std::size_t step : {7u, 3u, 1u}) {
        for (std::size_t i = roots.size(); i-- > 0;) {
            if (freed[i] || i % step != 0) continue;
            EXPECT_EQ(MAPIFreeBuffer(roots[i]), S_OK);
            freed[i] = true;
        }
        checkAll(freed);
        if (HasFatalFailure()) return;
    }
    EXPECT_EQ(NewLiveBuffers(), 0u);
    EXPECT_EQ(NewLiveBytes(), 0u);
    EXPECT_EQ(GetBufferStats().liveLinkedBlocks, 0u);
    EXPECT_EQ(GetBufferStats().badFrees, 0u);
}

TEST_F(MapiAllocatorTest, BlocksAreAlignedForPropertyValues) {
    LPVOID root = Allocate(1);
    for (ULONG size : {0u, 1u, 3u, 7u, 13u, 24u}) {
        const auto rootBlock = reinterpret_cast<std::uintptr_t>(Allocate(size));
        const auto linked = reinterpret_cast<std::uintptr_t>(AllocateOn(root, size));
        EXPECT_EQ(rootBlock % 8, 0u) << size;
        EXPECT_EQ(linked % 8, 0u) << size;
        MAPIFreeBuffer(reinterpret_cast<LPVOID>(rootBlock));
    }
    MAPIFreeBuffer(root);
}

TEST_F(MapiAllocatorTest, WrongFreesAreCountedAndFreeNothing) {
    LPVOID root = Allocate(16);
    LPVOID linked = AllocateOn(root, 8);
    LPVOID freed = Allocate(16);
    MAPIFreeBuffer(freed);
    int onStack = 0;

    struct Case {
        const char* what;
        LPVOID pointer;
    };
    const Case cases[] = {
        {"a pointer that never was a MAPI buffer", &onStack},
        {"a buffer freed before", freed},
        {"a block linked to a live root", linked},
    };
    std::size_t expectedBadFrees = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(MAPIFreeBuffer(c.pointer), 0u) << c.what;
        EXPECT_EQ(GetBufferStats().badFrees, ++expectedBadFrees) << c.what;
    }
    EXPECT_TRUE(portable::IsLiveBuffer(linked));
    EXPECT_EQ(NewLiveBuffers(), 1u);

    MAPIFreeBuffer(nullptr);
    EXPECT_EQ(GetBufferStats().badFrees, expectedBadFrees) << "freeing null is no error";
    MAPIFreeBuffer(root);
    portable::ResetBufferCounters();
}

TEST_F(MapiAllocatorTest, RefusesBadArguments) {
    int onStack = 0;
    LPVOID out = &onStack;
    EXPECT_EQ(MAPIAllocateMore(8, &onStack, &out), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(GetBufferStats().badParents, 1u);
    EXPECT_EQ(MAPIAllocateBuffer(8, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(NewLiveBuffers(), 0u);
}

TEST_F(MapiAllocatorTest, InjectedFailuresHitTheChosenAllocations) {
    portable::InjectAllocationFailures(2, 2);
    LPVOID root = Allocate(8);
    LPVOID linked = AllocateOn(root, 8);
    LPVOID out = root;
    EXPECT_EQ(MAPIAllocateMore(8, root, &out), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(MAPIAllocateBuffer(8, &out), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(out, nullptr);
    LPVOID after = Allocate(8);
    EXPECT_NE(after, nullptr);
    EXPECT_EQ(GetBufferStats().liveLinkedBlocks, 1u);
    EXPECT_TRUE(portable::IsLiveBuffer(linked));
    MAPIFreeBuffer(after);
    MAPIFreeBuffer(root);
}

}  // namespace
}  // namespace mapi
