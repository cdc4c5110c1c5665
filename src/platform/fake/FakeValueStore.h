// A value store that answers from fields a test sets, for the outcomes a real store rarely
// gives (a value refused after its key was opened). Most tests use the SQLite store on a
// scratch file instead.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ValueStore.h"

namespace velloc::platform::fake {

class TFakeValueStore : public IValueStore {
 public:
  TWriteResult WriteResult = TWriteResult::Written;
  TReadResult ReadResult;
  bool Exists = false;             // the answer of every test and delete
  std::vector<std::string> Calls;  // "Operation key|name" in call order

  TWriteResult WriteValue(std::string_view key, std::string_view name,
                          const TStoredValue& value) override {
    Record("WriteValue", key, name);
    Calls.back() += "=" + value.Data;
    return WriteResult;
  }
  TReadResult ReadValue(std::string_view key, std::string_view name) override {
    Record("ReadValue", key, name);
    return ReadResult;
  }
  bool ValueExists(std::string_view key, std::string_view name) override {
    Record("ValueExists", key, name);
    return Exists;
  }
  bool DeleteValue(std::string_view key, std::string_view name) override {
    Record("DeleteValue", key, name);
    return Exists;
  }
  bool KeyExists(std::string_view key) override {
    Record("KeyExists", key, {});
    return Exists;
  }
  bool DeleteKey(std::string_view key) override {
    Record("DeleteKey", key, {});
    return Exists;
  }
  std::optional<TKeyListing> ListKey(std::string_view key) override {
    Record("ListKey", key, {});
    return std::nullopt;
  }

 private:
  void Record(std::string_view operation, std::string_view key, std::string_view name) {
    Calls.push_back(std::string(operation) + " " + std::string(key) + "|" + std::string(name));
  }
};

}  // namespace velloc::platform::fake
