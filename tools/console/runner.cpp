#include "tools/console/runner.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>

#include "sim/sim_text.h"
#include "sim/state_diff.h"
#include "tools/console/console_abi.h"
#include "tools/console/expectations.h"
#include "tools/console/host.h"
#include "tools/console/library.h"

namespace console {
namespace {

namespace portable = platform::portable;
using sim::Json;
using sim::ToUtf8;

// The clock of every run unless the setup fixes another time.
constexpr const char* kDefaultClock = "2024-01-15T09:00:00Z";
constexpr std::uint16_t kDefaultLanguage = 1033;
constexpr char16_t kBufferFill = 0xCCCC;  // what the console's buffers hold before a call

const char* PointerState(const void* p) {
    return p ? "non-null" : "null";
}

std::string Utf8(std::u16string_view text) {
    return ToUtf8(text);
}

// ---- Records read in place ----

OrderedJson ReadSlotJson(const WideStringSlot* slot) {
    std::optional<std::u16string> text = tav::ReadSlot(slot);
    if (text) return Utf8(*text);
    return OrderedJson{{"unreadable", "length " + std::to_string(slot->length) + ", capacity " +
                                          std::to_string(slot->capacity)}};
}

OrderedJson ReadABItem(const unsigned char* bytes) {
    OrderedJson item = OrderedJson::object();
    for (std::size_t i = 0; i < kABItemSlotCount; ++i) {
        WideStringSlot slot;
        std::memcpy(&slot, bytes + i * sizeof(WideStringSlot), sizeof slot);
        item[kABItemMembers[i]] = ReadSlotJson(&slot);
    }
    return item;
}

OrderedJson ReadABItemList(const ABItemList* list) {
    if (!list->first && !list->last)
        return OrderedJson{{"count", 0}, {"items", OrderedJson::array()}};
    if (!list->first || !list->last || list->last < list->first ||
        (list->storageEnd && list->storageEnd < list->last))
        return OrderedJson{{"malformed", "element pointers out of order"}};
    const auto span = static_cast<std::size_t>(list->last - list->first);
    if (span % kABItemSize != 0)
        return OrderedJson{
            {"malformed", "span of " + std::to_string(span) + " bytes is no multiple of 184"}};
    OrderedJson items = OrderedJson::array();
    for (const unsigned char* item = list->first; item != list->last; item += kABItemSize)
        items.push_back(ReadABItem(item));
    OrderedJson out = sim::ObjectWithRoom(2);
    sim::AppendMember(out, "count", span / kABItemSize);
    sim::AppendMember(out, "items", std::move(items));
    return out;
}

const char* PointerChange(const void* before, const void* after) {
    if (before == after) return after ? "unchanged" : "null";
    if (!before) return "set";
    if (!after) return "cleared";
    return "replaced";
}

// ---- Strings in the console's layouts ----

class ConsoleStrings {
  public:
    ConsoleStrings() = default;
    ConsoleStrings(const ConsoleStrings&) = delete;
    ConsoleStrings& operator=(const ConsoleStrings&) = delete;
    ~ConsoleStrings() {
        for (auto& slot : slots_) tav::FreeSlot(*slot);
        for (auto& list : lists_)
            if (list->sentinel) tav::DestroyList(*list);
    }

    const WideStringSlot* Slot(const std::string& utf8) {
        auto slot = std::make_unique<WideStringSlot>();
        tav::InitSlot(*slot);
        tav::AssignSlot(*slot, sim::FromUtf8(utf8));
        slots_.push_back(std::move(slot));
        return slots_.back().get();
    }

    // A container without sentinel when `entries` is null.
    const WideStringList* List(const std::vector<std::string>* entries) {
        auto list = std::make_unique<WideStringList>();
        if (entries) {
            tav::InitList(*list);
            for (const std::string& entry : *entries)
                tav::AppendToList(*list, sim::FromUtf8(entry));
        } else {
            *list = WideStringList{0, nullptr, 0};
        }
        lists_.push_back(std::move(list));
        return lists_.back().get();
    }

    // True while every string still reads as it was made.
    bool Unchanged(const std::vector<std::string>& slotTexts,
                   const std::vector<std::vector<std::string>>& listTexts) const {
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            auto text = tav::ReadSlot(slots_[i].get());
            if (!text || Utf8(*text) != slotTexts[i]) return false;
        }
        for (std::size_t i = 0; i < lists_.size(); ++i) {
            auto entries = tav::ReadList(lists_[i].get());
            if (!entries || entries->size() != listTexts[i].size()) return false;
            for (std::size_t k = 0; k < entries->size(); ++k)
                if (Utf8((*entries)[k]) != listTexts[i][k]) return false;
        }
        return true;
    }

  private:
    std::vector<std::unique_ptr<WideStringSlot>> slots_;
    std::vector<std::unique_ptr<WideStringList>> lists_;
};

// ---- The library's own dialogs ----

const char* ActionName(portable::DialogActionKind kind) {
    switch (kind) {
        case portable::DialogActionKind::ClickImage:
            return "clickImage";
        case portable::DialogActionKind::ClickLabel:
            return "clickLabel";
        case portable::DialogActionKind::ClickButton:
            return "clickButton";
        case portable::DialogActionKind::PressSpace:
            return "space";
        case portable::DialogActionKind::ClickRadio:
            return "radio";
        case portable::DialogActionKind::Ok:
            return "ok";
        case portable::DialogActionKind::Cancel:
            return "cancel";
        case portable::DialogActionKind::Close:
            return "close";
    }
    return "?";
}

const char* ControlKindName(portable::ControlKind kind) {
    switch (kind) {
        case portable::ControlKind::Static:
            return "static";
        case portable::ControlKind::GroupBox:
            return "group box";
        case portable::ControlKind::RadioButton:
            return "radio button";
        case portable::ControlKind::PushButton:
            return "push button";
        case portable::ControlKind::TreeView:
            return "tree view";
    }
    return "?";
}

OrderedJson ActionJson(const portable::DialogAction& action) {
    OrderedJson out{{"action", ActionName(action.kind)}};
    if (!action.path.empty()) out["path"] = Utf8(action.path);
    if (action.kind == portable::DialogActionKind::ClickRadio) out["control"] = action.control;
    if (action.shift) out["shift"] = true;
    return out;
}

using DialogWindows = std::vector<platform::WindowHandle>;

// A box owned by one of the step's dialogs says so ("ownedByDialog"), besides its owner.
OrderedJson BoxJson(const portable::MessageBoxRecord& box, platform::WindowHandle console,
                    const DialogWindows& dialogs = {});

OrderedJson ViewJson(const portable::DialogView& view) {
    OrderedJson controls = OrderedJson::array();
    for (const portable::ControlView& control : view.controls) {
        OrderedJson entry{{"id", control.id},
                          {"kind", ControlKindName(control.kind)},
                          {"text", Utf8(control.text)},
                          {"enabled", control.enabled}};
        if (control.kind == portable::ControlKind::RadioButton) entry["checked"] = control.checked;
        controls.push_back(std::move(entry));
    }
    // Built member by member: a dialog's tree can have 100,000 items.
    OrderedJson tree = OrderedJson::array();
    tree.get_ref<OrderedJson::array_t&>().reserve(view.tree.size());
    for (const portable::TreeItemView& item : view.tree) {
        OrderedJson row = sim::ObjectWithRoom(7);
        sim::AppendMember(row, "depth", item.depth);
        sim::AppendMember(row, "text", Utf8(item.text));
        sim::AppendMember(row, "image", item.image);
        sim::AppendMember(row, "children", item.children);
        sim::AppendMember(row, "expanded", item.expanded);
        sim::AppendMember(row, "enabled", item.enabled);
        sim::AppendMember(row, "caret", item.caret);
        tree.push_back(std::move(row));
    }
    OrderedJson out = sim::ObjectWithRoom(5);
    sim::AppendMember(out, "caption", Utf8(view.caption));
    sim::AppendMember(out, "window", {view.window.left, view.window.top, view.window.right,
                                      view.window.bottom});
    sim::AppendMember(out, "imageList", view.imageList);
    sim::AppendMember(out, "controls", std::move(controls));
    sim::AppendMember(out, "tree", std::move(tree));
    return out;
}

OrderedJson DialogJson(const portable::DialogRecord& dialog, platform::WindowHandle console) {
    OrderedJson out = sim::ObjectWithRoom(8);
    out["template"] = dialog.templateId;
    out["created"] = dialog.created;
    out["owner"] = dialog.owner == console ? "console window"
                   : dialog.owner          ? "other window"
                                           : "null";
    if (dialog.created) {
        out["initResult"] = dialog.initResult;
        out["initial"] = ViewJson(dialog.initial);
        OrderedJson steps = OrderedJson::array();
        for (const portable::DialogStep& step : dialog.steps) {
            OrderedJson entry = ActionJson(step.action);
            entry["outcome"] = step.outcome;
            OrderedJson boxes = OrderedJson::array();
            for (const portable::MessageBoxRecord& box : step.boxes)
                boxes.push_back(BoxJson(box, console, {dialog.window}));
            if (!boxes.empty()) entry["messageBoxes"] = std::move(boxes);
            entry["after"] = ViewJson(step.after);
            steps.push_back(std::move(entry));
        }
        out["steps"] = std::move(steps);
    }
    out["result"] = static_cast<std::int64_t>(dialog.result);
    return out;
}

OrderedJson BoxJson(const portable::MessageBoxRecord& box, platform::WindowHandle console,
                    const DialogWindows& dialogs) {
    OrderedJson out{{"caption", Utf8(box.caption)},
                    {"text", Utf8(box.text)},
                    {"flags", sim::Hex32(box.flags)},
                    {"owner", box.owner == console ? "console window"
                              : box.owner                  ? "non-null"
                                                           : "null"},
                    {"answer", sim::MessageBoxButtonName(box.answer)}};
    if (box.owner && std::find(dialogs.begin(), dialogs.end(), box.owner) != dialogs.end())
        out["ownedByDialog"] = true;
    return out;
}

// ---- The run ----

struct StepCall {
    OrderedJson result;
    OrderedJson out = OrderedJson::object();
    std::vector<std::string> notes;
};

class Runner {
  public:
    Runner(const Scenario& scenario, Library& library, Host& host)
        : scenario_(scenario), library_(library), host_(host) {}

    void Prepare(const OrderedJson& extras) {
        persistentFaults_ = extras["faults"];
        host_.Sim({{"op", "addFaults"}, {"faults", persistentFaults_}});
        for (const auto& answer : extras["messageBoxAnswers"])
            setupBoxAnswers_.push_back(answer.get<int>());
        if (!extras["coInitializeResult"].is_null())
            setupCoInitialize_ = extras["coInitializeResult"].get<std::int32_t>();
        host_.SetCoInitializeResult(setupCoInitialize_);
        // Address-book answers name entries of the organisation, which exists only now.
        for (const Step& step : scenario_.steps)
            host_.Sim({{"op", "checkAnswers"},
                       {"address", OrderedJson::parse(step.addressDialog.dump())},
                       {"path", step.path}});
    }

    OrderedJson RunStep(const Step& step) {
        const ExportSpec& signature = *step.exportSpec;
        OrderedJson record = sim::ObjectWithRoom(24);
        record["step"] = step.number;
        record["call"] = signature.name;
        if (!step.note.empty()) record["note"] = step.note;
        if (!step.args.empty()) record["args"] = ArgsJson(step);
        OrderedJson scripted = ScriptedJson(step);
        if (!scripted.empty()) record["scripted"] = scripted;

        void* function = library_.Find(signature.name);
        record["exported"] = function != nullptr;

        const OrderedJson marks =
            host_.Sim({{"op", "queueAnswers"},
                       {"address", OrderedJson::parse(step.addressDialog.dump())},
                       {"service", ServiceAnswersJson(step)},
                       {"path", step.path}});
        std::deque<int> boxAnswers = setupBoxAnswers_;
        boxAnswers.insert(boxAnswers.end(), step.messageBoxes.begin(), step.messageBoxes.end());
        for (int answer : boxAnswers) host_.QueueMessageBoxAnswer(answer);
        for (const portable::DialogAction& action : step.folderDialog)
            host_.QueueDialogAction(action);
        OrderedJson stepFaults = OrderedJson::array();
        for (const sim::FaultSpec& fault : step.faults) {
            stepFaults.push_back(sim::DumpFault(fault.fault));
            if (fault.persistent) persistentFaults_.push_back(stepFaults.back());
        }
        if (!stepFaults.empty()) host_.Sim({{"op", "addFaults"}, {"faults", stepFaults}});
        if (step.allocationFailures)
            host_.Sim({{"op", "allocationFailures"},
                       {"after", step.allocationFailures->after},
                       {"count", step.allocationFailures->count}});
        if (step.coInitializeResult) host_.SetCoInitializeResult(step.coInitializeResult);

        const bool wantCalls = step.recordCalls || scenario_.recordCalls || !step.expect.calls.Empty();
        // The simulator keeps the records a step's transcript or expectations read, and all of
        // them when the run's expectations read the calls at the end; otherwise it counts.
        host_.Sim({{"op", "recordCalls"},
                   {"on", wantCalls || !scenario_.expectAtEnd.calls.Empty()}});
        const OrderedJson callMark = wantCalls ? host_.Sim({{"op", "calls"}})["mark"] : OrderedJson();
        OrderedJson before =
            step.expect.changes.Empty() ? OrderedJson() : host_.Sim({{"op", "snapshot"}});

        StepCall call;
        if (function) call = Call(step, function);
        if (function) {
            record["result"] = call.result;
            if (!call.out.empty()) record["out"] = call.out;
            if (step.readLog) ReadLog(record, call.notes);
        }

        if (wantCalls) {
            calls_ = host_.Sim({{"op", "calls"}, {"from", callMark}})["calls"];
            if (step.recordCalls || scenario_.recordCalls) record["calls"] = calls_;
        }
        if (!before.is_null()) {
            stepBefore_ = std::move(before);
            stepAfter_ = host_.Sim({{"op", "snapshot"}});
        }

        const DialogWindows dialogWindows = CollectDialogs(step, marks, record, call.notes);
        CollectMessageBoxes(step, boxAnswers, dialogWindows, record, call.notes);

        if (!step.faults.empty()) {
            host_.Sim({{"op", "clearFaults"}});
            host_.Sim({{"op", "addFaults"}, {"faults", persistentFaults_}});
        }
        if (step.allocationFailures) host_.Sim({{"op", "clearAllocationFailures"}});
        if (step.coInitializeResult) host_.SetCoInitializeResult(setupCoInitialize_);

        if (!call.notes.empty()) record["notes"] = call.notes;
        CheckStep(step, record);
        return record;
    }

    // The message boxes of the step, and the step's answers that no box took.
    void CollectMessageBoxes(const Step& step, std::deque<int>& boxAnswers,
                             const DialogWindows& dialogWindows, OrderedJson& record,
                             std::vector<std::string>& notes) {
        OrderedJson boxes = OrderedJson::array();
        const std::vector<portable::MessageBoxRecord> shown = host_.TakeMessageBoxes();
        for (const portable::MessageBoxRecord& box : shown)
            boxes.push_back(BoxJson(box, host_.ConsoleWindow(), dialogWindows));
        const std::size_t taken = std::min(shown.size(), boxAnswers.size());
        boxAnswers.erase(boxAnswers.begin(), boxAnswers.begin() + std::ptrdiff_t(taken));
        const std::size_t setupLeft = boxAnswers.size() > step.messageBoxes.size()
                                          ? boxAnswers.size() - step.messageBoxes.size()
                                          : 0;
        if (boxAnswers.size() > setupLeft)
            notes.push_back(std::to_string(boxAnswers.size() - setupLeft) +
                            " message-box answer(s) of this step not used");
        setupBoxAnswers_.assign(boxAnswers.begin(), boxAnswers.begin() + std::ptrdiff_t(setupLeft));
        if (!boxes.empty()) record["messageBoxes"] = std::move(boxes);
    }

    // The dialogs the step opened: MAPI's, recorded by the simulator from the marks on, and the
    // library's own, recorded by the host, whose windows it returns. The step's answers no MAPI
    // dialog took are dropped.
    DialogWindows CollectDialogs(const Step& step, const OrderedJson& marks, OrderedJson& record,
                                 std::vector<std::string>& notes) {
        const OrderedJson mapiDialogs = host_.Sim({{"op", "endStep"},
                                                   {"address", step.addressDialog.size()},
                                                   {"service", step.serviceDialog.size()},
                                                   {"addressMark", marks["addressMark"]},
                                                   {"serviceMark", marks["serviceMark"]}});
        if (!mapiDialogs["addressDialogs"].empty())
            record["addressDialogs"] = mapiDialogs["addressDialogs"];
        if (!mapiDialogs["serviceDialogs"].empty())
            record["serviceDialogs"] = mapiDialogs["serviceDialogs"];
        OrderedJson dialogs = OrderedJson::array();
        DialogWindows windows;
        const std::size_t unused = host_.QueuedDialogActions();
        for (const portable::DialogRecord& dialog : host_.TakeDialogs()) {
            dialogs.push_back(DialogJson(dialog, host_.ConsoleWindow()));
            if (dialog.window) windows.push_back(dialog.window);
        }
        if (!dialogs.empty()) record["dialogs"] = std::move(dialogs);
        for (const auto& note : mapiDialogs["notes"]) notes.push_back(note.get<std::string>());
        if (unused)
            notes.push_back(std::to_string(unused) + " dialog action(s) of this step not used");
        return windows;
    }

    // Hands back what the scenario left with the console and closes the session it left open,
    // so that nothing the library made outlives the run.
    OrderedJson CleanUp() {
        OrderedJson actions = OrderedJson::array();
        auto freeItem = library_.Get<FreeABItemFn>("FreeABItem");
        for (auto& [name, item] : items_) {
            if (!item || !freeItem) continue;
            freeItem(&item);
            actions.push_back("FreeABItem(" + name + ")");
        }
        auto freeList = library_.Get<FreeABItemListFn>("FreeABItemList");
        for (auto& [name, list] : lists_) {
            if (!list || !freeList) continue;
            freeList(&list);
            actions.push_back("FreeABItemList(" + name + ")");
        }
        auto uninitialize = library_.Get<UninitializeFn>("Uninitialize");
        if (sessionMayBeOpen_ && uninitialize) {
            uninitialize();
            actions.push_back("Uninitialize()");
        }
        return actions;
    }

    OrderedJson RecordsHeld() const {
        OrderedJson held = OrderedJson::array();
        for (const auto& [name, item] : items_)
            if (item) held.push_back("ABItem " + name);
        for (const auto& [name, list] : lists_)
            if (list) held.push_back("ABItemList " + name);
        return held;
    }

    int Failures() const { return failures_; }
    void AddFailures(int count) { failures_ += count; }

  private:
    static OrderedJson ArgsJson(const Step& step) {
        OrderedJson args = OrderedJson::object();
        for (const ArgValue& arg : step.args) {
            switch (arg.kind) {
                case ArgKind::Text:
                    args[arg.name] = arg.text;
                    break;
                case ArgKind::TextList:
                    args[arg.name] = arg.isNull ? OrderedJson() : OrderedJson(arg.list);
                    break;
                case ArgKind::UInt:
                case ArgKind::Int:
                    args[arg.name] = arg.number;
                    break;
                case ArgKind::Bool:
                    args[arg.name] = arg.flag;
                    break;
                case ArgKind::ItemVar:
                case ArgKind::ListVar:
                    args[arg.name] = arg.isNull ? OrderedJson() : OrderedJson(arg.text);
                    break;
                case ArgKind::Buffer:
                case ArgKind::LogOut:
                    args[arg.name] = nullptr;
                    break;
            }
        }
        return args;
    }

    OrderedJson ScriptedJson(const Step& step) const {
        OrderedJson scripted = OrderedJson::object();
        if (!step.messageBoxes.empty()) {
            OrderedJson boxes = OrderedJson::array();
            for (int button : step.messageBoxes) boxes.push_back(sim::MessageBoxButtonName(button));
            scripted["messageBoxes"] = std::move(boxes);
        }
        if (!step.addressDialog.empty()) scripted["addressDialog"] = step.addressDialog;
        if (!step.serviceDialog.empty()) {
            OrderedJson answers = OrderedJson::array();
            for (const sim::ServiceDialogAnswer& answer : step.serviceDialog) {
                answers.push_back(answer.cancel ? OrderedJson{{"cancel", true}}
                                                : OrderedJson{{"server", Utf8(answer.server)},
                                                              {"mailbox", Utf8(answer.mailbox)}});
            }
            scripted["serviceDialog"] = std::move(answers);
        }
        if (!step.folderDialog.empty()) scripted["folderDialog"] = step.folderDialogJson;
        if (!step.faults.empty()) {
            OrderedJson faults = OrderedJson::array();
            for (const sim::FaultSpec& fault : step.faults) {
                OrderedJson entry = sim::DumpFault(fault.fault);
                if (fault.persistent) entry["persistent"] = true;
                faults.push_back(std::move(entry));
            }
            scripted["faults"] = std::move(faults);
        }
        if (step.allocationFailures)
            scripted["allocationFailures"] = OrderedJson{{"after", step.allocationFailures->after},
                                                         {"count", step.allocationFailures->count}};
        if (step.coInitializeResult)
            scripted["coInitializeResult"] = sim::ResultCodeName(*step.coInitializeResult);
        return scripted;
    }

    static OrderedJson ServiceAnswersJson(const Step& step) {
        OrderedJson answers = OrderedJson::array();
        for (const sim::ServiceDialogAnswer& answer : step.serviceDialog) {
            answers.push_back(answer.cancel ? OrderedJson{{"cancel", true}}
                                            : OrderedJson{{"server", Utf8(answer.server)},
                                                          {"mailbox", Utf8(answer.mailbox)}});
        }
        return answers;
    }

    void ReadLog(OrderedJson& record, std::vector<std::string>& notes) {
        auto getLog = library_.Get<GetDebugLogInfoFn>("GetDebugLogInfo");
        if (!getLog) {
            notes.push_back("log not read: GetDebugLogInfo is not exported");
            return;
        }
        WideStringList* container = nullptr;
        if (!getLog(&container) || !container) {
            record["log"] = nullptr;
            notes.push_back("GetDebugLogInfo handed out no log container");
            return;
        }
        NoteContainer(container, notes);
        auto lines = tav::ReadList(container);
        if (!lines) {
            record["log"] = nullptr;
            notes.push_back("the log container cannot be walked from its sentinel");
            return;
        }
        OrderedJson log = OrderedJson::array();
        for (const std::u16string& line : *lines) log.push_back(Utf8(line));
        if (log.size() != container->count)
            notes.push_back("the log container counts " + std::to_string(container->count) +
                            " lines but holds " + std::to_string(log.size()));
        record["log"] = std::move(log);
    }

    void NoteContainer(WideStringList* container, std::vector<std::string>& notes) {
        if (container_ && container_ != container)
            notes.push_back("the log container is not the one handed out before");
        container_ = container;
    }

    StepCall Call(const Step& step, void* function) {
        const std::string name = step.exportSpec->name;
        StepCall call;
        ConsoleStrings strings;
        auto text = [&](const char* arg) { return strings.Slot(step.Arg(arg)->text); };
        auto number = [&](const char* arg) { return step.Arg(arg)->number; };

        if (name == "Initialize") {
            call.result = reinterpret_cast<InitializeFn>(function)();
            sessionMayBeOpen_ = true;
        } else if (name == "IsInitialized") {
            call.result = reinterpret_cast<IsInitializedFn>(function)();
        } else if (name == "Uninitialize") {
            call.result = reinterpret_cast<UninitializeFn>(function)();
            sessionMayBeOpen_ = false;
        } else if (name == "GetMailStoreType") {
            call.result = reinterpret_cast<GetMailStoreTypeFn>(function)();
        } else if (name == "GetDebugLogInfo") {
            const ArgValue* out = step.Arg("container");
            WideStringList* container = nullptr;
            call.result = reinterpret_cast<GetDebugLogInfoFn>(function)(out ? nullptr : &container);
            if (!out) {
                call.out["container"] = PointerState(container);
                if (container) NoteContainer(container, call.notes);
            }
        } else if (name == "GetABItem" || name == "FreeABItem") {
            const ArgValue* var = step.Arg("item");
            ABItem** slot = var->isNull ? nullptr : &items_[var->text];
            ABItem* before = slot ? *slot : nullptr;
            auto fn = reinterpret_cast<GetABItemFn>(function);
            call.result = fn(slot);
            if (slot) {
                call.out[var->text] = *slot ? ReadABItem((*slot)->bytes) : OrderedJson();
                call.out[var->text + "Pointer"] = PointerChange(before, *slot);
            }
        } else if (name == "GetABItemList" || name == "FreeABItemList") {
            const ArgValue* var = step.Arg("list");
            ABItemList** slot = var->isNull ? nullptr : &lists_[var->text];
            ABItemList* before = slot ? *slot : nullptr;
            if (name == "GetABItemList") {
                call.result = reinterpret_cast<GetABItemListFn>(function)(
                    slot, static_cast<std::uint32_t>(number("excludeDistLists")));
            } else {
                call.result = reinterpret_cast<FreeABItemListFn>(function)(slot);
            }
            if (slot) {
                call.out[var->text] = *slot ? ReadABItemList(*slot) : OrderedJson();
                call.out[var->text + "Pointer"] = PointerChange(before, *slot);
            }
        } else if (name == "SendBulletinByEmail") {
            const ArgValue* recipients = step.Arg("recipients");
            const WideStringSlot* subject = text("subject");
            const WideStringSlot* body = text("body");
            const WideStringList* list =
                strings.List(recipients->isNull ? nullptr : &recipients->list);
            call.result = reinterpret_cast<SendBulletinByEmailFn>(function)(subject, body, list);
            // A container without sentinel reads as an empty list.
            call.out["argumentsUnchanged"] = strings.Unchanged(
                {step.Arg("subject")->text, step.Arg("body")->text},
                {recipients->isNull ? std::vector<std::string>{} : recipients->list});
        } else if (name == "GetTavrelServiceNameForUser") {
            const auto capacity = static_cast<std::uint32_t>(number("capacity"));
            const bool noBuffer = step.Arg("serviceName") != nullptr;
            std::vector<char16_t> buffer(std::max<std::uint32_t>(capacity, 1), kBufferFill);
            const WideStringSlot* user = text("userDN");
            const WideStringSlot* server = text("serverDN");
            call.result = reinterpret_cast<GetTavrelServiceNameForUserFn>(function)(
                user, server, noBuffer ? nullptr : buffer.data(), capacity);
            if (!noBuffer) {
                buffer.resize(capacity);
                auto zero = std::find(buffer.begin(), buffer.end(), char16_t(0));
                call.out["serviceName"] = Utf8(std::u16string(buffer.begin(), zero));
                call.out["terminated"] = zero != buffer.end();
                call.out["restZero"] =
                    zero != buffer.end() &&
                    std::all_of(zero, buffer.end(), [](char16_t unit) { return unit == 0; });
            }
        } else if (name == "RemoveUserFromLegacyServer") {
            call.result = reinterpret_cast<RemoveUserFromLegacyServerFn>(function)(
                text("userDN"), text("adminDN"), text("adminServerDN"), text("service"));
        } else if (name == "SetPendingServiceAndRoutingInfoForUser") {
            call.result = reinterpret_cast<SetPendingServiceAndRoutingInfoForUserFn>(function)(
                text("userDN"), text("serverDN"), text("service"), text("routingInfo"));
        } else if (name == "EditFolderRedirectionSettings") {
            bool redirSelected = step.Arg("redirSelected")->flag;
            auto numSelected = static_cast<std::int32_t>(number("numSelectedFolders"));
            auto time = static_cast<std::int32_t>(number("time"));
            auto sentActivation = static_cast<std::int32_t>(number("sentActivationTime"));
            bool redirSentItems = step.Arg("redirSentItems")->flag;
            call.result = reinterpret_cast<EditFolderRedirectionSettingsFn>(function)(
                text("displayName"), text("userDN"), text("serverDN"), &redirSelected, &numSelected,
                &time, &sentActivation, &redirSentItems);
            call.out["redirSelected"] = redirSelected;
            call.out["numSelectedFolders"] = numSelected;
            call.out["time"] = time;
            call.out["sentActivationTime"] = sentActivation;
            call.out["redirSentItems"] = redirSentItems;
        }
        return call;
    }

    void CheckStep(const Step& step, OrderedJson& record) {
        const Expectations& expect = step.expect;
        if (expect.Empty()) return;
        std::vector<std::string> failures;
        const bool exported = record["exported"].get<bool>();
        if (expect.exported && *expect.exported != exported)
            failures.push_back(std::string("exported: expected ") +
                               (*expect.exported ? "true" : "false") + ", got " +
                               (exported ? "true" : "false"));
        if (!exported) {
            record["expectations"] = failures.empty() ? "not checked (not exported)" : "failed";
        } else {
            if (expect.result) MatchPartial(*expect.result, record["result"], "result", failures);
            const OrderedJson log = record.contains("log") ? record["log"] : OrderedJson();
            if (expect.log) {
                MatchPartial(Json(*expect.log), log, "log", failures);
            }
            for (const std::string& part : expect.logContains) {
                bool found = false;
                for (const auto& line : log)
                    found = found || line.get<std::string>().find(part) != std::string::npos;
                if (!found) failures.push_back("log: no line contains \"" + part + "\"");
            }
            if (expect.messageBoxes) {
                const OrderedJson boxes =
                    record.contains("messageBoxes") ? record["messageBoxes"] : OrderedJson::array();
                MatchBoxes(*expect.messageBoxes, boxes, failures);
            }
            if (expect.out) {
                const OrderedJson out =
                    record.contains("out") ? record["out"] : OrderedJson::object();
                MatchPartial(*expect.out, out, "out", failures);
            }
            if (expect.dialogs) {
                const OrderedJson dialogs =
                    record.contains("dialogs") ? record["dialogs"] : OrderedJson::array();
                MatchDialogs(*expect.dialogs, dialogs, failures);
            }
            CheckCalls(expect.calls, calls_, failures);
            if (!expect.changes.Empty())
                CheckChanges(expect.changes, stepBefore_, stepAfter_,
                             sim::DiffSnapshots(stepBefore_, stepAfter_), failures);
            record["expectations"] = failures.empty() ? "passed" : "failed";
        }
        if (!failures.empty()) record["failures"] = failures;
        failures_ += static_cast<int>(failures.size());
    }

    // The library's dialogs as partial objects, their actions' message boxes as in MatchBoxes.
    static void MatchDialogs(const Json& expected, const OrderedJson& dialogs,
                             std::vector<std::string>& failures) {
        if (expected.size() != dialogs.size()) {
            failures.push_back("dialogs: expected " + std::to_string(expected.size()) +
                               " dialog(s), " + std::to_string(dialogs.size()) + " shown");
            return;
        }
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const std::string path = sim::IndexPath("dialogs", i);
            Json rest = expected[i];
            const Json steps = rest.contains("steps") ? rest["steps"] : Json();
            rest.erase("steps");
            if (rest.contains("initial") && dialogs[i].contains("initial")) {
                MatchPartial(rest["initial"], MatchableView(dialogs[i]["initial"], rest["initial"]),
                             path + ".initial", failures);
                rest.erase("initial");
            }
            MatchPartial(rest, dialogs[i], path, failures);
            if (!steps.is_array()) {
                if (!steps.is_null()) MatchPartial(steps, dialogs[i].value("steps", OrderedJson()),
                                                   path + ".steps", failures);
                continue;
            }
            const OrderedJson actual = dialogs[i].value("steps", OrderedJson::array());
            if (steps.size() != actual.size()) {
                failures.push_back(path + ".steps: expected " + std::to_string(steps.size()) +
                                   " action(s), " + std::to_string(actual.size()) + " taken");
                continue;
            }
            for (std::size_t k = 0; k < steps.size(); ++k) {
                const std::string stepPath = sim::IndexPath(path + ".steps", k);
                Json stepRest = steps[k];
                if (stepRest.is_object() && stepRest.contains("messageBoxes")) {
                    MatchBoxes(stepRest["messageBoxes"],
                               actual[k].value("messageBoxes", OrderedJson::array()), failures,
                               stepPath + ".messageBoxes");
                    stepRest.erase("messageBoxes");
                }
                if (stepRest.is_object() && stepRest.contains("after") && actual[k].contains("after")) {
                    MatchPartial(stepRest["after"],
                                 MatchableView(actual[k]["after"], stepRest["after"]),
                                 stepPath + ".after", failures);
                    stepRest.erase("after");
                }
                MatchPartial(stepRest, actual[k], stepPath, failures);
            }
        }
    }

    static void MatchBoxes(const Json& expected, const OrderedJson& boxes,
                           std::vector<std::string>& failures,
                           const std::string& boxesPath = "messageBoxes") {
        if (!expected.is_array() || expected.size() != boxes.size()) {
            failures.push_back(boxesPath + ": expected " + std::to_string(expected.size()) +
                               " box(es), " + std::to_string(boxes.size()) + " shown");
            return;
        }
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Json& want = expected[i];
            const OrderedJson& box = boxes[i];
            const std::string path = sim::IndexPath(boxesPath, i);
            Json normal = Json::object();
            for (const auto& [field, value] : want.items()) {
                if (field == "textContains") {
                    if (box["text"].get<std::string>().find(value.get<std::string>()) ==
                        std::string::npos)
                        failures.push_back(path + ".text: does not contain \"" +
                                           value.get<std::string>() + "\"");
                } else if (field == "flags") {
                    normal[field] = sim::Hex32(sim::ParseUnsigned(value, path));
                } else if (field == "answer") {
                    normal[field] =
                        sim::MessageBoxButtonName(sim::ParseMessageBoxButton(value, path));
                } else if (field == "owner" && value == "dialog") {
                    normal["ownedByDialog"] = true;
                } else {
                    normal[field] = value;
                }
            }
            MatchPartial(normal, box, path, failures);
        }
    }

    const Scenario& scenario_;
    Library& library_;
    Host& host_;
    OrderedJson persistentFaults_ = OrderedJson::array();
    std::deque<int> setupBoxAnswers_;
    std::optional<std::int32_t> setupCoInitialize_;
    std::map<std::string, ABItem*> items_;
    std::map<std::string, ABItemList*> lists_;
    WideStringList* container_ = nullptr;
    bool sessionMayBeOpen_ = false;
    int failures_ = 0;
    // The current step's calls and snapshots, when its expectations or records need them.
    OrderedJson calls_ = OrderedJson::array();
    OrderedJson stepBefore_, stepAfter_;
};

OrderedJson Leaks(Host& host, const OrderedJson& recordsHeld) {
    const OrderedJson counters = host.Sim({{"op", "leaks"}});
    OrderedJson leaks = OrderedJson::object();
    for (const auto& [name, value] : counters.items()) {
        if (name == "mapiInitializeBalance") leaks["registryHandles"] = host.OpenRegistryHandles();
        leaks[name] = value;
    }
    leaks["comInitializeBalance"] = host.ComInitializeBalance();
    leaks["recordsHeld"] = recordsHeld;
    return leaks;
}

}  // namespace

void MatchPartial(const Json& expected, const OrderedJson& actual, const std::string& path,
                  std::vector<std::string>& failures) {
    if (expected.is_object()) {
        if (!actual.is_object()) {
            failures.push_back(path + ": expected an object, got " + actual.dump());
            return;
        }
        for (const auto& [key, value] : expected.items()) {
            const std::string memberPath = path + "." + key;
            if (!actual.contains(key)) {
                failures.push_back(memberPath + ": missing");
                continue;
            }
            MatchPartial(value, actual[key], memberPath, failures);
        }
    } else if (expected.is_array()) {
        if (!actual.is_array() || actual.size() != expected.size()) {
            failures.push_back(path + ": expected " + expected.dump() + ", got " + actual.dump());
            return;
        }
        for (std::size_t i = 0; i < expected.size(); ++i)
            MatchPartial(expected[i], actual[i], sim::IndexPath(path, i), failures);
    } else if (OrderedJson::parse(expected.dump()) != actual) {
        failures.push_back(path + ": expected " + expected.dump() + ", got " + actual.dump());
    }
}

RunResult RunScenario(const Scenario& scenario, const std::filesystem::path& libraryPath,
                      bool dumpState, const RunHooks* hooks) {
    std::unique_ptr<Host> host = MakeHost();
    const std::uint64_t clock = sim::ParseIsoTime(kDefaultClock, "clock");
    host->Reset(clock, kDefaultLanguage);
    host->Sim({{"op", "reset"}, {"clock", clock}, {"language", kDefaultLanguage}});
    const OrderedJson loaded = host->Sim({{"op", "loadSetup"},
                                          {"setup", OrderedJson::parse(scenario.setup.dump())},
                                          {"baseDir", scenario.baseDir.string()}});
    host->ApplySetup(loaded["host"]);
    host->Sim({{"op", "installProvider"}});

    OrderedJson transcript = sim::ObjectWithRoom(16);
    transcript["scenario"] = OrderedJson{{"title", scenario.title}};
    if (!scenario.description.empty()) transcript["scenario"]["description"] = scenario.description;
    transcript["scenario"]["setup"] = scenario.setupLabel;
    transcript["setup"] = loaded["summary"];

    const bool changes = !hooks || hooks->changes;
    const OrderedJson before = changes ? host->Sim({{"op", "snapshot"}}) : OrderedJson();
    RunResult result;
    {
        Library library(libraryPath);
        host->Attach(library);
        OrderedJson exported = OrderedJson::array();
        for (const ExportSpec& signature : Exports())
            if (library.Find(signature.name)) exported.push_back(signature.name);
        transcript["exports"] = std::move(exported);

        Runner runner(scenario, library, *host);
        runner.Prepare(loaded["extras"]);
        OrderedJson steps = OrderedJson::array();
        for (const Step& step : scenario.steps) {
            if (hooks && hooks->beforeStep) hooks->beforeStep(step);
            steps.push_back(runner.RunStep(step));
            if (hooks && hooks->afterStep) hooks->afterStep(step, steps.back());
        }
        transcript["steps"] = std::move(steps);

        const OrderedJson after = changes ? host->Sim({{"op", "snapshot"}}) : OrderedJson();
        if (changes) transcript["changes"] = sim::DiffSnapshots(before, after);
        transcript["leaks"] = Leaks(*host, runner.RecordsHeld());
        std::vector<std::string> endFailures;
        const EndExpectations& expect = scenario.expectAtEnd;
        // A MAPIUninitialize with nothing to undo is a fault unless the scenario counts on one.
        Json leaks = expect.leaks;
        if (!leaks.contains("mapiUninitializeUnmatched")) leaks["mapiUninitializeUnmatched"] = 0;
        MatchPartial(leaks, transcript["leaks"], "expectAtEnd", endFailures);
        std::vector<std::string> storedFailures;
        if (changes)
            CheckChanges(expect.changes, before, after, transcript["changes"], storedFailures);
        if (!expect.calls.Empty())
            CheckCalls(expect.calls, host->Sim({{"op", "calls"}, {"from", 0}})["calls"],
                       storedFailures);
        for (const std::string& failure : storedFailures)
            endFailures.push_back("expectAtEnd." + failure);
        if (!endFailures.empty()) transcript["endFailures"] = endFailures;
        runner.AddFailures(static_cast<int>(endFailures.size()));

        OrderedJson cleanup = runner.CleanUp();
        if (!cleanup.empty()) transcript["cleanup"] = std::move(cleanup);
        result.failedExpectations = runner.Failures();
        host->Detach();
    }
    host->Sim({{"op", "clearFaults"}});
    if (dumpState) result.state = host->Sim({{"op", "dumpState"}});
    transcript["failedExpectations"] = result.failedExpectations;
    result.transcript = std::move(transcript);
    return result;
}

}  // namespace console
