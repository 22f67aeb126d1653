// Folders (IMAPIFolder) of a simulated store.
//
// GetHierarchyTable lists the immediate subfolders (all levels, depth-first, with
// CONVENIENT_DEPTH); a folder whose hierarchy the account cannot see gives an empty table. Rows
// carry the short-term PR_ENTRYID, PR_DISPLAY_NAME_W, PR_OBJECT_TYPE (MAPI_FOLDER), PR_DEPTH,
// PR_SUBFOLDERS, PR_FOLDER_TYPE, PR_CONTENT_COUNT, PR_PARENT_ENTRYID and every stored property
// (PR_SOURCE_KEY and PR_CONTAINER_CLASS_W when the folder has them). GetContentsTable lists the
// ordinary or (MAPI_ASSOCIATED) the associated messages with the short-term PR_ENTRYID,
// PR_OBJECT_TYPE (MAPI_MESSAGE) and every stored property, named ones included. Both tables are
// snapshots taken when they are asked for.
//
// CreateFolder makes FOLDER_GENERIC folders; a subfolder of the same name (ASCII letters
// compared without case) is opened with OPEN_IF_EXISTS and is MAPI_E_COLLISION without it.
// CreateMessage makes a message that exists in the folder only once it is saved. DeleteMessages
// deletes exactly the messages of the list that are in this folder (MAPI_W_PARTIAL_COMPLETION
// when some are not). Writing (properties, new folders and messages, deletion) needs a folder
// opened with MAPI_MODIFY or MAPI_BEST_ACCESS in a store opened for writing: MAPI_E_NO_ACCESS
// otherwise.
#pragma once

#include <cstdint>

#include "mapi/mapi.h"
#include "sim/entry_ids.h"
#include "sim/model.h"
#include "sim/store.h"

namespace sim {

mapi::HRESULT OpenFolderObject(const StoreRef& store, std::uint64_t folderId, bool writable,
                               mapi::ComPtr<mapi::IMAPIFolder>* out);

// A folder's properties as GetProps (long-term) and the hierarchy table (short-term) show them;
// parent, when known, saves looking it up.
PropMap FolderProps(const Mailbox& mailbox, const Folder& folder, IdForm form,
                    const Folder* parent = nullptr);

}  // namespace sim
