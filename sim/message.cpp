#include "sim/message.h"

#include <algorithm>
#include <memory>

#include "platform/clock.h"
#include "sim/object_base.h"
#include "sim/props.h"
#include "sim/simulator.h"
#include "sim/stream.h"
#include "sim/table.h"

namespace sim {

using mapi::HRESULT;
using mapi::ULONG;

namespace {

constexpr ULONG kStoreRecordKey = 0x0FFA0102;  // PR_STORE_RECORD_KEY
constexpr ULONG kAttachNum = 0x0E210003;       // PR_ATTACH_NUM
constexpr ULONG kForceSubmit = 0x00000001;
constexpr ULONG kClearReadFlag = 0x00000004;
constexpr ULONG kReadFlagOptions =
    0x00000001 | kClearReadFlag | 0x00000010 | 0x00000020 | 0x00000040;

// The message as the open object sees it: a copy of the model message and the changes made.
struct MessageState {
    StoreRef store;
    std::uint64_t folder = 0;
    std::uint64_t id = 0;  // 0 until first saved
    bool associated = false;
    PropMap props;
    std::vector<Recipient> recipients;
    std::int32_t nextRowId = -1;  // the row id the next added recipient gets; -1: not yet counted
};

std::int32_t RowIdOf(const PropMap& props) {
    const PropValue* rowId = FindProp(props, mapi::PR_ROWID);
    return rowId && std::holds_alternative<std::int32_t>(*rowId) ? std::get<std::int32_t>(*rowId)
                                                                 : -1;
}

std::string DescribeRecipients(const mapi::ADRLIST* list) {
    if (!list) return "null";
    std::string text;
    for (ULONG i = 0; i < list->cEntries; ++i) {
        if (i) text += ',';
        PropMap props = ParseSPropValues(list->aEntries[i].cValues, list->aEntries[i].rgPropVals);
        auto address = LookupProp(props, mapi::PR_EMAIL_ADDRESS_W, true);
        if (IsError(address)) address = LookupProp(props, mapi::PR_DISPLAY_NAME_W, true);
        text += IsError(address) ? std::string("?") : DescribeValue(address.first, address.second);
    }
    return text;
}

class MessageObject final : public PropObject<mapi::IMessage> {
  public:
    MessageObject(std::shared_ptr<MessageState> state, bool writable)
        : PropObject("IMessage", state->id ? "message:" + std::to_string(state->id) : "message:new",
                     {mapi::IID_IMAPIProp, mapi::IID_IMessage}),
          state_(std::move(state)),
          writable_(writable) {}

    HRESULT MAPI_CALL GetAttachmentTable(ULONG flags, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        auto call = Enter("GetAttachmentTable", {{"flags", ArgHex(flags)}}, table);
        if (!call) return call.Result();
        if (!table) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        TableOptions options;
        options.label = "attachments:" + std::to_string(state_->id);
        options.columns = {mapi::PR_INSTANCE_KEY, kAttachNum};
        *table = MakeTable(std::move(options), {}).Detach();
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL OpenAttach(ULONG, mapi::LPCIID, ULONG, mapi::LPATTACH* attach) override try {
        const ProviderScope inProvider;
        if (attach) *attach = nullptr;
        return Unsupported("OpenAttach");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL CreateAttach(mapi::LPCIID, ULONG, ULONG*, mapi::LPATTACH* attach) override try {
        const ProviderScope inProvider;
        if (attach) *attach = nullptr;
        return Unsupported("CreateAttach");
    } catch (...) {
        return ProviderFailure();
    }
    HRESULT MAPI_CALL DeleteAttach(ULONG, mapi::ULONG_PTR, mapi::LPMAPIPROGRESS, ULONG) override try {
        const ProviderScope inProvider;
        return Unsupported("DeleteAttach");
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL GetRecipientTable(ULONG flags, mapi::LPMAPITABLE* table) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](MessageObject& self) {
            mapi::LPMAPITABLE out = nullptr;  // released by the taped Release
            return self.GetRecipientTable(flags, &out);
        });
        auto call = Enter("GetRecipientTable", {{"flags", ArgHex(flags)}}, table);
        if (!call) return call.Result();
        if (!table) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        *table = nullptr;
        if (flags & ~(mapi::MAPI_UNICODE | mapi::MAPI_DEFERRED_ERRORS)) {
            return call.Return(mapi::MAPI_E_UNKNOWN_FLAGS);
        }
        bool unicode = flags & mapi::MAPI_UNICODE;
        std::vector<Row> rows;
        for (const Recipient& recipient : state_->recipients) rows.push_back(recipient.props);
        TableOptions options;
        options.label = "recipients:" + std::to_string(state_->id);
        ULONG text = unicode ? mapi::PT_UNICODE : mapi::PT_STRING8;
        options.columns = {mapi::PR_ROWID, mapi::CHANGE_PROP_TYPE(mapi::PR_DISPLAY_NAME_W, text),
                           mapi::CHANGE_PROP_TYPE(mapi::PR_EMAIL_ADDRESS_W, text),
                           mapi::CHANGE_PROP_TYPE(mapi::PR_ADDRTYPE_W, text),
                           mapi::PR_RECIPIENT_TYPE};
        options.unicode = unicode;
        *table = MakeTable(std::move(options), std::move(rows)).Detach();
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL ModifyRecipients(ULONG flags, mapi::LPADRLIST mods) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags, mods = KeptAdrList(mods)](MessageObject& self) {
            mapi::LPADRLIST list = mods.Make();
            const HRESULT hr = self.ModifyRecipients(flags, list);
            mapi::FreePadrlist(list);
            return hr;
        });
        auto call = Enter("ModifyRecipients", {{"flags", ArgHex(flags)},
                                               {"count", ArgDec(mods ? mods->cEntries : 0)},
                                               {"recipients", ArgLater<mapi::ADRLIST, DescribeRecipients>(mods)}});
        if (!call) return call.Result();
        if (!mods) return call.Return(mapi::MAPI_E_INVALID_PARAMETER);
        ULONG kinds = mapi::MODRECIP_ADD | mapi::MODRECIP_MODIFY | mapi::MODRECIP_REMOVE;
        if ((flags & ~kinds) || (flags & (flags - 1)))
            return call.Return(mapi::MAPI_E_UNKNOWN_FLAGS);
        if (!CanWrite()) return call.Return(mapi::MAPI_E_NO_ACCESS);
        std::vector<Recipient>& recipients = state_->recipients;
        if (flags == 0) {
            recipients.clear();
            state_->nextRowId = -1;
        }
        for (ULONG i = 0; i < mods->cEntries; ++i) {
            const mapi::ADRENTRY& entry = mods->aEntries[i];
            PropMap props = ParseSPropValues(entry.cValues, entry.rgPropVals);
            if (flags == mapi::MODRECIP_MODIFY || flags == mapi::MODRECIP_REMOVE) {
                std::int32_t rowId = RowIdOf(props);
                auto existing =
                    std::find_if(recipients.begin(), recipients.end(),
                                 [&](const Recipient& r) { return RowIdOf(r.props) == rowId; });
                if (rowId < 0 || existing == recipients.end()) {
                    return call.Return(mapi::MAPI_E_NOT_FOUND);
                }
                if (flags == mapi::MODRECIP_REMOVE) {
                    recipients.erase(existing);
                    state_->nextRowId = -1;
                } else {
                    existing->props = std::move(props);
                }
                continue;
            }
            PutProp(props, mapi::PR_ROWID, NextRowId()++);
            recipients.push_back({std::move(props)});
        }
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL SubmitMessage(ULONG flags) override try {
        const ProviderScope inProvider;
        if (Taping()) TapeCall(this, [flags](MessageObject& self) { return self.SubmitMessage(flags); });
        auto call = Enter("SubmitMessage", {{"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (flags & ~kForceSubmit) return call.Return(mapi::MAPI_E_UNKNOWN_FLAGS);
        if (submitted_) return call.Return(mapi::MAPI_E_SUBMITTED);
        if (!CanWrite()) return call.Return(mapi::MAPI_E_NO_ACCESS);
        if (state_->recipients.empty()) return call.Return(mapi::MAPI_E_NO_RECIPIENTS);
        FileTime now{platform::SystemTimeAsFileTime()};
        PropMap& props = state_->props;
        PutProp(props, mapi::PR_CLIENT_SUBMIT_TIME, now);
        PutProp(props, mapi::PR_MESSAGE_DELIVERY_TIME, now);
        ULONG messageFlags = static_cast<ULONG>(FlagsOf(props));
        messageFlags = (messageFlags & ~(mapi::MSGFLAG_UNSENT | mapi::MSGFLAG_UNMODIFIED)) |
                       mapi::MSGFLAG_READ | mapi::MSGFLAG_FROMME;
        PutProp(props, mapi::PR_MESSAGE_FLAGS, static_cast<std::int32_t>(messageFlags));
        Commit();
        Mailbox& mailbox = *state_->store->Find();
        Simulator::Instance().Org().delivered.push_back(
            {mailbox.dn, state_->props, state_->recipients});
        FileSentCopy(mailbox);
        submitted_ = true;
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

    HRESULT MAPI_CALL SetReadFlag(ULONG flags) override try {
        const ProviderScope inProvider;
        auto call = Enter("SetReadFlag", {{"flags", ArgHex(flags)}});
        if (!call) return call.Result();
        if (flags & ~kReadFlagOptions) return call.Return(mapi::MAPI_E_UNKNOWN_FLAGS);
        auto apply = [&](PropMap& props) {
            auto value = static_cast<ULONG>(FlagsOf(props));
            value =
                flags & kClearReadFlag ? value & ~mapi::MSGFLAG_READ : value | mapi::MSGFLAG_READ;
            PutProp(props, mapi::PR_MESSAGE_FLAGS, static_cast<std::int32_t>(value));
        };
        apply(state_->props);
        if (Message* model = ModelMessage()) apply(model->props);
        return call.Return(mapi::S_OK);
    } catch (...) {
        return ProviderFailure();
    }

  protected:
    void OnFinalRelease() override { state_.reset(); }

    bool ModelObjectDeleted() const override {
        Mailbox* mailbox = state_->store->Find();
        if (!mailbox || !mailbox->FindFolder(state_->folder)) return true;
        return state_->id != 0 && !ModelMessage();
    }

    PropMap Props() const override {
        Message view;
        view.id = state_->id;
        view.associated = state_->associated;
        view.props = state_->props;
        return MessageProps(*state_->store->Find(), state_->folder, view, IdForm::LongTerm);
    }
    PropMap* WritableProps() override { return CanWrite() ? &state_->props : nullptr; }
    std::vector<ULONG> ReadOnlyTags() const override {
        return {mapi::PR_ENTRYID, mapi::PR_OBJECT_TYPE, mapi::PR_PARENT_ENTRYID, kStoreRecordKey,
                mapi::PR_SOURCE_KEY};
    }
    Mailbox* NameMap() override { return state_->store->Find(); }

    HRESULT Save(ULONG flags) override {
        ULONG known = mapi::KEEP_OPEN_READONLY | mapi::KEEP_OPEN_READWRITE | mapi::FORCE_SAVE |
                      mapi::MAPI_DEFERRED_ERRORS;
        if (flags & ~known) return mapi::MAPI_E_UNKNOWN_FLAGS;
        if (submitted_) return mapi::MAPI_E_SUBMITTED;
        if (!CanWrite()) return mapi::MAPI_E_NO_ACCESS;
        Commit();
        if (!(flags & mapi::KEEP_OPEN_READWRITE)) closed_ = true;
        return mapi::S_OK;
    }

    HRESULT OpenPropertyObject(ULONG tag, const mapi::IID& iid, ULONG /*options*/, ULONG flags,
                               mapi::LPUNKNOWN* out) override {
        if (!(iid == mapi::IID_IStream) && !(iid == mapi::IID_ISequentialStream)) {
            return mapi::MAPI_E_INTERFACE_NOT_SUPPORTED;
        }
        ULONG type = mapi::PROP_TYPE(tag);
        if (type != mapi::PT_UNICODE && type != mapi::PT_STRING8 && type != mapi::PT_BINARY) {
            return mapi::MAPI_E_NO_SUPPORT;
        }
        bool create = flags & mapi::MAPI_CREATE;
        bool write = create || (flags & mapi::MAPI_MODIFY);
        if (write && !CanWrite()) return mapi::MAPI_E_NO_ACCESS;
        Bytes initial;
        if (!create) {
            const PropValue* value = FindProp(state_->props, tag);
            if (!value) return mapi::MAPI_E_NOT_FOUND;
            auto converted = ConvertProp(*value, type);
            if (!converted) return mapi::MAPI_E_NOT_FOUND;
            initial = StreamBytesOf(*converted);
        }
        PropertySink sink = [state = state_](ULONG t, PropValue v) {
            PutProp(state->props, t, std::move(v));
        };
        *out = MakePropertyStream(tag, std::move(initial), write, std::move(sink)).Detach();
        return mapi::S_OK;
    }

  private:
    bool CanWrite() const { return writable_ && !closed_ && !submitted_; }

    static std::int32_t FlagsOf(const PropMap& props) {
        const PropValue* value = FindProp(props, mapi::PR_MESSAGE_FLAGS);
        return value && std::holds_alternative<std::int32_t>(*value)
                   ? std::get<std::int32_t>(*value)
                   : 0;
    }

    // One more than the highest row id of the recipients, counted once and then kept up to date
    // (a removal counts again, so that a freed highest id is given again as before).
    std::int32_t& NextRowId() {
        if (state_->nextRowId < 0) {
            std::int32_t next = 0;
            for (const Recipient& r : state_->recipients)
                next = std::max(next, RowIdOf(r.props) + 1);
            state_->nextRowId = next;
        }
        return state_->nextRowId;
    }

    Folder* ModelFolder() const {
        Mailbox* mailbox = state_->store->Find();
        return mailbox ? mailbox->FindFolder(state_->folder) : nullptr;
    }

    Message* ModelMessage() const {
        Folder* folder = ModelFolder();
        if (!folder || !state_->id) return nullptr;
        for (Message& message : folder->messages) {
            if (message.id == state_->id) return &message;
        }
        return nullptr;
    }

    // Stores the working copy in the model, adding the message to its folder the first time.
    void Commit() {
        PropMap& props = state_->props;
        if (!state_->id) {
            Message message;
            message.id = Simulator::Instance().Org().NewObjectId();
            message.associated = state_->associated;
            PutProp(props, mapi::PR_SOURCE_KEY, SourceKey(state_->store->mailbox, message.id));
            message.props = props;
            message.recipients = state_->recipients;
            state_->id = message.id;
            ModelFolder()->messages.push_back(std::move(message));
            return;
        }
        Message* model = ModelMessage();
        model->props = props;
        model->recipients = state_->recipients;
    }

    void FileSentCopy(Mailbox& mailbox) {
        Folder* source = ModelFolder();
        Folder* target = nullptr;
        const PropValue* sent = FindProp(state_->props, mapi::PR_SENTMAIL_ENTRYID);
        if (sent && std::holds_alternative<Bytes>(*sent)) {
            auto ref = ParseStoreObjectId(std::get<Bytes>(*sent));
            if (ref && !ref->IsMessage() && ref->mailbox == mailbox.index) {
                target = mailbox.FindFolder(ref->folder);
            }
        }
        const PropValue* deleteAfter = FindProp(state_->props, mapi::PR_DELETE_AFTER_SUBMIT);
        bool remove = !target && deleteAfter && std::holds_alternative<bool>(*deleteAfter) &&
                      std::get<bool>(*deleteAfter);
        if (!target && !remove) return;
        auto it = std::find_if(source->messages.begin(), source->messages.end(),
                               [&](const Message& m) { return m.id == state_->id; });
        if (it == source->messages.end() || target == source) return;
        if (target) {
            target->messages.push_back(std::move(*it));
            state_->folder = target->id;
        }
        source->messages.erase(it);
    }

    std::shared_ptr<MessageState> state_;
    bool writable_;
    bool closed_ = false;
    bool submitted_ = false;
};

}  // namespace

PropMap MessageProps(const Mailbox& mailbox, std::uint64_t folderId, const Message& message,
                     IdForm form) {
    PropMap props = message.props;
    if (message.id) {
        props[mapi::PR_ENTRYID] = MessageEntryId(mailbox.index, folderId, message.id, form);
    }
    props[mapi::PR_OBJECT_TYPE] = static_cast<std::int32_t>(mapi::MAPI_MESSAGE);
    props[mapi::PR_PARENT_ENTRYID] = FolderEntryId(mailbox.index, folderId, IdForm::LongTerm);
    props[kStoreRecordKey] = StoreUid(mailbox.index);
    if (!FindProp(props, mapi::PR_MESSAGE_FLAGS)) {
        props[mapi::PR_MESSAGE_FLAGS] =
            static_cast<std::int32_t>(message.associated ? mapi::MSGFLAG_ASSOCIATED : 0);
    }
    return props;
}

HRESULT OpenMessageObject(const StoreRef& store, std::uint64_t folderId, std::uint64_t messageId,
                          bool writable, mapi::ComPtr<mapi::IMessage>* out) {
    Mailbox* mailbox = store->Find();
    Folder* folder = mailbox ? mailbox->FindFolder(folderId) : nullptr;
    if (!folder) return mapi::MAPI_E_NOT_FOUND;
    auto it = std::find_if(folder->messages.begin(), folder->messages.end(),
                           [&](const Message& m) { return m.id == messageId; });
    if (it == folder->messages.end()) return mapi::MAPI_E_NOT_FOUND;
    auto state = std::make_shared<MessageState>();
    state->store = store;
    state->folder = folderId;
    state->id = messageId;
    state->associated = it->associated;
    state->props = it->props;
    state->recipients = it->recipients;
    *out = MakeObject<MessageObject>(std::move(state), writable && store->writable);
    return mapi::S_OK;
}

HRESULT CreateMessageObject(const StoreRef& store, std::uint64_t folderId, bool associated,
                            mapi::ComPtr<mapi::IMessage>* out) {
    auto state = std::make_shared<MessageState>();
    state->store = store;
    state->folder = folderId;
    state->associated = associated;
    ULONG flags = mapi::MSGFLAG_UNSENT | (associated ? mapi::MSGFLAG_ASSOCIATED : 0);
    state->props[mapi::PR_MESSAGE_FLAGS] = static_cast<std::int32_t>(flags);
    *out = MakeObject<MessageObject>(std::move(state), store->writable);
    return mapi::S_OK;
}

}  // namespace sim
