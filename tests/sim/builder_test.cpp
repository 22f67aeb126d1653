// The C++ builder's folder lookup by name: a subfolder of the same name (ASCII case ignored) is
// the same folder, through renames, duplicates and folders the simulation adds or removes.
#include <gtest/gtest.h>

#include "sim/builder.h"
#include "sim/props.h"

namespace {

const std::u16string kServer = u"/o=Example/ou=AG/cn=Configuration/cn=Servers/cn=EXCH01";

TEST(OrgBuilder, FolderByNameFindsTheSameSubfolder) {
    sim::Organisation org;
    sim::OrgBuilder builder(org);
    auto& mailbox = builder.Mailbox(u"/o=Example/cn=Recipients/cn=a", kServer).StandardFolders();
    sim::FolderBuilder& ipm = mailbox.Ipm();

    EXPECT_EQ(&ipm.Folder(u"INBOX"), &mailbox.Inbox());
    sim::FolderBuilder& first = ipm.Folder(u"Projects");
    sim::FolderBuilder& second = ipm.AddFolder(u"projects");
    EXPECT_NE(&first, &second);
    EXPECT_EQ(&ipm.Folder(u"pROJECTS"), &first);  // the first of that name
    EXPECT_EQ(ipm.Model().children.size(), 12u);

    // Renamed through the builder: found by the new name; the old one now means the duplicate.
    first.Prop(mapi::PR_DISPLAY_NAME_W, std::u16string(u"Archive"));
    EXPECT_EQ(&ipm.Folder(u"archive"), &first);
    EXPECT_EQ(&ipm.Folder(u"Projects"), &second);

    // Renamed behind the builder's back.
    sim::PutProp(second.Model().props, mapi::PR_DISPLAY_NAME_W, std::u16string(u"Old"));
    sim::FolderBuilder& made = ipm.Folder(u"Projects");
    EXPECT_NE(&made, &second);
    EXPECT_EQ(ipm.Model().children.size(), 13u);

    // Removed by the simulation (a DeleteFolder at run time): not found any more.
    auto& children = ipm.Model().children;
    children.erase(children.begin() + 9);  // Tasks
    EXPECT_EQ(ipm.Model().children.size(), 12u);
    sim::FolderBuilder& tasks = ipm.Folder(u"Tasks");
    EXPECT_EQ(ipm.Model().children.size(), 13u);
    EXPECT_EQ(&ipm.Folder(u"tasks"), &tasks);
}

// Address entries are numbered one above the highest index of the book, entries added or taken
// out behind the builder's back included.
TEST(OrgBuilder, AddressEntriesAreNumberedAboveTheHighestIndex) {
    sim::Organisation org;
    sim::OrgBuilder builder(org);
    EXPECT_EQ(builder.User(u"A", u"/cn=a").Index(), 1u);
    EXPECT_EQ(builder.User(u"B", u"/cn=b").Index(), 2u);
    sim::AddressEntry added;
    added.index = 40;
    org.addressBook.push_back(added);
    EXPECT_EQ(builder.DistList(u"C", u"/cn=c").Index(), 41u);
    org.addressBook.clear();
    EXPECT_EQ(builder.User(u"D", u"/cn=d").Index(), 1u);
}

}  // namespace
