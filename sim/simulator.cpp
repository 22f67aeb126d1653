#include "sim/simulator.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "sim/object_base.h"
#include "sim/org_json.h"
#include "sim/sim_text.h"

namespace sim {

std::string CallValue::Text() const {
    struct Render {
        std::string operator()(std::monostate) const { return "null"; }
        std::string operator()(std::uint32_t value) const { return Hex32(value); }
        std::string operator()(std::int64_t value) const { return std::to_string(value); }
        std::string operator()(const Bytes& bytes) const { return ToHex(bytes); }
        std::string operator()(const std::string& text) const { return text; }
        std::string operator()(const std::vector<std::uint32_t>& tags) const {
            std::string text;
            for (std::size_t i = 0; i < tags.size(); ++i) {
                if (i) text += ',';
                text += Hex32(tags[i]);
            }
            return text;
        }
        std::string operator()(const Iid& iid) const { return IidText(iid.data()); }
    };
    return std::visit(Render(), value_);
}

void CallArgList::Set(std::string name, CallValue value) {
    auto at = std::lower_bound(args_.begin(), args_.end(), name,
                               [](const Arg& arg, const std::string& key) { return arg.name < key; });
    if (at != args_.end() && at->name == name) {
        at->value = std::move(value);
        return;
    }
    args_.insert(at, Arg{std::move(name), std::move(value)});
}

const CallArgList::Arg* CallArgList::Find(std::string_view name) const {
    for (const Arg& arg : args_)
        if (arg.name == name) return &arg;
    return nullptr;
}

std::string CallArgList::at(std::string_view name) const {
    const Arg* arg = Find(name);
    if (!arg) throw std::out_of_range("no call argument " + std::string(name));
    return arg->value.Text();
}

std::string CallArgList::operator[](std::string_view name) const {
    const Arg* arg = Find(name);
    return arg ? arg->value.Text() : std::string();
}
namespace {

struct ArmedFault {
    Fault fault;
    int matched = 0;  // matching calls so far
};

// Everything the Simulator knows. It is never destroyed: objects that outlive a Reset stay
// allocated (and reachable) until the process ends, so a late call on them cannot crash.
struct State {
    Organisation org;
    std::vector<ArmedFault> faults;
    std::vector<CallRecord> calls;
    std::uint64_t callsGeneration = 1;
    bool recordCalls = true;
    bool timeProvider = false;
    std::uint64_t providerNanoseconds = 0;
    std::uint64_t callCount = 0;
    std::vector<AddressDialogRecord> addressDialogs;
    std::vector<ServiceDialogRecord> serviceDialogs;
    std::vector<std::unique_ptr<ObjectBase>> objects;       // made since the last Reset
    std::vector<std::unique_ptr<ObjectBase>> staleObjects;  // referenced at a Reset
    std::vector<std::size_t> releasedSerials;  // zombies among objects, for FreeReleased
    std::uint64_t generation = 1;
    std::vector<std::string> doubleReleases;
    int callsOnReleased = 0;
    int initializeBalance = 0;
    int uninitializeUnmatched = 0;
    int openSessions = 0;
};

State& TheState() {
    static State* state = new State;
    return *state;
}

bool Matches(const Fault& fault, const std::string& method, const std::string& object) {
    return fault.method == method && (fault.object.empty() || fault.object == object);
}

}  // namespace

namespace detail {

void AdoptObject(std::unique_ptr<ObjectBase> object) {
    auto& objects = TheState().objects;
    ObjectAccess::SetSerial(*object, objects.size());
    objects.push_back(std::move(object));
}

ObjectBase* ObjectWithSerial(std::size_t serial) {
    auto& objects = TheState().objects;
    return serial < objects.size() ? objects[serial].get() : nullptr;
}

std::uint64_t Generation() {
    return TheState().generation;
}

void NoteDoubleRelease(const ObjectBase& object) {
    TheState().doubleReleases.push_back(object.Label());
}

void NoteFinalRelease(const ObjectBase& object) {
    TheState().releasedSerials.push_back(object.Serial());
}

void NoteCallOnReleased(const ObjectBase&) {
    ++TheState().callsOnReleased;
}

bool RecordingCalls() {
    return TheState().recordCalls;
}

bool TimingProvider() noexcept {
    return TheState().timeProvider;
}

void AddProviderTime(std::uint64_t nanoseconds) noexcept {
    TheState().providerNanoseconds += nanoseconds;
}

std::size_t BeginCall(const std::string& method, const std::string& object,
                      std::uint64_t* records) {
    State& state = TheState();
    ++state.callCount;
    if (!state.recordCalls) {
        *records = 0;  // no generation: the call's result and later arguments go nowhere
        return 0;
    }
    CallRecord record;
    record.method = method;
    record.object = object;
    state.calls.push_back(std::move(record));
    *records = state.callsGeneration;
    return state.calls.size() - 1;
}

void EndCall(std::size_t index, std::uint64_t records, mapi::HRESULT result) {
    State& state = TheState();
    if (records == state.callsGeneration && index < state.calls.size()) {
        state.calls[index].result = result;
    }
}

void AddCallArg(std::size_t index, std::uint64_t records, const char* name,
                const ArgView& value) {
    State& state = TheState();
    if (records == state.callsGeneration && index < state.calls.size()) {
        state.calls[index].args.Set(name, value.Value());
    }
}

const Fault* FireFault(const std::string& method, const std::string& object) {
    const Fault* fired = nullptr;
    for (ArmedFault& armed : TheState().faults) {
        if (!Matches(armed.fault, method, object)) continue;
        ++armed.matched;
        bool fires = armed.fault.nth == 0 || armed.fault.nth == armed.matched;
        if (fires && !fired) fired = &armed.fault;
    }
    return fired;
}

}  // namespace detail

Simulator& Simulator::Instance() {
    static Simulator* simulator = new Simulator;
    return *simulator;
}

void Simulator::Reset() {
    State& state = TheState();
    // Referenced objects become stale and are kept; zombies (released objects) are freed, the
    // newest first: an object can only hold references to objects older than itself.
    std::vector<std::unique_ptr<ObjectBase>> zombies;
    for (auto& object : state.objects) {
        if (!object) continue;  // freed by FreeReleased
        if (object->Released()) {
            zombies.push_back(std::move(object));
        } else {
            state.staleObjects.push_back(std::move(object));
        }
    }
    state.objects.clear();
    state.releasedSerials.clear();
    ++state.generation;
    while (!zombies.empty()) zombies.pop_back();
    state.org = Organisation();
    state.faults.clear();
    ClearRecords();
    state.doubleReleases.clear();
    state.callsOnReleased = 0;
    state.initializeBalance = 0;
    state.uninitializeUnmatched = 0;
    state.openSessions = 0;
}

void Simulator::FreeReleased() {
    // The newest first, as at a Reset; the slot stays, empty, so that serials keep naming the
    // objects made after it. An object whose destruction releases another for the last time
    // notes it in the list again, for the next call.
    State& state = TheState();
    std::vector<std::size_t> serials;
    serials.swap(state.releasedSerials);
    std::sort(serials.begin(), serials.end(), std::greater<>());
    for (std::size_t serial : serials) {
        if (serial >= state.objects.size()) continue;
        std::unique_ptr<ObjectBase> zombie = std::move(state.objects[serial]);
        zombie.reset();
    }
}

Organisation& Simulator::Org() {
    return TheState().org;
}

void Simulator::AddFault(Fault fault) {
    TheState().faults.push_back({std::move(fault), 0});
}

void Simulator::ClearFaults() {
    TheState().faults.clear();
}

void Simulator::RecordCalls(bool on) {
    TheState().recordCalls = on;
}

bool Simulator::RecordingCalls() const {
    return TheState().recordCalls;
}

std::uint64_t Simulator::CallCount() const {
    return TheState().callCount;
}

void Simulator::TimeProvider(bool on) {
    TheState().timeProvider = on;
}

std::uint64_t Simulator::ProviderNanoseconds() const {
    return TheState().providerNanoseconds;
}

const std::vector<CallRecord>& Simulator::Calls() const {
    return TheState().calls;
}

std::vector<CallRecord> Simulator::CallsTo(const std::string& method) const {
    std::vector<CallRecord> result;
    for (const CallRecord& call : TheState().calls) {
        if (call.method == method) result.push_back(call);
    }
    return result;
}

const std::vector<AddressDialogRecord>& Simulator::AddressDialogs() const {
    return TheState().addressDialogs;
}

const std::vector<ServiceDialogRecord>& Simulator::ServiceDialogs() const {
    return TheState().serviceDialogs;
}

void Simulator::ClearRecords() {
    State& state = TheState();
    state.calls.clear();
    ++state.callsGeneration;
    state.recordCalls = true;
    state.callCount = 0;
    state.providerNanoseconds = 0;
    state.addressDialogs.clear();
    state.serviceDialogs.clear();
}

int Simulator::LiveObjects() const {
    int live = 0;
    for (const auto& object : TheState().objects) live += object && !object->Released() ? 1 : 0;
    return live;
}

std::vector<std::string> Simulator::LiveObjectLabels() const {
    std::vector<std::string> labels;
    for (const auto& object : TheState().objects) {
        if (object && !object->Released()) labels.push_back(object->Label());
    }
    return labels;
}

int Simulator::DoubleReleases() const {
    return static_cast<int>(TheState().doubleReleases.size());
}

std::vector<std::string> Simulator::DoubleReleaseLabels() const {
    return TheState().doubleReleases;
}

int Simulator::CallsOnReleased() const {
    return TheState().callsOnReleased;
}

int Simulator::MapiInitializeBalance() const {
    return TheState().initializeBalance;
}

int Simulator::MapiUninitializeUnmatched() const {
    return TheState().uninitializeUnmatched;
}

int Simulator::OpenSessions() const {
    return TheState().openSessions;
}

void Simulator::RecordAddressDialog(AddressDialogRecord record) {
    TheState().addressDialogs.push_back(std::move(record));
}

void Simulator::RecordServiceDialog(ServiceDialogRecord record) {
    TheState().serviceDialogs.push_back(std::move(record));
}

void Simulator::NoteMapiInitialize() {
    ++TheState().initializeBalance;
}

void Simulator::NoteMapiUninitialize() {
    State& state = TheState();
    if (state.initializeBalance > 0) {
        --state.initializeBalance;
    } else {
        ++state.uninitializeUnmatched;
    }
}

void Simulator::AdjustOpenSessions(int delta) {
    TheState().openSessions += delta;
}

}  // namespace sim
