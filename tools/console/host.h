// What the console emulator needs from the machine it runs on, besides the library: the
// simulator (in this process on Linux, in the provider DLL that MAPI32 loads on Windows), and
// the person at the screen who answers the library's message boxes and drives its dialog. The
// records use the portable platform's structures on both sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/portable/portable_dialog.h"
#include "sim/org_json.h"

namespace console {

class Library;

class Host {
  public:
    virtual ~Host() = default;

    // One request to the simulator's control surface (sim/control.h); throws LibraryError
    // when it cannot be reached and sim::JsonError when the request fails.
    sim::OrderedJson Sim(const sim::OrderedJson& request);

    // Message boxes, dialogs and COM back to their defaults; the clock and the UI language to
    // these (the simulator's control gets them as well).
    virtual void Reset(std::uint64_t clock, std::uint16_t language) = 0;
    // What the loaded setup fixed on the machine's side ("host" of the loadSetup reply).
    virtual void ApplySetup(const sim::OrderedJson& host) = 0;
    // The library was loaded / is about to be unloaded.
    virtual void Attach(Library& library) = 0;
    virtual void Detach() = 0;

    virtual void QueueMessageBoxAnswer(int button) = 0;
    virtual void QueueDialogAction(const platform::portable::DialogAction& action) = 0;
    // The boxes shown since the last call; forgets them and the answers left.
    virtual std::vector<platform::portable::MessageBoxRecord> TakeMessageBoxes() = 0;
    // The dialogs shown since the last call; forgets them and the actions left.
    virtual std::vector<platform::portable::DialogRecord> TakeDialogs() = 0;
    virtual std::size_t QueuedDialogActions() = 0;
    virtual void SetCoInitializeResult(std::optional<std::int32_t> result) = 0;
    virtual int ComInitializeBalance() = 0;
    virtual std::size_t OpenRegistryHandles() = 0;
    // The console's main window: the active window the library's dialogs are owned by.
    virtual platform::WindowHandle ConsoleWindow() = 0;

  protected:
    // The reply to a request. By default the request and the reply cross as text (SimText), as
    // they must to reach a simulator in another module; a host with the simulator in this
    // process answers without the round trip.
    virtual sim::OrderedJson SimReply(const sim::OrderedJson& request);
    virtual std::string SimText(const std::string& request) = 0;
};

std::unique_ptr<Host> MakeHost();

}  // namespace console
