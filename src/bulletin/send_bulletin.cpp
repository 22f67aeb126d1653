#include "bulletin/send_bulletin.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/adaptor_session.h"
#include "core/diagnostic_log.h"
#include "core/export_boundary.h"
#include "core/exports.h"
#include "core/resource_text.h"
#include "mapi/mapi.h"

namespace tav {
namespace {

constexpr char16_t kOpSend[] = u"ExchangeAdaptorDLL::SendBulletinByEmail";
constexpr char16_t kOpBcc[] = u"ExchangeAdaptorDLL::SetBccData";
constexpr char16_t kOpBody[] = u"ExchangeAdaptorDLL::SetBodyData";
constexpr char16_t kOpSubject[] = u"ExchangeAdaptorDLL::SetSubjectData";

// A copy of the text in memory allocated on parent.
char16_t* CopyOnto(void* parent, std::u16string_view text) {
    void* buffer = nullptr;
    auto bytes = static_cast<mapi::ULONG>((text.size() + 1) * sizeof(char16_t));
    if (mapi::FAILED(mapi::MAPIAllocateMore(bytes, parent, &buffer)) || !buffer) return nullptr;
    auto* copy = static_cast<char16_t*>(buffer);
    std::copy(text.begin(), text.end(), copy);
    copy[text.size()] = 0;
    return copy;
}

// The steps up to submission; false after the failing step's line.
bool Compose(const std::u16string& subject, const std::u16string& body,
             const std::vector<std::u16string>& recipients) {
    AdaptorSession& s = Session();
    mapi::ULONG folderIdSize = 0;
    mapi::MapiBuffer<mapi::ENTRYID> folderId;
    mapi::MapiBuffer<char> explicitClass;
    mapi::ComPtr<mapi::IMAPIFolder> folder;
    mapi::ComPtr<mapi::IMessage> message;
    mapi::MapiBuffer<mapi::SPropValue> sentItems;

    mapi::LPTSTR receivedClass;
    mapi::HRESULT hr = s.defaultMsgStore->GetReceiveFolder(nullptr, 0, &folderIdSize,
                                                           folderId.Put(), &receivedClass);
    explicitClass.Attach(receivedClass.a());
    hr = mapi::Obtained(hr, folderId);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpSend, kLogError, u"GetReceiveFolder failed, result=0x%08x.", hr);
        return false;
    }
    mapi::ULONG type = 0;
    hr = s.defaultMsgStore->OpenEntry(folderIdSize, folderId.Get(), nullptr, mapi::MAPI_MODIFY,
                                      &type, folder.PutUnknown());
    hr = mapi::Obtained(hr, folder);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpSend, kLogError, u"OpenEntry failed, result=0x%08x.", hr);
        return false;
    }
    hr = folder->CreateMessage(nullptr, 0, message.Put());
    hr = mapi::Obtained(hr, message);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpSend, kLogError, u"CreateMessage failed, result=0x%08x.", hr);
        return false;
    }
    hr = mapi::HrGetOneProp(s.defaultMsgStore.Get(), mapi::PR_IPM_SENTMAIL_ENTRYID,
                            sentItems.Put());
    hr = mapi::Obtained(hr, sentItems);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpSend, kLogError, u"HrGetOneProp failed, result=0x%08x.", hr);
        return false;
    }
    // Filed in Sent Items once it is delivered.
    sentItems->ulPropTag = mapi::PR_SENTMAIL_ENTRYID;
    hr = mapi::HrSetOneProp(message.Get(), sentItems.Get());
    if (mapi::FAILED(hr)) {
        WriteLog(kOpSend, kLogError, u"HrSetOneProp failed, result=0x%08x.", hr);
        return false;
    }

    int added = 0;
    for (const std::u16string& address : recipients) {
        hr = SetBccData(message.Get(), address);
        if (mapi::FAILED(hr)) {
            WriteLog(kOpSend, kLogWarning, u"SetBccData failed; addr='%s', result=0x%08x.",
                     address, hr);
        } else {
            WriteLog(kOpSend, kLogTrace, u"Added recipient '%s'.", address);
            ++added;
        }
    }
    if (added == 0) {
        WriteLog(kOpSend, kLogWarning, u"No recipients, aborting send message.");
        return false;
    }
    hr = SetBodyData(message.Get(), body);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpSend, kLogError, u"SetBodyData failed, result=0x%08x.", hr);
        return false;
    }
    if (!subject.empty()) {
        hr = SetSubjectData(message.Get(), subject);
        if (mapi::FAILED(hr)) {
            WriteLog(kOpSend, kLogError, u"SetSubjectData failed, result=0x%08x.", hr);
            return false;
        }
    }
    hr = message->SubmitMessage(0);
    if (mapi::FAILED(hr)) {
        WriteLog(kOpSend, kLogError, u"SubmitMessage failed, result=0x%08x.", hr);
        return false;
    }
    return true;
}

}  // namespace

mapi::HRESULT SetBccData(mapi::IMessage* message, std::u16string_view address) {
    if (!message) {
        WriteLog(kOpBcc, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    mapi::AdrListPtr list;
    if (mapi::FAILED(list.Allocate(1))) return mapi::E_OUTOFMEMORY;

    void* values = nullptr;
    if (mapi::FAILED(mapi::MAPIAllocateBuffer(5 * sizeof(mapi::SPropValue), &values)) || !values)
        return mapi::E_OUTOFMEMORY;
    std::memset(values, 0, 5 * sizeof(mapi::SPropValue));
    auto* props = static_cast<mapi::SPropValue*>(values);
    list->aEntries[0].cValues = 5;
    list->aEntries[0].rgPropVals = props;

    char16_t* email = CopyOnto(values, address);
    char16_t* type = CopyOnto(values, u"SMTP");
    char16_t* name = CopyOnto(values, address);
    if (!email || !type || !name) return mapi::E_OUTOFMEMORY;
    props[0].ulPropTag = mapi::PR_EMAIL_ADDRESS_W;
    props[0].Value.lpszW = email;
    props[1].ulPropTag = mapi::PR_ADDRTYPE_W;
    props[1].Value.lpszW = type;
    props[2].ulPropTag = mapi::PR_RECIPIENT_TYPE;
    props[2].Value.l = mapi::MAPI_BCC;
    props[3].ulPropTag = mapi::PR_DISPLAY_NAME_W;
    props[3].Value.lpszW = name;
    props[4].ulPropTag = mapi::PR_SEND_RICH_INFO;
    props[4].Value.b = 0;

    mapi::HRESULT hr = message->ModifyRecipients(mapi::MODRECIP_ADD, list.Get());
    return mapi::FAILED(hr) ? hr : mapi::S_OK;
}

mapi::HRESULT SetBodyData(mapi::IMessage* message, std::u16string_view body) {
    if (!message) {
        WriteLog(kOpBody, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    mapi::ComPtr<mapi::IStream> stream;
    mapi::HRESULT hr = message->OpenProperty(mapi::PR_BODY_W, &mapi::IID_IStream, 0,
                                             mapi::MAPI_CREATE | mapi::MAPI_MODIFY,
                                             stream.PutUnknown());
    hr = mapi::Obtained(hr, stream);
    if (mapi::FAILED(hr)) return hr;
    mapi::ULONG written = 0;
    hr = stream->Write(body.data(), static_cast<mapi::ULONG>(body.size() * sizeof(char16_t)),
                       &written);
    return mapi::FAILED(hr) ? hr : mapi::S_OK;
}

mapi::HRESULT SetSubjectData(mapi::IMessage* message, std::u16string_view subject) {
    if (!message) {
        WriteLog(kOpSubject, kLogTrace, u"Bad parameters.");
        return mapi::E_FAIL;
    }
    std::u16string text(subject);
    mapi::SPropValue value{};
    value.ulPropTag = mapi::PR_SUBJECT_W;
    value.Value.lpszW = text.data();
    mapi::HRESULT hr = mapi::HrSetOneProp(message, &value);
    return mapi::FAILED(hr) ? hr : mapi::S_OK;
}

}  // namespace tav

extern "C" bool SendBulletinByEmail(const tav::WideStringSlot* subject,
                                    const tav::WideStringSlot* body,
                                    const tav::WideStringList* recipients) {
    using namespace tav;
    return ExportBoundary(kOpSend, false, [&] {
        ClearLog();
        AdaptorSession& s = Session();
        if (!s.session || !s.defaultMsgStore) {
            ShowWarningBox(ResourceText::LoadString(kTextNoDefaultStoreToSend));
            WriteLog(kOpSend, kLogTrace, u"No session.");
            return false;
        }
        std::optional<std::u16string> subjectText = ReadSlot(subject);
        std::optional<std::u16string> bodyText = ReadSlot(body);
        std::optional<std::vector<std::u16string>> addresses = ReadList(recipients);
        bool sent = false;
        if (!subjectText || !bodyText || !addresses)
            WriteLog(kOpSend, kLogTrace, u"Bad parameters.");
        else
            sent = Compose(*subjectText, *bodyText, *addresses);
        // Everything is released by now; a message not submitted was never saved.
        if (!sent) ShowWarningBox(ResourceText::LoadString(kTextSendFailed));
        return sent;
    });
}
