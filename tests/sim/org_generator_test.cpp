// The organisation generator: the tree it makes has the size, shape and markers asked for, is the
// same for the same seed, and a setup's "generatedFolders" makes the same mailbox as the C++ API.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "sim/org_generator.h"
#include "sim/org_json.h"
#include "sim/props.h"
#include "sim/simulator.h"

namespace {

using sim::FolderShape;
using sim::MarkedShare;

const std::u16string kServer = u"/o=Example/ou=AG/cn=Configuration/cn=Servers/cn=EXCH01";
const std::u16string kDn = u"/o=Example/ou=AG/cn=Recipients/cn=big";

std::u16string Name(const sim::PropMap& props) {
    const sim::PropValue* value = sim::FindProp(props, mapi::PR_DISPLAY_NAME_W);
    return value && std::holds_alternative<std::u16string>(*value)
               ? std::get<std::u16string>(*value)
               : std::u16string();
}

sim::Folder* Child(sim::Folder& parent, std::u16string_view name) {
    for (auto& child : parent.children)
        if (Name(child->props) == name) return child.get();
    return nullptr;
}

struct TreeFacts {
    std::size_t below = 0;  // folders below the IPM subtree
    int deepest = 0;  // level below the store's root
    bool siblingNamesUnique = true;
    std::map<sim::Bytes, std::uint64_t> idBySourceKey;
};

void Walk(sim::Folder& folder, int depth, TreeFacts& facts) {
    std::set<std::u16string> names;
    for (auto& child : folder.children) {
        if (!names.insert(Name(child->props)).second) facts.siblingNamesUnique = false;
        ++facts.below;
        facts.deepest = std::max(facts.deepest, depth + 1);
        const sim::PropValue* key = sim::FindProp(child->props, mapi::PR_SOURCE_KEY);
        if (key) facts.idBySourceKey[std::get<sim::Bytes>(*key)] = child->id;
        Walk(*child, depth + 1, facts);
    }
}

std::int32_t LongProp(const sim::PropMap& props, mapi::ULONG tag) {
    const sim::PropValue* value = sim::FindProp(props, tag);
    return value && std::holds_alternative<std::int32_t>(*value) ? std::get<std::int32_t>(*value)
                                                                 : -1;
}

TEST(OrgGenerator, MakesTheTreeAndMarkersAskedFor) {
    struct Case {
        FolderShape shape;
        MarkedShare marked;
        std::uint32_t count;
        std::size_t markers;
    };
    const Case cases[] = {
        {FolderShape::Wide, MarkedShare::None, 2000, 0},
        {FolderShape::Wide, MarkedShare::Tenth, 2000, 200},
        {FolderShape::Deep, MarkedShare::All, 2000, 2000},
        {FolderShape::Deep, MarkedShare::Tenth, 15, 1},
        {FolderShape::Wide, MarkedShare::All, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "shape " << int(c.shape) << " marked " << int(c.marked)
                                        << " count " << c.count);
        sim::Organisation org;
        sim::OrgBuilder builder(org);
        auto& mailbox = builder.Mailbox(kDn, kServer).StandardFolders();
        sim::GeneratedFolders made =
            sim::GenerateFolders(mailbox, {.count = c.count, .shape = c.shape, .marked = c.marked});

        sim::Folder& ipm = mailbox.Ipm().Model();
        TreeFacts facts;
        Walk(ipm, 1, facts);
        EXPECT_EQ(made.folders.size(), c.count);
        EXPECT_EQ(facts.below, c.count + 10);  // and the standard folders
        EXPECT_TRUE(facts.siblingNamesUnique);
        EXPECT_LE(facts.deepest, sim::kMaxFolderDepth);
        if (c.count >= 2000) {
            if (c.shape == FolderShape::Wide) {
                EXPECT_GT(ipm.children.size(), c.count / 3);
                EXPECT_LE(facts.deepest, 3);
            } else {
                EXPECT_EQ(facts.deepest, sim::kMaxFolderDepth);
                EXPECT_LT(ipm.children.size(), c.count / 10);
            }
        }

        sim::Folder* info = Child(*mailbox.Model().root, u"TavrelHandheldInfo");
        ASSERT_NE(info, nullptr);
        sim::Folder* synch = Child(*info, u"TavrelSynch");
        ASSERT_NE(synch, nullptr);
        ASSERT_EQ(synch->messages.size(), c.markers);
        ASSERT_EQ(made.marked.size(), c.markers);
        ASSERT_EQ(mailbox.Model().namedProperties.size(), 3u);
        const std::uint16_t synchId = mailbox.Model().namedProperties[1].propertyId;
        std::set<std::uint64_t> markedIds;
        for (std::size_t i = 0; i < synch->messages.size(); ++i) {
            const sim::PropValue* key = sim::FindProp(
                synch->messages[i].props, mapi::PROP_TAG(mapi::PT_BINARY, synchId));
            ASSERT_NE(key, nullptr);
            auto found = facts.idBySourceKey.find(std::get<sim::Bytes>(*key));
            ASSERT_NE(found, facts.idBySourceKey.end());
            EXPECT_EQ(found->second, made.marked[i]);
            markedIds.insert(found->second);
        }
        EXPECT_EQ(markedIds.size(), c.markers);  // no folder marked twice

        ASSERT_EQ(info->messages.size(), 1u);
        EXPECT_EQ(LongProp(info->messages[0].props, 0x60220003), c.markers ? 1 : 0);
        EXPECT_EQ(LongProp(info->messages[0].props, 0x60240003),
                  static_cast<std::int32_t>(c.markers));
    }
}

TEST(OrgGenerator, TheSeedDecidesTheMailbox) {
    auto dump = [](std::uint64_t seed, FolderShape shape) {
        sim::Organisation org;
        sim::OrgBuilder builder(org);
        auto& mailbox = builder.Mailbox(kDn, kServer).StandardFolders();
        sim::GenerateFolders(mailbox,
                             {.count = 300, .shape = shape, .marked = MarkedShare::Tenth,
                              .seed = seed});
        return sim::DumpMailbox(mailbox.Model()).dump();
    };
    for (FolderShape shape : {FolderShape::Wide, FolderShape::Deep}) {
        EXPECT_EQ(dump(7, shape), dump(7, shape));
        EXPECT_NE(dump(7, shape), dump(8, shape));
    }
    EXPECT_NE(dump(7, FolderShape::Wide), dump(7, FolderShape::Deep));
}

TEST(OrgGenerator, SetupMemberMakesTheSameMailbox) {
    sim::Organisation org;
    sim::OrgBuilder builder(org);
    builder.Server(kServer, u"EXCH01");
    auto& built = builder.Mailbox(kDn, kServer).StandardFolders();
    sim::GenerateFolders(built, {.count = 500, .shape = FolderShape::Deep,
                                 .marked = MarkedShare::Tenth, .seed = 3, .serviceName = u"TES-X"});

    sim::Simulator::Instance().Reset();
    sim::LoadSetup(sim::Json::parse(R"({"organisation": {
        "servers": [{"dn": "/o=Example/ou=AG/cn=Configuration/cn=Servers/cn=EXCH01"}],
        "mailboxes": [{"dn": "/o=Example/ou=AG/cn=Recipients/cn=big", "server": "EXCH01",
                       "standardFolders": true,
                       "generatedFolders": {"count": 500, "shape": "deep", "marked": "tenth",
                                            "seed": 3, "serviceName": "TES-X"}}]}})"),
                   {});
    sim::Mailbox* loaded = sim::Simulator::Instance().Org().FindMailbox(kDn);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(sim::DumpMailbox(*loaded).dump(), sim::DumpMailbox(built.Model()).dump());

    const char* mistakes[][2] = {
        {R"({"count": 10, "shape": "round"})", "generatedFolders.shape"},
        {R"({"count": 10, "marked": "half"})", "generatedFolders.marked"},
        {R"({"count": -1})", "generatedFolders.count"},
        {R"({"shape": "wide"})", "generatedFolders.count"},
        {R"({"count": 10, "colour": "red"})", "generatedFolders"},
    };
    for (const auto& mistake : mistakes) {
        SCOPED_TRACE(mistake[0]);
        sim::Simulator::Instance().Reset();
        sim::Json setup = sim::Json::parse(R"({"organisation": {"mailboxes": [
            {"dn": "/o=Example/cn=small", "server": "EXCH01"}]}})");
        setup["organisation"]["mailboxes"][0]["generatedFolders"] = sim::Json::parse(mistake[0]);
        try {
            sim::LoadSetup(setup, {});
            ADD_FAILURE() << "accepted";
        } catch (const sim::JsonError& error) {
            EXPECT_NE(std::string(error.what()).find(mistake[1]), std::string::npos)
                << error.what();
        }
    }
    sim::Simulator::Instance().Reset();
}

}  // namespace
