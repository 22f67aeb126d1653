#include "tools/console/host.h"

namespace console {

sim::OrderedJson Host::SimReply(const sim::OrderedJson& request) {
    return sim::OrderedJson::parse(SimText(request.dump()));
}

sim::OrderedJson Host::Sim(const sim::OrderedJson& request) {
    sim::OrderedJson reply = SimReply(request);
    if (reply.is_object() && reply.contains("error"))
        throw sim::JsonError(reply["error"].get<std::string>());
    return reply;
}

}  // namespace console
