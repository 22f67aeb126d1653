// Configuration messages in a mailbox folder: found by class or by the user DN they carry,
// opened and deleted by entry identifier.
#pragma once

#include <string_view>

#include "core/entry_id_record.h"
#include "mapi/mapi_interfaces.h"

namespace tav {

inline constexpr char16_t kHandheldInfoFolder[] = u"TavrelHandheldInfo";
inline constexpr char16_t kHandheldConfigClass[] = u"KVO.Tavrel.Handheld.Config";

// The first message of class "KVO.Tavrel.Handheld.Config" in the folder. When no message matches,
// a success code and *record null.
mapi::HRESULT GetHandheldConfigMessageEntryId(mapi::IMAPIFolder* folder, EntryIdRecord** record);
// The first message whose user-DN property (0x600C001F with alternate, else 0x6002001F) equals
// value, ASCII letters compared without case.
mapi::HRESULT GetUserMessageEntryId(mapi::IMAPIFolder* folder, std::u16string_view value,
                                    bool alternate, EntryIdRecord** record);
mapi::HRESULT OpenMessageByEntryId(mapi::IMAPIFolder* folder, const EntryIdRecord* record,
                                   mapi::IMessage** message);
mapi::HRESULT DeleteMessageByEntryId(mapi::IMAPIFolder* folder, const EntryIdRecord* record);

}  // namespace tav
