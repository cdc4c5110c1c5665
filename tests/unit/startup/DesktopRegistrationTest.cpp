#include <map>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "startup/DesktopRegistration.h"

namespace velloc::startup {
namespace {

using platform::TStoredValue;

// A value store of keys and values in memory, names compared as given.
class TMapStore final : public platform::IValueStore {
 public:
  std::map<std::pair<std::string, std::string>, TStoredValue> Values;
  int Writes = 0;

  platform::TWriteResult WriteValue(std::string_view key, std::string_view name,
                                    const TStoredValue& value) override {
    Values[{std::string(key), std::string(name)}] = value;
    ++Writes;
    return platform::TWriteResult::Written;
  }
  platform::TReadResult ReadValue(std::string_view key, std::string_view name) override {
    const auto found = Values.find({std::string(key), std::string(name)});
    if (found == Values.end()) return {};
    return {true, found->second};
  }
  bool ValueExists(std::string_view key, std::string_view name) override {
    return ReadValue(key, name).Value.has_value();
  }
  bool DeleteValue(std::string_view, std::string_view) override { return false; }
  bool KeyExists(std::string_view) override { return false; }
  bool DeleteKey(std::string_view) override { return false; }
  std::optional<platform::TKeyListing> ListKey(std::string_view) override { return {}; }

  std::string Read(const std::string& key, const std::string& name = "") {
    const auto value = ReadValue(key, name).Value;
    return value ? value->Data : "(absent)";
  }
};

config::TDesktopConfig Desktop() {
  config::TDesktopConfig desktop;
  desktop.Schemes = {"notes"};
  desktop.FileTypes = {{"application/x-notes", {"notes"}, "Notes file"},
                       {"text/markdown", {"md"}, ""}};
  return desktop;
}

TEST(DesktopRegistration, SchemesAndTypesOpenTheExecutableWithTheirArgument) {
  TMapStore store;
  const std::string exe = "C:\\Users\\José\\Notes\\Notes.exe";
  EXPECT_GT(RegisterDesktopClasses(store, Desktop(), "com.example Notes", "Notes", exe), 0);
  const std::string command = "\"" + exe + "\" \"%1\"";
  EXPECT_EQ(store.Read("Software\\Classes\\notes"), "URL:Notes");
  EXPECT_EQ(store.Read("Software\\Classes\\notes", "URL Protocol"), "");
  EXPECT_EQ(store.Read("Software\\Classes\\notes\\shell\\open\\command"), command);
  EXPECT_EQ(store.Read("Software\\Classes\\.notes"), "com.example-Notes.file.notes");
  EXPECT_EQ(store.Read("Software\\Classes\\.notes", "Content Type"), "application/x-notes");
  EXPECT_EQ(store.Read("Software\\Classes\\.md\\OpenWithProgids", "com.example-Notes.file.md"), "");
  EXPECT_EQ(store.Read("Software\\Classes\\com.example-Notes.file.notes"), "Notes file");
  EXPECT_EQ(store.Read("Software\\Classes\\com.example-Notes.file.md"), "Notes file");
  EXPECT_EQ(store.Read("Software\\Classes\\com.example-Notes.file.md\\shell\\open\\command"),
            command);

  // A second start writes nothing; a moved executable rewrites its commands only.
  store.Writes = 0;
  EXPECT_EQ(RegisterDesktopClasses(store, Desktop(), "com.example Notes", "Notes", exe), 0);
  EXPECT_GT(RegisterDesktopClasses(store, Desktop(), "com.example Notes", "Notes", "D:\\N.exe"), 0);
  EXPECT_EQ(store.Read("Software\\Classes\\notes\\shell\\open\\command"), "\"D:\\N.exe\" \"%1\"");
}

TEST(DesktopRegistration, TheUsersChoicesStay) {
  TMapStore store;
  store.Values[{"Software\\Classes\\.md", ""}] = {platform::TValueType::String, "Editor.md"};
  store.Values[{"Software\\Classes\\.md", "Content Type"}] = {platform::TValueType::String,
                                                              "text/x-markdown"};
  RegisterDesktopClasses(store, Desktop(), "Notes", "Notes", "C:\\N.exe");
  EXPECT_EQ(store.Read("Software\\Classes\\.md"), "Editor.md");
  EXPECT_EQ(store.Read("Software\\Classes\\.md", "Content Type"), "text/x-markdown");
  EXPECT_EQ(store.Read("Software\\Classes\\.md\\OpenWithProgids", "Notes.file.md"), "");
  EXPECT_TRUE(DesktopClassValues({}, "Notes", "Notes", "C:\\N.exe").empty());
}

// An executable an installer recorded registers nothing: the installer wrote the classes and
// removes them again, which it could not do for values written at start. Another copy of the
// same application, elsewhere, still registers itself.
TEST(DesktopRegistration, AnInstalledExecutableLeavesItToTheInstaller) {
  TMapStore store;
  const std::string installed = "C:\\Users\\Jos\u00e9\\AppData\\Local\\Programs\\Notes\\Notes.exe";
  store.Values[{kInstalledExecutablesKey, installed}] = {platform::TValueType::String, "{CODE}"};
  EXPECT_EQ(RegisterDesktopClasses(store, Desktop(), "Notes", "Notes", installed), 0);
  EXPECT_EQ(store.Writes, 0);
  EXPECT_GT(RegisterDesktopClasses(store, Desktop(), "Notes", "Notes", "D:\\Copy\\Notes.exe"), 0);
  EXPECT_EQ(store.Read("Software\\Classes\\notes\\shell\\open\\command"),
            "\"D:\\Copy\\Notes.exe\" \"%1\"");
}

}  // namespace
}  // namespace velloc::startup
