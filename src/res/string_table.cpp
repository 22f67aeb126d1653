#include "res/string_table.h"

namespace tav::res {
namespace {

#define TAV_STRING(language, id, text) {language, id, u"" text},
constexpr platform::StringResource kStrings[] = {
#include "res/strings.inc"
};
#undef TAV_STRING

}  // namespace

std::span<const platform::StringResource> StringTable() { return kStrings; }

}  // namespace tav::res
