// Named properties: a name map per store, names created on request, looked up by their exact
// UTF-16 units, shared by the store's folders and messages.
#include <gtest/gtest.h>

#include <cstring>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "sim/builder.h"
#include "sim/simulator.h"
#include "sim/store.h"

namespace {

using mapi::ComPtr;
using mapi::ULONG;
using sim::Simulator;

const std::u16string kServer = u"/o=Example/ou=AG/cn=Configuration/cn=Servers/cn=EXCH01";

// The name as the library passes it: its ASCII bytes read as little-endian UTF-16 units.
std::u16string PackedAscii(const std::string& text) {
    std::u16string units(text.size() / 2, u'\0');
    std::memcpy(units.data(), text.data(), units.size() * 2);
    return units;
}

class StoreNamedPropsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Simulator::Instance().Reset();
        buffers_ = mapi::portable::GetBufferStats().liveBuffers;
        first_ = &builder_.Mailbox(u"/o=Example/cn=Recipients/cn=first", kServer).StandardFolders();
        second_ = &builder_.Mailbox(u"/o=Example/cn=Recipients/cn=second", kServer);
        ASSERT_EQ(sim::OpenStore(first_->ProfileStoreEntryId(), mapi::MDB_WRITE, true, a_.Put()),
                  mapi::S_OK);
        ASSERT_EQ(sim::OpenStore(second_->ProfileStoreEntryId(), mapi::MDB_WRITE, true, b_.Put()),
                  mapi::S_OK);
    }
    void TearDown() override {
        a_.Reset();
        b_.Reset();
        EXPECT_EQ(Simulator::Instance().LiveObjects(), 0);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, buffers_);
        Simulator::Instance().Reset();
    }

    // The tags GetIDsFromNames gives for string names in PS_PUBLIC_STRINGS.
    static std::vector<ULONG> Ids(mapi::IMAPIProp* object, std::vector<std::u16string> names,
                                  ULONG flags, mapi::HRESULT* hr) {
        mapi::GUID set = mapi::PS_PUBLIC_STRINGS;
        std::vector<mapi::MAPINAMEID> ids(names.size());
        std::vector<mapi::LPMAPINAMEID> pointers;
        for (std::size_t i = 0; i < names.size(); ++i) {
            ids[i].lpguid = &set;
            ids[i].ulKind = mapi::MNID_STRING;
            ids[i].Kind.lpwstrName = names[i].data();
            pointers.push_back(&ids[i]);
        }
        mapi::MapiBuffer<mapi::SPropTagArray> tags;
        *hr = object->GetIDsFromNames(static_cast<ULONG>(names.size()), pointers.data(), flags,
                                      tags.Put());
        std::vector<ULONG> result;
        if (tags) result.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
        return result;
    }

    sim::OrgBuilder builder_;
    sim::MailboxBuilder* first_ = nullptr;
    sim::MailboxBuilder* second_ = nullptr;
    ComPtr<mapi::IMsgStore> a_, b_;
    std::size_t buffers_ = 0;
};

TEST_F(StoreNamedPropsTest, EachStoreNumbersItsOwnNamesFrom0x8000) {
    const std::u16string state = PackedAscii("PR_KVO_SYNCH_STATE");
    const std::u16string entry = PackedAscii("PR_KVO_SYNCH_ENTRYID");
    mapi::HRESULT hr = 0;
    EXPECT_EQ(Ids(a_.Get(), {u"Other"}, mapi::MAPI_CREATE, &hr), std::vector<ULONG>{0x80000000});
    EXPECT_EQ(Ids(a_.Get(), {state, entry}, mapi::MAPI_CREATE, &hr),
              (std::vector<ULONG>{0x80010000, 0x80020000}));
    EXPECT_EQ(hr, mapi::S_OK);
    EXPECT_EQ(Ids(b_.Get(), {entry, state}, mapi::MAPI_CREATE, &hr),
              (std::vector<ULONG>{0x80000000, 0x80010000}));
    // Asked again, the names keep their ids.
    EXPECT_EQ(Ids(a_.Get(), {entry}, 0, &hr), std::vector<ULONG>{0x80020000});
    EXPECT_EQ(first_->Model().namedProperties.size(), 3u);
    EXPECT_EQ(second_->Model().namedProperties.size(), 2u);
}

TEST_F(StoreNamedPropsTest, NamesMatchByTheirExactUnits) {
    const std::u16string packed = PackedAscii("PR_KVO_SYNCH_STATE");
    ASSERT_EQ(packed.size(), 9u);
    EXPECT_EQ(packed[0], 0x5250);
    const std::u16string spelled = u"PR_KVO_SYNCH_STATE";
    mapi::HRESULT hr = 0;
    ULONG packedId = Ids(a_.Get(), {packed}, mapi::MAPI_CREATE, &hr).at(0);
    auto spelledLookup = Ids(a_.Get(), {spelled, u"pr_kvo_synch_state"}, 0, &hr);
    EXPECT_EQ(hr, mapi::MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(spelledLookup, (std::vector<ULONG>{mapi::PT_ERROR, mapi::PT_ERROR}));
    ULONG spelledId = Ids(a_.Get(), {spelled}, mapi::MAPI_CREATE, &hr).at(0);
    EXPECT_NE(spelledId, packedId);
    EXPECT_EQ(Ids(a_.Get(), {packed}, 0, &hr).at(0), packedId);
    ASSERT_EQ(first_->Model().namedProperties.size(), 2u);
    EXPECT_EQ(first_->Model().namedProperties[0].name, packed);
    EXPECT_EQ(first_->Model().namedProperties[1].name, spelled);
}

TEST_F(StoreNamedPropsTest, FoldersAndMessagesShareTheirStoresNameMap) {
    const std::u16string entry = PackedAscii("PR_KVO_SYNCH_ENTRYID");
    ComPtr<mapi::IUnknown> unknown;
    ASSERT_EQ(a_->OpenEntry(0, nullptr, &mapi::IID_IMAPIFolder, mapi::MAPI_MODIFY, nullptr,
                            unknown.PutUnknown()),
              mapi::S_OK);
    ComPtr<mapi::IMAPIFolder> root;
    ASSERT_EQ(unknown.As(root), mapi::S_OK);
    mapi::HRESULT hr = 0;
    ULONG id = Ids(root.Get(), {entry}, mapi::MAPI_CREATE, &hr).at(0);
    EXPECT_EQ(Ids(a_.Get(), {entry}, 0, &hr).at(0), id);

    // A value stored under the named tag on a new message shows in the contents table.
    ComPtr<mapi::IMessage> marker;
    ASSERT_EQ(root->CreateMessage(nullptr, 0, marker.Put()), mapi::S_OK);
    EXPECT_EQ(Ids(marker.Get(), {entry}, 0, &hr).at(0), id);
    std::uint8_t key[] = {9, 8, 7};
    mapi::SPropValue value{mapi::CHANGE_PROP_TYPE(id, mapi::PT_BINARY), 0, {}};
    value.Value.bin = {3, key};
    ASSERT_EQ(mapi::HrSetOneProp(marker.Get(), &value), mapi::S_OK);
    ASSERT_EQ(marker->SaveChanges(mapi::FORCE_SAVE), mapi::S_OK);
    ComPtr<mapi::IMAPITable> contents;
    ASSERT_EQ(root->GetContentsTable(0, contents.Put()), mapi::S_OK);
    mapi::SizedSPropTagArray<1> columns;
    columns.aulPropTag[0] = value.ulPropTag;
    mapi::RowSetPtr rows;
    ASSERT_EQ(mapi::HrQueryAllRows(contents.Get(), columns.get(), nullptr, nullptr, 0, rows.Put()),
              mapi::S_OK);
    ASSERT_EQ(rows.Count(), 1u);
    EXPECT_EQ(rows[0].lpProps[0].ulPropTag, value.ulPropTag);
    EXPECT_EQ(rows[0].lpProps[0].Value.bin.cb, 3u);
}

TEST_F(StoreNamedPropsTest, NumericNamesAndGetNamesFromIDs) {
    mapi::GUID set = mapi::PS_PUBLIC_STRINGS;
    mapi::MAPINAMEID numeric{&set, mapi::MNID_ID, {}};
    numeric.Kind.lID = 0x8501;
    std::u16string text = u"0x8501";
    mapi::MAPINAMEID named{&set, mapi::MNID_STRING, {}};
    named.Kind.lpwstrName = text.data();
    mapi::LPMAPINAMEID names[] = {&numeric, &named};
    mapi::MapiBuffer<mapi::SPropTagArray> tags;
    ASSERT_EQ(a_->GetIDsFromNames(2, names, mapi::MAPI_CREATE, tags.Put()), mapi::S_OK);
    ASSERT_EQ(tags->cValues, 2u);
    EXPECT_NE(tags->aulPropTag[0], tags->aulPropTag[1]);

    mapi::LPSPropTagArray asked = tags.Get();
    ULONG count = 0;
    mapi::MapiBuffer<mapi::LPMAPINAMEID> found;
    ASSERT_EQ(a_->GetNamesFromIDs(&asked, nullptr, 0, &count, found.Put()), mapi::S_OK);
    ASSERT_EQ(count, 2u);
    EXPECT_EQ(found[0]->ulKind, mapi::MNID_ID);
    EXPECT_EQ(found[0]->Kind.lID, 0x8501);
    EXPECT_EQ(*found[0]->lpguid, mapi::PS_PUBLIC_STRINGS);
    EXPECT_EQ(std::u16string(found[1]->Kind.lpwstrName), u"0x8501");
}

}  // namespace
