// Large mailboxes made to measure: N folders below "Top of Information Store" in a chosen shape,
// a share of them marked for redirection the way the library stores a selection, all decided by a
// seed so that the same request always gives the same mailbox (the same names, tree and markers).
// Tests, benchmarks and setups ("generatedFolders" in docs/organisation.md) share it:
//
//     OrgBuilder b;
//     auto& mb = b.Mailbox(dn, server).StandardFolders();
//     GeneratedFolders made = GenerateFolders(mb, {.count = 100000, .marked = MarkedShare::Tenth});
//
// Marking a folder adds a "KVO.Tavrel.Synch" message to TavrelHandheldInfo/TavrelSynch whose
// named property PR_KVO_SYNCH_ENTRYID holds the folder's source key (with PR_KVO_SELECT_TIME);
// the names PR_KVO_SYNCH_STATE, PR_KVO_SYNCH_ENTRYID and PR_KVO_SELECT_TIME are registered in the
// store's name map (PS_PUBLIC_STRINGS, ASCII packed). The "KVO.Tavrel.Handheld.Config" message of
// TavrelHandheldInfo (made when missing, with SERVICE_NAME) then says REDIR_SELECTED = 1 and
// NUM_SELECTED_FOLDERS = the number of markers when there are any, 0 and 0 when not.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/builder.h"

namespace sim {

enum class FolderShape {
    // Flat: about half the folders are siblings directly below the IPM subtree, the others
    // children of one of those.
    Wide,
    // Long chains: each folder is usually the child of the one made before it, down to the
    // deepest level a store may have; now and then a chain branches off an earlier level.
    Deep,
};

enum class MarkedShare { None, Tenth, All };

struct FolderGeneration {
    std::uint32_t count = 1000;  // folders made, besides those the mailbox has already
    FolderShape shape = FolderShape::Wide;
    MarkedShare marked = MarkedShare::None;  // Tenth: count / 10 folders, chosen by the seed
    std::uint64_t seed = 1;
    std::u16string serviceName = u"TES-HQ";  // SERVICE_NAME of a config message made here
};

struct GeneratedFolders {
    std::vector<std::uint64_t> folders;  // ids, in the order made
    std::vector<std::uint64_t> marked;   // ids of the marked folders, in the order of the markers
};

GeneratedFolders GenerateFolders(MailboxBuilder& mailbox, const FolderGeneration& generation);

}  // namespace sim
