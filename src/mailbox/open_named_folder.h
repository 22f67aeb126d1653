// An immediate subfolder of a folder, found by its display name.
#pragma once

#include <string_view>

#include "mapi/mapi_interfaces.h"

namespace tav {

// 0 and the folder when found; MAPI_E_NOT_FOUND when the parent has subfolders but none of that
// name (ASCII letters compared without case); a success code and no folder when the parent
// lists no subfolders at all or the entry found is no folder.
mapi::HRESULT OpenNamedFolder(mapi::IMAPIFolder* parent, std::u16string_view name,
                              mapi::IMAPIFolder** folder);

}  // namespace tav
