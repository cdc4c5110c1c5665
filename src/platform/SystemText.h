// The system's own text rules that the core needs: the ANSI code page of configuration files
// without a byte-order mark, and letter case by the user's locale. Linked in per platform; the
// core calls these functions and never a system header itself.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velloc::platform {

// Decodes bytes in the system's ANSI code page into UTF-16. False on platforms that have no
// such code page (Linux); the caller then applies its own legacy rule.
bool DecodeSystemAnsi(std::string_view bytes, std::u16string& out);

// Upper-cases the text in place by the user's locale (letters beyond ASCII included).
void UpperCaseByLocale(std::u16string& text);

// The content types the system registers for file extensions, as (extension with its dot,
// type) pairs in the order they apply, a later pair winning: on Windows each extension's
// "Content Type" under HKEY_CLASSES_ROOT, then the extensions of the MIME database. False on
// platforms without such a registry (Linux); the caller then reads its own media-types file.
bool RegisteredMimeTypes(std::vector<std::pair<std::string, std::string>>& out);

}  // namespace velloc::platform
