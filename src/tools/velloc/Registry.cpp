// velloc registry: the values that applications keep in the user's value store, as their
// pages see them through vlx.registry, for app authors to inspect and prepare.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/linux/SqliteValueStore.h"
#include "tools/velloc/Cli.h"

namespace velloc::cli {
namespace {

using platform::TSqliteValueStore;
using platform::TStoredValue;
using platform::TValueType;

constexpr const char* kRegistryUsage =
    "velloc registry list [KEY]             values and subkeys of KEY (top-level keys without it)\n"
    "velloc registry get KEY NAME           print a value\n"
    "velloc registry set KEY NAME VALUE     store a string value, creating KEY as needed\n"
    "velloc registry delete KEY [NAME]      delete a value, or KEY with all its subkeys\n"
    "    --db FILE                          another store than the user's own";

std::string TypeName(TValueType type) {
  switch (type) {
    case TValueType::None:
      return "REG_NONE";
    case TValueType::String:
      return "REG_SZ";
    case TValueType::ExpandString:
      return "REG_EXPAND_SZ";
    case TValueType::Binary:
      return "REG_BINARY";
    case TValueType::DWord:
      return "REG_DWORD";
    case TValueType::MultiString:
      return "REG_MULTI_SZ";
    case TValueType::QWord:
      return "REG_QWORD";
  }
  return "type " + std::to_string(static_cast<std::uint32_t>(type));
}

// Text kinds as their text; anything else as hexadecimal bytes.
std::string Shown(const TStoredValue& value) {
  if (value.Type == TValueType::String || value.Type == TValueType::ExpandString) return value.Data;
  std::string hex;
  for (const char c : value.Data) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%s%02x", hex.empty() ? "" : " ",
                  static_cast<unsigned char>(c));
    hex += byte;
  }
  return hex;
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

}  // namespace

void RunRegistry(const std::vector<std::string_view>& args) {
  std::vector<std::string_view> positional;
  std::string database;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::printf("Usage:\n%s\n", kRegistryUsage);
      return;
    }
    if (args[i] == "--db") {
      if (i + 1 >= args.size()) throw TCliError("--db needs a value");
      database = args[++i];
    } else if (args[i].starts_with("-") && args[i] != "-") {
      throw TCliError("unknown option " + std::string(args[i]) + "\n" + kRegistryUsage);
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.empty())
    throw TCliError(std::string("registry needs a command\n") + kRegistryUsage);
  const std::string_view command = positional[0];
  const std::vector<std::string_view> operands(positional.begin() + 1, positional.end());
  const auto need = [&](std::size_t least, std::size_t most) {
    if (operands.size() < least || operands.size() > most)
      throw TCliError("registry " + std::string(command) + ": wrong number of arguments\n" +
                      kRegistryUsage);
  };
  if (command == "list") {
    need(0, 1);
  } else if (command == "get") {
    need(2, 2);
  } else if (command == "set") {
    need(3, 3);
  } else if (command == "delete") {
    need(1, 2);
  } else {
    throw TCliError("unknown registry command " + std::string(command) + "\n" + kRegistryUsage);
  }
  const std::string key(platform::KeyPathBelowRoot(operands.empty() ? "" : operands[0]));
  if (command != "list" && key.empty()) throw TCliError("a key path must not be empty");
  const std::string name(operands.size() > 1 ? operands[1] : "");
  if (operands.size() > 1 && name.empty()) throw TCliError("a value name must not be empty");

  const std::string path = database.empty() ? TSqliteValueStore::DefaultPath() : database;
  // Only a write makes a store: reading a file that is not there creates none (and a mistyped
  // --db says so).
  std::error_code ignored;
  if (command != "set" && !std::filesystem::exists(path, ignored)) {
    if (!database.empty()) throw TCliError("no registry store at " + path);
    if (command != "list" || !key.empty())
      throw TCliError("no key " + Quoted(key) + " (no application has stored anything yet)");
    std::printf("(top level)\n");
    return;
  }
  // Problems the store meets after opening (a file found damaged) end the command too.
  std::string problem;
  TSqliteValueStore store(path, [&](const std::string& message) { problem = message; });
  if (const auto error = store.Open()) throw TCliError(*error);
  const auto check = [&] {
    if (!problem.empty()) throw TCliError(problem);
  };
  const auto noKey = [&] { return TCliError("no key " + Quoted(key) + " in " + store.Path()); };

  if (command == "list") {
    const auto listing = store.ListKey(key);
    check();
    if (!listing) throw noKey();
    std::printf("%s\n", listing->Path.empty() ? "(top level)" : listing->Path.c_str());
    for (const std::string& sub : listing->SubKeys)
      std::printf("  %s\\\n", sub.c_str());
    for (const auto& [valueName, value] : listing->Values)
      std::printf("  %s  %s  %s\n", valueName.c_str(), TypeName(value.Type).c_str(),
                  Shown(value).c_str());
  } else if (command == "get") {
    const platform::TReadResult read = store.ReadValue(key, name);
    check();
    if (!read.KeyFound) throw noKey();
    if (!read.Value) throw TCliError("no value " + Quoted(name) + " in " + Quoted(key));
    const std::string shown = Shown(*read.Value) + "\n";
    std::fwrite(shown.data(), 1, shown.size(), stdout);
  } else if (command == "set") {
    const platform::TWriteResult result =
        store.WriteValue(key, name, {TValueType::String, std::string(operands[2])});
    check();
    if (result != platform::TWriteResult::Written)
      throw TCliError(
          "cannot store " + Quoted(name) + " in " + Quoted(key) +
          (result == platform::TWriteResult::KeyUnavailable ? ": the key path names no key" : ""));
  } else if (name.empty()) {
    const bool deleted = store.KeyExists(key) && store.DeleteKey(key);
    check();
    if (!deleted) throw noKey();
  } else {
    const bool deleted = store.DeleteValue(key, name);
    check();
    if (!deleted) throw TCliError("no value " + Quoted(name) + " in " + Quoted(key));
  }
}

}  // namespace velloc::cli
