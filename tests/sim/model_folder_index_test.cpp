// The folder index of a mailbox: every folder of the tree found by id with its parent, however
// the folder came into the tree and whether or not the index was built before.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "sim/builder.h"
#include "sim/simulator.h"

namespace {

const std::u16string kServer = u"/o=Example/ou=AG/cn=Configuration/cn=Servers/cn=EXCH01";
const std::u16string kUser = u"/o=Example/ou=AG/cn=Recipients/cn=jdoe";

// Each folder of the tree with its parent, by walking it.
void Walk(sim::Folder& folder, sim::Folder* parent,
          std::map<std::uint64_t, std::pair<sim::Folder*, sim::Folder*>>& out) {
    out.emplace(folder.id, std::make_pair(&folder, parent));
    for (auto& child : folder.children) Walk(*child, &folder, out);
}

std::unique_ptr<sim::Folder> NewFolder(std::uint64_t id) {
    auto folder = std::make_unique<sim::Folder>();
    folder->id = id;
    return folder;
}

class FolderIndex : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::Simulator::Instance().Reset();
        mailbox_ = &builder_.Mailbox(kUser, kServer).StandardFolders();
        mailbox_->Inbox().Folder(u"Projects").Folder(u"Deep").Folder(u"Deeper");
        mailbox_->Folder(u"Hidden").HierarchyHidden().Folder(u"Invisible");
    }
    void TearDown() override { sim::Simulator::Instance().Reset(); }

    // Every folder of the tree is found with its parent; ids not in the tree are not.
    void ExpectAgreesWithWalk() {
        sim::Mailbox& model = mailbox_->Model();
        std::map<std::uint64_t, std::pair<sim::Folder*, sim::Folder*>> walked;
        Walk(*model.root, nullptr, walked);
        for (const auto& [id, place] : walked) {
            EXPECT_EQ(model.FindFolder(id), place.first) << id;
            EXPECT_EQ(model.FindParent(id), place.second) << id;
        }
        std::uint64_t unknown = walked.rbegin()->first + 1000;
        EXPECT_EQ(model.FindFolder(unknown), nullptr);
        EXPECT_EQ(model.FindParent(unknown), nullptr);
        // Ids between the folders' (messages', or none) are not folders.
        const std::uint64_t first = walked.begin()->first, last = walked.rbegin()->first;
        for (std::uint64_t id = first; id <= last && id - first < 100000; ++id) {
            if (!walked.count(id)) {
                EXPECT_EQ(model.FindFolder(id), nullptr) << id;
            }
        }
    }

    sim::OrgBuilder builder_;
    sim::MailboxBuilder* mailbox_ = nullptr;
};

TEST_F(FolderIndex, FindsEveryFolderHoweverItWasAdded) {
    struct Case {
        const char* name;
        std::function<void(sim::Mailbox&)> add;
    };
    const std::vector<Case> cases{
        {"builder", [&](sim::Mailbox&) { mailbox_->Ipm().Folder(u"Later").Folder(u"Below"); }},
        {"AddFolder",
         [&](sim::Mailbox& model) {
             sim::Folder* parent = model.FindFolder(mailbox_->Inbox().Id());
             sim::Folder* added = model.AddFolder(*parent, NewFolder(builder_.Org().NewObjectId()));
             model.AddFolder(*added, NewFolder(builder_.Org().NewObjectId()));
         }},
        {"pushed into the tree",
         [&](sim::Mailbox& model) {
             model.root->children.push_back(NewFolder(builder_.Org().NewObjectId()));
         }},
        // Ids far beyond the others', added to the index and then found by a new walk.
        {"far apart",
         [&](sim::Mailbox& model) {
             sim::Folder* parent = model.FindFolder(mailbox_->Inbox().Id());
             model.AddFolder(*parent, NewFolder(builder_.Org().NewObjectId() + 10'000'000));
         }},
        {"pushed far apart",
         [&](sim::Mailbox& model) {
             model.root->children.push_back(NewFolder(builder_.Org().NewObjectId() + 20'000'000));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectAgreesWithWalk();  // builds the index
        c.add(mailbox_->Model());
        ExpectAgreesWithWalk();
    }
}

// A chain many levels deep is indexed without running out of stack.
TEST_F(FolderIndex, DeepChain) {
    sim::Mailbox& model = mailbox_->Model();
    sim::Folder* parent = model.FindFolder(mailbox_->Ipm().Id());
    std::vector<std::pair<sim::Folder*, sim::Folder*>> chain;
    for (int i = 0; i < 5000; ++i) {
        sim::Folder* above = parent;
        parent->children.push_back(NewFolder(builder_.Org().NewObjectId()));
        parent = parent->children.back().get();
        chain.emplace_back(parent, above);
    }
    model.ForgetFolders();
    for (const auto& [folder, above] : chain) {
        EXPECT_EQ(model.FindFolder(folder->id), folder);
        EXPECT_EQ(model.FindParent(folder->id), above);
    }
    // Taken apart from the bottom, so that the destructors do not nest 5000 deep.
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) it->second->children.clear();
    model.ForgetFolders();
}

}  // namespace
