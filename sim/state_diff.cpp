#include "sim/state_diff.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>

#include "mapi/mapi.h"
#include "sim/props.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"

namespace sim {
namespace {

// The path of a folder's child, from the folder's path ("" for the root).
std::string ChildPath(const std::string& path, std::u16string_view name) {
    std::string child;
    child.reserve(path.size() + 1 + name.size());
    child = path;
    if (!path.empty()) child += '/';
    AppendUtf8(child, name);
    return child;
}

// A folder's path as states show it: "/" for the root's "".
std::string_view ShownPath(const std::string& path) {
    return path.empty() ? std::string_view("/") : std::string_view(path);
}

// The members of a snapshot's objects in key order. A snapshot as taken lists them in that order
// already, so the diff walks both sides once instead of looking every key up.
using Members = std::vector<std::pair<std::string_view, const OrderedJson*>>;

Members SortedMembers(const OrderedJson& objects) {
    Members members;
    members.reserve(objects.size());
    for (const auto& [key, state] : objects.items()) members.emplace_back(key, &state);
    auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(members.begin(), members.end(), byKey))
        std::sort(members.begin(), members.end(), byKey);
    return members;
}

// The snapshot while it is taken: its objects' keys and states, put in key order once at the end
// (a tree of 100,000 folders is not walked in key order).
struct Snapshot {
    std::vector<std::pair<std::string, std::string>> objects;

    void Add(std::string key, std::string state) {
        objects.emplace_back(std::move(key), std::move(state));
    }

    // A run of objects whose keys differ only in a zero-padded number (a mailbox's folders, or its
    // messages) is put in the order of those numbers as it ends, so that the key order at the end
    // is mostly checked rather than sorted. Equal numbers keep the order they were added in.
    void BeginRun() {
        runStart_ = objects.size();
        runIds_.clear();
    }
    void AddToRun(std::uint64_t id, std::string key, std::string state) {
        runIds_.push_back(id);
        Add(std::move(key), std::move(state));
    }
    void EndRun() {
        if (std::is_sorted(runIds_.begin(), runIds_.end())) return;
        std::vector<std::size_t> order(runIds_.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return runIds_[a] < runIds_[b]; });
        std::vector<std::pair<std::string, std::string>> run;
        run.reserve(order.size());
        for (std::size_t i : order) run.push_back(std::move(objects[runStart_ + i]));
        std::move(run.begin(), run.end(), objects.begin() + static_cast<std::ptrdiff_t>(runStart_));
    }

private:
    std::size_t runStart_ = 0;
    std::vector<std::uint64_t> runIds_;
};

std::string Key(const char* format, std::uint32_t a, std::uint64_t b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, static_cast<unsigned long long>(b));
    return text;
}

// A mailbox's objects are keyed "m", the mailbox's index in four hex digits, then "0" for the
// store, "1" or "2" and nine hex digits of the id for a folder or a message: in the order of
// the numbers, and short enough (15 characters) to be kept inside the string itself.
constexpr const char* kStoreKey = "m%04x0";
constexpr const char* kFolderKey = "m%04x1%09llx";
constexpr const char* kMessageKey = "m%04x2%09llx";

// The folders of a mailbox by their source keys, so that a marker's binary value can say which
// folder it names: the key's bytes (viewed in the folder's own property) to the folder's path.
using SourceKeys = std::unordered_map<std::string_view, const std::string*>;

// The bytes a value's text stands for when it is written as binary values are dumped (two
// lower-case hexadecimal digits per byte), in out; false for any other text.
bool DumpedBytes(const std::string& text, std::string& out) {
    if (text.size() % 2 != 0) return false;
    out.clear();
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int high = digit(text[i]), low = digit(text[i + 1]);
        if (high < 0 || low < 0) return false;
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

// Properties and named properties as one object: named ones under "<set>:<name>". A binary value
// that is the source key of another folder of the mailbox names that folder.
OrderedJson FlatProperties(const sim::PropMap& props, const sim::Mailbox* mailbox,
                           const SourceKeys* keys = nullptr) {
    OrderedJson flat = OrderedJson::object();
    std::vector<std::pair<std::string, OrderedJson>> named;  // after the others, in tag order
    for (const auto& [tag, value] : props) {
        if (const sim::NamedProperty* name = mailbox ? sim::PropertyNameOf(*mailbox, tag) : nullptr)
            named.emplace_back(sim::NamedPropertyKey(*name), sim::DumpPropValue(tag, value));
        else
            flat[sim::PropertyTagName(tag)] = sim::DumpPropValue(tag, value);
    }
    for (auto& [name, value] : named) flat[name] = std::move(value);
    if (keys) {
        std::string bytes;
        for (auto& [name, value] : flat.items()) {
            if (name == "PR_SOURCE_KEY" || !value.is_string()) continue;
            const std::string& text = value.get_ref<const std::string&>();
            if (!DumpedBytes(text, bytes)) continue;
            auto folder = keys->find(bytes);
            if (folder == keys->end()) continue;
            const std::string& path = *folder->second;
            value = text + " (source key of " + std::string(ShownPath(path)) + ")";
        }
    }
    return flat;
}

std::u16string_view DisplayName(const sim::PropMap& props) {
    const sim::PropValue* name = sim::FindProp(props, mapi::PR_DISPLAY_NAME_W);
    return name && std::holds_alternative<std::u16string>(*name)
               ? std::u16string_view(std::get<std::u16string>(*name))
               : std::u16string_view();
}

bool HasNamedProperty(const sim::PropMap& props, const sim::Mailbox& mailbox) {
    return std::any_of(props.begin(), props.end(), [&](const auto& prop) {
        return sim::PropertyNameOf(mailbox, prop.first) != nullptr;
    });
}

// A folder's state as the text its JSON object dumps to, in state. Folders are most of a
// snapshot, so the text is written straight away rather than built as JSON values first;
// properties with names from the mailbox's name map take the JSON way.
void FolderState(std::string& state, const sim::Mailbox& mailbox, const std::string& dn,
                 const sim::Folder& folder, const std::string& path) {
    state.clear();
    state += "{\"kind\":\"folder\",\"mailbox\":";
    sim::AppendJsonString(state, dn);
    state += ",\"path\":";
    sim::AppendJsonString(state, ShownPath(path));
    state += ",\"properties\":";
    if (HasNamedProperty(folder.props, mailbox)) {
        state += FlatProperties(folder.props, &mailbox).dump();
    } else {
        state += '{';
        for (const auto& [tag, value] : folder.props) {
            if (state.back() != '{') state += ',';
            if (const char* known = sim::KnownPropertyTagName(tag))
                sim::AppendJsonString(state, known);
            else
                sim::AppendJsonString(state, sim::PropertyTagName(tag));
            state += ':';
            sim::AppendDumpedValue(state, value);
        }
        state += '}';
    }
    state += ",\"hierarchyHidden\":";
    state += folder.hierarchyHidden ? "true" : "false";
    state += ",\"noAccess\":";
    state += folder.noAccess ? "true" : "false";
    state += '}';
}

// A folder met on the walk and its path ("" for the root). Kept in a deque, whose elements stay
// where they are as it grows, so that the source keys can point at the paths.
struct WalkedFolder {
    const sim::Folder* folder;
    std::uint64_t id;  // the folder's, kept here for ordering without reading the folder
    std::string path;
    const sim::Bytes* sourceKey;  // taken while the folder's properties are at hand
};

const sim::Bytes* SourceKeyOf(const sim::Folder& folder) {
    const sim::PropValue* key = sim::FindProp(folder.props, mapi::PR_SOURCE_KEY);
    return key ? std::get_if<sim::Bytes>(key) : nullptr;
}

// The folder and those below it, in preorder, with their paths.
void WalkFolders(const sim::Folder& folder, std::string path, std::deque<WalkedFolder>& walked) {
    walked.push_back({&folder, folder.id, std::move(path), SourceKeyOf(folder)});
    const std::string& at = walked.back().path;
    for (const auto& child : folder.children)
        WalkFolders(*child, ChildPath(at, DisplayName(child->props)), walked);
}

// The folders walked in the order of their ids (of two with one id, in the walk's order): the
// order they were made in and so mostly the order they lie in memory, where a tree walk meets
// the folders of a large mailbox all over the heap.
std::vector<const WalkedFolder*> InIdOrder(const std::deque<WalkedFolder>& walked) {
    std::vector<const WalkedFolder*> ordered;
    ordered.reserve(walked.size());
    for (const WalkedFolder& at : walked) ordered.push_back(&at);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const WalkedFolder* a, const WalkedFolder* b) { return a->id < b->id; });
    return ordered;
}

// The source keys of the folders walked; of two folders with one key the first keeps it.
SourceKeys SourceKeysOf(const std::deque<WalkedFolder>& walked) {
    SourceKeys keys;
    keys.reserve(walked.size());
    for (const WalkedFolder& at : walked) {
        if (!at.sourceKey) continue;
        const sim::Bytes& bytes = *at.sourceKey;
        keys.emplace(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                     &at.path);
    }
    return keys;
}

// A message's state as its JSON object dumps to, built as JSON values.
std::string MessageStateAsJson(const sim::Mailbox& mailbox, const std::string& dn,
                               const sim::Message& message, const std::string& path,
                               const SourceKeys& keys) {
    OrderedJson messageState{{"kind", "message"},
                             {"mailbox", dn},
                             {"folder", ShownPath(path)},
                             {"id", message.id}};
    if (message.associated) messageState["associated"] = true;
    messageState["properties"] = FlatProperties(message.props, &mailbox, &keys);
    OrderedJson recipients = OrderedJson::array();
    for (const sim::Recipient& recipient : message.recipients) {
        sim::PropMap props = recipient.props;
        sim::RemoveProp(props, mapi::PR_ROWID);
        recipients.push_back(FlatProperties(props, &mailbox));
    }
    if (!recipients.empty()) messageState["recipients"] = std::move(recipients);
    return messageState.dump();
}

// The folder a value names when it is dumped as the hex text of a folder's source key: binary
// values by their bytes, text by what its hex digits stand for.
const std::string* FolderNamedBy(const sim::PropValue& value, const SourceKeys& keys,
                                 std::string& text, std::string& bytes) {
    std::string_view key;
    if (const auto* binary = std::get_if<sim::Bytes>(&value)) {
        key = std::string_view(reinterpret_cast<const char*>(binary->data()), binary->size());
    } else if (std::holds_alternative<std::u16string>(value) ||
               std::holds_alternative<std::string>(value)) {
        text.clear();
        if (const auto* wide = std::get_if<std::u16string>(&value))
            sim::AppendUtf8(text, *wide);
        else
            text = sim::From8Bit(std::get<std::string>(value));
        if (!DumpedBytes(text, bytes)) return nullptr;
        key = bytes;
    } else {
        return nullptr;  // times, numbers and lists are not dumped as one string of hex
    }
    auto folder = keys.find(key);
    return folder == keys.end() ? nullptr : folder->second;
}

// The same written straight away, as folders' states are; false when the message has recipients
// or two named properties with one key, which take the JSON way (state is then of no use).
bool MessageState(std::string& state, const sim::Mailbox& mailbox, const std::string& dn,
                  const sim::Message& message, const std::string& path, const SourceKeys& keys) {
    if (!message.recipients.empty()) return false;
    state.clear();
    state += "{\"kind\":\"message\",\"mailbox\":";
    sim::AppendJsonString(state, dn);
    state += ",\"folder\":";
    sim::AppendJsonString(state, ShownPath(path));
    state += ",\"id\":";
    state += std::to_string(message.id);
    if (message.associated) state += ",\"associated\":true";
    state += ",\"properties\":{";
    thread_local std::string text, bytes;
    auto member = [&](std::string_view name, const sim::PropValue& value) {
        if (state.back() != '{') state += ',';
        sim::AppendJsonString(state, name);
        state += ':';
        const std::string* folder =
            name == "PR_SOURCE_KEY" ? nullptr : FolderNamedBy(value, keys, text, bytes);
        if (!folder) {
            sim::AppendDumpedValue(state, value);
            return;
        }
        std::string annotated;
        if (const auto* binary = std::get_if<sim::Bytes>(&value))
            sim::AppendHexBytes(annotated, binary->data(), binary->size());
        else
            annotated = text;
        annotated += " (source key of ";
        annotated += ShownPath(*folder);
        annotated += ')';
        sim::AppendJsonString(state, annotated);
    };
    // Named properties after the others, in tag order, as FlatProperties lists them.
    thread_local std::vector<std::pair<std::string, const sim::PropValue*>> named;
    named.clear();
    for (const auto& [tag, value] : message.props) {
        if (const sim::NamedProperty* name = sim::PropertyNameOf(mailbox, tag))
            named.emplace_back(sim::NamedPropertyKey(*name), &value);
        else if (const char* known = sim::KnownPropertyTagName(tag))
            member(known, value);
        else
            member(sim::PropertyTagName(tag), value);
    }
    for (std::size_t i = 0; i < named.size(); ++i)
        for (std::size_t k = i + 1; k < named.size(); ++k)
            if (named[i].first == named[k].first) return false;  // what is written is dropped
    for (const auto& [key, value] : named) member(key, *value);
    state += "}}";
    return true;
}

// A folder's messages, once the source keys of every folder of the mailbox are known.
void SnapMessages(Snapshot& snapshot, const sim::Mailbox& mailbox, const std::string& dn,
                  const sim::Folder& folder, const std::string& path, const SourceKeys& keys,
                  std::string& scratch) {
    for (const sim::Message& message : folder.messages) {
        std::string state = MessageState(scratch, mailbox, dn, message, path, keys)
                                ? std::string(scratch)
                                : MessageStateAsJson(mailbox, dn, message, path, keys);
        snapshot.AddToRun(message.id, Key(kMessageKey, mailbox.index, message.id),
                          std::move(state));
    }
}

std::string RegistryKey(const std::string& key) {
    return OrderedJson{{"kind", "registry key"}, {"key", key}}.dump();
}

void SnapRegistry(Snapshot& snapshot) {
    std::map<std::string, std::string> registry;
    for (const auto& entry : sim::DumpRegistry()) {
        std::string key = entry["root"].get<std::string>() + "\\" + entry["key"].get<std::string>();
        if (!entry.contains("name")) {
            registry["r " + key] = RegistryKey(key);
            continue;
        }
        // Every key that holds values exists too.
        registry["r " + key] = RegistryKey(key);
        registry["r " + key + "\x01" + entry["name"].get<std::string>()] =
            OrderedJson{{"kind", "registry value"},
                        {"key", key},
                        {"name", entry["name"]},
                        {"type", entry["type"]},
                        {"data", entry["data"]}}
                .dump();
    }
    // Parent keys of keys with values are not listed by the dump; list them as keys as well.
    std::set<std::string> parents;
    for (const auto& [id, state] : registry) {
        if (id.rfind("r ", 0) != 0 || id.find('\x01') != std::string::npos) continue;
        std::string key = id.substr(2);
        for (std::size_t slash = key.find('\\', 5); slash != std::string::npos;
             slash = key.find('\\', slash + 1))
            parents.insert(key.substr(0, slash));
    }
    for (const std::string& key : parents)
        registry.try_emplace("r " + key, RegistryKey(key));
    for (auto& [key, state] : registry) snapshot.Add(key, std::move(state));
}

const char* const kIdentity[] = {"kind", "mailbox", "folder",      "path", "id",
                                 "key",  "name",    "displayName", "type"};

OrderedJson Identity(const char* change, const OrderedJson& state) {
    OrderedJson out{{"change", change}};
    for (const char* field : kIdentity)
        if (state.contains(field)) out[field] = state[field];
    if (state["kind"] == "message" && state["properties"].contains("PR_MESSAGE_CLASS_W"))
        out["class"] = state["properties"]["PR_MESSAGE_CLASS_W"];
    return out;
}

OrderedJson Changed(const OrderedJson& before, const OrderedJson& after) {
    OrderedJson out = Identity("changed", after);
    // Fields in the order the later state lists them, then those that went away.
    std::vector<std::string> fields;
    for (const auto& [field, value] : after.items()) fields.push_back(field);
    for (const auto& [field, value] : before.items())
        if (!after.contains(field)) fields.push_back(field);
    for (const std::string& field : fields) {
        const OrderedJson old = before.contains(field) ? before[field] : OrderedJson();
        const OrderedJson now = after.contains(field) ? after[field] : OrderedJson();
        if (old == now) continue;
        if (field == "properties") {
            OrderedJson props = OrderedJson::object();
            for (const auto& [tag, value] : now.items())
                if (!old.contains(tag) || old[tag] != value)
                    props[tag] = OrderedJson{{"from", old.contains(tag) ? old[tag] : OrderedJson()},
                                             {"to", value}};
            for (const auto& [tag, value] : old.items())
                if (!now.contains(tag)) props[tag] = OrderedJson{{"from", value}, {"to", nullptr}};
            out["properties"] = std::move(props);
        } else if (old.is_array() && now.is_array() && old.size() < now.size() &&
                   std::equal(old.begin(), old.end(), now.begin())) {
            OrderedJson added = OrderedJson::array();
            for (std::size_t i = old.size(); i < now.size(); ++i) added.push_back(now[i]);
            out[field] = OrderedJson{{"added", std::move(added)}};
        } else if (field == "folder" || field == "path") {
            out["movedFrom"] = old;
        } else {
            out[field] = OrderedJson{{"from", old}, {"to", now}};
        }
    }
    return out;
}

}  // namespace

OrderedJson StateOf(const OrderedJson& member) {
    return member.is_string() ? OrderedJson::parse(member.get_ref<const std::string&>()) : member;
}

OrderedJson TakeSnapshot() {
    Snapshot snapshot;
    sim::Organisation& org = sim::Simulator::Instance().Org();
    for (const auto& mailbox : org.mailboxes) {
        if (!mailbox) continue;
        OrderedJson store{{"kind", "store"}, {"mailbox", ToUtf8(mailbox->dn)}};
        store["properties"] = FlatProperties(mailbox->storeProps, mailbox.get());
        store["namedProperties"] = sim::DumpNamedProperties(*mailbox);
        snapshot.Add(Key(kStoreKey, mailbox->index), store.dump());
        if (mailbox->root) {
            const std::string dn = ToUtf8(mailbox->dn);
            std::deque<WalkedFolder> walked;
            WalkFolders(*mailbox->root, "", walked);
            const std::vector<const WalkedFolder*> ordered = InIdOrder(walked);
            std::string scratch;
            snapshot.BeginRun();
            for (const WalkedFolder* at : ordered) {
                FolderState(scratch, *mailbox, dn, *at->folder, at->path);
                snapshot.AddToRun(at->id, Key(kFolderKey, mailbox->index, at->id),
                                  std::string(scratch));
            }
            snapshot.EndRun();
            const SourceKeys keys = SourceKeysOf(walked);
            snapshot.BeginRun();
            // In the walk's order: of two messages with one id the later one met stands.
            for (const WalkedFolder& at : walked)
                SnapMessages(snapshot, *mailbox, dn, *at.folder, at.path, keys, scratch);
            snapshot.EndRun();
        }
    }
    for (const sim::AddressEntry& entry : org.addressBook) {
        OrderedJson state = sim::DumpAddressEntry(entry, org);
        state["kind"] = "address entry";
        snapshot.Add(Key("n%06u", entry.index), state.dump());
    }
    // Profiles ("p ...") before registry keys ("r ..."), in the order of their keys.
    for (const OrderedJson& profile : sim::DumpProfiles(org)) {
        OrderedJson state = profile;
        state["kind"] = "profile";
        snapshot.Add("p " + profile["name"].get<std::string>(), state.dump());
    }
    SnapRegistry(snapshot);
    snapshot.Add("x exchangeServiceInstalled", OrderedJson{{"kind", "setting"},
                                                           {"name", "exchangeServiceInstalled"},
                                                           {"value", org.exchangeServiceInstalled}}
                                                   .dump());
    // In key order; of two objects with one key the later one stands.
    std::vector<std::pair<std::string, std::string>>& taken = snapshot.objects;
    auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
    if (!std::is_sorted(taken.begin(), taken.end(), byKey))
        std::stable_sort(taken.begin(), taken.end(), byKey);
    OrderedJson objects = ObjectWithRoom(taken.size());
    for (std::size_t i = 0; i < taken.size(); ++i) {
        if (i + 1 < taken.size() && taken[i + 1].first == taken[i].first) continue;
        AppendMember(objects, std::move(taken[i].first), std::move(taken[i].second));
    }
    taken.clear();
    OrderedJson delivered = OrderedJson::array();
    for (const sim::DeliveredMail& mail : org.delivered) {
        const sim::Mailbox* mailbox = org.FindMailbox(mail.fromMailboxDn);
        OrderedJson entry{{"change", "delivered"},
                          {"kind", "mail"},
                          {"from", ToUtf8(mail.fromMailboxDn)},
                          {"properties", FlatProperties(mail.props, mailbox)}};
        OrderedJson recipients = OrderedJson::array();
        for (const sim::Recipient& recipient : mail.recipients) {
            sim::PropMap props = recipient.props;
            sim::RemoveProp(props, mapi::PR_ROWID);
            recipients.push_back(FlatProperties(props, mailbox));
        }
        entry["recipients"] = std::move(recipients);
        delivered.push_back(std::move(entry));
    }
    // Members are appended rather than listed in braces: a braced list copies its values.
    OrderedJson out = ObjectWithRoom(2);
    AppendMember(out, "objects", std::move(objects));
    AppendMember(out, "delivered", std::move(delivered));
    return out;
}

OrderedJson DiffSnapshots(const OrderedJson& before, const OrderedJson& after) {
    OrderedJson changes = OrderedJson::array();
    const Members old = SortedMembers(before["objects"]);
    const Members now = SortedMembers(after["objects"]);
    // Every key of either side once, in order.
    for (std::size_t i = 0, j = 0; i < old.size() || j < now.size();) {
        const OrderedJson* was = nullptr;
        const OrderedJson* is = nullptr;
        if (j == now.size() || (i < old.size() && old[i].first < now[j].first)) {
            was = old[i++].second;
        } else if (i == old.size() || now[j].first < old[i].first) {
            is = now[j++].second;
        } else {
            was = old[i++].second;
            is = now[j++].second;
        }
        if (!was) {
            OrderedJson created{{"change", "created"}};
            OrderedJson state = StateOf(*is);
            for (auto& [field, value] : state.items()) created[field] = std::move(value);
            changes.push_back(std::move(created));
        } else if (!is) {
            changes.push_back(Identity("deleted", StateOf(*was)));
        } else if (*was != *is) {
            // Texts of one dump differ when the states do; a state given as an object (a test's
            // snapshot) is compared as one.
            OrderedJson oldState = StateOf(*was), newState = StateOf(*is);
            if (oldState != newState) changes.push_back(Changed(oldState, newState));
        }
    }
    const OrderedJson& delivered = after["delivered"];
    for (std::size_t i = before["delivered"].size(); i < delivered.size(); ++i)
        changes.push_back(delivered[i]);
    return changes;
}

}  // namespace sim
