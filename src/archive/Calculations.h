// The letter-shift decoding that turns the stored password inputs into the package password.
#pragma once

#include <string>
#include <string_view>

namespace velloc::archive {

// Returns `text` with every ASCII letter shifted back, within its own case, by the key letter at
// the same position (A shifts by 0, B by 1, ... Z by 25). The key repeats; its position advances
// with every character of the text (counted in UTF-16 code units, as the password's author
// counted them), letter or not. Characters other than ASCII letters are copied unchanged.
// Throws std::invalid_argument with "Invalid character in CalculateWidth key." when a key
// character is not an upper-case letter A-Z, and for an empty key (nothing to shift by).
std::string CalculateWidth(std::string_view text, std::string_view key);

}  // namespace velloc::archive
