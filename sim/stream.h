// IStream on a property (IMAPIProp::OpenProperty with IID_IStream) of a simulated object.
//
// The stream starts with the property's bytes (none when it was opened with MAPI_CREATE): the
// UTF-16 units of a PT_UNICODE property without a terminator, the characters of a PT_STRING8
// property, the bytes of a PT_BINARY one. Read, Write (at the seek position, extending the
// stream), Seek, SetSize, Stat and CopyTo work on those bytes. A writable stream hands its bytes
// to its sink, which stores them among the object's pending changes, on Commit and, as Exchange
// does for a body stream, when its last reference is released without a Commit; the object's
// SaveChanges then stores them. Trailing zero characters of a string property are dropped.
#pragma once

#include <functional>
#include <string>

#include "mapi/mapi.h"
#include "sim/model.h"

namespace sim {

using PropertySink = std::function<void(mapi::ULONG tag, PropValue value)>;

mapi::ComPtr<mapi::IStream> MakePropertyStream(mapi::ULONG tag, Bytes initial, bool writable,
                                               PropertySink sink);

// A property's stream bytes, and the value of the property from them.
Bytes StreamBytesOf(const PropValue& value);
PropValue PropertyFromStreamBytes(mapi::ULONG tag, const Bytes& bytes);

}  // namespace sim
