#include "sim/org_generator.h"

#include <algorithm>
#include <iterator>

#include "sim/org_json.h"
#include "sim/props.h"

namespace sim {
namespace {

// splitmix64: small, fast and the same on every platform and standard library (the standard
// distributions are not).
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. bound-1; bound > 0.
    std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }

  private:
    std::uint64_t state_;
};

constexpr const char16_t* kWords[] = {
    u"Projects", u"Archive",  u"Customers", u"Reports",  u"Travel",    u"Invoices",
    u"Minutes",  u"Partners", u"Research",  u"Suppliers", u"Contracts", u"Support",
    u"Planning", u"Budget",   u"Events",    u"Training",
};

// "<word> <n>": n is the folder's number, so no two generated folders share a name.
std::u16string FolderName(Random& random, std::uint32_t number) {
    std::u16string name = kWords[random.Below(std::size(kWords))];
    name += u' ';
    std::u16string digits;
    for (std::uint32_t n = number; n || digits.empty(); n /= 10)
        digits.push_back(static_cast<char16_t>(u'0' + n % 10));
    name.append(digits.rbegin(), digits.rend());
    return name;
}

// The property id of a PS_PUBLIC_STRINGS name given as packed ASCII, registered when missing.
std::uint16_t NamedId(Mailbox& mailbox, std::string_view ascii) {
    const Bytes guid = ParsePropertySet("PS_PUBLIC_STRINGS", "");
    const std::u16string name = PackAsciiName(ascii);
    std::uint32_t next = 0x8000;
    for (const NamedProperty& known : mailbox.namedProperties) {
        if (known.isString && known.guid == guid && known.name == name) return known.propertyId;
        next = std::max<std::uint32_t>(next, known.propertyId + 1u);
    }
    NamedProperty added;
    added.guid = guid;
    added.isString = true;
    added.name = name;
    added.propertyId = static_cast<std::uint16_t>(next);
    mailbox.namedProperties.push_back(std::move(added));
    return static_cast<std::uint16_t>(next);
}

bool HasClass(const Message& message, std::u16string_view messageClass) {
    const PropValue* value = FindProp(message.props, mapi::PR_MESSAGE_CLASS_W);
    return value && std::holds_alternative<std::u16string>(*value) &&
           std::get<std::u16string>(*value) == messageClass;
}

constexpr std::uint32_t kRedirSelected = 0x60220003;
constexpr std::uint32_t kNumSelectedFolders = 0x60240003;
constexpr std::uint32_t kSelectionTime = 0x60250040;
constexpr std::uint32_t kServiceName = 0x600C001F;
constexpr std::uint32_t kRedirSentItems = 0x60700003;
constexpr std::uint32_t kSentActivationTime = 0x60710040;

// The folders of the tree, each with its level below the store's root.
struct Placed {
    FolderBuilder* folder;
    int depth;
};

void MakeWide(FolderBuilder& ipm, std::uint32_t count, Random& random, GeneratedFolders& made,
              std::vector<FolderBuilder*>& builders) {
    std::vector<FolderBuilder*> top;
    for (std::uint32_t i = 0; i < count; ++i) {
        const bool sibling = top.empty() || random.Below(2) == 0;
        FolderBuilder& parent = sibling ? ipm : *top[random.Below(top.size())];
        FolderBuilder& folder = parent.AddFolder(FolderName(random, i + 1), u"IPF.Note");
        if (sibling) top.push_back(&folder);
        made.folders.push_back(folder.Id());
        builders.push_back(&folder);
    }
}

void MakeDeep(FolderBuilder& ipm, int ipmDepth, std::uint32_t count, Random& random,
              GeneratedFolders& made, std::vector<FolderBuilder*>& builders) {
    std::vector<Placed> chain{{&ipm, ipmDepth}};
    for (std::uint32_t i = 0; i < count; ++i) {
        const bool full = chain.back().depth >= kMaxFolderDepth;
        if (chain.size() > 1 && (full || random.Below(32) == 0))
            chain.resize(1 + random.Below(chain.size() - 1));
        FolderBuilder& folder =
            chain.back().folder->AddFolder(FolderName(random, i + 1), u"IPF.Note");
        chain.push_back({&folder, chain.back().depth + 1});
        made.folders.push_back(folder.Id());
        builders.push_back(&folder);
    }
}

std::vector<std::size_t> ChooseMarked(MarkedShare share, std::size_t count, Random& random) {
    std::vector<std::size_t> chosen(count);
    for (std::size_t i = 0; i < count; ++i) chosen[i] = i;
    if (share == MarkedShare::None) return {};
    if (share == MarkedShare::All) return chosen;
    const std::size_t wanted = count / 10;
    for (std::size_t i = 0; i < wanted; ++i) std::swap(chosen[i], chosen[i + random.Below(count - i)]);
    chosen.resize(wanted);
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

}  // namespace

GeneratedFolders GenerateFolders(MailboxBuilder& mailbox, const FolderGeneration& generation) {
    Random random(generation.seed);
    GeneratedFolders made;
    std::vector<FolderBuilder*> builders;
    made.folders.reserve(generation.count);
    builders.reserve(generation.count);
    mailbox.ReserveFolders(generation.count);

    FolderBuilder& ipm = mailbox.Root().Folder(u"Top of Information Store");
    if (generation.shape == FolderShape::Wide)
        MakeWide(ipm, generation.count, random, made, builders);
    else
        MakeDeep(ipm, 1, generation.count, random, made, builders);

    Mailbox& model = mailbox.Model();
    NamedId(model, "PR_KVO_SYNCH_STATE");
    const std::uint16_t synchId = NamedId(model, "PR_KVO_SYNCH_ENTRYID");
    const std::uint16_t timeId = NamedId(model, "PR_KVO_SELECT_TIME");
    const FileTime selected{ParseIsoTime("2023-11-02T08:30:00Z", "")};

    FolderBuilder& info = mailbox.Folder(u"TavrelHandheldInfo");
    FolderBuilder& synch = info.Folder(u"TavrelSynch");
    for (std::size_t index : ChooseMarked(generation.marked, builders.size(), random)) {
        synch.Message(u"KVO.Tavrel.Synch")
            .Prop(mapi::PROP_TAG(mapi::PT_BINARY, synchId), builders[index]->SourceKey())
            .Prop(mapi::PROP_TAG(mapi::PT_SYSTIME, timeId), selected);
        made.marked.push_back(builders[index]->Id());
    }

    std::int32_t markers = 0;
    for (const Message& message : synch.Model().messages)
        if (HasClass(message, u"KVO.Tavrel.Synch")) ++markers;
    Message* config = nullptr;
    for (Message& message : info.Model().messages)
        if (!config && HasClass(message, u"KVO.Tavrel.Handheld.Config")) config = &message;
    if (!config) {
        info.Message(u"KVO.Tavrel.Handheld.Config")
            .Subject(u"Tavrel handheld configuration")
            .Prop(kServiceName, generation.serviceName)
            .Prop(kSelectionTime, selected)
            .Prop(kRedirSentItems, std::int32_t{0})
            .Prop(kSentActivationTime, selected);
        config = &info.Model().messages.back();
    }
    PutProp(config->props, kRedirSelected, std::int32_t{markers ? 1 : 0});
    PutProp(config->props, kNumSelectedFolders, markers);
    return made;
}

}  // namespace sim
