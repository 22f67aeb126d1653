// The portable dialog host's tree: handles of items in a tree of several hundred items are
// found again, and no other pointer is taken for one.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialog_host.h"
#include "platform/portable/portable_dialog.h"

namespace platform {
namespace {

constexpr int kTemplate = 200;
constexpr int kTree = 1000;

// Builds a tree in the dialog's first message and checks what its handles name.
class TreeProbe final : public DialogHandler {
  public:
    explicit TreeProbe(int count) : count_(count) {}

    bool OnInitDialog(DialogHost& host) override {
        TreeItem root = host.InsertTreeItem(kTree, {nullptr, false, u"Mailbox", 0, -1, true});
        EXPECT_NE(root, nullptr);
        std::vector<TreeItem> items;
        for (int i = 0; i < count_; ++i) {
            const std::u16string text = u"Folder " + Digits(i);
            items.push_back(host.InsertTreeItem(kTree, {root, false, text, 1, i, false}));
            EXPECT_NE(items.back(), nullptr) << i;
        }
        TreeItemState state;
        for (int i = 0; i < count_; ++i) {
            EXPECT_TRUE(host.GetTreeItem(kTree, items[i], state)) << i;
            EXPECT_EQ(state.param, i);
            EXPECT_EQ(host.NextTreeItem(kTree, items[i], TreeRelation::Parent), root);
            EXPECT_EQ(host.NextTreeItem(kTree, items[i], TreeRelation::Next),
                      i + 1 < count_ ? items[i + 1] : nullptr);
        }
        EXPECT_EQ(host.NextTreeItem(kTree, root, TreeRelation::Child), items.front());

        // Pointers that are no item: inside one, past the last one made, and elsewhere.
        auto* last = static_cast<unsigned char*>(items.back());
        int local = 0;
        for (void* wrong : {static_cast<void*>(last + 1), static_cast<void*>(last + 8),
                            static_cast<void*>(&local), static_cast<void*>(&state)}) {
            EXPECT_FALSE(host.GetTreeItem(kTree, wrong, state));
            EXPECT_FALSE(host.SetTreeItemImage(kTree, wrong, 2));
            EXPECT_EQ(host.NextTreeItem(kTree, wrong, TreeRelation::Parent), nullptr);
        }
        EXPECT_FALSE(host.GetTreeItem(kTree, nullptr, state));
        // The place just after the newest item, by the distance between the last two, is not an
        // item until one is inserted there.
        void* past = nullptr;
        if (count_ >= 2) {
            auto* before = static_cast<unsigned char*>(items[items.size() - 2]);
            past = last + (last - before);
            EXPECT_FALSE(host.GetTreeItem(kTree, past, state));
        }
        const TreeItem next = host.InsertTreeItem(kTree, {root, false, u"Newest", 1, -2, false});
        EXPECT_NE(next, nullptr);
        if (past && next == past) ++newestFollowed_;
        EXPECT_TRUE(host.GetTreeItem(kTree, next, state));
        EXPECT_EQ(state.param, -2);
        checked_ = true;
        return true;
    }
    std::intptr_t OnTreeClick(DialogHost&, int) override { return 0; }
    std::intptr_t OnTreeKeyDown(DialogHost&, int, std::uint16_t) override { return 0; }
    void OnCommand(DialogHost& host, int control, std::uint16_t) override {
        if (control == 2) host.EndDialog(2);
    }

    bool Checked() const { return checked_; }
    int NewestFollowed() const { return newestFollowed_; }

  private:
    static std::u16string Digits(int value) {
        const std::string text = std::to_string(value);
        return {text.begin(), text.end()};
    }

    int count_;
    bool checked_ = false;
    int newestFollowed_ = 0;
};

TEST(PortableDialog, TreeHandlesNameTheirItemsAndNothingElse) {
    portable::ResetDialogs();
    portable::RecordDialogViews(false);
    // Enough items to fill several of the host's blocks, and a few that fill exactly one.
    int followed = 0;
    for (int count : {1, 100, 255, 256, 700}) {
        SCOPED_TRACE(count);
        TreeProbe probe(count);
        RunModalDialog(kTemplate, nullptr, probe);
        EXPECT_TRUE(probe.Checked());
        followed += probe.NewestFollowed();
    }
    // Most trees put the next item right after the newest: the check above was not vacuous.
    EXPECT_GE(followed, 2);
    portable::ResetDialogs();
}

}  // namespace
}  // namespace platform
