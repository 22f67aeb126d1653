#include "tools/console/expectations.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "sim/state_diff.h"
#include "tools/console/runner.h"
#include "tools/console/transcript.h"

namespace console {
namespace {

using sim::IndexPath;
using sim::OrderedJson;

bool Matches(const Json& expected, const OrderedJson& actual) {
    std::vector<std::string> ignored;
    MatchPartial(expected, actual, "", ignored);
    return ignored.empty();
}

std::string Short(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// A message's class and subject, a mail's subject, and the folders an object's binary properties
// name by their source keys ("names"), as members of their own, so that a scenario can state them
// without property tags and key bytes. A changed property counts by its new value.
OrderedJson WithShortcuts(OrderedJson record) {
    if (!record.contains("properties") || !record["properties"].is_object()) return record;
    const OrderedJson props = record["properties"];
    auto now = [](const OrderedJson& prop) {
        return prop.is_object() && prop.contains("to") ? prop["to"] : prop;
    };
    if (!record.contains("class") && props.contains("PR_MESSAGE_CLASS_W"))
        record["class"] = now(props["PR_MESSAGE_CLASS_W"]);
    if (props.contains("PR_SUBJECT_W")) record["subject"] = now(props["PR_SUBJECT_W"]);
    static const std::string kNames = " (source key of ";
    OrderedJson names = OrderedJson::array();
    for (const auto& [tag, prop] : props.items()) {
        const OrderedJson value = now(prop);
        if (!value.is_string()) continue;
        const std::string text = value.get<std::string>();
        const std::size_t at = text.find(kNames);
        if (at != std::string::npos && text.back() == ')')
            names.push_back(text.substr(at + kNames.size(), text.size() - at - kNames.size() - 1));
    }
    if (!names.empty()) record["names"] = std::move(names);
    return record;
}

// The items of the flat tree from index `at` on that sit at `depth`, with their subtrees.
OrderedJson NestedFolders(const OrderedJson& tree, std::size_t& at, int depth) {
    OrderedJson items = OrderedJson::array();
    while (at < tree.size() && tree[at]["depth"] == depth) {
        const int image = tree[at]["image"].get<int>();
        OrderedJson item{{"text", tree[at]["text"]},
                         {"checked", image == 2 ? OrderedJson(true)
                                     : image == 1 ? OrderedJson(false)
                                                  : OrderedJson()}};
        ++at;
        item["children"] = NestedFolders(tree, at, depth + 1);
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace

OrderedJson MatchableView(OrderedJson view, const Json& expected) {
    if (!expected.is_object() || !view.is_object()) return view;
    if (expected.contains("controls") && expected["controls"].is_object()) {
        OrderedJson byId = OrderedJson::object();
        for (const auto& control : view["controls"])
            if (control["id"] != -1) byId[std::to_string(control["id"].get<int>())] = control;
        view["controls"] = std::move(byId);
    }
    if (expected.contains("folders")) {
        std::size_t at = 0;
        view["folders"] = NestedFolders(view["tree"], at, 0);
    }
    return view;
}

void CheckCalls(const CallExpectations& expect, const OrderedJson& calls,
                std::vector<std::string>& failures) {
    if (expect.calls) MatchPartial(*expect.calls, calls, "calls", failures);
    if (expect.callsInclude) {
        std::size_t next = 0;
        for (std::size_t i = 0; i < expect.callsInclude->size(); ++i) {
            const Json& wanted = (*expect.callsInclude)[i];
            while (next < calls.size() && !Matches(wanted, calls[next])) ++next;
            if (next == calls.size()) {
                failures.push_back(IndexPath("callsInclude", i) + ": no " +
                                   (i ? "later " : "") + "call matches " + Short(wanted));
                break;
            }
            ++next;
        }
    }
    if (expect.callCounts) {
        for (const auto& [method, count] : expect.callCounts->items()) {
            std::size_t made = 0;
            for (const auto& call : calls) made += call["method"] == method ? 1 : 0;
            if (made != count.get<std::size_t>())
                failures.push_back("callCounts." + method + ": expected " + count.dump() +
                                   ", made " + std::to_string(made));
        }
    }
    for (std::size_t i = 0; i < expect.notCalled.size(); ++i) {
        for (std::size_t k = 0; k < calls.size(); ++k) {
            if (!Matches(expect.notCalled[i], calls[k])) continue;
            failures.push_back(IndexPath("notCalled", i) + ": call " + std::to_string(k + 1) +
                               " matches: " + calls[k].dump());
            break;
        }
    }
}

void CheckChanges(const ChangeExpectations& expect, const OrderedJson& before,
                  const OrderedJson& after, const OrderedJson& changes,
                  std::vector<std::string>& failures) {
    std::vector<bool> matched(changes.size(), false);
    if (expect.changes) {
        // A deleted object is matched with what it held before, so that a scenario can say which
        // marker went by the folder it named.
        std::map<std::string, OrderedJson> deletedStates;
        for (const auto& change : changes) {
            if (change["change"] == "deleted") deletedStates.emplace(ChangeSubject(change), OrderedJson());
        }
        if (!deletedStates.empty()) {
            for (const auto& [key, member] : before["objects"].items()) {
                OrderedJson state = sim::StateOf(member);
                auto found = deletedStates.find(ChangeSubject(state));
                if (found != deletedStates.end() && found->second.is_null())
                    found->second = std::move(state);
            }
        }
        std::vector<OrderedJson> records;
        for (const auto& change : changes) {
            OrderedJson record = change;
            if (change["change"] == "deleted") {
                const OrderedJson& state = deletedStates[ChangeSubject(change)];
                if (state.is_object()) {
                    for (const auto& [field, value] : state.items())
                        if (!record.contains(field)) record[field] = value;
                }
            }
            records.push_back(WithShortcuts(std::move(record)));
        }
        for (std::size_t i = 0; i < expect.changes->size(); ++i) {
            const Json& wanted = (*expect.changes)[i];
            bool found = false;
            for (std::size_t k = 0; k < changes.size() && !found; ++k) {
                if (matched[k] || !Matches(wanted, records[k])) continue;
                matched[k] = found = true;
            }
            if (!found)
                failures.push_back(IndexPath("changes", i) + ": no change matches " +
                                   Short(wanted));
        }
    }
    if (expect.noOtherChanges) {
        for (std::size_t k = 0; k < changes.size(); ++k)
            if (!matched[k])
                failures.push_back("noOtherChanges: unexpected change: " +
                                   changes[k]["change"].get<std::string>() + " " +
                                   ChangeSubject(changes[k]));
    }
    if (expect.unchanged) {
        const OrderedJson& old = before["objects"];
        // The later objects by key, found by halving: a snapshot lists them in key order.
        std::vector<std::pair<std::string_view, const OrderedJson*>> now;
        now.reserve(after["objects"].size());
        for (const auto& [key, state] : after["objects"].items()) now.emplace_back(key, &state);
        auto byKey = [](const auto& a, const auto& b) { return a.first < b.first; };
        if (!std::is_sorted(now.begin(), now.end(), byKey))
            std::stable_sort(now.begin(), now.end(), byKey);
        auto later = [&](std::string_view key) -> const OrderedJson* {
            auto it = std::lower_bound(now.begin(), now.end(), key,
                                       [](const auto& item, std::string_view k) { return item.first < k; });
            return it != now.end() && it->first == key ? it->second : nullptr;
        };
        for (std::size_t i = 0; i < expect.unchanged->size(); ++i) {
            const Json& wanted = (*expect.unchanged)[i];
            const std::string path = IndexPath("unchanged", i);
            bool named = false;
            // A state's text holds its kind as "kind":"...": objects whose text does not are of
            // another kind and are passed over without being read. A text that begins with its
            // kind is of that kind alone.
            std::string kindMember;
            if (wanted.contains("kind") && wanted["kind"].is_string()) {
                kindMember = OrderedJson{{"kind", wanted["kind"]}}.dump();
                kindMember = kindMember.substr(1, kindMember.size() - 2);
            }
            static constexpr std::string_view kKindFirst = "{\"kind\":";
            for (const auto& [key, member] : old.items()) {
                if (member.is_string() && !kindMember.empty()) {
                    const std::string& text = member.get_ref<const std::string&>();
                    if (text.starts_with(kKindFirst)) {
                        const std::size_t end = 1 + kindMember.size();
                        if (text.compare(1, kindMember.size(), kindMember) != 0 ||
                            (text.size() > end && text[end] != ',' && text[end] != '}'))
                            continue;
                    } else if (text.find(kindMember) == std::string::npos) {
                        continue;
                    }
                }
                // An object that stayed as it was can only make the expectation name something:
                // once something is named, such objects need not be read.
                const OrderedJson* is = later(key);
                if (named && is && *is == member) continue;
                const OrderedJson state = sim::StateOf(member);
                if (!Matches(wanted, WithShortcuts(state))) continue;
                named = true;
                if (!is)
                    failures.push_back(path + ": " + ChangeSubject(state) + " was deleted");
                else if (*is != member && sim::StateOf(*is) != state)
                    failures.push_back(path + ": " + ChangeSubject(state) + " changed");
            }
            if (!named) failures.push_back(path + ": nothing stored matches " + Short(wanted));
        }
    }
}

}  // namespace console
