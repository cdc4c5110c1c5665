// The file types of vlx.dialogs.openFile and saveFile, as pages write them: pairs of display
// name and mask joined by "|", the pairs joined by ";".
#pragma once

#include <string_view>
#include <vector>

#include "platform/FileDialogs.h"

namespace velloc::bridge {

// Each ";"-piece that splits at "|" into exactly two parts is one type, in order; every other
// piece is skipped. So "Images|*.png;*.jpg" is one type: the "*.jpg" piece has no display name.
std::vector<platform::TFileType> ParseFileTypes(std::string_view fileTypes);

}  // namespace velloc::bridge
