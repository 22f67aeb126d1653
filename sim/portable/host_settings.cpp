#include "sim/host_settings.h"

namespace sim {

OrderedJson HostSettings() {
    return OrderedJson::object();
}

}  // namespace sim
