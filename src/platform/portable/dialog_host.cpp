#include "platform/dialog_host.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <vector>

#include "platform/portable/portable_dialog.h"

namespace platform {
namespace {

using portable::ControlKind;
using portable::DialogAction;
using portable::DialogActionKind;

constexpr int kChooseFoldersTemplate = 200;
constexpr int kTreeImagesBitmap = 201;
constexpr int kImageSize = 16;

// Geometry of the modelled controls, in pixels.
constexpr std::int32_t kFrameLeft = 3;
constexpr std::int32_t kFrameTop = 22;
constexpr std::int32_t kFrameWidth = 6;
constexpr std::int32_t kFrameHeight = 25;
constexpr std::int32_t kTreeBorder = 1;
constexpr std::int32_t kRowHeight = 16;
constexpr std::int32_t kIndent = 19;
constexpr std::int32_t kLabelGap = 2;
constexpr std::int32_t kCharWidth = 6;
constexpr std::int32_t kLabelPadding = 4;

std::int32_t DluX(std::int32_t x) {
    return x * 6 / 4;
}
std::int32_t DluY(std::int32_t y) {
    return y * 13 / 8;
}

struct TemplateControl {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    const char16_t* text = nullptr;
    Rect dlu;  // in dialog units
};

// Template 200 in English. Its last static has id 1006, so the dialog can give it the full note.
const TemplateControl kChooseFolders[] = {
    {-1,
     ControlKind::Static,
     u"Please choose the folder redirection settings from the options below.",
     {7, 7, 221, 15}},
    {1001, ControlKind::RadioButton, u"Redirect &Inbox* only.", {13, 21, 94, 31}},
    {-1, ControlKind::GroupBox, u"", {7, 35, 252, 222}},
    {1002,
     ControlKind::RadioButton,
     u"Redirect the following &selected folders:",
     {13, 35, 150, 45}},
    {1003,
     ControlKind::Static,
     u"Select the folders from which to redirect messages by clicking the corresponding "
     u"checkboxes.",
     {19, 53, 240, 69}},
    {1000, ControlKind::TreeView, u"", {19, 72, 240, 199}},
    {1004,
     ControlKind::Static,
     u"Note: press and hold the SHIFT key when clicking to apply the same redirection state to "
     u"the child folders as well.",
     {19, 200, 240, 216}},
    {1, ControlKind::PushButton, u"OK", {77, 261, 127, 275}},
    {2, ControlKind::PushButton, u"Cancel", {131, 261, 181, 275}},
    {1006,
     ControlKind::Static,
     u"* Note: If the user's Tavrel device and Tavrel Enterprise Server both support "
     u"redirection of Sent Items, then this option includes redirection of Sent Items. ",
     {7, 225, 252, 257}},
};
constexpr std::int32_t kTemplateWidth = 259;
constexpr std::int32_t kTemplateHeight = 282;

char16_t Fold(char16_t unit) {
    return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
}

// TVI_SORT's order, case folded for A-Z only (see portable_dialog.h).
int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = Fold(a[i]);
        char16_t y = Fold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

struct Control {
    int id;
    ControlKind kind;
    std::u16string text;
    Rect dlu;
    bool enabled = true;
    bool checked = false;
};

struct Item;
using ItemList = std::list<Item*>;

struct FoldedLess {
    bool operator()(std::u16string_view a, std::u16string_view b) const {
        return CompareNoCase(a, b) < 0;
    }
};

// The items of one level in control order. While every insertion into it was sorted, byText
// finds a sorted insertion's place in O(log n), and lists the items of one folded text in
// control order (each went in after those already there); after an unsorted one the place is
// searched.
struct Siblings {
    ItemList items;
    std::multimap<std::u16string_view, ItemList::iterator, FoldedLess> byText;
    bool unsortedInserted = false;

    bool empty() const { return items.empty(); }
    Item* front() const { return items.empty() ? nullptr : items.front(); }
    ItemList::const_iterator begin() const { return items.begin(); }
    ItemList::const_iterator end() const { return items.end(); }
};

constexpr std::size_t kNoRow = static_cast<std::size_t>(-1);

struct Item {
    std::u16string text;
    int image = 0;
    std::intptr_t param = 0;
    int children = 0;
    bool expanded = false;
    Item* parent = nullptr;
    Siblings kids;
    ItemList::iterator self;  // this item's place among its siblings
    std::size_t row = kNoRow;  // among the visible rows, while they are not stale
};

// The tree's items, made in blocks that never move and freed together with the dialog. A handle
// is an item's address, told apart from any other pointer by the block it falls in.
class ItemPool {
  public:
    Item* Make() {
        if (blocks_.empty() || used_ == kBlockItems) {
            // Room first, so that nothing below throws once the block is made.
            blocks_.reserve(blocks_.size() + 1);
            starts_.reserve(starts_.size() + 1);
            auto block = std::make_unique<Item[]>(kBlockItems);
            starts_.insert(std::upper_bound(starts_.begin(), starts_.end(), Address(block.get()),
                                            StartsAfter),
                           block.get());
            blocks_.push_back(std::move(block));
            used_ = 0;
        }
        return &blocks_.back()[used_++];
    }

    // The item a handle names; null for any other pointer.
    Item* Find(const void* handle) const {
        const std::uintptr_t address = Address(handle);
        auto after = std::upper_bound(starts_.begin(), starts_.end(), address, StartsAfter);
        if (after == starts_.begin()) return nullptr;
        Item* start = *std::prev(after);
        const std::uintptr_t offset = address - Address(start);
        if (offset % sizeof(Item) != 0) return nullptr;
        // In the newest block only the items made so far are items.
        const std::size_t made = start == blocks_.back().get() ? used_ : kBlockItems;
        const std::uintptr_t index = offset / sizeof(Item);
        return index < made ? start + index : nullptr;
    }

    std::size_t size() const {
        return blocks_.empty() ? 0 : (blocks_.size() - 1) * kBlockItems + used_;
    }

  private:
    static std::uintptr_t Address(const void* p) { return reinterpret_cast<std::uintptr_t>(p); }
    static bool StartsAfter(std::uintptr_t address, const Item* start) {
        return address < Address(start);
    }

    static constexpr std::size_t kBlockItems = 256;
    std::vector<std::unique_ptr<Item[]>> blocks_;
    std::vector<Item*> starts_;  // the blocks, by ascending address
    std::size_t used_ = 0;       // items made in the newest block
};

struct DialogState {
    std::deque<DialogAction> actions;
    std::vector<portable::DialogRecord> records;
    std::optional<portable::WindowSetup> activeWindow;
    Rect workArea{0, 0, 1280, 984};
    bool creationFails = false;
    bool recordViews = true;
};

DialogState& State() {
    static DialogState state;
    return state;
}

class PortableDialog final : public DialogHost {
  public:
    explicit PortableDialog(WindowHandle owner) : owner_(owner) {
        for (const TemplateControl& control : kChooseFolders) {
            controls_.push_back({control.id, control.kind, control.text, control.dlu});
        }
        window_ = {0, 0, DluX(kTemplateWidth) + kFrameWidth, DluY(kTemplateHeight) + kFrameHeight};
    }

    bool Ended() const { return ended_; }
    std::intptr_t Result() const { return result_; }

    // ---- DialogHost ----

    WindowHandle Window() override { return this; }

    bool SetTreeImageList(int tree, int bitmapId, int imageSize) override {
        if (!IsTree(tree) || bitmapId != kTreeImagesBitmap || imageSize != kImageSize) return false;
        imageList_ = true;
        return true;
    }

    TreeItem InsertTreeItem(int tree, const TreeInsert& insert) override {
        if (!IsTree(tree)) return nullptr;
        Item* parent = nullptr;
        if (insert.parent) {
            parent = Find(insert.parent);
            if (!parent) return nullptr;
        }
        Item* item = items_.Make();
        item->text = std::u16string(insert.text);
        item->image = insert.image;
        item->param = insert.param;
        item->children = insert.hasChildren ? 1 : 0;
        item->parent = parent;
        Siblings& siblings = parent ? parent->kids : topLevel_;
        // TVI_SORT: before the first sibling whose text sorts after the new one.
        if (insert.sorted && parent && !siblings.unsortedInserted) {
            auto after = siblings.byText.upper_bound(item->text);
            auto position = after == siblings.byText.end() ? siblings.items.end() : after->second;
            item->self = siblings.items.insert(position, item);
            siblings.byText.emplace_hint(after, item->text, item->self);
        } else if (insert.sorted && parent) {
            auto position = std::find_if(
                siblings.items.begin(), siblings.items.end(),
                [&](const Item* sibling) { return CompareNoCase(sibling->text, item->text) > 0; });
            item->self = siblings.items.insert(position, item);
        } else {
            siblings.unsortedInserted = true;
            item->self = siblings.items.insert(siblings.items.end(), item);
        }
        rowsStale_ = true;
        return item;
    }

    TreeItem NextTreeItem(int tree, TreeItem handle, TreeRelation relation) override {
        if (!IsTree(tree)) return nullptr;
        if (relation == TreeRelation::Root) return topLevel_.front();
        if (relation == TreeRelation::Caret) return caret_;
        Item* item = Find(handle);
        if (!item) return nullptr;
        switch (relation) {
            case TreeRelation::Parent:
                return item->parent;
            case TreeRelation::Child:
                return item->kids.front();
            case TreeRelation::Next: {
                const Siblings& siblings = item->parent ? item->parent->kids : topLevel_;
                auto next = std::next(item->self);
                return next == siblings.items.end() ? nullptr : *next;
            }
            default:
                return nullptr;
        }
    }

    bool GetTreeItem(int tree, TreeItem handle, TreeItemState& state) override {
        Item* item = IsTree(tree) ? Find(handle) : nullptr;
        if (!item) return false;
        state = {item->image, item->param, item->children};
        return true;
    }

    bool SetTreeItemImage(int tree, TreeItem handle, int image) override {
        Item* item = IsTree(tree) ? Find(handle) : nullptr;
        if (!item) return false;
        item->image = image;
        return true;
    }

    bool ExpandTreeItem(int tree, TreeItem handle) override {
        Item* item = IsTree(tree) ? Find(handle) : nullptr;
        if (!item || item->kids.empty() || item->expanded) return false;
        item->expanded = true;
        rowsStale_ = true;
        return true;
    }

    bool SelectTreeItem(int tree, TreeItem handle) override {
        if (!IsTree(tree)) return false;
        if (handle && !Find(handle)) return false;
        caret_ = static_cast<Item*>(handle);
        return true;
    }

    Point MessagePosition() override { return messagePosition_; }

    Point ScreenToClient(int control, Point screen) override {
        Point origin = ClientOrigin(control);
        return {screen.x - origin.x, screen.y - origin.y};
    }

    TreeHit HitTestTree(int tree, Point client) override {
        const Control* control = FindControl(tree);
        if (!control || control->kind != ControlKind::TreeView) return {};
        std::int32_t width = DluX(control->dlu.right) - DluX(control->dlu.left) - 2 * kTreeBorder;
        std::int32_t height = DluY(control->dlu.bottom) - DluY(control->dlu.top) - 2 * kTreeBorder;
        std::uint32_t outside = 0;
        if (client.y < 0) outside |= kTreeHitAbove;
        if (client.y >= height) outside |= kTreeHitBelow;
        if (client.x < 0) outside |= kTreeHitToLeft;
        if (client.x >= width) outside |= kTreeHitToRight;
        if (outside) return {nullptr, outside};
        const std::vector<Item*>& rows = VisibleRows();
        std::size_t row = firstRow_ + static_cast<std::size_t>(client.y / kRowHeight);
        if (row >= rows.size()) return {nullptr, kTreeHitNowhere};
        Item* item = rows[row];
        std::int32_t button = Depth(item) * kIndent;
        std::int32_t image = button + kIndent;
        std::int32_t label = image + (imageList_ ? kImageSize : 0) + kLabelGap;
        std::int32_t labelEnd =
            label + static_cast<std::int32_t>(item->text.size()) * kCharWidth + kLabelPadding;
        std::uint32_t flags = kTreeHitOnRight;
        if (client.x < button) {
            flags = kTreeHitOnIndent;
        } else if (client.x < image) {
            flags = item->children ? kTreeHitOnButton : kTreeHitOnIndent;
        } else if (client.x < label) {
            flags = imageList_ && client.x < image + kImageSize ? kTreeHitOnIcon : kTreeHitOnRight;
        } else if (client.x < labelEnd) {
            flags = kTreeHitOnLabel;
        }
        return {item, flags};
    }

    void SetButtonCheck(int button, bool checked) override {
        if (Control* control = FindControl(button)) control->checked = checked;
    }

    bool IsButtonChecked(int button) override {
        const Control* control = FindControl(button);
        return control && control->checked;
    }

    void EnableControl(int id, bool enabled) override {
        if (Control* control = FindControl(id)) control->enabled = enabled;
    }

    void SetControlText(int id, std::u16string_view text) override {
        if (Control* control = FindControl(id)) control->text = std::u16string(text);
    }

    void CentreDialog() override {
        Rect centre = State().workArea;
        const std::optional<portable::WindowSetup>& active = State().activeWindow;
        if (owner_ && active && active->handle == owner_ && active->visible && !active->minimised) {
            centre = active->rect;
        }
        window_ = CentreInWorkArea(window_, centre, State().workArea);
    }

    bool IsShiftDown() override { return shift_; }

    void EndDialog(std::intptr_t result) override {
        ended_ = true;
        result_ = result;
    }

    // ---- The scripted user ----

    std::string Perform(const DialogAction& action, DialogHandler& handler) {
        shift_ = action.shift;
        std::string outcome = PerformUnshifted(action, handler);
        shift_ = false;
        return outcome;
    }

    portable::DialogView View() const {
        portable::DialogView view;
        view.caption = u"Choose Folders";
        view.window = window_;
        view.imageList = imageList_;
        for (const Control& control : controls_) {
            view.controls.push_back(
                {control.id, control.kind, control.text, control.enabled, control.checked});
        }
        bool treeEnabled = TreeEnabled();
        view.tree.reserve(items_.size());
        auto add = [&](auto& self, const Siblings& level, int depth) -> void {
            for (const Item* item : level) {
                view.tree.push_back({depth, item->text, item->image, item->children, item->expanded,
                                     treeEnabled, item == caret_, item->param});
                self(self, item->kids, depth + 1);
            }
        };
        add(add, topLevel_, 0);
        return view;
    }

  private:
    static constexpr int kTree = 1000;
    static constexpr std::size_t kVisibleRows = 12;

    std::string PerformUnshifted(const DialogAction& action, DialogHandler& handler) {
        switch (action.kind) {
            case DialogActionKind::ClickImage:
            case DialogActionKind::ClickLabel:
            case DialogActionKind::ClickButton:
                return Click(action, handler);
            case DialogActionKind::PressSpace:
                if (!TreeEnabled()) return "the tree is disabled";
                handler.OnTreeKeyDown(*this, kTree, kVirtualKeySpace);
                return "done";
            case DialogActionKind::ClickRadio: {
                Control* radio = FindControl(action.control);
                if (!radio || radio->kind != ControlKind::RadioButton)
                    return "no such radio button";
                if (!radio->enabled) return "the radio button is disabled";
                for (Control& other : controls_) {
                    if (other.kind == ControlKind::RadioButton) other.checked = &other == radio;
                }
                handler.OnCommand(*this, radio->id, kButtonClicked);
                return "done";
            }
            case DialogActionKind::Ok:
                if (const Control* ok = FindControl(kIdOk); !ok || !ok->enabled) {
                    return "the OK button is disabled";
                }
                handler.OnCommand(*this, kIdOk, kButtonClicked);
                return "done";
            case DialogActionKind::Cancel:
            case DialogActionKind::Close:
                handler.OnCommand(*this, kIdCancel, kButtonClicked);
                return "done";
        }
        return "unknown action";
    }

    std::string Click(const DialogAction& action, DialogHandler& handler) {
        if (!TreeEnabled()) return "the tree is disabled";
        Item* item = FindPath(action.path);
        if (!item) return "no such item";
        for (Item* above = item->parent; above; above = above->parent) {
            rowsStale_ = rowsStale_ || !above->expanded;
            above->expanded = true;
        }
        const std::size_t row = RowOf(item);
        if (row < firstRow_) firstRow_ = row;
        if (row >= firstRow_ + kVisibleRows) firstRow_ = row + 1 - kVisibleRows;

        std::int32_t x = Depth(item) * kIndent;
        if (action.kind == DialogActionKind::ClickButton) {
            x += kIndent / 2;
            if (item->children && !item->kids.empty()) {
                item->expanded = !item->expanded;
                rowsStale_ = true;
            }
        } else if (action.kind == DialogActionKind::ClickImage) {
            if (!imageList_) return "the item has no image";
            x += kIndent + kImageSize / 2;
            caret_ = item;
        } else {
            x += kIndent + (imageList_ ? kImageSize : 0) + kLabelGap + 1;
            caret_ = item;
        }
        std::int32_t y = static_cast<std::int32_t>(row - firstRow_) * kRowHeight + kRowHeight / 2;
        Point origin = ClientOrigin(kTree);
        messagePosition_ = {origin.x + x, origin.y + y};
        handler.OnTreeClick(*this, kTree);
        return "done";
    }

    // The first item in control order whose path of texts is path.
    Item* FindPath(std::u16string_view path) const {
        std::vector<std::u16string_view> parts = portable::SplitItemPath(path);
        auto search = [&](auto& self, const Siblings& level, std::size_t depth) -> Item* {
            auto below = [&](Item* item) -> Item* {
                if (item->text != parts[depth]) return nullptr;
                if (depth + 1 == parts.size()) return item;
                return self(self, item->kids, depth + 1);
            };
            if (!level.unsortedInserted) {
                // A sorted level: only the items whose folded text is the part's.
                auto [first, last] = level.byText.equal_range(parts[depth]);
                for (auto at = first; at != last; ++at)
                    if (Item* found = below(*at->second)) return found;
                return nullptr;
            }
            for (Item* item : level)
                if (Item* found = below(item)) return found;
            return nullptr;
        };
        return search(search, topLevel_, 0);
    }

    // The items a user scrolls through, top to bottom: listed again only after an item was
    // inserted or expanded or collapsed, so that a script of many clicks reads them once.
    const std::vector<Item*>& VisibleRows() {
        if (rowsStale_) {
            for (Item* item : rows_) item->row = kNoRow;
            rows_.clear();
            auto add = [&](auto& self, const Siblings& level) -> void {
                for (Item* item : level) {
                    item->row = rows_.size();
                    rows_.push_back(item);
                    if (item->expanded) self(self, item->kids);
                }
            };
            add(add, topLevel_);
            rowsStale_ = false;
        }
        return rows_;
    }

    // An item's row among the visible ones; the rows' count for one that is not visible.
    std::size_t RowOf(const Item* item) {
        const std::vector<Item*>& rows = VisibleRows();
        return item->row == kNoRow ? rows.size() : item->row;
    }

    static std::int32_t Depth(const Item* item) {
        std::int32_t depth = 0;
        for (const Item* above = item->parent; above; above = above->parent) ++depth;
        return depth;
    }

    Point ClientOrigin(int id) const {
        Point origin{window_.left + kFrameLeft, window_.top + kFrameTop};
        if (const Control* control = FindControl(id)) {
            origin.x += DluX(control->dlu.left);
            origin.y += DluY(control->dlu.top);
            if (control->kind == ControlKind::TreeView) {
                origin.x += kTreeBorder;
                origin.y += kTreeBorder;
            }
        }
        return origin;
    }

    Item* Find(TreeItem handle) const {
        return items_.Find(handle);
    }

    Control* FindControl(int id) {
        for (Control& control : controls_) {
            if (control.id == id && id != -1) return &control;
        }
        return nullptr;
    }
    const Control* FindControl(int id) const {
        return const_cast<PortableDialog*>(this)->FindControl(id);
    }

    bool IsTree(int id) const {
        const Control* control = FindControl(id);
        return control && control->kind == ControlKind::TreeView;
    }

    bool TreeEnabled() const {
        const Control* tree = FindControl(kTree);
        return tree && tree->enabled;
    }

    WindowHandle owner_;
    std::vector<Control> controls_;
    ItemPool items_;
    Siblings topLevel_;
    Item* caret_ = nullptr;
    bool imageList_ = false;
    Rect window_;
    Point messagePosition_;
    std::size_t firstRow_ = 0;
    std::vector<Item*> rows_;  // VisibleRows, while !rowsStale_
    bool rowsStale_ = true;
    bool shift_ = false;
    bool ended_ = false;
    std::intptr_t result_ = 0;
};

}  // namespace

std::intptr_t RunModalDialog(int templateId, WindowHandle owner, DialogHandler& handler) {
    portable::DialogRecord record;
    record.templateId = templateId;
    record.owner = owner;
    if (State().creationFails || templateId != kChooseFoldersTemplate) {
        record.result = -1;
        State().records.push_back(std::move(record));
        return -1;
    }
    PortableDialog dialog(owner);
    record.created = true;
    record.window = dialog.Window();
    record.initResult = handler.OnInitDialog(dialog);
    if (State().recordViews) record.initial = dialog.View();
    while (!dialog.Ended()) {
        portable::DialogStep step;
        std::string outcome;
        if (State().actions.empty()) {
            step.action = portable::CloseDialog();
            outcome = "no action left: closed";
        } else {
            step.action = State().actions.front();
            State().actions.pop_front();
        }
        std::size_t boxes = portable::ShownMessageBoxes().size();
        std::string performed = dialog.Perform(step.action, handler);
        step.outcome = outcome.empty() ? performed : outcome;
        const auto& shown = portable::ShownMessageBoxes();
        step.boxes.assign(shown.begin() + static_cast<std::ptrdiff_t>(boxes), shown.end());
        if (State().recordViews) step.after = dialog.View();
        record.steps.push_back(std::move(step));
    }
    record.result = dialog.Result();
    State().records.push_back(std::move(record));
    return dialog.Result();
}

WindowHandle ActiveWindow() {
    return State().activeWindow ? State().activeWindow->handle : nullptr;
}

namespace portable {

void QueueDialogAction(DialogAction action) {
    State().actions.push_back(std::move(action));
}
std::size_t QueuedDialogActions() {
    return State().actions.size();
}

void SetActiveWindow(std::optional<WindowSetup> window) {
    State().activeWindow = window;
}
void SetWorkArea(Rect area) {
    State().workArea = area;
}
void SetDialogCreationFails(bool fails) {
    State().creationFails = fails;
}

const std::vector<DialogRecord>& ShownDialogs() {
    return State().records;
}
void ResetDialogs() {
    State() = DialogState{};
}

void RecordDialogViews(bool on) {
    State().recordViews = on;
}

const ControlView* FindControl(const DialogView& view, int id) {
    for (const ControlView& control : view.controls) {
        if (control.id == id) return &control;
    }
    return nullptr;
}

const TreeItemView* FindTreeItem(const DialogView& view, std::u16string_view path) {
    std::vector<std::u16string_view> parts = portable::SplitItemPath(path);
    // The texts of the current item's ancestors, by depth.
    std::vector<std::u16string_view> line;
    for (const TreeItemView& item : view.tree) {
        line.resize(static_cast<std::size_t>(item.depth));
        line.push_back(item.text);
        if (line == parts) return &item;
    }
    return nullptr;
}

}  // namespace portable
}  // namespace platform
