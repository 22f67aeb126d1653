// An owned byte string: a MAPI entry identifier or a PR_SOURCE_KEY value copied into the
// library's memory. An empty blob stands for an id that is absent.
#pragma once

#include <cstddef>
#include <vector>

#include "mapi/mapi_structs.h"
#include "mapi/mapi_types.h"

namespace tav {

class EntryBlob {
  public:
    EntryBlob() = default;
    EntryBlob(const mapi::BYTE* bytes, mapi::ULONG count);
    // A copy of a binary property value.
    static EntryBlob FromBinary(const mapi::SBinary& value);

    mapi::ULONG Count() const { return static_cast<mapi::ULONG>(bytes_.size()); }
    bool Empty() const { return bytes_.empty(); }
    // Null for an empty blob.
    const mapi::BYTE* Bytes() const { return bytes_.empty() ? nullptr : bytes_.data(); }
    // The bytes as the entry identifier MAPI calls take; null for an empty blob.
    mapi::LPENTRYID EntryId() const;

    friend bool operator==(const EntryBlob&, const EntryBlob&) = default;

    // A hash of the bytes, for sets and maps of blobs.
    std::size_t Hash() const;

  private:
    std::vector<mapi::BYTE> bytes_;
};

struct EntryBlobHash {
    std::size_t operator()(const EntryBlob& blob) const { return blob.Hash(); }
};

}  // namespace tav
