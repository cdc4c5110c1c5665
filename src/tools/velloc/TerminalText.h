// What `velloc run` copies from the application to the terminal: the page's console messages
// and uncaught errors, which a page fills with anything it likes. Control characters would drive
// the terminal (set its title, colours and cursor, and in some terminals make it answer on its
// input), so each is written escaped: "\x1b", "\u009b". Line breaks and tabs pass as they are;
// bytes that are not UTF-8 are written as "\xNN". A character split between two reads is held
// until its end arrives.
#pragma once

#include <string>
#include <string_view>

namespace velloc::cli {

class TTerminalText {
 public:
  // The text to write for `bytes`; the start of an unfinished character waits for the next call.
  std::string Add(std::string_view bytes);
  // What is still held, escaped: the output has ended.
  std::string Finish();

 private:
  std::string FHeld;
};

}  // namespace velloc::cli
