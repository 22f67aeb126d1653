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

// What a MAPI call did: its result, and whether it wrote the object to its out-parameter.
struct HandOut {
    const char* what;
    HRESULT returned;
    bool object;
    HRESULT expected;  // Obtained's answer
};

const HandOut kHandOuts[] = {
    {"success with the object", S_OK, true, S_OK},
    {"a warning with the object", MAPI_W_ERRORS_RETURNED, true, MAPI_W_ERRORS_RETURNED},
    {"success without the object", S_OK, false, MAPI_E_CALL_FAILED},
    {"a warning without the object", MAPI_W_ERRORS_RETURNED, false, MAPI_E_CALL_FAILED},
    {"a failure", MAPI_E_NO_ACCESS, false, MAPI_E_NO_ACCESS},
};

// An object whose QueryInterface answers as the case says.
class ScriptedQuery : public FakeFolder {
  public:
    explicit ScriptedQuery(const HandOut& c) : case_(c) {}
    HRESULT MAPI_CALL QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        if (case_.object) {
            *out = static_cast<IMAPIProp*>(this);
            AddRef();
        }
        return case_.returned;
    }

  private:
    const HandOut& case_;
};

// What the call of a case writes to its out-parameter and returns.
template <class P>
HRESULT HandOver(const HandOut& c, P* out, P object) {
    *out = c.object ? object : nullptr;
    return c.returned;
}

// Each out-parameter form, with Obtained in the statement after the call as the library uses
// it: the object reaches the owner, or the call counts as failed and nothing is released that
// was never handed out.
TEST_F(MapiOwnersTest, ObtainedFailsACallThatSucceedsWithoutItsObject) {
    for (const HandOut& c : kHandOuts) {
        SCOPED_TRACE(c.what);
        const int releases = c.object ? 1 : 0;
        {
            FakeFolder o;
            {
                ComPtr<IMAPIProp> p;
                HRESULT hr = HandOver<IMAPIProp*>(c, p.Put(), &o);
                EXPECT_EQ(Obtained(hr, p), c.expected) << "Put";
                EXPECT_EQ(p.Get(), c.object ? &o : nullptr) << "Put";
            }
            EXPECT_EQ(o.releases, releases) << "Put";
        }
        {
            FakeFolder o;
            {
                ComPtr<IMAPIProp> p;
                HRESULT hr = HandOver<IUnknown*>(c, p.PutUnknown(), &o);
                EXPECT_EQ(Obtained(hr, p), c.expected) << "PutUnknown";
                EXPECT_EQ(p.Get(), c.object ? &o : nullptr) << "PutUnknown";
            }
            EXPECT_EQ(o.releases, releases) << "PutUnknown";
        }
        {
            FakeFolder o;
            {
                ComPtr<IMAPIProp> p;
                HRESULT hr = HandOver<void*>(c, p.PutVoid(), static_cast<IMAPIProp*>(&o));
                EXPECT_EQ(Obtained(hr, p), c.expected) << "PutVoid";
                EXPECT_EQ(p.Get(), c.object ? &o : nullptr) << "PutVoid";
            }
            EXPECT_EQ(o.releases, releases) << "PutVoid";
        }
        {
            ScriptedQuery o(c);
            {
                ComPtr<IUnknown> unknown;
                unknown.Attach(&o);
                ComPtr<IMAPIProp> p;
                EXPECT_EQ(unknown.As(p), c.expected) << "As";
                EXPECT_EQ(p.Get(), c.object ? &o : nullptr) << "As";
            }
            EXPECT_EQ(o.releases, 1 + releases) << "As";
            EXPECT_EQ(o.refs, 0) << "As";
        }
        {
            LPVOID block = nullptr;
            ASSERT_EQ(MAPIAllocateBuffer(sizeof(SPropValue), &block), S_OK);
            MapiBuffer<SPropValue> values;
            HRESULT hr = HandOver<SPropValue*>(c, values.Put(), static_cast<SPropValue*>(block));
            EXPECT_EQ(Obtained(hr, values), c.expected) << "MapiBuffer";
            EXPECT_EQ(values.Get(), c.object ? block : nullptr) << "MapiBuffer";
            if (!c.object) MAPIFreeBuffer(block);
        }
        {
            test::FakeTable table(2);
            LPSRowSet set = nullptr;
            ASSERT_EQ(table.QueryRows(10, 0, &set), S_OK);
            RowSetPtr rows;
            HRESULT hr = HandOver<SRowSet*>(c, rows.Put(), set);
            EXPECT_EQ(Obtained(hr, rows), c.expected) << "RowSetPtr";
            EXPECT_EQ(rows.Get(), c.object ? set : nullptr) << "RowSetPtr";
            if (!c.object) FreeProws(set);
        }
    }
}

// Why Obtained has a statement of its own: the out-parameter of PutUnknown hands the object to
// the owner only once the call's full expression is evaluated.
TEST_F(MapiOwnersTest, PutUnknownHandsTheObjectOverAtTheEndOfTheExpression) {
    FakeFolder o;
    ComPtr<IMAPIProp> p;
    auto open = [&](LPUNKNOWN* out) {
        *out = &o;
        return S_OK;
    };
    EXPECT_EQ(Obtained(open(p.PutUnknown()), p), MAPI_E_CALL_FAILED);
    EXPECT_EQ(p.Get(), &o);
}

}  // namespace
}  // namespace mapi
