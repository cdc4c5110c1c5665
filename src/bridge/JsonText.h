// JSON text from pages before it is parsed.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velloc::bridge {

// JSON.stringify writes a lone UTF-16 surrogate (half of a cut emoji) as an escape such as
// "\ud800". That is valid JSON, but it has no UTF-8 form, and the parser refuses it. Returns the
// text with every lone surrogate escape replaced by "\ufffd" (U+FFFD, the replacement
// character), or no value when there is none, which is the common case and costs one scan.
// Pairs of surrogates and escaped backslashes ("\\ud800" is text, not an escape) stay as they
// are. Written by hand: no JSON library offers this repair.
std::optional<std::string> ReplaceLoneSurrogates(std::string_view json);

}  // namespace velloc::bridge
