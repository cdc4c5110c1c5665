// The password comparison after each key release, against a form that replays the edit box.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/fake/FakePasswordForm.h"
#include "startup/RequirePasswordForm.h"

namespace velloc::startup {
namespace {

using platform::mrCancel;
using platform::mrOk;

TEST(RequirePasswordForm, ComparesTheWholeTextAfterEveryKeyRelease) {
  const struct {
    const char* name;
    std::string password;
    std::vector<std::string> texts;  // the edit box after each key release
    int result;
    std::size_t keyUps;  // key releases until the form closed
  } cases[] = {
      {"typed exactly", "s3cret", {"s", "s3", "s3c", "s3cr", "s3cre", "s3cret"}, mrOk, 6},
      {"closes on the matching release", "ab", {"a", "ab", "abc"}, mrOk, 2},
      {"other letter case", "Secret", {"S", "SE", "SEC", "SECR", "SECRE", "SECRET"}, mrCancel, 6},
      {"trailing blank typed", "abc", {"a", "ab", "abc ", "abc  "}, mrCancel, 4},
      {"leading blank typed", "abc", {" ", " a", " ab", " abc"}, mrCancel, 4},
      {"Backspace makes it match", "ab", {"a", "abX", "ab"}, mrOk, 3},
      {"Backspace after a wrong key", "ab", {"a", "ax", "a", "ab"}, mrOk, 4},
      {"prefix only", "abc", {"a", "ab"}, mrCancel, 2},
      {"longer text", "abc", {"abcd"}, mrCancel, 1},
      {"non-ASCII", "p\xC3\xA4ss", {"p", "p\xC3\xA4", "p\xC3\xA4s", "p\xC3\xA4ss"}, mrOk, 4},
      {"other case beyond ASCII", "p\xC3\xA4ss", {"P\xC3\x84SS", "p\xC3\x84ss"}, mrCancel, 2},
      // Ordinal: a decomposed letter is another text.
      {"other normalisation", "\xC3\xA9", {"e\xCC\x81"}, mrCancel, 1},
      {"no key at all", "abc", {}, mrCancel, 0},
  };
  for (const auto& c : cases) {
    platform::fake::TFakePasswordFormView view;
    view.Texts = c.texts;
    TRequirePasswordForm form(view);
    form.Password(c.password);
    EXPECT_EQ(form.ShowModal("Demo"), c.result) << c.name;
    EXPECT_EQ(view.KeyUps, c.keyUps) << c.name;
    EXPECT_EQ(view.Captions, std::vector<std::string>{"Demo"}) << c.name;
  }
}

TEST(RequirePasswordForm, CreationClearsThePassword) {
  platform::fake::TFakePasswordFormView view;
  TRequirePasswordForm form(view);
  EXPECT_EQ(form.Password(), "");
  form.Password("x");
  form.FormCreate();
  EXPECT_EQ(form.Password(), "");
}

}  // namespace
}  // namespace velloc::startup
