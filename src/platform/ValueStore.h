// The user's value store: a tree of keys holding named, typed values, shared by every
// application of the user (the registry below the current user's root on Windows).
//
// Key paths are backslash-separated and relative to the user's root ("Software\Vendor\App").
// Key names and value names compare without regard to letter case and keep the case they were
// created with. Every operation stands on its own: nothing of the tree is cached between calls,
// so changes made by other processes are seen at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velloc::platform {

// The kind of data a value holds. The numbers are the registry's own, so any kind round-trips.
enum class TValueType : std::uint32_t {
  None = 0,
  String = 1,        // text
  ExpandString = 2,  // text with %VARIABLE% references, kept unexpanded
  Binary = 3,
  DWord = 4,
  MultiString = 7,
  QWord = 11,
};

struct TStoredValue {
  TValueType Type = TValueType::String;
  std::string Data;  // text as UTF-8 for the string kinds; raw bytes otherwise

  bool operator==(const TStoredValue&) const = default;
};

enum class TWriteResult {
  Written,
  KeyUnavailable,  // the key could not be opened or created (also: the store is unusable)
  ValueRefused,    // the key was there, but the value could not be stored
};

struct TReadResult {
  bool KeyFound = false;
  std::optional<TStoredValue> Value;  // no value: the key or the value does not exist
};

struct TKeyListing {
  std::string Path;  // the key's path as it was created
  std::vector<std::pair<std::string, TStoredValue>> Values;
  std::vector<std::string> SubKeys;
};

class IValueStore {
 public:
  virtual ~IValueStore() = default;

  // Opens the key, creating it and every missing key on its path, and stores the value.
  virtual TWriteResult WriteValue(std::string_view key, std::string_view name,
                                  const TStoredValue& value) = 0;
  virtual TReadResult ReadValue(std::string_view key, std::string_view name) = 0;
  // True when the key exists and holds a value of that name, of any type.
  virtual bool ValueExists(std::string_view key, std::string_view name) = 0;
  // False when the key or the value does not exist.
  virtual bool DeleteValue(std::string_view key, std::string_view name) = 0;
  virtual bool KeyExists(std::string_view key) = 0;
  // Deletes the key with its whole subtree at once; false when the key does not exist.
  virtual bool DeleteKey(std::string_view key) = 0;
  // The key's values and direct subkeys, names in ascending order; no value when the key does
  // not exist. An empty path lists the keys directly below the root.
  virtual std::optional<TKeyListing> ListKey(std::string_view key) = 0;
};

// Key paths name a key below the root with or without one leading backslash.
inline std::string_view KeyPathBelowRoot(std::string_view key) {
  if (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  return key;
}

}  // namespace velloc::platform
