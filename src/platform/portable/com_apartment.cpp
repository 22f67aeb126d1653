#include "platform/com_apartment.h"

#include <optional>

#include "platform/portable/portable_platform.h"

namespace platform {
namespace {

struct Com {
    std::optional<std::int32_t> result;
    int balance = 0;
};

Com& State() {
    static Com com;
    return com;
}

}  // namespace

std::int32_t InitializeCom() {
    std::int32_t result = State().result.value_or(State().balance > 0 ? 1 : 0);
    if (result >= 0) ++State().balance;
    return result;
}

void UninitializeCom() { --State().balance; }

namespace portable {
void SetCoInitializeResult(std::optional<std::int32_t> result) { State().result = result; }
int ComInitializeBalance() { return State().balance; }
void ResetCom() { State() = Com{}; }
}  // namespace portable

}  // namespace platform
