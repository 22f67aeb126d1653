// The Linux host: the simulator linked in, the portable platform's scripted user.
#include "platform/portable/portable_platform.h"
#include "sim/control.h"
#include "sim/simulator.h"
#include "tools/console/host.h"

namespace console {
namespace {

namespace portable = platform::portable;

class PortableHost final : public Host {
  public:
    void Reset(std::uint64_t clock, std::uint16_t language) override {
        portable::ResetMessageBoxes();
        ResetDialogState();
        portable::ResetCom();
        portable::SetCoInitializeResult(std::nullopt);
        portable::SetUiLanguage(language);
        portable::FixSystemTime(clock);
    }
    // The setup went to the same portable platform the library reads.
    void ApplySetup(const sim::OrderedJson&) override {}
    void Attach(Library&) override {}
    void Detach() override {}

    void QueueMessageBoxAnswer(int button) override { portable::QueueMessageBoxAnswer(button); }
    void QueueDialogAction(const portable::DialogAction& action) override {
        portable::QueueDialogAction(action);
    }
    std::vector<portable::MessageBoxRecord> TakeMessageBoxes() override {
        std::vector<portable::MessageBoxRecord> boxes = portable::ShownMessageBoxes();
        portable::ResetMessageBoxes();
        return boxes;
    }
    std::vector<portable::DialogRecord> TakeDialogs() override {
        std::vector<portable::DialogRecord> dialogs = portable::ShownDialogs();
        ResetDialogState();
        return dialogs;
    }
    std::size_t QueuedDialogActions() override { return portable::QueuedDialogActions(); }
    void SetCoInitializeResult(std::optional<std::int32_t> result) override {
        portable::SetCoInitializeResult(result);
    }
    int ComInitializeBalance() override { return portable::ComInitializeBalance(); }
    std::size_t OpenRegistryHandles() override { return portable::OpenRegistryHandleCount(); }
    platform::WindowHandle ConsoleWindow() override {
        static int window;
        return &window;
    }

  protected:
    sim::OrderedJson SimReply(const sim::OrderedJson& request) override {
        return sim::Control(request);
    }
    std::string SimText(const std::string& request) override { return sim::ControlText(request); }

  private:
    void ResetDialogState() {
        portable::ResetDialogs();
        portable::SetActiveWindow(portable::WindowSetup{
            ConsoleWindow(), platform::Rect{80, 60, 1040, 780}, true, false});
    }
};

}  // namespace

std::unique_ptr<Host> MakeHost() {
    return std::make_unique<PortableHost>();
}

}  // namespace console
