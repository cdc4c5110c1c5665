// The texts of the shell and system functions: error messages, window titles, hardware
// addresses and command output as the page receives them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Network.h"

namespace velloc::bridge {

// The system's message as replies carry it: trailing blanks, control characters and full stops
// removed.
std::string SystemErrorText(std::string_view message);

// A window title that holds nothing but blanks and control characters is not listed.
bool IsBlankTitle(std::string_view title);

// "E,00:1A:2B:3C:4D:5E": the adapter's kind letter and the first six bytes of its address
// (missing bytes count as zero). No entry for an all-zero address.
std::optional<std::string> MacAddressEntry(const platform::TNetworkAdapter& adapter);

// A command's output as text: UTF-8 when it is valid UTF-8, else Windows-1252; zero bytes, which
// no text of the page can carry through the console, are left out.
std::string CommandOutputText(std::string_view bytes);

}  // namespace velloc::bridge
