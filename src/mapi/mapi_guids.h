// Interface identifiers and property set identifiers (mapiguid.h, objidl.h, edkmdb.h).
#pragma once

#include "mapi/mapi_types.h"

namespace mapi {

// The MAPI and OLE identifiers of the form {xxxxxxxx-0000-0000-C000-000000000046}.
constexpr GUID MakeOleGuid(std::uint32_t data1) {
    return GUID{data1, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

// OLE
inline constexpr IID IID_IUnknown = MakeOleGuid(0x00000000);
inline constexpr IID IID_IStream = MakeOleGuid(0x0000000C);
inline constexpr IID IID_ISequentialStream = {
    0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};

// MAPI
inline constexpr IID IID_IMAPISession = MakeOleGuid(0x00020300);
inline constexpr IID IID_IMAPITable = MakeOleGuid(0x00020301);
inline constexpr IID IID_IMAPIAdviseSink = MakeOleGuid(0x00020302);
inline constexpr IID IID_IMAPIProp = MakeOleGuid(0x00020303);
inline constexpr IID IID_IProfSect = MakeOleGuid(0x00020304);
inline constexpr IID IID_IMAPIStatus = MakeOleGuid(0x00020305);
inline constexpr IID IID_IMsgStore = MakeOleGuid(0x00020306);
inline constexpr IID IID_IMessage = MakeOleGuid(0x00020307);
inline constexpr IID IID_IAttachment = MakeOleGuid(0x00020308);
inline constexpr IID IID_IAddrBook = MakeOleGuid(0x00020309);
inline constexpr IID IID_IMailUser = MakeOleGuid(0x0002030A);
inline constexpr IID IID_IMAPIContainer = MakeOleGuid(0x0002030B);
inline constexpr IID IID_IMAPIFolder = MakeOleGuid(0x0002030C);
inline constexpr IID IID_IABContainer = MakeOleGuid(0x0002030D);
inline constexpr IID IID_IDistList = MakeOleGuid(0x0002030E);
inline constexpr IID IID_IProfAdmin = MakeOleGuid(0x0002031C);
inline constexpr IID IID_IMsgServiceAdmin = MakeOleGuid(0x0002031D);
inline constexpr IID IID_IMAPIProgress = MakeOleGuid(0x0002031F);
inline constexpr IID IID_IProviderAdmin = MakeOleGuid(0x00020325);

// Exchange store manager
inline constexpr IID IID_IExchangeManageStore = {
    0x559D10B0, 0xA772, 0x11CD, {0x9B, 0xC8, 0x00, 0xAA, 0x00, 0x2F, 0xC4, 0x5A}};

// Property sets of named properties
inline constexpr GUID PS_MAPI = MakeOleGuid(0x00020328);
inline constexpr GUID PS_PUBLIC_STRINGS = MakeOleGuid(0x00020329);

}  // namespace mapi
