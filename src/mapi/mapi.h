// Our declarations of the Extended MAPI ABI subset the library uses (namespace mapi), the
// runtime functions of MAPI32 and the owners of MAPI resources.
#pragma once

#include "mapi/mapi_codes.h"       // IWYU pragma: export
#include "mapi/mapi_flags.h"       // IWYU pragma: export
#include "mapi/mapi_guids.h"       // IWYU pragma: export
#include "mapi/mapi_interfaces.h"  // IWYU pragma: export
#include "mapi/mapi_owners.h"      // IWYU pragma: export
#include "mapi/mapi_runtime.h"     // IWYU pragma: export
#include "mapi/mapi_structs.h"     // IWYU pragma: export
#include "mapi/mapi_tags.h"        // IWYU pragma: export
#include "mapi/mapi_types.h"       // IWYU pragma: export
