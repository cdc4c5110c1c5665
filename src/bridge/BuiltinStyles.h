// The 39 styles built into the runtime, each a palette from which the backend draws it.
#pragma once

#include <span>

#include "platform/Styles.h"

namespace velloc::bridge {

// In the order in which vlx.themes.getThemes lists them (with "Windows" just before "Windows10").
std::span<const platform::TStyleDefinition> BuiltinStyles();

}  // namespace velloc::bridge
