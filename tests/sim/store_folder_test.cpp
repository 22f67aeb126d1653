// Folders of a simulated store: opening by every id form, comparing ids, hierarchy and contents
// tables, creating folders and deleting messages.
#include <gtest/gtest.h>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "sim/builder.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"
#include "sim/store.h"

namespace {

using mapi::ComPtr;
using mapi::ULONG;
using sim::Bytes;
using sim::IdForm;
using sim::Simulator;

const std::u16string kServer = u"/o=Example/ou=AG/cn=Configuration/cn=Servers/cn=EXCH01";
const std::u16string kUser = u"/o=Example/ou=AG/cn=Recipients/cn=jdoe";

class StoreFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Simulator::Instance().Reset();
        buffers_ = mapi::portable::GetBufferStats().liveBuffers;
        mb_ = &builder_.Mailbox(kUser, kServer).StandardFolders();
        auto& info = mb_->Folder(u"TavrelHandheldInfo");
        config_ = info.Message(u"KVO.Tavrel.Handheld.Config").Prop(0x600C001F, u"TES1").Id();
        other_ = info.Message(u"IPM.Note").Id();
        hidden_ = info.AssociatedMessage(u"IPM.Configuration").Id();
        info.Folder(u"TavrelSynch");
        mb_->Inbox().Folder(u"Projects").Folder(u"Deep");
        mb_->Inbox().Folder(u"NoKey").NoSourceKey();
        mb_->Folder(u"Secret").NoAccess();
        mb_->Folder(u"Hidden").HierarchyHidden().Folder(u"Invisible");
        ASSERT_EQ(sim::OpenStore(mb_->ProfileStoreEntryId(), mapi::MDB_WRITE, true, store_.Put()),
                  mapi::S_OK);
    }
    void TearDown() override {
        store_.Reset();
        EXPECT_EQ(Simulator::Instance().LiveObjects(), 0);
        EXPECT_EQ(Simulator::Instance().DoubleReleases(), 0);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, buffers_);
        Simulator::Instance().Reset();
    }

    mapi::HRESULT Open(const Bytes& id, ULONG flags, ComPtr<mapi::IUnknown>* out,
                       ULONG* type = nullptr) {
        ULONG objectType = 0;
        mapi::HRESULT hr = store_->OpenEntry(
            static_cast<ULONG>(id.size()),
            reinterpret_cast<mapi::LPENTRYID>(const_cast<std::uint8_t*>(id.data())), nullptr, flags,
            &objectType, out->PutUnknown());
        if (type) *type = objectType;
        return hr;
    }

    ComPtr<mapi::IMAPIFolder> OpenFolder(const Bytes& id, ULONG flags = mapi::MAPI_MODIFY) {
        ComPtr<mapi::IUnknown> unknown;
        EXPECT_EQ(Open(id, flags, &unknown), mapi::S_OK);
        ComPtr<mapi::IMAPIFolder> folder;
        if (unknown) {
            EXPECT_EQ(unknown.As(folder), mapi::S_OK);
        }
        return folder;
    }

    static std::u16string DisplayName(mapi::IMAPIProp* object) {
        mapi::MapiBuffer<mapi::SPropValue> value;
        if (mapi::FAILED(mapi::HrGetOneProp(object, mapi::PR_DISPLAY_NAME_W, value.Put())))
            return u"?";
        return value->Value.lpszW;
    }

    // Every row of a table with the given columns.
    static mapi::RowSetPtr Rows(mapi::IMAPITable* table, std::vector<ULONG> columns) {
        std::vector<ULONG> array(columns.size() + 1);
        array[0] = static_cast<ULONG>(columns.size());
        std::copy(columns.begin(), columns.end(), array.begin() + 1);
        mapi::RowSetPtr rows;
        EXPECT_EQ(mapi::HrQueryAllRows(table, reinterpret_cast<mapi::SPropTagArray*>(array.data()),
                                       nullptr, nullptr, 0, rows.Put()),
                  mapi::S_OK);
        return rows;
    }

    static Bytes BytesOf(const mapi::SPropValue& value) {
        return Bytes(value.Value.bin.lpb, value.Value.bin.lpb + value.Value.bin.cb);
    }

    sim::OrgBuilder builder_;
    sim::MailboxBuilder* mb_ = nullptr;
    ComPtr<mapi::IMsgStore> store_;
    std::uint64_t config_ = 0, other_ = 0, hidden_ = 0;
    std::size_t buffers_ = 0;
};

TEST_F(StoreFolderTest, SpecialFolderIdDiffersFromItsHierarchyIdButComparesEqual) {
    ComPtr<mapi::IMAPIFolder> ipm = OpenFolder(mb_->Ipm().EntryId(IdForm::LongTerm));
    ComPtr<mapi::IMAPITable> table;
    ASSERT_EQ(ipm->GetHierarchyTable(mapi::MAPI_UNICODE, table.Put()), mapi::S_OK);
    mapi::RowSetPtr rows = Rows(table.Get(), {mapi::PR_ENTRYID, mapi::PR_DISPLAY_NAME_W});
    Bytes inboxRowId;
    for (ULONG i = 0; i < rows.Count(); ++i) {
        if (std::u16string(rows[i].lpProps[1].Value.lpszW) == u"Inbox") {
            inboxRowId = BytesOf(rows[i].lpProps[0]);
        }
    }
    Bytes inboxSpecialId = mb_->Inbox().EntryId(IdForm::LongTerm);
    ASSERT_FALSE(inboxRowId.empty());
    EXPECT_NE(inboxRowId, inboxSpecialId);

    auto compare = [&](const Bytes& a, const Bytes& b, ULONG* result) {
        return store_->CompareEntryIDs(
            static_cast<ULONG>(a.size()),
            reinterpret_cast<mapi::LPENTRYID>(const_cast<std::uint8_t*>(a.data())),
            static_cast<ULONG>(b.size()),
            reinterpret_cast<mapi::LPENTRYID>(const_cast<std::uint8_t*>(b.data())), 0, result);
    };
    ULONG equal = 7;
    ASSERT_EQ(compare(inboxRowId, inboxSpecialId, &equal), mapi::S_OK);
    EXPECT_EQ(equal, 1u);
    ASSERT_EQ(compare(inboxRowId, mb_->SentItems().EntryId(), &equal), mapi::S_OK);
    EXPECT_EQ(equal, 0u);
    EXPECT_EQ(compare(Bytes(), inboxSpecialId, &equal), mapi::MAPI_E_INVALID_ENTRYID);
    EXPECT_EQ(compare(mb_->Inbox().SourceKey(), inboxSpecialId, &equal),
              mapi::MAPI_E_INVALID_ENTRYID);

    EXPECT_EQ(DisplayName(OpenFolder(inboxRowId).Get()), u"Inbox");
    EXPECT_EQ(DisplayName(OpenFolder(inboxSpecialId).Get()), u"Inbox");
}

TEST_F(StoreFolderTest, OpenEntryResolvesEveryFormAndRefusesBadIds) {
    Bytes badStore = sim::FolderEntryId(mb_->Index() + 1, mb_->Inbox().Id(), IdForm::LongTerm);
    Bytes garbled = mb_->Inbox().EntryId();
    garbled[10] ^= 0xFF;
    struct Case {
        const char* name;
        Bytes id;
        ULONG flags;
        mapi::HRESULT expect;
        ULONG type;
        std::u16string name_;
    };
    const Case cases[] = {
        {"empty id opens the root", {}, 0x11, mapi::S_OK, mapi::MAPI_FOLDER, u""},
        {"long-term folder", mb_->Inbox().EntryId(IdForm::LongTerm), 0, mapi::S_OK,
         mapi::MAPI_FOLDER, u"Inbox"},
        {"short-term folder", mb_->Inbox().EntryId(IdForm::ShortTerm), mapi::MAPI_BEST_ACCESS,
         mapi::S_OK, mapi::MAPI_FOLDER, u"Inbox"},
        {"message",
         sim::MessageEntryId(mb_->Index(), mb_->Folder(u"TavrelHandheldInfo").Id(), config_,
                             IdForm::ShortTerm),
         mapi::MAPI_MODIFY, mapi::S_OK, mapi::MAPI_MESSAGE, u"?"},
        {"folder gone", sim::FolderEntryId(mb_->Index(), 999999, IdForm::LongTerm), 0,
         mapi::MAPI_E_NOT_FOUND, 0, u""},
        {"another store's id", badStore, 0, mapi::MAPI_E_INVALID_ENTRYID, 0, u""},
        {"garbled", garbled, 0, mapi::MAPI_E_INVALID_ENTRYID, 0, u""},
        {"source key", mb_->Inbox().SourceKey(), 0, mapi::MAPI_E_INVALID_ENTRYID, 0, u""},
        {"refused folder", mb_->Folder(u"Secret").EntryId(), 0x11, mapi::MAPI_E_NO_ACCESS, 0, u""},
        {"unknown flag", mb_->Inbox().EntryId(), 0x00100000, mapi::MAPI_E_UNKNOWN_FLAGS, 0, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ComPtr<mapi::IUnknown> object;
        ULONG type = 0;
        EXPECT_EQ(Open(c.id, c.flags, &object, &type), c.expect);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(static_cast<bool>(object), c.expect == mapi::S_OK);
        if (c.type == mapi::MAPI_FOLDER) {
            ComPtr<mapi::IMAPIFolder> folder;
            ASSERT_EQ(object.As(folder), mapi::S_OK);
            EXPECT_EQ(DisplayName(folder.Get()), c.name_);
        }
    }
}

TEST_F(StoreFolderTest, HierarchyRowsCarryTheColumnsAFolderHas) {
    ComPtr<mapi::IMAPIFolder> inbox = OpenFolder(mb_->Inbox().EntryId());
    ComPtr<mapi::IMAPITable> table;
    ASSERT_EQ(inbox->GetHierarchyTable(0, table.Put()), mapi::S_OK);
    mapi::RowSetPtr rows =
        Rows(table.Get(),
             {mapi::PR_ENTRYID, mapi::PR_DISPLAY_NAME_W, mapi::PR_DEPTH, mapi::PR_SUBFOLDERS,
              mapi::PR_SOURCE_KEY, mapi::PR_CONTAINER_CLASS_W, mapi::PR_OBJECT_TYPE});
    ASSERT_EQ(rows.Count(), 2u);  // Projects and NoKey; Deep is two levels down
    const mapi::SPropValue* projects = rows[0].lpProps;
    EXPECT_EQ(std::u16string(projects[1].Value.lpszW), u"Projects");
    EXPECT_EQ(projects[2].Value.l, 1);
    EXPECT_EQ(projects[3].Value.b, 1);
    EXPECT_EQ(BytesOf(projects[4]), mb_->Inbox().Folder(u"Projects").SourceKey());
    EXPECT_EQ(projects[5].ulPropTag,
              mapi::CHANGE_PROP_TYPE(mapi::PR_CONTAINER_CLASS_W, mapi::PT_ERROR));
    EXPECT_EQ(projects[6].Value.l, static_cast<mapi::LONG>(mapi::MAPI_FOLDER));
    auto ref = sim::ParseStoreObjectId(BytesOf(projects[0]));
    ASSERT_TRUE(ref.has_value());
    EXPECT_EQ(ref->form, IdForm::ShortTerm);
    const mapi::SPropValue* noKey = rows[1].lpProps;
    EXPECT_EQ(noKey[3].Value.b, 0);
    EXPECT_EQ(noKey[4].ulPropTag, mapi::CHANGE_PROP_TYPE(mapi::PR_SOURCE_KEY, mapi::PT_ERROR));
    EXPECT_EQ(noKey[4].Value.err, mapi::MAPI_E_NOT_FOUND);

    ComPtr<mapi::IMAPITable> deep;
    ASSERT_EQ(inbox->GetHierarchyTable(0x1 /* CONVENIENT_DEPTH */, deep.Put()), mapi::S_OK);
    mapi::RowSetPtr all = Rows(deep.Get(), {mapi::PR_DISPLAY_NAME_W, mapi::PR_DEPTH});
    ASSERT_EQ(all.Count(), 3u);
    EXPECT_EQ(std::u16string(all[1].lpProps[0].Value.lpszW), u"Deep");
    EXPECT_EQ(all[1].lpProps[1].Value.l, 2);
}

// A folder released while its table is still held is freed by FreeReleased; the table, the store
// and what they open go on working (the sanitizer build catches a table that kept the freed one).
TEST_F(StoreFolderTest, ReleasedObjectsFreedMidRunLeaveTheHeldOnesWorking) {
    auto& simulator = Simulator::Instance();
    ComPtr<mapi::IMAPITable> table;
    {
        ComPtr<mapi::IMAPIFolder> inbox = OpenFolder(mb_->Inbox().EntryId());
        ASSERT_EQ(inbox->GetHierarchyTable(mapi::MAPI_UNICODE, table.Put()), mapi::S_OK);
    }
    const int live = simulator.LiveObjects();
    simulator.FreeReleased();
    EXPECT_EQ(simulator.LiveObjects(), live);

    mapi::RowSetPtr rows = Rows(table.Get(), {mapi::PR_ENTRYID, mapi::PR_DISPLAY_NAME_W});
    ASSERT_EQ(rows.Count(), 2u);
    EXPECT_EQ(std::u16string(rows[0].lpProps[1].Value.lpszW), u"Projects");
    ComPtr<mapi::IMAPIFolder> projects = OpenFolder(BytesOf(rows[0].lpProps[0]));
    ASSERT_TRUE(projects);
    EXPECT_EQ(DisplayName(projects.Get()), u"Projects");
    EXPECT_EQ(simulator.LiveObjects(), live + 1);
    rows = mapi::RowSetPtr();
    projects.Reset();
    table.Reset();
    simulator.FreeReleased();
    // Nothing left but the store; a Reset after the frees finds no object twice.
    EXPECT_EQ(simulator.LiveObjectLabels().size(), 1u);
    EXPECT_EQ(simulator.DoubleReleases(), 0);
}

TEST_F(StoreFolderTest, AHiddenHierarchyListsNothingAndARefusedFolderIsStillListed) {
    ComPtr<mapi::IMAPIFolder> hidden = OpenFolder(mb_->Folder(u"Hidden").EntryId());
    ComPtr<mapi::IMAPITable> table;
    ASSERT_EQ(hidden->GetHierarchyTable(mapi::MAPI_UNICODE, table.Put()), mapi::S_OK);
    EXPECT_EQ(Rows(table.Get(), {mapi::PR_ENTRYID}).Count(), 0u);

    ComPtr<mapi::IMAPIFolder> root = OpenFolder(Bytes());
    ASSERT_EQ(root->GetHierarchyTable(mapi::MAPI_UNICODE, table.Put()), mapi::S_OK);
    mapi::RowSetPtr rows = Rows(table.Get(), {mapi::PR_DISPLAY_NAME_W});
    std::vector<std::u16string> names;
    for (ULONG i = 0; i < rows.Count(); ++i) names.push_back(rows[i].lpProps[0].Value.lpszW);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Top of Information Store",
                                                  u"TavrelHandheldInfo", u"Secret", u"Hidden"}));
}

TEST_F(StoreFolderTest, ThousandsOfSubfoldersAreReadInBatchesRestrictedToDepthOne) {
    auto& big = mb_->Ipm().Folder(u"Big");
    for (int i = 0; i < 2500; ++i) big.AddFolder(u"Folder");
    ComPtr<mapi::IMAPIFolder> folder = OpenFolder(big.EntryId());
    ComPtr<mapi::IMAPITable> table;
    ASSERT_EQ(folder->GetHierarchyTable(0, table.Put()), mapi::S_OK);
    mapi::SizedSPropTagArray<6> columns;
    const ULONG tags[] = {mapi::PR_ENTRYID,    mapi::PR_DISPLAY_NAME_W, mapi::PR_DEPTH,
                          mapi::PR_SUBFOLDERS, mapi::PR_SOURCE_KEY,     mapi::PR_CONTAINER_CLASS_W};
    std::copy(std::begin(tags), std::end(tags), columns.aulPropTag);
    ASSERT_EQ(table->SetColumns(columns.get(), mapi::TBL_BATCH), mapi::S_OK);
    mapi::SPropValue one{mapi::PR_DEPTH, 0, {}};
    one.Value.l = 1;
    mapi::SRestriction depth{};
    depth.rt = mapi::RES_PROPERTY;
    depth.res.resProperty = {mapi::RELOP_EQ, mapi::PR_DEPTH, &one};
    ASSERT_EQ(table->Restrict(&depth, mapi::TBL_BATCH), mapi::S_OK);
    std::vector<ULONG> batches;
    for (;;) {
        mapi::RowSetPtr rows;
        ASSERT_EQ(table->QueryRows(1024, 0, rows.Put()), mapi::S_OK);
        batches.push_back(rows.Count());
        if (!rows.Count()) break;
        ASSERT_EQ(rows[0].cValues, 6u);
        EXPECT_EQ(rows[0].lpProps[3].ulPropTag, mapi::PR_SUBFOLDERS);
    }
    EXPECT_EQ(batches, (std::vector<ULONG>{1024, 1024, 452, 0}));
}

TEST_F(StoreFolderTest, CreateFolderOpensAnExistingNameOnlyWithOpenIfExists) {
    ComPtr<mapi::IMAPIFolder> root = OpenFolder(Bytes(), mapi::MAPI_MODIFY);
    std::size_t before = mb_->Root().Model().children.size();
    struct Case {
        const char16_t* name;
        ULONG flags;
        mapi::HRESULT expect;
        std::size_t added;
    };
    const Case cases[] = {
        {u"tavrelhandheldinfo", mapi::MAPI_UNICODE | mapi::OPEN_IF_EXISTS, mapi::S_OK, 0},
        {u"TavrelHandheldInfo", mapi::MAPI_UNICODE, mapi::MAPI_E_COLLISION, 0},
        {u"New Folder", mapi::MAPI_UNICODE | mapi::OPEN_IF_EXISTS, mapi::S_OK, 1},
        {u"NEW FOLDER", mapi::MAPI_UNICODE | mapi::OPEN_IF_EXISTS, mapi::S_OK, 1},
        {u"Secret", mapi::MAPI_UNICODE | mapi::OPEN_IF_EXISTS, mapi::MAPI_E_NO_ACCESS, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(sim::ToUtf8(c.name));
        ComPtr<mapi::IMAPIFolder> created;
        EXPECT_EQ(root->CreateFolder(mapi::FOLDER_GENERIC, c.name, nullptr, nullptr, c.flags,
                                     created.Put()),
                  c.expect);
        EXPECT_EQ(mb_->Root().Model().children.size(), before + c.added);
        if (c.expect == mapi::S_OK) {
            EXPECT_TRUE(sim::EqualsAsciiNoCase(DisplayName(created.Get()), c.name));
        }
    }
    ComPtr<mapi::IMAPIFolder> eightBit;
    ASSERT_EQ(
        root->CreateFolder(mapi::FOLDER_GENERIC, "Caf\xE9", nullptr, nullptr, 0, eightBit.Put()),
        mapi::S_OK);
    EXPECT_EQ(DisplayName(eightBit.Get()), u"Caf\u00E9");
    // The new folder has a source key of its own and lives in the model.
    mapi::MapiBuffer<mapi::SPropValue> key;
    ASSERT_EQ(mapi::HrGetOneProp(eightBit.Get(), mapi::PR_SOURCE_KEY, key.Put()), mapi::S_OK);
    EXPECT_EQ(key->Value.bin.cb, 22u);
}

TEST_F(StoreFolderTest, WritingNeedsAFolderOpenedForIt) {
    ComPtr<mapi::IMAPIFolder> readOnly = OpenFolder(Bytes(), 0);
    ComPtr<mapi::IMAPIFolder> created;
    EXPECT_EQ(readOnly->CreateFolder(mapi::FOLDER_GENERIC, u"X", nullptr, nullptr,
                                     mapi::MAPI_UNICODE, created.Put()),
              mapi::MAPI_E_NO_ACCESS);
    ComPtr<mapi::IMessage> message;
    EXPECT_EQ(readOnly->CreateMessage(nullptr, 0, message.Put()), mapi::MAPI_E_NO_ACCESS);

    ComPtr<mapi::IMsgStore> readOnlyStore;
    ASSERT_EQ(sim::OpenStore(mb_->ProfileStoreEntryId(), 0, true, readOnlyStore.Put()), mapi::S_OK);
    ComPtr<mapi::IUnknown> folder;
    EXPECT_EQ(readOnlyStore->OpenEntry(0, nullptr, nullptr, mapi::MAPI_MODIFY, nullptr,
                                       folder.PutUnknown()),
              mapi::MAPI_E_NO_ACCESS);
}

TEST_F(StoreFolderTest,
       ContentsTablesListOrdinaryOrAssociatedMessagesAndDeleteRemovesExactlyThose) {
    auto& info = mb_->Folder(u"TavrelHandheldInfo");
    ComPtr<mapi::IMAPIFolder> folder = OpenFolder(info.EntryId(), 0x11);
    ComPtr<mapi::IMAPITable> contents, associated;
    ASSERT_EQ(folder->GetContentsTable(mapi::MAPI_UNICODE, contents.Put()), mapi::S_OK);
    ASSERT_EQ(folder->GetContentsTable(mapi::MAPI_ASSOCIATED, associated.Put()), mapi::S_OK);
    mapi::RowSetPtr rows = Rows(contents.Get(), {mapi::PR_ENTRYID, mapi::PR_OBJECT_TYPE,
                                                 mapi::PR_MESSAGE_CLASS_W, 0x600C001F});
    ASSERT_EQ(rows.Count(), 2u);
    EXPECT_EQ(rows[0].lpProps[1].Value.l, static_cast<mapi::LONG>(mapi::MAPI_MESSAGE));
    EXPECT_EQ(std::u16string(rows[0].lpProps[2].Value.lpszW), u"KVO.Tavrel.Handheld.Config");
    EXPECT_EQ(std::u16string(rows[0].lpProps[3].Value.lpszW), u"TES1");
    EXPECT_EQ(mapi::PROP_TYPE(rows[1].lpProps[3].ulPropTag), mapi::PT_ERROR);
    EXPECT_EQ(Rows(associated.Get(), {mapi::PR_ENTRYID}).Count(), 1u);

    // Delete the configuration message by its table id, and a message of another folder.
    Bytes configId = BytesOf(rows[0].lpProps[0]);
    Bytes foreign = sim::MessageEntryId(mb_->Index(), mb_->Inbox().Id(), other_, IdForm::LongTerm);
    mapi::SBinary ids[] = {{static_cast<ULONG>(configId.size()), configId.data()},
                           {static_cast<ULONG>(foreign.size()), foreign.data()}};
    mapi::ENTRYLIST list{2, ids};
    EXPECT_EQ(folder->DeleteMessages(&list, 0, nullptr, 0), mapi::MAPI_W_PARTIAL_COMPLETION);
    const auto& messages = info.Model().messages;
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].id, other_);
    EXPECT_EQ(messages[1].id, hidden_);
    // The contents table taken before the deletion keeps its rows.
    ULONG count = 0;
    ASSERT_EQ(contents->GetRowCount(0, &count), mapi::S_OK);
    EXPECT_EQ(count, 2u);
}

}  // namespace
