// Registry (family 13) functions: string values in the user's value store. Every call names its
// key from the user's root; expected outcomes (a key or value that is not there, a store that
// cannot be used) are success replies with false or the empty string.
#include <stdexcept>
#include <string>
#include <string_view>

#include "bridge/handlers/Handlers.h"
#include "core/StrUtils.h"
#include "platform/ValueStore.h"

namespace velloc::bridge::handlers {
namespace {

using platform::IValueStore;
using platform::TValueType;

// What every registry call starts with: the key, and for the value functions the name, each
// checked in that order so a call missing both reports the key.
struct TRegistryCall {
  std::string Key;  // below the root, the leading backslash dropped
  std::string Name;

  // A NUL would end the text at the registry's own calls and address another key or value, so
  // a key or name holding one names nothing: the call answers as for one that is not there.
  bool NamesNothing() const {
    return Key.find('\0') != std::string::npos || Name.find('\0') != std::string::npos;
  }
};

bool ReadArguments(TBrowserExternalModule& module, const std::string& uuid, const TJsonValue& data,
                   bool withName, TRegistryCall& call) {
  const std::string key = TBrowserExternalModule::GetArgString(data, "key", "");
  if (key.empty()) {
    module.ReplyFailure(uuid, TStrUtils::StringToJsonString("Missing registry key."));
    return false;
  }
  call.Key = platform::KeyPathBelowRoot(key);
  if (withName) {
    call.Name = TBrowserExternalModule::GetArgString(data, "name", "");
    if (call.Name.empty()) {
      module.ReplyFailure(uuid, TStrUtils::StringToJsonString("Missing value name."));
      return false;
    }
  }
  return true;
}

IValueStore& Store(TBrowserExternalModule& module) {
  return Required(module.ValueStore());
}

void ReplyBool(TBrowserExternalModule& module, const std::string& uuid, bool value) {
  module.ReplySuccess(uuid, value ? "true" : "false");
}

}  // namespace

// 13001 vlx.registry.writeValue: always a string value; an absent `value` stores "".
void RegistryWriteValue(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& data) {
  TRegistryCall call;
  if (!ReadArguments(module, uuid, data, true, call)) return;
  const std::string value = TBrowserExternalModule::GetArgString(data, "value", "");
  if (call.NamesNothing()) return ReplyBool(module, uuid, false);
  switch (Store(module).WriteValue(call.Key, call.Name, {TValueType::String, value})) {
    case platform::TWriteResult::Written:
      return ReplyBool(module, uuid, true);
    case platform::TWriteResult::KeyUnavailable:
      return ReplyBool(module, uuid, false);
    case platform::TWriteResult::ValueRefused:
      break;
  }
  throw std::runtime_error("the registry value could not be stored");
}

// 13002 vlx.registry.readValue: the text up to its first NUL; "" for a missing key or value.
// A value of another kind than text cannot be read: no reply.
void RegistryReadValue(TBrowserExternalModule& module, const std::string& uuid,
                       const TJsonValue& data) {
  TRegistryCall call;
  if (!ReadArguments(module, uuid, data, true, call)) return;
  if (call.NamesNothing()) return module.ReplySuccess(uuid, TStrUtils::StringToJsonString(""));
  const platform::TReadResult read = Store(module).ReadValue(call.Key, call.Name);
  std::string_view text;
  if (read.Value) {
    if (read.Value->Type != TValueType::String && read.Value->Type != TValueType::ExpandString)
      throw std::runtime_error("the registry value is not text");
    text = read.Value->Data;
    text = text.substr(0, text.find('\0'));
  }
  module.ReplySuccess(uuid, TStrUtils::StringToJsonString(text));
}

// 13003 vlx.registry.valueExist: a value of any kind counts.
void RegistryValueExist(TBrowserExternalModule& module, const std::string& uuid,
                        const TJsonValue& data) {
  TRegistryCall call;
  if (!ReadArguments(module, uuid, data, true, call)) return;
  ReplyBool(module, uuid, !call.NamesNothing() && Store(module).ValueExists(call.Key, call.Name));
}

// 13004 vlx.registry.deleteValue
void RegistryDeleteValue(TBrowserExternalModule& module, const std::string& uuid,
                         const TJsonValue& data) {
  TRegistryCall call;
  if (!ReadArguments(module, uuid, data, true, call)) return;
  ReplyBool(module, uuid, !call.NamesNothing() && Store(module).DeleteValue(call.Key, call.Name));
}

// 13005 vlx.registry.keyExist
void RegistryKeyExist(TBrowserExternalModule& module, const std::string& uuid,
                      const TJsonValue& data) {
  TRegistryCall call;
  if (!ReadArguments(module, uuid, data, false, call)) return;
  ReplyBool(module, uuid, !call.NamesNothing() && Store(module).KeyExists(call.Key));
}

// 13006 vlx.registry.deleteKey: the key with its whole subtree, at once.
void RegistryDeleteKey(TBrowserExternalModule& module, const std::string& uuid,
                       const TJsonValue& data) {
  TRegistryCall call;
  if (!ReadArguments(module, uuid, data, false, call)) return;
  IValueStore& store = Store(module);
  ReplyBool(module, uuid,
            !call.NamesNothing() && store.KeyExists(call.Key) && store.DeleteKey(call.Key));
}

}  // namespace velloc::bridge::handlers
