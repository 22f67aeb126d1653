// The owners release exactly what they hold, exactly once.
#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "mapi/mapi.h"
#include "mapi_fakes.h"

namespace mapi {
namespace {

class MapiOwnersTest : public test::MapiBufferTest {};

using FakeFolder = test::FakeProp;

struct RefCase {
    const char* what;
    // Runs with an object whose one reference the caller holds; returns after the owners
    // involved are gone.
    std::function<void(FakeFolder&)> run;
    int addRefs;
    int releases;
};

TEST_F(MapiOwnersTest, ComPtrBalancesReferences) {
    const RefCase cases[] = {
        {"destruction releases the adopted reference",
         [](FakeFolder& o) {
             ComPtr<IMAPIProp> p;
             p.Attach(&o);
         },
         0, 1},
        {"a copy adds a reference and both release",
         [](FakeFolder& o) {
             ComPtr<IMAPIProp> p;
             p.Attach(&o);
             ComPtr<IMAPIProp> q = p;
             ComPtr<IMAPIProp> r;
             r = q;
         },
         2, 3},
        {"moving transfers the reference",
         [](FakeFolder& o) {
             ComPtr<IMAPIProp> p;
             p.Attach(&o);
             ComPtr<IMAPIProp> q = std::move(p);
             ComPtr<IMAPIProp> r;
             r = std::move(q);
             EXPECT_FALSE(p);
         },
         0, 1},
        {"converting to a base interface keeps one reference",
         [](FakeFolder& o) {
             ComPtr<IMAPIProp> p;
             p.Attach(&o);
             ComPtr<IUnknown> base = std::move(p);
         },
         0, 1},
        {"Share adds the owner's own reference",
         [](FakeFolder& o) {
             ComPtr<IMAPIProp> p = ComPtr<IMAPIProp>::Share(&o);
             o.Release();  // the caller's reference
         },
         1, 2},
        {"Detach hands the reference back",
         [](FakeFolder& o) {
             ComPtr<IMAPIProp> p;
             p.Attach(&o);
             IMAPIProp* raw = p.Detach();
             EXPECT_FALSE(p);
             raw->Release();
         },
         0, 1},
        {"Put releases the old reference before the call writes a new one",
         [](FakeFolder& o) {
             ComPtr<IMAPIProp> p;
             p.Attach(&o);
             IMAPIProp** out = p.Put();
             EXPECT_EQ(o.releases, 1);
             EXPECT_EQ(*out, nullptr);
         },
         0, 1},
        {"an object opened through an LPUNKNOWN* out-parameter is held",
         [](FakeFolder& o) {
             ComPtr<IMAPIProp> p;
             auto open = [&](LPUNKNOWN* out) {
                 *out = &o;
                 return S_OK;
             };
             EXPECT_EQ(open(p.PutUnknown()), S_OK);
             EXPECT_EQ(p.Get(), &o);
         },
         0, 1},
        {"StaticPointerCast moves the reference to the narrower interface",
         [](FakeFolder& o) {
             ComPtr<IUnknown> unknown;
             unknown.Attach(&o);
             ComPtr<IMAPIProp> prop = StaticPointerCast<IMAPIProp>(std::move(unknown));
             EXPECT_FALSE(unknown);
             EXPECT_EQ(prop.Get(), &o);
         },
         0, 1},
        {"As queries the interface and holds the result",
         [](FakeFolder& o) {
             ComPtr<IUnknown> unknown;
             unknown.Attach(&o);
             ComPtr<IMAPIProp> prop;
             EXPECT_EQ(unknown.As(prop), S_OK);
             EXPECT_EQ(prop.Get(), &o);
             ComPtr<IMAPIFolder> folder;
             EXPECT_EQ(unknown.As(folder), E_NOINTERFACE);
             EXPECT_FALSE(folder);
             ASSERT_EQ(o.queried.size(), 2u);
             EXPECT_TRUE(o.queried[0] == IID_IMAPIProp);
             EXPECT_TRUE(o.queried[1] == IID_IMAPIFolder);
         },
         1, 2},
    };
    for (const RefCase& c : cases) {
        FakeFolder object;
        c.run(object);
        EXPECT_EQ(object.addRefs, c.addRefs) << c.what;
        EXPECT_EQ(object.releases, c.releases) << c.what;
        EXPECT_EQ(object.refs, 0) << c.what;
    }
}

TEST_F(MapiOwnersTest, MapiBufferFreesItsBufferOnce) {
    {
        MapiBuffer<SPropValue> values;
        ASSERT_EQ(values.Allocate(2 * sizeof(SPropValue)), S_OK);
        values[1].ulPropTag = PR_ENTRYID;
        MapiBuffer<SPropValue> moved = std::move(values);
        EXPECT_FALSE(values);
        EXPECT_EQ(moved[1].ulPropTag, PR_ENTRYID);
        EXPECT_EQ(NewLiveBuffers(), 1u);
        ASSERT_EQ(moved.Allocate(8), S_OK);  // the first buffer is freed
        EXPECT_EQ(NewLiveBuffers(), 1u);
    }
    EXPECT_EQ(NewLiveBuffers(), 0u);

    MapiBuffer<ENTRYID> entryId;
    LPVOID raw = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(CbNewENTRYID(4), &raw), S_OK);
    *entryId.Put() = static_cast<LPENTRYID>(raw);
    ENTRYID* kept = entryId.Detach();
    EXPECT_EQ(NewLiveBuffers(), 1u);
    MAPIFreeBuffer(kept);

    portable::InjectAllocationFailures(0);
    MapiBuffer<BYTE> failed;
    EXPECT_EQ(failed.Allocate(4), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(failed);
}

TEST_F(MapiOwnersTest, RowSetAndAdrListOwnersFreeRowsAndList) {
    {
        test::FakeTable table(3);
        RowSetPtr rows;
        ASSERT_EQ(table.QueryRows(10, 0, rows.Put()), S_OK);
        EXPECT_EQ(rows.Count(), 3u);
        EXPECT_EQ(rows[2].lpProps[0].Value.l, 2);
        EXPECT_EQ(NewLiveBuffers(), 4u);
        ASSERT_EQ(table.QueryRows(10, 0, rows.Put()), S_OK);  // the first set is freed
        EXPECT_EQ(rows.Count(), 0u);
        EXPECT_EQ(NewLiveBuffers(), 1u);
    }
    {
        AdrListPtr list;
        ASSERT_EQ(list.Allocate(2), S_OK);
        EXPECT_EQ(list.Count(), 2u);
        EXPECT_EQ(list[1].cValues, 0u);  // entries start empty, not with allocator filler
        EXPECT_EQ(list[1].rgPropVals, nullptr);
        ASSERT_EQ(list.Allocate(1), S_OK);  // the first list is freed
        EXPECT_EQ(NewLiveBuffers(), 1u);
        list[0] = {0, 2, test::FakeTable::MakeRow(7)};
        EXPECT_EQ(list.Count(), 1u);
        AdrListPtr other = std::move(list);
        EXPECT_EQ(list.Count(), 0u);
        EXPECT_EQ(NewLiveBuffers(), 2u);
    }
    EXPECT_EQ(NewLiveBuffers(), 0u);

    portable::InjectAllocationFailures(0);
    AdrListPtr failed;
    EXPECT_EQ(failed.Allocate(1), MAPI_E_NOT_ENOUGH_MEMORY);
    EXPECT_FALSE(failed);
}

}  // namespace
}  // namespace mapi
