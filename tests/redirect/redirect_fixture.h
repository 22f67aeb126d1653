// The frame of the folder-redirection tests: the administrator's organisation, one user "John
// Doe" whose mailbox has the standard folders, the marker names as the store registers them,
// markers put in place, and readings of the tree and of the marker folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "mailbox/open_msg_store.h"
#include "platform/portable/portable_dialog.h"
#include "redirect/folder_tree_model.h"
#include "sim/props.h"
#include "support/library_fixture.h"

namespace tav::testing {

inline constexpr char16_t kUserDn[] =
    u"/o=Example/ou=First Administrative Group/cn=Recipients/cn=jdoe";
inline constexpr char16_t kUserName[] = u"John Doe";
inline constexpr std::uint64_t kClockTime = 133000000000000000ULL;  // the fixture's clock
inline constexpr std::int32_t kClockSeconds = 1655526400;           // the same, since 1970

// The marker names as the store holds them: the ASCII text read two characters to a unit.
inline const std::u16string kSynchStateUnits = {0x5250, 0x4B5F, 0x4F56, 0x535F, 0x4E59,
                                                0x4843, 0x535F, 0x4154, 0x4554};
inline const std::u16string kSynchEntryIdUnits = {0x5250, 0x4B5F, 0x4F56, 0x535F, 0x4E59,
                                                  0x4843, 0x455F, 0x544E, 0x5952, 0x4449};
inline const std::u16string kSelectTimeUnits = {0x5250, 0x4B5F, 0x4F56, 0x535F, 0x4C45,
                                                0x4345, 0x5F54, 0x4954, 0x454D};

struct Marker {
    std::u16string messageClass;
    sim::Bytes key;
    std::uint64_t time = 0;
};

class RedirectTest : public LibraryTest {
  protected:
    void SetUp() override {
        LibraryTest::SetUp();
        platform::portable::ResetDialogs();
        AdminOrganisation();
        user_ = &builder_.Mailbox(kUserDn, kServerDn)
                     .StandardFolders()
                     .OwnerDisplayName(kUserName)
                     .StoreDisplayName(u"Mailbox - John Doe");
    }
    void TearDown() override {
        platform::portable::ResetDialogs();
        LibraryTest::TearDown();
    }

    sim::MailboxBuilder& User() { return *user_; }
    sim::Mailbox& UserModel() { return user_->Model(); }

    // Registers the three marker names in the user's store, as an earlier run of the editor
    // did: PR_KVO_SYNCH_ENTRYID is then kKeyTag, PR_KVO_SELECT_TIME kTimeTag.
    void RegisterMarkerNames() {
        const std::u16string* names[] = {&kSynchStateUnits, &kSynchEntryIdUnits, &kSelectTimeUnits};
        for (int i = 0; i < 3; ++i) {
            sim::NamedProperty named;
            named.guid = GuidBytes(mapi::PS_PUBLIC_STRINGS);
            named.name = *names[i];
            named.propertyId = static_cast<std::uint16_t>(0x8100 + i);
            UserModel().namedProperties.push_back(named);
        }
    }
    static constexpr mapi::ULONG kKeyTag = 0x81010102;
    static constexpr mapi::ULONG kTimeTag = 0x81020040;

    sim::FolderBuilder& SynchFolder() {
        return User().Folder(u"TavrelHandheldInfo").Folder(u"TavrelSynch");
    }
    // A marker for folder, written at time.
    void AddMarker(const sim::FolderBuilder& folder, std::uint64_t time = 1,
                   std::u16string messageClass = u"KVO.Tavrel.Synch") {
        SynchFolder()
            .Message(std::move(messageClass))
            .Prop(kKeyTag, folder.SourceKey())
            .Prop(kTimeTag, sim::FileTime{time});
    }

    // The messages of "TavrelSynch" with the named properties registered by RegisterMarkerNames
    // or by the editor, whichever the store holds.
    std::vector<Marker> Markers() {
        std::vector<Marker> markers;
        sim::Folder* synch =
            FindChild(FindChild(UserModel().root.get(), u"TavrelHandheldInfo"), u"TavrelSynch");
        if (!synch) return markers;
        for (const sim::Message& message : synch->messages) {
            Marker marker;
            for (const auto& [tag, value] : message.props) {
                if (tag == mapi::PR_MESSAGE_CLASS_W) {
                    marker.messageClass = std::get<std::u16string>(value);
                } else if (IsName(tag, kSynchEntryIdUnits)) {
                    marker.key = std::get<sim::Bytes>(value);
                } else if (IsName(tag, kSelectTimeUnits)) {
                    marker.time = std::get<sim::FileTime>(value).value;
                }
            }
            markers.push_back(marker);
        }
        return markers;
    }

    static sim::Folder* FindChild(sim::Folder* folder, std::u16string_view name) {
        if (!folder) return nullptr;
        for (auto& child : folder->children) {
            const sim::PropValue* text = sim::FindProp(child->props, mapi::PR_DISPLAY_NAME_W);
            if (text && std::get<std::u16string>(*text) == name) return child.get();
        }
        return nullptr;
    }

    static sim::Bytes GuidBytes(const mapi::GUID& guid) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&guid);
        return sim::Bytes(bytes, bytes + sizeof guid);
    }

    bool IsName(mapi::ULONG tag, const std::u16string& units) {
        for (const sim::NamedProperty& named : UserModel().namedProperties) {
            if (named.propertyId == mapi::PROP_ID(tag) && named.name == units) return true;
        }
        return false;
    }

    std::vector<sim::CallRecord> CallsOn(const std::string& method, const std::string& object) {
        std::vector<sim::CallRecord> calls;
        for (const auto& call : sim::Simulator::Instance().CallsTo(method)) {
            if (call.object == object) calls.push_back(call);
        }
        return calls;
    }

    sim::MailboxBuilder* user_ = nullptr;
};

// A model built from the user's store; both are released when it goes.
struct BuiltModel {
    mapi::ComPtr<mapi::IMsgStore> store;
    std::unique_ptr<FolderTreeModel> model;
    FolderNode* root = nullptr;

    BuiltModel(bool inboxDefaultChecked = false, bool sentItemsSelected = false,
               std::u16string_view userName = kUserName) {
        EXPECT_EQ(OpenMsgStore(kUserDn, kServerDn, store.Put()), mapi::S_OK);
        model = std::make_unique<FolderTreeModel>(userName);
        model->SetInboxDefaultChecked(inboxDefaultChecked);
        model->SetSentItemsSelected(sentItemsSelected);
        root = model->BuildTree(store.Get());
    }
    ~BuiltModel() {
        model.reset();
        store.Reset();
    }
};

// The tree as lines "<indent>name flags" with " x" for a checked node.
inline void DescribeNode(const FolderNode& node, int depth, std::vector<std::string>& lines) {
    char flags[8];
    std::snprintf(flags, sizeof flags, "%02x", node.flags);
    lines.push_back(std::string(2 * depth, ' ') + sim::ToUtf8(node.name) + " " + flags +
                    ((node.checked & kFolderChecked) ? " x" : ""));
    for (const auto& child : node.children) DescribeNode(*child, depth + 1, lines);
}
inline std::vector<std::string> Describe(const FolderNode* root) {
    std::vector<std::string> lines;
    if (root) DescribeNode(*root, 0, lines);
    return lines;
}

inline FolderNode* FindNode(FolderNode* node, std::u16string_view name) {
    if (!node || node->name == name) return node;
    for (auto& child : node->children) {
        if (FolderNode* found = FindNode(child.get(), name)) return found;
    }
    return nullptr;
}

// The dialog's tree as lines "<indent>text image", with " +" for an expanded item and " *" for
// the caret.
inline std::vector<std::string> DescribeTree(const platform::portable::DialogView& view) {
    std::vector<std::string> lines;
    for (const auto& item : view.tree) {
        lines.push_back(std::string(2 * item.depth, ' ') + sim::ToUtf8(item.text) + " " +
                        std::to_string(item.image) + (item.expanded ? " +" : "") +
                        (item.caret ? " *" : ""));
    }
    return lines;
}

}  // namespace tav::testing
