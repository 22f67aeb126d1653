// Messages of a simulated store: pending changes and saving, new messages, body streams,
// recipients and submission.
#include <gtest/gtest.h>

#include "mapi/mapi.h"
#include "mapi/portable/mapi_accounting.h"
#include "platform/portable/portable_platform.h"
#include "sim/builder.h"
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
constexpr ULONG kServiceName = 0x600C001F;
constexpr ULONG kPendingService = 0x601A001F;

class StoreMessageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Simulator::Instance().Reset();
        platform::portable::FixSystemTime(130000000000000000ull);
        buffers_ = mapi::portable::GetBufferStats().liveBuffers;
        mb_ = &builder_.Mailbox(kUser, kServer).StandardFolders();
        info_ = &mb_->Folder(u"TavrelHandheldInfo");
        config_ = info_->Message(u"KVO.Tavrel.Handheld.Config").Prop(kServiceName, u"TES1").Id();
        ASSERT_EQ(sim::OpenStore(mb_->ProfileStoreEntryId(), mapi::MDB_WRITE, true, store_.Put()),
                  mapi::S_OK);
    }
    void TearDown() override {
        store_.Reset();
        platform::portable::FixSystemTime(std::nullopt);
        EXPECT_EQ(Simulator::Instance().LiveObjects(), 0);
        EXPECT_EQ(Simulator::Instance().DoubleReleases(), 0);
        EXPECT_EQ(mapi::portable::GetBufferStats().liveBuffers, buffers_);
        Simulator::Instance().Reset();
    }

    template <class T>
    ComPtr<T> Open(const Bytes& id, ULONG flags) {
        ComPtr<mapi::IUnknown> unknown;
        EXPECT_EQ(store_->OpenEntry(
                      static_cast<ULONG>(id.size()),
                      reinterpret_cast<mapi::LPENTRYID>(const_cast<std::uint8_t*>(id.data())),
                      nullptr, flags, nullptr, unknown.PutUnknown()),
                  mapi::S_OK);
        ComPtr<T> object;
        if (unknown) {
            EXPECT_EQ(unknown.As(object), mapi::S_OK);
        }
        return object;
    }

    ComPtr<mapi::IMessage> Config(ULONG flags = mapi::MAPI_MODIFY) {
        return Open<mapi::IMessage>(
            sim::MessageEntryId(mb_->Index(), info_->Id(), config_, IdForm::ShortTerm), flags);
    }

    static mapi::HRESULT SetText(mapi::IMAPIProp* object, ULONG tag, const char16_t* text) {
        mapi::SPropValue value{tag, 0, {}};
        value.Value.lpszW = const_cast<char16_t*>(text);
        return mapi::HrSetOneProp(object, &value);
    }

    static std::u16string Text(const sim::PropMap& props, ULONG tag) {
        auto it = props.find(tag);
        return it == props.end() ? u"<none>" : std::get<std::u16string>(it->second);
    }

    static mapi::HRESULT AddBcc(mapi::IMessage* message, const char16_t* address) {
        mapi::SPropValue values[5] = {};
        values[0].ulPropTag = mapi::PR_EMAIL_ADDRESS_W;
        values[0].Value.lpszW = const_cast<char16_t*>(address);
        values[1].ulPropTag = mapi::PR_ADDRTYPE_W;
        values[1].Value.lpszW = const_cast<char16_t*>(u"SMTP");
        values[2].ulPropTag = mapi::PR_RECIPIENT_TYPE;
        values[2].Value.l = mapi::MAPI_BCC;
        values[3].ulPropTag = mapi::PR_DISPLAY_NAME_W;
        values[3].Value.lpszW = const_cast<char16_t*>(address);
        values[4].ulPropTag = mapi::PR_SEND_RICH_INFO;
        values[4].Value.b = 0;
        mapi::ADRLIST list{1, {{0, 5, values}}};
        return message->ModifyRecipients(mapi::MODRECIP_ADD, &list);
    }

    static mapi::HRESULT WriteBody(mapi::IMessage* message, std::u16string_view body) {
        ComPtr<mapi::IStream> stream;
        mapi::HRESULT hr = message->OpenProperty(mapi::PR_BODY_W, &mapi::IID_IStream, 0,
                                                 mapi::MAPI_CREATE | mapi::MAPI_MODIFY,
                                                 reinterpret_cast<mapi::LPUNKNOWN*>(stream.Put()));
        if (mapi::FAILED(hr)) return hr;
        ULONG written = 0;
        return stream->Write(body.data(), static_cast<ULONG>(body.size() * 2), &written);
    }

    ComPtr<mapi::IMessage> NewInInbox() {
        auto inbox = Open<mapi::IMAPIFolder>(mb_->Inbox().EntryId(), mapi::MAPI_MODIFY);
        ComPtr<mapi::IMessage> message;
        EXPECT_EQ(inbox->CreateMessage(nullptr, 0, message.Put()), mapi::S_OK);
        return message;
    }

    sim::OrgBuilder builder_;
    sim::MailboxBuilder* mb_ = nullptr;
    sim::FolderBuilder* info_ = nullptr;
    ComPtr<mapi::IMsgStore> store_;
    std::uint64_t config_ = 0;
    std::size_t buffers_ = 0;
};

TEST_F(StoreMessageTest, ChangesAreStoredBySaveChangesAndLostOnReleaseWithout) {
    {
        auto message = Config();
        ASSERT_EQ(SetText(message.Get(), kPendingService, u"lost"), mapi::S_OK);
        mapi::MapiBuffer<mapi::SPropValue> pending;
        ASSERT_EQ(mapi::HrGetOneProp(message.Get(), kPendingService, pending.Put()), mapi::S_OK);
        EXPECT_EQ(std::u16string(pending->Value.lpszW), u"lost");
    }
    EXPECT_EQ(Text(info_->Model().messages[0].props, kPendingService), u"<none>");
    {
        auto message = Config();
        ASSERT_EQ(SetText(message.Get(), kPendingService, u"kept"), mapi::S_OK);
        ASSERT_EQ(message->SaveChanges(mapi::FORCE_SAVE), mapi::S_OK);
        // Without KEEP_OPEN_READWRITE the message takes no further changes.
        EXPECT_EQ(SetText(message.Get(), kServiceName, u"late"), mapi::MAPI_E_NO_ACCESS);
    }
    EXPECT_EQ(Text(info_->Model().messages[0].props, kPendingService), u"kept");
    EXPECT_EQ(Text(info_->Model().messages[0].props, kServiceName), u"TES1");
}

TEST_F(StoreMessageTest, KeepOpenReadWriteAllowsSavingAgain) {
    auto message = Config();
    ASSERT_EQ(SetText(message.Get(), kPendingService, u"one"), mapi::S_OK);
    ASSERT_EQ(message->SaveChanges(mapi::KEEP_OPEN_READWRITE), mapi::S_OK);
    ASSERT_EQ(SetText(message.Get(), kPendingService, u"two"), mapi::S_OK);
    ASSERT_EQ(message->SaveChanges(0), mapi::S_OK);
    EXPECT_EQ(Text(info_->Model().messages[0].props, kPendingService), u"two");
}

TEST_F(StoreMessageTest, AMessageOpenedReadOnlyRefusesChanges) {
    auto message = Config(0);
    EXPECT_EQ(SetText(message.Get(), kPendingService, u"x"), mapi::MAPI_E_NO_ACCESS);
    EXPECT_EQ(message->SaveChanges(mapi::FORCE_SAVE), mapi::MAPI_E_NO_ACCESS);
}

TEST_F(StoreMessageTest, ANewMessageExistsInItsFolderOnlyOnceSaved) {
    auto synch = Open<mapi::IMAPIFolder>(info_->EntryId(), mapi::MAPI_MODIFY);
    {
        ComPtr<mapi::IMessage> unsaved;
        ASSERT_EQ(synch->CreateMessage(nullptr, 0, unsaved.Put()), mapi::S_OK);
        ASSERT_EQ(SetText(unsaved.Get(), mapi::PR_MESSAGE_CLASS_W, u"KVO.Tavrel.Synch"),
                  mapi::S_OK);
    }
    EXPECT_EQ(info_->Model().messages.size(), 1u);
    ComPtr<mapi::IMessage> saved;
    ASSERT_EQ(synch->CreateMessage(nullptr, 0, saved.Put()), mapi::S_OK);
    ASSERT_EQ(SetText(saved.Get(), mapi::PR_MESSAGE_CLASS_W, u"KVO.Tavrel.Synch"), mapi::S_OK);
    mapi::MapiBuffer<mapi::SPropValue> id;
    EXPECT_EQ(mapi::HrGetOneProp(saved.Get(), mapi::PR_ENTRYID, id.Put()), mapi::MAPI_E_NOT_FOUND);
    ASSERT_EQ(saved->SaveChanges(mapi::KEEP_OPEN_READWRITE), mapi::S_OK);
    ASSERT_EQ(info_->Model().messages.size(), 2u);
    const sim::Message& stored = info_->Model().messages[1];
    EXPECT_EQ(Text(stored.props, mapi::PR_MESSAGE_CLASS_W), u"KVO.Tavrel.Synch");
    EXPECT_EQ(std::get<Bytes>(stored.props.at(mapi::PR_SOURCE_KEY)).size(), 22u);
    ASSERT_EQ(mapi::HrGetOneProp(saved.Get(), mapi::PR_ENTRYID, id.Put()), mapi::S_OK);
    auto ref = sim::ParseStoreObjectId(id->Value.bin.lpb, id->Value.bin.cb);
    ASSERT_TRUE(ref.has_value());
    EXPECT_EQ(ref->message, stored.id);
}

TEST_F(StoreMessageTest, ABodyStreamLandsInThePendingChangesWhenReleased) {
    auto message = Config();
    ASSERT_EQ(WriteBody(message.Get(), u"Hello \u00E9"), mapi::S_OK);
    mapi::MapiBuffer<mapi::SPropValue> body;
    ASSERT_EQ(mapi::HrGetOneProp(message.Get(), mapi::PR_BODY_W, body.Put()), mapi::S_OK);
    EXPECT_EQ(std::u16string(body->Value.lpszW), u"Hello \u00E9");
    EXPECT_EQ(Text(info_->Model().messages[0].props, mapi::PR_BODY_W), u"<none>");
    ASSERT_EQ(message->SaveChanges(0), mapi::S_OK);
    EXPECT_EQ(Text(info_->Model().messages[0].props, mapi::PR_BODY_W), u"Hello \u00E9");

    // An empty write creates an empty body; opening without MAPI_CREATE reads the stored one.
    auto again = Config();
    ComPtr<mapi::IStream> stream;
    ASSERT_EQ(again->OpenProperty(mapi::PR_BODY_W, &mapi::IID_IStream, 0, 0,
                                  reinterpret_cast<mapi::LPUNKNOWN*>(stream.Put())),
              mapi::S_OK);
    char16_t read[16] = {};
    ULONG cb = 0;
    ASSERT_EQ(stream->Read(read, sizeof read, &cb), mapi::S_OK);
    EXPECT_EQ(std::u16string(read, cb / 2), u"Hello \u00E9");
    ULONG written = 0;
    EXPECT_NE(stream->Write(u"x", 2, &written), mapi::S_OK);
    stream.Reset();
    ASSERT_EQ(WriteBody(again.Get(), u""), mapi::S_OK);
    ASSERT_EQ(mapi::HrGetOneProp(again.Get(), mapi::PR_BODY_W, body.Put()), mapi::S_OK);
    EXPECT_EQ(std::u16string(body->Value.lpszW), u"");
}

TEST_F(StoreMessageTest, ModifyRecipientsAddsModifiesAndRemovesByRowId) {
    auto message = NewInInbox();
    ASSERT_EQ(AddBcc(message.Get(), u"a@example.com"), mapi::S_OK);
    ASSERT_EQ(AddBcc(message.Get(), u"b@example.com"), mapi::S_OK);
    mapi::SPropValue rowId{mapi::PR_ROWID, 0, {}};
    rowId.Value.l = 0;
    mapi::ADRLIST remove{1, {{0, 1, &rowId}}};
    ASSERT_EQ(message->ModifyRecipients(mapi::MODRECIP_REMOVE, &remove), mapi::S_OK);
    rowId.Value.l = 7;
    EXPECT_EQ(message->ModifyRecipients(mapi::MODRECIP_REMOVE, &remove), mapi::MAPI_E_NOT_FOUND);

    ComPtr<mapi::IMAPITable> table;
    ASSERT_EQ(message->GetRecipientTable(mapi::MAPI_UNICODE, table.Put()), mapi::S_OK);
    mapi::RowSetPtr rows;
    ASSERT_EQ(mapi::HrQueryAllRows(table.Get(), nullptr, nullptr, nullptr, 0, rows.Put()),
              mapi::S_OK);
    ASSERT_EQ(rows.Count(), 1u);
    EXPECT_EQ(rows[0].lpProps[0].Value.l, 1);  // PR_ROWID
    EXPECT_EQ(std::u16string(rows[0].lpProps[2].Value.lpszW), u"b@example.com");
    EXPECT_EQ(rows[0].lpProps[4].Value.l, static_cast<mapi::LONG>(mapi::MAPI_BCC));
    auto calls = Simulator::Instance().CallsTo("IMessage::ModifyRecipients");
    EXPECT_EQ(calls[0].args.at("recipients"), "a@example.com");
    EXPECT_EQ(calls[0].args.at("flags"), "0x00000002");
}

TEST_F(StoreMessageTest, SubmissionRecordsTheMailAndFilesTheSentCopy) {
    struct Case {
        const char* name;
        bool sentMail;  // PR_SENTMAIL_ENTRYID = the store's PR_IPM_SENTMAIL_ENTRYID
        bool deleteAfter;
        std::size_t expectInbox, expectSent;
    };
    const Case cases[] = {
        {"filed in Sent Items", true, false, 0, 1},
        {"sent-mail id wins over delete-after-submit", true, true, 0, 1},
        {"deleted after submission", false, true, 0, 0},
        {"left where it was made", false, false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        mb_->Inbox().Model().messages.clear();
        mb_->SentItems().Model().messages.clear();
        Simulator::Instance().Org().delivered.clear();
        {
            auto message = NewInInbox();
            if (c.sentMail) {
                mapi::MapiBuffer<mapi::SPropValue> sent;
                ASSERT_EQ(
                    mapi::HrGetOneProp(store_.Get(), mapi::PR_IPM_SENTMAIL_ENTRYID, sent.Put()),
                    mapi::S_OK);
                sent->ulPropTag = mapi::PR_SENTMAIL_ENTRYID;
                ASSERT_EQ(mapi::HrSetOneProp(message.Get(), sent.Get()), mapi::S_OK);
            }
            if (c.deleteAfter) {
                mapi::SPropValue yes{mapi::PR_DELETE_AFTER_SUBMIT, 0, {}};
                yes.Value.b = 1;
                ASSERT_EQ(mapi::HrSetOneProp(message.Get(), &yes), mapi::S_OK);
            }
            ASSERT_EQ(AddBcc(message.Get(), u"one@example.com"), mapi::S_OK);
            ASSERT_EQ(AddBcc(message.Get(), u"two@example.org"), mapi::S_OK);
            ASSERT_EQ(WriteBody(message.Get(), u"Bulletin text"), mapi::S_OK);
            ASSERT_EQ(SetText(message.Get(), mapi::PR_SUBJECT_W, u"News"), mapi::S_OK);
            ASSERT_EQ(message->SubmitMessage(0), mapi::S_OK);
            // Once submitted the message is done with; a deleted one is gone altogether.
            EXPECT_EQ(message->SubmitMessage(0), c.expectInbox + c.expectSent
                                                     ? mapi::MAPI_E_SUBMITTED
                                                     : mapi::MAPI_E_OBJECT_DELETED);
        }
        EXPECT_EQ(mb_->Inbox().Model().messages.size(), c.expectInbox);
        EXPECT_EQ(mb_->SentItems().Model().messages.size(), c.expectSent);
        const auto& delivered = Simulator::Instance().Org().delivered;
        ASSERT_EQ(delivered.size(), 1u);
        EXPECT_EQ(delivered[0].fromMailboxDn, kUser);
        EXPECT_EQ(Text(delivered[0].props, mapi::PR_BODY_W), u"Bulletin text");
        EXPECT_EQ(Text(delivered[0].props, mapi::PR_SUBJECT_W), u"News");
        EXPECT_EQ(std::get<sim::FileTime>(delivered[0].props.at(mapi::PR_CLIENT_SUBMIT_TIME)).value,
                  130000000000000000ull);
        ASSERT_EQ(delivered[0].recipients.size(), 2u);
        EXPECT_EQ(Text(delivered[0].recipients[1].props, mapi::PR_EMAIL_ADDRESS_W),
                  u"two@example.org");
        EXPECT_EQ(
            std::get<std::int32_t>(delivered[0].recipients[1].props.at(mapi::PR_RECIPIENT_TYPE)),
            static_cast<std::int32_t>(mapi::MAPI_BCC));
    }
}

TEST_F(StoreMessageTest, SubmissionWithoutRecipientsFailsAndStoresNothing) {
    {
        auto message = NewInInbox();
        EXPECT_EQ(message->SubmitMessage(0), mapi::MAPI_E_NO_RECIPIENTS);
    }
    EXPECT_TRUE(mb_->Inbox().Model().messages.empty());
    EXPECT_TRUE(Simulator::Instance().Org().delivered.empty());
}

TEST_F(StoreMessageTest, AFaultOnTheNthModifyRecipientsRefusesOneRecipient) {
    Simulator::Instance().AddFault(
        {"IMessage::ModifyRecipients", mapi::MAPI_E_NOT_FOUND, 2, "", false});
    auto message = NewInInbox();
    EXPECT_EQ(AddBcc(message.Get(), u"a@example.com"), mapi::S_OK);
    EXPECT_EQ(AddBcc(message.Get(), u"refused@example.com"), mapi::MAPI_E_NOT_FOUND);
    EXPECT_EQ(AddBcc(message.Get(), u"c@example.com"), mapi::S_OK);
    ASSERT_EQ(message->SubmitMessage(0), mapi::S_OK);
    const auto& recipients = Simulator::Instance().Org().delivered.at(0).recipients;
    ASSERT_EQ(recipients.size(), 2u);
    EXPECT_EQ(Text(recipients[1].props, mapi::PR_EMAIL_ADDRESS_W), u"c@example.com");
}

TEST_F(StoreMessageTest, AMessageDeletedWhileOpenAnswersObjectDeleted) {
    auto message = Config();
    info_->Model().messages.clear();
    mapi::MapiBuffer<mapi::SPropValue> value;
    EXPECT_EQ(mapi::HrGetOneProp(message.Get(), kServiceName, value.Put()),
              mapi::MAPI_E_OBJECT_DELETED);
}

}  // namespace
