// The file-type patterns handed to GTK's choosers, matched by GTK itself (no display needed).
#include <string_view>

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include "platform/gtk/GtkFileDialogs.h"

namespace velloc::platform::gtk {
namespace {

bool GtkMatches(std::string_view mask, const char* name) {
  GtkFileFilter* filter = gtk_file_filter_new();
  g_object_ref_sink(filter);
  gtk_file_filter_add_pattern(filter, CaseInsensitivePattern(mask).c_str());
  GtkFileFilterInfo info{};
  info.contains = GTK_FILE_FILTER_DISPLAY_NAME;
  info.display_name = name;
  const bool matches = gtk_file_filter_filter(filter, &info) != FALSE;
  g_object_unref(filter);
  return matches;
}

TEST(GtkFilePattern, Translation) {
  EXPECT_EQ(CaseInsensitivePattern("*.png"), "*.[pP][nN][gG]");
  EXPECT_EQ(CaseInsensitivePattern("*.*"), "*");
  EXPECT_EQ(CaseInsensitivePattern("[a-c]?.1"), "[a-cA-C]?.1");
  EXPECT_EQ(CaseInsensitivePattern("[!x]"), "[!xX]");
}

TEST(GtkFilePattern, MatchesLikeTheMask) {
  const struct {
    std::string_view mask;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.TXT", "notes.txt", true},       {"*.txt", "NOTES.TXT", true},
      {"*.txt", "notes.log", false},      {"*.*", "README", true},
      {"[a-c]*", "Beta", true},           {"[a-c]*", "delta", false},
      {"[!x]*", "Xray", false},           {"[!x]*", "yak", true},
      {"data?.json", "DATA1.json", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GtkMatches(c.mask, c.name), c.matches) << c.mask << " / " << c.name;
}

}  // namespace
}  // namespace velloc::platform::gtk
