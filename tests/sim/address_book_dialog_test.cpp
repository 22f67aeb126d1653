// The address book: the scripted address dialog and what it records, opened entries and
// distribution lists, PrepareRecips and entry-id comparison.
#include <gtest/gtest.h>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "sim/address_book.h"
#include "sim/builder.h"
#include "sim/props.h"
#include "sim/simulator.h"

namespace {

using mapi::ULONG;
using sim::AddressDialogAnswer;
using sim::Simulator;

constexpr char16_t kServer[] =
    u"/o=Example/ou=First Administrative Group/cn=Configuration/"
    u"cn=Servers/cn=EXCH01";

const mapi::SPropValue* Find(const mapi::ADRENTRY& entry, ULONG tag) {
    for (ULONG i = 0; i < entry.cValues; ++i) {
        if (entry.rgPropVals[i].ulPropTag == tag) return &entry.rgPropVals[i];
    }
    return nullptr;
}

class AddressBookTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Simulator::Instance().Reset();
        buffers_ = mapi::portable::GetBufferStats().liveBuffers;
        sim::OrgBuilder b;
        b.Server(kServer);
        auto& mailbox = b.Mailbox(u"/o=Example/cn=Recipients/cn=jdoe", kServer);
        jdoe_ = b.User(u"John Doe", mailbox)
                    .Proxies({u"X400:c=US;a= ;p=Example;o=Exchange;s=Doe;g=John;",
                              u"smtp:john@example.org"})
                    .Smtp(u"jdoe@example.com")
                    .Index();
        nohome_ = b.User(u"No Home", u"/o=Example/cn=Recipients/cn=nohome").Index();
        list_ = b.DistList(u"All Staff", u"/o=Example/cn=Recipients/cn=allstaff")
                    .Members({jdoe_, nohome_})
                    .Index();
        book_ = sim::MakeAddressBook();
    }
    void TearDown() override {
        book_.Reset();
        EXPECT_EQ(Simulator::Instance().LiveObjectLabels(), std::vector<std::string>{});
        EXPECT_EQ(Simulator::Instance().DoubleReleases(), 0);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, buffers_);
        EXPECT_EQ(mapi::portable::GetBufferStats().badFrees, 0u);
        Simulator::Instance().Reset();
    }

    static void Script(std::vector<AddressDialogAnswer> answers) {
        Simulator::Instance().Org().addressDialogAnswers = std::move(answers);
    }
    static sim::Bytes IdOf(std::uint32_t index) {
        return sim::AddressEntryId(*Simulator::Instance().Org().FindEntry(index));
    }
    // The library's single-selection parameters: 8-bit caption and title, one title, no wells.
    static mapi::ADRPARM SingleSelection(mapi::LPTSTR* titles) {
        mapi::ADRPARM params{};
        params.ulFlags =
            mapi::DIALOG_MODAL | mapi::ADDRESS_ONE | mapi::AB_SELECTONLY | mapi::AB_RESOLVE;
        params.lpszCaption = "Select Mailbox";
        params.lppszDestTitles = titles;
        return params;
    }

    mapi::ComPtr<mapi::IAddrBook> book_;
    std::uint32_t jdoe_ = 0, nohome_ = 0, list_ = 0;
    std::size_t buffers_ = 0;
};

TEST_F(AddressBookTest, TheDialogRecordsItsParametersAndHandsBackThePicks) {
    Script({{AddressDialogAnswer::Action::Pick, {jdoe_, list_, 999}, 0}});
    mapi::LPTSTR titles[] = {"Select"};
    mapi::ADRPARM params = SingleSelection(titles);
    mapi::ULONG_PTR window = 0;
    mapi::AdrListPtr list;
    ASSERT_EQ(book_->Address(&window, &params, list.Put()), mapi::S_OK);

    const auto& dialogs = Simulator::Instance().AddressDialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].flags, 0x39u);
    EXPECT_EQ(dialogs[0].caption, "Select Mailbox");
    EXPECT_EQ(dialogs[0].destFields, 0u);
    EXPECT_EQ(dialogs[0].destTitles, std::vector<std::string>{"Select"});
    EXPECT_FALSE(dialogs[0].hasDestComps || dialogs[0].hasContainer || dialogs[0].hasDismiss);
    EXPECT_EQ(dialogs[0].result, mapi::S_OK);

    ASSERT_EQ(list->cEntries, 2u);  // the unknown index is left out
    const mapi::SPropValue* id = Find(list->aEntries[0], mapi::PR_ENTRYID);
    ASSERT_NE(id, nullptr);
    EXPECT_EQ(sim::Bytes(id->Value.bin.lpb, id->Value.bin.lpb + id->Value.bin.cb), IdOf(jdoe_));
    EXPECT_EQ(std::u16string(Find(list->aEntries[0], mapi::PR_DISPLAY_NAME_W)->Value.lpszW),
              u"John Doe");
    EXPECT_EQ(Find(list->aEntries[0], mapi::PR_RECIPIENT_TYPE), nullptr);
    EXPECT_EQ(Find(list->aEntries[1], mapi::PR_OBJECT_TYPE)->Value.ul, mapi::MAPI_DISTLIST);
    EXPECT_EQ(Find(list->aEntries[0], mapi::PR_OBJECT_TYPE)->Value.ul, mapi::MAPI_MAILUSER);
    // The list and each entry's values are separate buffers.
    EXPECT_TRUE(mapi::portable::IsLiveBuffer(list->aEntries[1].rgPropVals));
}

TEST_F(AddressBookTest, CancelFailureAndAnUnscriptedDialogLeaveTheListAlone) {
    const struct {
        const char* name;
        std::vector<AddressDialogAnswer> script;
        mapi::HRESULT result;
        bool scripted;
    } cases[] = {
        {"cancel", {{AddressDialogAnswer::Action::Cancel, {}, 0}}, mapi::MAPI_E_USER_CANCEL, true},
        {"fail",
         {{AddressDialogAnswer::Action::Fail, {}, mapi::MAPI_E_NETWORK_ERROR}},
         mapi::MAPI_E_NETWORK_ERROR,
         true},
        {"nobody scripted it", {}, mapi::MAPI_E_USER_CANCEL, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Simulator::Instance().ClearRecords();
        Script(c.script);
        mapi::LPTSTR titles[] = {"Select"};
        mapi::ADRPARM params = SingleSelection(titles);
        mapi::ULONG_PTR window = 0;
        mapi::ADRLIST* list = nullptr;
        EXPECT_EQ(book_->Address(&window, &params, &list), c.result);
        EXPECT_EQ(list, nullptr);
        ASSERT_EQ(Simulator::Instance().AddressDialogs().size(), 1u);
        EXPECT_EQ(Simulator::Instance().AddressDialogs()[0].scripted, c.scripted);
        EXPECT_EQ(Simulator::Instance().AddressDialogs()[0].result, c.result);
    }
}

TEST_F(AddressBookTest, WellsKeepTheListPassedInAndMarkPicksWithTheWellsType) {
    mapi::LPTSTR titles[] = {"Select"};
    mapi::ADRPARM params = SingleSelection(titles);
    params.ulFlags = mapi::DIALOG_MODAL | mapi::AB_SELECTONLY | mapi::AB_RESOLVE;
    params.cDestFields = 1;
    Script({{AddressDialogAnswer::Action::Pick, {nohome_}, 0},
            {AddressDialogAnswer::Action::Pick, {jdoe_}, 0}});
    mapi::ULONG_PTR window = 0;
    mapi::AdrListPtr list;
    ASSERT_EQ(book_->Address(&window, &params, list.Put()), mapi::S_OK);
    ASSERT_EQ(book_->Address(&window, &params, list.Put()), mapi::S_OK);
    ASSERT_EQ(list->cEntries, 1u);  // Put() handed in null the second time
    ASSERT_EQ(Simulator::Instance().AddressDialogs().back().destTitles,
              std::vector<std::string>{"Select"});

    Script({{AddressDialogAnswer::Action::Pick, {nohome_}, 0}});
    mapi::ADRLIST* kept = list.Detach();
    ASSERT_EQ(book_->Address(&window, &params, &kept), mapi::S_OK);
    list.Attach(kept);
    ASSERT_EQ(list->cEntries, 2u);
    EXPECT_EQ(std::u16string(Find(list->aEntries[0], mapi::PR_DISPLAY_NAME_W)->Value.lpszW),
              u"John Doe");
    EXPECT_EQ(std::u16string(Find(list->aEntries[1], mapi::PR_DISPLAY_NAME_W)->Value.lpszW),
              u"No Home");
    EXPECT_EQ(Find(list->aEntries[1], mapi::PR_RECIPIENT_TYPE)->Value.ul, mapi::MAPI_TO);
}

TEST_F(AddressBookTest, OpenedEntriesServeTheDirectoryProperties) {
    const sim::Bytes id = IdOf(nohome_);
    ULONG type = 0;
    mapi::ComPtr<mapi::IUnknown> unknown;
    ASSERT_EQ(book_->OpenEntry(static_cast<ULONG>(id.size()),
                               reinterpret_cast<mapi::LPENTRYID>(const_cast<uint8_t*>(id.data())),
                               &mapi::IID_IMAPIProp, 0, &type, unknown.Put()),
              mapi::S_OK);
    EXPECT_EQ(type, mapi::MAPI_MAILUSER);
    auto entry = mapi::StaticPointerCast<mapi::IMAPIProp>(std::move(unknown));
    mapi::SizedSPropTagArray<3> tags{
        3, {mapi::PR_DISPLAY_NAME_W, mapi::PR_EMS_AB_HOME_MDB_W, mapi::PR_EMAIL_ADDRESS_W}};
    ULONG count = 0;
    mapi::MapiBuffer<mapi::SPropValue> values;
    ASSERT_EQ(entry->GetProps(tags.get(), 0, &count, values.Put()), mapi::MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(std::u16string(values[0].Value.lpszW), u"No Home");
    EXPECT_EQ(values[1].ulPropTag,
              mapi::CHANGE_PROP_TYPE(mapi::PR_EMS_AB_HOME_MDB_W, mapi::PT_ERROR));
    EXPECT_EQ(values[1].Value.err, mapi::MAPI_E_NOT_FOUND);
    EXPECT_EQ(std::u16string(values[2].Value.lpszW), u"/o=Example/cn=Recipients/cn=nohome");

    const sim::Bytes listId = IdOf(list_);
    mapi::LPENTRYID raw = reinterpret_cast<mapi::LPENTRYID>(const_cast<uint8_t*>(listId.data()));
    EXPECT_EQ(book_->OpenEntry(static_cast<ULONG>(listId.size()), raw, &mapi::IID_IMailUser, 0,
                               &type, unknown.Put()),
              mapi::MAPI_E_INTERFACE_NOT_SUPPORTED);
    ASSERT_EQ(
        book_->OpenEntry(static_cast<ULONG>(listId.size()), raw, nullptr, 0, &type, unknown.Put()),
        mapi::S_OK);
    EXPECT_EQ(type, mapi::MAPI_DISTLIST);
    auto list = mapi::StaticPointerCast<mapi::IDistList>(std::move(unknown));
    mapi::ComPtr<mapi::IMAPITable> members;
    ASSERT_EQ(list->GetContentsTable(mapi::MAPI_UNICODE, members.Put()), mapi::S_OK);
    ULONG rows = 0;
    EXPECT_EQ(members->GetRowCount(0, &rows), mapi::S_OK);
    EXPECT_EQ(rows, 2u);

    sim::Bytes unknownId = id;
    unknownId.back() ^= 0x5A;
    EXPECT_EQ(book_->OpenEntry(static_cast<ULONG>(unknownId.size()),
                               reinterpret_cast<mapi::LPENTRYID>(unknownId.data()), nullptr, 0,
                               &type, unknown.Put()),
              mapi::MAPI_E_UNKNOWN_ENTRYID);
}

// The working list of an SMTP lookup: PR_ENTRYID and PR_RECIPIENT_TYPE, duplicated into one
// buffer, then prepared with the four properties the lookup reads by position.
TEST_F(AddressBookTest, AWarningFaultOnGetPropsHandsBackEveryValueAsAnError) {
    const sim::Bytes id = IdOf(nohome_);
    ULONG type = 0;
    mapi::ComPtr<mapi::IUnknown> unknown;
    ASSERT_EQ(book_->OpenEntry(static_cast<ULONG>(id.size()),
                               reinterpret_cast<mapi::LPENTRYID>(const_cast<uint8_t*>(id.data())),
                               &mapi::IID_IMAPIProp, 0, &type, unknown.Put()),
              mapi::S_OK);
    auto entry = mapi::StaticPointerCast<mapi::IMAPIProp>(std::move(unknown));
    Simulator::Instance().AddFault(
        {"IMailUser::GetProps", mapi::MAPI_W_ERRORS_RETURNED, 1, "", false});
    mapi::SizedSPropTagArray<2> tags{2, {mapi::PR_DISPLAY_NAME_W, mapi::PR_EMAIL_ADDRESS_W}};
    ULONG count = 0;
    mapi::MapiBuffer<mapi::SPropValue> values;
    ASSERT_EQ(entry->GetProps(tags.get(), 0, &count, values.Put()), mapi::MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 2u);
    for (ULONG i = 0; i < count; ++i) {
        EXPECT_EQ(values[i].ulPropTag, mapi::CHANGE_PROP_TYPE(tags.aulPropTag[i], mapi::PT_ERROR));
        EXPECT_EQ(values[i].Value.err, mapi::MAPI_E_NOT_FOUND);
    }
    // The fault was for the first call only.
    ASSERT_EQ(entry->GetProps(tags.get(), 0, &count, values.Put()), mapi::S_OK);
    EXPECT_EQ(std::u16string(values[0].Value.lpszW), u"No Home");
}

TEST_F(AddressBookTest, PrepareRecipsPutsTheRequestedPropertiesFirst) {
    auto& nohome = *Simulator::Instance().Org().FindEntry(nohome_);
    sim::RemoveProp(nohome.props, mapi::PR_SEND_RICH_INFO);
    nohome.props[mapi::PR_EMS_AB_PROXY_ADDRESSES_W] = std::vector<std::u16string>{};
    const sim::Bytes id = IdOf(nohome_);

    mapi::AdrListPtr list;
    ASSERT_EQ(MAPIAllocateBuffer(mapi::CbNewADRLIST(1), reinterpret_cast<void**>(list.Put())),
              mapi::S_OK);
    list->cEntries = 1;
    mapi::SPropValue given[2] = {};
    given[0].ulPropTag = mapi::PR_ENTRYID;
    given[0].Value.bin = {static_cast<ULONG>(id.size()), const_cast<uint8_t*>(id.data())};
    given[1].ulPropTag = mapi::PR_RECIPIENT_TYPE;
    given[1].Value.l = static_cast<mapi::LONG>(mapi::MAPI_TO);
    list->aEntries[0] = {0, 2, nullptr};
    ASSERT_EQ(ScDupPropset(2, given, mapi::MAPIAllocateBuffer, &list->aEntries[0].rgPropVals),
              mapi::S_OK);
    mapi::SPropValue* old = list->aEntries[0].rgPropVals;

    mapi::SizedSPropTagArray<4> tags{4,
                                     {mapi::PR_ADDRTYPE_W, mapi::PR_EMAIL_ADDRESS_W,
                                      mapi::PR_SEND_RICH_INFO, mapi::PR_EMS_AB_PROXY_ADDRESSES_W}};
    ASSERT_EQ(book_->PrepareRecips(0, tags.get(), list.Get()), mapi::S_OK);
    const mapi::ADRENTRY& entry = list->aEntries[0];
    EXPECT_FALSE(mapi::portable::IsLiveBuffer(old));
    ASSERT_EQ(entry.cValues, 6u);
    EXPECT_EQ(entry.rgPropVals[0].ulPropTag, mapi::PR_ADDRTYPE_W);
    EXPECT_EQ(std::u16string(entry.rgPropVals[0].Value.lpszW), u"EX");
    EXPECT_EQ(entry.rgPropVals[1].ulPropTag, mapi::PR_EMAIL_ADDRESS_W);
    EXPECT_EQ(entry.rgPropVals[2].ulPropTag,
              mapi::CHANGE_PROP_TYPE(mapi::PR_SEND_RICH_INFO, mapi::PT_ERROR));
    EXPECT_EQ(entry.rgPropVals[3].ulPropTag, mapi::PR_EMS_AB_PROXY_ADDRESSES_W);
    EXPECT_EQ(entry.rgPropVals[3].Value.MVszW.cValues, 0u);
    EXPECT_EQ(entry.rgPropVals[4].ulPropTag, mapi::PR_ENTRYID);
    EXPECT_EQ(sim::Bytes(entry.rgPropVals[4].Value.bin.lpb,
                         entry.rgPropVals[4].Value.bin.lpb + entry.rgPropVals[4].Value.bin.cb),
              id);
    EXPECT_EQ(entry.rgPropVals[5].ulPropTag, mapi::PR_RECIPIENT_TYPE);

    // An id no directory entry has leaves its entry as it was.
    list->aEntries[0].rgPropVals[4].Value.bin.lpb[id.size() - 1] ^= 0x5A;
    EXPECT_EQ(book_->PrepareRecips(0, tags.get(), list.Get()), mapi::MAPI_E_NOT_FOUND);
    EXPECT_EQ(list->aEntries[0].cValues, 6u);
}

TEST_F(AddressBookTest, CompareEntryIdsEquatesOnlyTheSameEntry) {
    sim::Bytes a = IdOf(jdoe_), b = IdOf(jdoe_), c = IdOf(nohome_);
    sim::Bytes junk = {1, 2, 3, 4};
    auto raw = [](sim::Bytes& id) { return reinterpret_cast<mapi::LPENTRYID>(id.data()); };
    auto size = [](const sim::Bytes& id) { return static_cast<ULONG>(id.size()); };
    ULONG same = 7;
    ASSERT_EQ(book_->CompareEntryIDs(size(a), raw(a), size(b), raw(b), 0, &same), mapi::S_OK);
    EXPECT_EQ(same, 1u);
    ASSERT_EQ(book_->CompareEntryIDs(size(a), raw(a), size(c), raw(c), 0, &same), mapi::S_OK);
    EXPECT_EQ(same, 0u);
    EXPECT_EQ(book_->CompareEntryIDs(size(a), raw(a), size(junk), raw(junk), 0, &same),
              mapi::MAPI_E_UNKNOWN_ENTRYID);
}

}  // namespace
