#include "platform/message_box.h"

#include <deque>

#include "platform/portable/portable_platform.h"

namespace platform {
namespace {

struct MessageBoxes {
    std::vector<portable::MessageBoxRecord> shown;
    std::deque<int> answers;
    std::function<int(const portable::MessageBoxRecord&)> observer;
};

MessageBoxes& State() {
    static MessageBoxes boxes;
    return boxes;
}

int FirstButton(std::uint32_t flags) { return (flags & 0x0F) == kMbYesNo ? kIdYes : kIdOk; }

}  // namespace

int ShowMessageBox(WindowHandle owner, std::u16string_view text, std::u16string_view caption,
                   std::uint32_t flags) {
    portable::MessageBoxRecord record{owner, std::u16string(caption), std::u16string(text), flags,
                                      0};
    if (State().observer) record.answer = State().observer(record);
    if (record.answer == 0 && !State().answers.empty()) {
        record.answer = State().answers.front();
        State().answers.pop_front();
    }
    if (record.answer == 0) record.answer = FirstButton(flags);
    State().shown.push_back(record);
    return record.answer;
}

namespace portable {

void ResetMessageBoxes() { State() = MessageBoxes{}; }
void QueueMessageBoxAnswer(int button) { State().answers.push_back(button); }
std::size_t QueuedMessageBoxAnswers() { return State().answers.size(); }
const std::vector<MessageBoxRecord>& ShownMessageBoxes() { return State().shown; }
void SetMessageBoxObserver(std::function<int(const MessageBoxRecord&)> observer) {
    State().observer = std::move(observer);
}

}  // namespace portable
}  // namespace platform
