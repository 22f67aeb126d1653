#include "tools/console/host.h"

namespace console {

sim::OrderedJson Host::Sim(const sim::OrderedJson& request) {
    sim::OrderedJson reply = sim::OrderedJson::parse(SimText(request.dump()));
    if (reply.is_object() && reply.contains("error"))
        throw sim::JsonError(reply["error"].get<std::string>());
    return reply;
}

}  // namespace console
