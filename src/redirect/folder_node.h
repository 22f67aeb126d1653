// One folder of a mailbox's folder tree as the folder-redirection editor shows it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "redirect/entry_blob.h"

namespace tav {

// FolderNode::flags
inline constexpr std::uint32_t kFolderIsInbox = 0x01;
inline constexpr std::uint32_t kFolderIsSentItems = 0x04;
inline constexpr std::uint32_t kFolderNotSelectable = 0x80;  // no check box, or not shown

// FolderNode::checked
inline constexpr std::uint32_t kFolderChecked = 0x01;

struct FolderNode {
    std::u16string name;  // PR_DISPLAY_NAME_W; for the root, the mailbox label
    std::uint32_t flags = 0;
    std::uint32_t checked = 0;
    // The subfolders that passed the filters, in the order of the hierarchy table. A node owns
    // its children, so a tree is freed depth first.
    std::vector<std::unique_ptr<FolderNode>> children;
    EntryBlob key;  // PR_SOURCE_KEY; empty for the root and for folders without one
};

}  // namespace tav
