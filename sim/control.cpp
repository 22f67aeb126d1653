#include "sim/control.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <vector>

#include "mapi/portable/mapi_accounting.h"
#include "platform/portable/portable_platform.h"
#include "sim/entry_ids.h"
#include "sim/host_settings.h"
#include "sim/props.h"
#include "sim/sim_text.h"
#include "sim/simulator.h"
#include "sim/state_diff.h"

namespace sim {
namespace {

namespace portable = platform::portable;

OrderedJson AddressDialogJson(const AddressDialogRecord& dialog) {
    OrderedJson titles = OrderedJson::array();
    for (const std::string& title : dialog.destTitles) titles.push_back(From8Bit(title));
    OrderedJson out{{"flags", Hex32(dialog.flags)},
                    {"caption", From8Bit(dialog.caption)},
                    {"destFields", dialog.destFields},
                    {"destTitles", std::move(titles)},
                    {"destFieldFocus", dialog.destFieldFocus}};
    OrderedJson present = OrderedJson::array();
    const std::pair<bool, const char*> optional[] = {
        {dialog.hasContainer, "container"},
        {dialog.hasHelpFile, "helpFile"},
        {dialog.hasDismiss, "dismiss"},
        {dialog.hasDestComps, "destComps"},
        {dialog.hasRestrictions, "restrictions"},
        {dialog.hasNewEntryTitle, "newEntryTitle"},
        {dialog.hasDestWellsTitle, "destWellsTitle"}};
    for (const auto& [has, name] : optional)
        if (has) present.push_back(name);
    out["alsoGiven"] = std::move(present);
    out["window"] = dialog.windowValue ? "non-zero" : "0";
    if (!dialog.scripted) out["unscripted"] = true;
    out["result"] = ResultCodeName(dialog.result);
    return out;
}

template <class T>
void DropUnused(std::vector<T>& queue, std::size_t added, const char* what, OrderedJson& notes) {
    std::size_t unused = std::min(queue.size(), added);
    if (!unused) return;
    queue.erase(queue.end() - std::ptrdiff_t(unused), queue.end());
    notes.push_back(std::to_string(unused) + " " + what + " answer(s) of this step not used");
}

// The path of a folder below the root, names joined by "/"; "/" for the root itself.
bool FindFolderPath(const Folder& folder, std::uint64_t id, std::string& path) {
    if (folder.id == id) return true;
    for (const auto& child : folder.children) {
        const PropValue* name = FindProp(child->props, mapi::PR_DISPLAY_NAME_W);
        std::string childPath = path.empty() ? "" : path + "/";
        if (name && std::holds_alternative<std::u16string>(*name))
            childPath += ToUtf8(std::get<std::u16string>(*name));
        if (FindFolderPath(*child, id, childPath)) {
            path = std::move(childPath);
            return true;
        }
    }
    return false;
}

// What an entry id names, for the call records: "folder Inbox of DN", "message 7 in Inbox of DN"
// (short-term ids say so), "store of DN", "address entry \"Alice Baker\"". Empty when the bytes
// name nothing of the organisation.
std::string DescribeEntryId(const Bytes& id, Organisation& org) {
    if (auto ref = ParseStoreObjectId(id)) {
        for (const auto& mailbox : org.mailboxes) {
            if (!mailbox || mailbox->index != ref->mailbox || !mailbox->root) continue;
            std::string path;
            if (!FindFolderPath(*mailbox->root, ref->folder, path)) return "";
            std::string text = ref->IsMessage() ? "message " + std::to_string(ref->message) + " in "
                                                : std::string("folder ");
            text += (path.empty() ? "/" : path) + " of " + ToUtf8(mailbox->dn);
            return ref->form == IdForm::ShortTerm ? text + " (short-term id)" : text;
        }
        return "";
    }
    if (auto store = ParseStoreEntryId(id))
        return store->mailboxDn.empty() ? "public folders of " + ToUtf8(store->serverDn)
                                        : "store of " + ToUtf8(store->mailboxDn);
    if (auto address = ParseAddressEntryId(id)) {
        if (address->container) return "address container " + std::to_string(address->index);
        const AddressEntry* entry = org.FindEntry(address->index);
        const PropValue* name = entry ? FindProp(entry->props, mapi::PR_DISPLAY_NAME_W) : nullptr;
        if (name && std::holds_alternative<std::u16string>(*name))
            return "address entry \"" + ToUtf8(std::get<std::u16string>(*name)) + "\"";
    }
    return "";
}

// An argument as the records show it: binaries (comma-separated lists of them) that are entry
// ids by what they name, everything else as recorded.
std::string ArgumentText(const std::string& value, Organisation& org) {
    if (value.empty() || value.find_first_not_of("0123456789abcdef,") != std::string::npos)
        return value;
    std::string text;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = value.find(',', start);
        const std::string part = value.substr(start, comma - start);
        std::string named;
        if (part.size() % 2 == 0) named = DescribeEntryId(ParseHex(part, "argument"), org);
        if (named.empty() && comma == std::string::npos && start == 0) return value;
        text += (start ? "," : "") + (named.empty() ? part : named);
        if (comma == std::string::npos) return text;
        start = comma + 1;
    }
}

OrderedJson CallJson(const CallRecord& call, Organisation& org) {
    OrderedJson out{{"method", call.method}};
    if (!call.object.empty()) out["object"] = call.object;
    OrderedJson args = OrderedJson::object();
    for (const auto& [name, value] : call.args) args[name] = ArgumentText(value.Text(), org);
    out["args"] = std::move(args);
    out["result"] = ResultCodeName(call.result);
    return out;
}

OrderedJson SetupSummary(const Organisation& org) {
    std::size_t registryValues = 0;
    for (const auto& entry : DumpRegistry()) registryValues += entry.contains("name") ? 1 : 0;
    return OrderedJson{{"servers", org.servers.size()},
                       {"mailboxes", org.mailboxes.size()},
                       {"addressEntries", org.addressBook.size()},
                       {"profiles", org.profiles.size()},
                       {"registryValues", registryValues},
                       {"exchangeServiceInstalled", org.exchangeServiceInstalled}};
}

OrderedJson Leaks() {
    const Simulator& simulator = Simulator::Instance();
    const mapi::portable::BufferStats buffers = mapi::portable::GetBufferStats();
    return OrderedJson{
        {"liveObjects", simulator.LiveObjects()},
        {"liveObjectLabels", simulator.LiveObjectLabels()},
        {"doubleReleases", simulator.DoubleReleases()},
        {"doubleReleaseLabels", simulator.DoubleReleaseLabels()},
        {"callsOnReleased", simulator.CallsOnReleased()},
        {"openSessions", simulator.OpenSessions()},
        {"mapiBuffers", buffers.liveBuffers},
        {"mapiLinkedBlocks", buffers.liveLinkedBlocks},
        {"mapiBufferBytes", buffers.liveBytes},
        {"mapiBadFrees", buffers.badFrees},
        {"mapiBadParents", buffers.badParents},
        {"mapiInitializeBalance", simulator.MapiInitializeBalance()},
        {"mapiUninitializeUnmatched", simulator.MapiUninitializeUnmatched()},
    };
}

OrderedJson Dispatch(const OrderedJson& request) {
    const Json plain = Json::parse(request.dump());
    const std::string op = plain.value("op", "");
    Simulator& simulator = Simulator::Instance();
    if (op == "reset") {
        simulator.Reset();
        portable::ResetRegistry();
        portable::SetUiLanguage(plain.value<std::uint16_t>("language", 1033));
        if (plain.contains("clock"))
            portable::FixSystemTime(plain["clock"].get<std::uint64_t>());
        else
            portable::FixSystemTime(std::nullopt);
        mapi::portable::ClearAllocationFailures();
        mapi::portable::ResetBufferCounters();
        return OrderedJson::object();
    }
    if (op == "loadSetup") {
        const SetupExtras extras =
            LoadSetup(plain.at("setup"), std::filesystem::path(plain.value("baseDir", ".")));
        OrderedJson faults = OrderedJson::array();
        for (const FaultSpec& fault : extras.faults) {
            OrderedJson entry = DumpFault(fault.fault);
            if (!fault.persistent) entry["persistent"] = false;
            faults.push_back(std::move(entry));
        }
        OrderedJson out{{"extras",
                         {{"faults", std::move(faults)},
                          {"messageBoxAnswers", extras.messageBoxAnswers},
                          {"coInitializeResult", extras.coInitializeResult
                                                     ? OrderedJson(*extras.coInitializeResult)
                                                     : OrderedJson()}}},
                        {"summary", SetupSummary(simulator.Org())},
                        {"host", HostSettings()}};
        return out;
    }
    if (op == "installProvider") {
        InstallProvider();
        return OrderedJson::object();
    }
    if (op == "addFaults") {
        const Json& faults = plain.at("faults");
        for (std::size_t i = 0; i < faults.size(); ++i)
            simulator.AddFault(ParseFault(faults[i], IndexPath("faults", i)).fault);
        return OrderedJson::object();
    }
    if (op == "clearFaults") {
        simulator.ClearFaults();
        return OrderedJson::object();
    }
    if (op == "queueAnswers") {
        Organisation& org = simulator.Org();
        const std::string path = plain.value("path", "step");
        const Json& address = plain.at("address");
        auto checked = org.checkedAddressAnswers.find(path);
        if (checked != org.checkedAddressAnswers.end() &&
            checked->second.addressEntries == org.addressBook.size() &&
            checked->second.answers.size() == address.size()) {
            for (AddressDialogAnswer& answer : checked->second.answers)
                org.addressDialogAnswers.push_back(std::move(answer));
        } else if (!address.empty()) {
            EntryNames names(org);
            for (std::size_t i = 0; i < address.size(); ++i)
                org.addressDialogAnswers.push_back(ParseAddressDialogAnswer(
                    address[i], names, IndexPath(path + ".addressDialog", i)));
        }
        if (checked != org.checkedAddressAnswers.end()) org.checkedAddressAnswers.erase(checked);
        const Json& service = plain.at("service");
        for (std::size_t i = 0; i < service.size(); ++i)
            org.serviceDialogAnswers.push_back(
                ParseServiceDialogAnswer(service[i], IndexPath(path + ".serviceDialog", i)));
        return OrderedJson{{"addressMark", simulator.AddressDialogs().size()},
                           {"serviceMark", simulator.ServiceDialogs().size()}};
    }
    if (op == "checkAnswers") {
        const std::string path = plain.value("path", "step");
        const Json& address = plain.at("address");
        if (address.empty()) return OrderedJson::object();
        Organisation& org = simulator.Org();
        EntryNames names(org);
        Organisation::CheckedAnswers checked{org.addressBook.size(), {}};
        for (std::size_t i = 0; i < address.size(); ++i)
            checked.answers.push_back(
                ParseAddressDialogAnswer(address[i], names, IndexPath(path + ".addressDialog", i)));
        org.checkedAddressAnswers[path] = std::move(checked);
        return OrderedJson::object();
    }
    if (op == "endStep") {
        Organisation& org = simulator.Org();
        OrderedJson addressDialogs = OrderedJson::array();
        for (std::size_t i = plain.at("addressMark").get<std::size_t>();
             i < simulator.AddressDialogs().size(); ++i)
            addressDialogs.push_back(AddressDialogJson(simulator.AddressDialogs()[i]));
        OrderedJson serviceDialogs = OrderedJson::array();
        for (std::size_t i = plain.at("serviceMark").get<std::size_t>();
             i < simulator.ServiceDialogs().size(); ++i) {
            const ServiceDialogRecord& dialog = simulator.ServiceDialogs()[i];
            serviceDialogs.push_back(OrderedJson{{"profile", From8Bit(dialog.profile)},
                                                 {"flags", Hex32(dialog.flags)},
                                                 {"cancelled", dialog.cancelled}});
            if (!dialog.scripted) serviceDialogs.back()["unscripted"] = true;
        }
        OrderedJson notes = OrderedJson::array();
        DropUnused(org.addressDialogAnswers, plain.at("address").get<std::size_t>(),
                   "address-dialog", notes);
        DropUnused(org.serviceDialogAnswers, plain.at("service").get<std::size_t>(),
                   "service-dialog", notes);
        return OrderedJson{{"addressDialogs", std::move(addressDialogs)},
                           {"serviceDialogs", std::move(serviceDialogs)},
                           {"notes", std::move(notes)}};
    }
    if (op == "allocationFailures") {
        mapi::portable::InjectAllocationFailures(plain.at("after").get<std::size_t>(),
                                                 plain.at("count").get<std::size_t>());
        return OrderedJson::object();
    }
    if (op == "clearAllocationFailures") {
        mapi::portable::ClearAllocationFailures();
        return OrderedJson::object();
    }
    if (op == "recordCalls") {
        simulator.RecordCalls(plain.at("on").get<bool>());
        return OrderedJson::object();
    }
    if (op == "calls") {
        const std::vector<CallRecord>& calls = simulator.Calls();
        OrderedJson records = OrderedJson::array();
        for (std::size_t i = plain.value<std::size_t>("from", calls.size()); i < calls.size(); ++i)
            records.push_back(CallJson(calls[i], simulator.Org()));
        OrderedJson out = ObjectWithRoom(2);
        AppendMember(out, "calls", std::move(records));
        AppendMember(out, "mark", calls.size());
        return out;
    }
    if (op == "snapshot") return TakeSnapshot();
    if (op == "dumpState") return DumpState();
    if (op == "leaks") return Leaks();
    return OrderedJson{{"error", "unknown control op \"" + op + "\""}};
}

}  // namespace

OrderedJson Control(const OrderedJson& request) {
    try {
        return Dispatch(request);
    } catch (const std::exception& error) {
        return OrderedJson{{"error", error.what()}};
    }
}

std::string ControlText(std::string_view request) {
    try {
        return Control(OrderedJson::parse(request)).dump();
    } catch (const std::exception& error) {
        return OrderedJson{{"error", error.what()}}.dump();
    }
}

}  // namespace sim
