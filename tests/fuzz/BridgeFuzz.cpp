// Arbitrary bytes as a web message from the application's own page. Whatever arrives, dispatch
// must not crash, and every reply it posts must be valid JSON carrying a uuid and a success flag.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include <rapidjson/document.h>

#include "bridge/BrowserExternalModule.h"
#include "core/StrUtils.h"

namespace {

using velloc::TStrUtils;
using velloc::bridge::TBrowserExternalModule;
using velloc::bridge::TJsonValue;

void CheckReply(std::string_view reply) {
  rapidjson::Document document;
  document.Parse<rapidjson::kParseValidateEncodingFlag>(reply.data(), reply.size());
  if (document.HasParseError() || !document.IsObject() || !document.HasMember("uuid") ||
      !document["uuid"].IsString() || !document.HasMember("success") ||
      !document["success"].IsBool() || !document.HasMember("result")) {
    std::abort();
  }
}

// Reads every member of the data object the ways handlers do and echoes the texts.
void ReadEverything(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& data) {
  std::string echo;
  for (const auto& member : data.GetObject()) {
    const std::string_view name(member.name.GetString(), member.name.GetStringLength());
    std::string text;
    if (TBrowserExternalModule::TryGetArgString(data, name, text)) {
      for (const auto& piece : TStrUtils::ExplodeStrings("|", text))
        echo += piece;
    }
    try {
      echo += TBrowserExternalModule::GetArgBool(data, name, false) ? "1" : "0";
    } catch (const velloc::bridge::EBridgeArgError&) {
    }
  }
  if (!data.ObjectEmpty()) {
    const std::string_view first(data.MemberBegin()->name.GetString(),
                                 data.MemberBegin()->name.GetStringLength());
    echo += TBrowserExternalModule::GetArgString(data, first, "");  // may raise: fine
  }
  module.ReplySuccess(uuid, TStrUtils::StringToJsonString(echo));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static TBrowserExternalModule* module = [] {
    auto* m = new TBrowserExternalModule();
    m->SetOnFault([](velloc::bridge::TBridgeFault, std::string_view) {});
    m->ReplaceHandler(30001, ReadEverything);
    return m;
  }();
  const std::string_view json(reinterpret_cast<const char*>(bytes), size);
  module->BrowserWebMessageReceived({json, "vlx:///index.html", CheckReply});
  return 0;
}
