#include "bridge/BrowserExternalModule.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>

#include <rapidjson/error/en.h>

#include "bridge/BrowserExternalForm.h"
#include "bridge/JsonText.h"
#include "core/IntText.h"
#include "core/StrUtils.h"
#include "core/Text.h"
#include "package/DevelopmentPackage.h"

namespace velloc::bridge {
namespace {

// Numbers stay as the text they were written with. Parsing is iterative so that deeply nested
// input cannot exhaust the stack, and invalid UTF-8 is rejected as invalid JSON.
constexpr unsigned kParseFlags = rapidjson::kParseNumbersAsStringsFlag |
                                 rapidjson::kParseIterativeFlag |
                                 rapidjson::kParseValidateEncodingFlag;

const TJsonValue* FindArg(const TJsonValue& data, std::string_view name) {
  if (!data.IsObject()) throw EBridgeArgError("arguments are not an object");
  const TJsonValue key(rapidjson::StringRef(name.data(), name.size()));
  // FindMember searches from the first member, so the first of two equal names counts.
  const auto it = data.FindMember(key);
  if (it == data.MemberEnd() || it->value.IsNull()) return nullptr;
  return &it->value;
}

// Numbers only appear as numbers when the value did not come from the dispatcher's parse.
std::string NumberText(const TJsonValue& value) {
  char buffer[32];
  std::to_chars_result r{};
  if (value.IsInt64()) {
    r = std::to_chars(buffer, buffer + sizeof buffer, value.GetInt64());
  } else if (value.IsUint64()) {
    r = std::to_chars(buffer, buffer + sizeof buffer, value.GetUint64());
  } else {
    r = std::to_chars(buffer, buffer + sizeof buffer, value.GetDouble());
  }
  return std::string(buffer, r.ptr);
}

std::string ValueToText(const TJsonValue& value, std::string_view name) {
  if (value.IsString()) return std::string(value.GetString(), value.GetStringLength());
  if (value.IsBool()) return value.GetBool() ? "true" : "false";
  if (value.IsNumber()) return NumberText(value);
  throw EBridgeArgError("argument '" + std::string(name) + "' is not a text");
}

constexpr std::string_view FaultName(TBridgeFault fault) {
  switch (fault) {
    case TBridgeFault::ForeignSource:
      return "message from outside the application ignored";
    case TBridgeFault::MalformedMessage:
      return "malformed message";
    case TBridgeFault::HandlerError:
      return "handler failed";
    case TBridgeFault::StrayReply:
      return "reply outside a message";
  }
  return "fault";
}

// Pops the innermost message also when its handler raises.
class TDispatchScope {
 public:
  TDispatchScope(std::vector<const TWebMessage*>& stack, const TWebMessage& message)
      : FStack(stack) {
    FStack.push_back(&message);
  }
  ~TDispatchScope() { FStack.pop_back(); }
  TDispatchScope(const TDispatchScope&) = delete;
  TDispatchScope& operator=(const TDispatchScope&) = delete;

 private:
  std::vector<const TWebMessage*>& FStack;
};

}  // namespace

TBrowserExternalModule::TBrowserExternalModule()
    : FExternalForm(std::make_unique<TBrowserExternalForm>(*this)) {
  for (const TBridgeFunction& function : FunctionTable()) {
    FHandlers.emplace(function.Id, function.Handler);
  }
}

TBrowserExternalModule::~TBrowserExternalModule() {
  // The notification service outlives the module: its clicks must not reach a dead one.
  if (FNotificationCenter) FNotificationCenter->SetOnClick(nullptr);
  // So do the file dialogs: one a page left open ends with the window, and its answer, which
  // would go to this module's page, is dropped.
  if (FFileDialogs) FFileDialogs->CloseAll();
}

bool TBrowserExternalModule::IsApplicationDocument(std::string_view uri) const {
  return text::AsciiStartsWithIgnoreCase(uri, "vlx:") ||
         text::AsciiStartsWithIgnoreCase(uri, "file:") ||
         package::IsDevelopmentDocument(uri, FDevelopmentOrigin);
}

void TBrowserExternalModule::BrowserWebMessageReceived(const TWebMessage& message) {
  // Only the application's own pages may reach the operating system; a page from anywhere
  // else (a remote site the app navigated to, a foreign frame) sees window.vlx but gets no
  // answer and runs nothing.
  if (!IsApplicationDocument(message.SourceUri)) {
    Fault(TBridgeFault::ForeignSource, message.SourceUri);
    return;
  }

  const std::optional<std::string> repaired = ReplaceLoneSurrogates(message.Json);
  const std::string_view json = repaired ? std::string_view(*repaired) : message.Json;
  rapidjson::Document document;
  document.Parse<kParseFlags>(json.data(), json.size());
  if (document.HasParseError()) {
    Fault(TBridgeFault::MalformedMessage,
          std::string("not valid JSON: ") + rapidjson::GetParseError_En(document.GetParseError()));
    return;
  }
  if (!document.IsObject()) {
    Fault(TBridgeFault::MalformedMessage, "the message is not a JSON object");
    return;
  }

  std::string idText;
  std::string uuid;
  try {
    const TJsonValue* id = FindArg(document, "id");
    if (id == nullptr) throw EBridgeArgError("no id");
    idText = ValueToText(*id, "id");
    const TJsonValue* uuidValue = FindArg(document, "uuid");
    if (uuidValue == nullptr) throw EBridgeArgError("no uuid");
    uuid = ValueToText(*uuidValue, "uuid");
  } catch (const EBridgeArgError& e) {
    Fault(TBridgeFault::MalformedMessage, e.what());
    return;
  }
  const TJsonValue& root = document;
  const auto data = root.FindMember("data");
  if (data == root.MemberEnd() || !data->value.IsObject()) {
    Fault(TBridgeFault::MalformedMessage, "no data object");
    return;
  }

  // Identifiers that are no integer or not in the table are dropped without a word.
  const std::optional<std::int32_t> id = text::TryStrToInt(idText);
  if (!id) return;
  const auto handler = FHandlers.find(*id);
  if (handler == FHandlers.end()) return;

  // The one place where a handler's error is caught: the message ends without a reply, the
  // page's promise stays pending, and the program goes on with the next message.
  // A copy, so that a handler may replace itself while it runs.
  const THandler run = handler->second;
  const TDispatchScope scope(FDispatching, message);
  try {
    run(*this, uuid, data->value);
  } catch (const std::exception& e) {
    Fault(TBridgeFault::HandlerError, std::to_string(*id) + ": " + e.what());
  } catch (...) {
    Fault(TBridgeFault::HandlerError, std::to_string(*id) + ": unknown error");
  }
}

std::string TBrowserExternalModule::FormatReply(std::string_view uuid, std::string_view result,
                                                bool success) {
  // The uuid is escaped like any other text, so a page's odd token still gets valid JSON back.
  std::string reply = "{\"uuid\": ";
  reply += TStrUtils::StringToJsonString(uuid);
  reply += ", \"success\": ";
  reply += success ? "true" : "false";
  reply += ", \"result\": ";
  reply += result;
  reply += '}';
  return reply;
}

void TBrowserExternalModule::PostReply(std::string_view uuid, std::string_view result,
                                       bool success) {
  if (FDispatching.empty()) {
    Fault(TBridgeFault::StrayReply, uuid);
    return;
  }
  const TWebMessage& message = *FDispatching.back();
  if (message.Reply) message.Reply(FormatReply(uuid, result, success));
}

TDeferredReply TBrowserExternalModule::DeferReply(std::string_view uuid) {
  TDeferredReply deferred;
  deferred.FState = std::make_shared<TDeferredReply::TState>();
  deferred.FState->ModuleAlive = FAlive;
  deferred.FState->Uuid = uuid;
  if (FDispatching.empty()) {
    Fault(TBridgeFault::StrayReply, uuid);
  } else {
    deferred.FState->Reply = FDispatching.back()->Reply;
  }
  return deferred;
}

void TDeferredReply::Post(std::string_view result, bool success) const {
  if (!FState || FState->Sent || FState->ModuleAlive.expired() || !FState->Reply) return;
  FState->Sent = true;
  // Released once used: the way back may hold the web view's message alive.
  const auto reply = std::move(FState->Reply);
  FState->Reply = nullptr;
  reply(TBrowserExternalModule::FormatReply(FState->Uuid, result, success));
}

void TBrowserExternalModule::ReplySuccess(std::string_view uuid, std::string_view result) {
  PostReply(uuid, result, true);
}

void TBrowserExternalModule::ReplyFailure(std::string_view uuid, std::string_view result) {
  PostReply(uuid, result, false);
}

std::string TBrowserExternalModule::GetArgString(const TJsonValue& data, std::string_view name,
                                                 std::string_view defaultValue) {
  const TJsonValue* value = FindArg(data, name);
  return value != nullptr ? ValueToText(*value, name) : std::string(defaultValue);
}

bool TBrowserExternalModule::GetArgBool(const TJsonValue& data, std::string_view name,
                                        bool defaultValue) {
  const TJsonValue* value = FindArg(data, name);
  if (value == nullptr) return defaultValue;
  if (value->IsBool()) return value->GetBool();
  if (value->IsNumber()) return value->GetDouble() != 0.0;
  if (value->IsString()) {
    if (const auto b = text::TryStrToBool(ValueToText(*value, name))) return *b;
  }
  throw EBridgeArgError("argument '" + std::string(name) + "' is not a boolean");
}

bool TBrowserExternalModule::TryGetArgString(const TJsonValue& data, std::string_view name,
                                             std::string& value) {
  value.clear();
  try {
    if (!data.IsObject()) return false;
    const TJsonValue key(rapidjson::StringRef(name.data(), name.size()));
    const auto it = data.FindMember(key);
    if (it == data.MemberEnd()) return false;
    if (!it->value.IsNull()) value = ValueToText(it->value, name);
    return true;
  } catch (const EBridgeArgError&) {
    value.clear();
    return false;
  }
}

void TBrowserExternalModule::SetNotificationCenter(platform::INotifications* notifications) {
  if (FNotificationCenter) FNotificationCenter->SetOnClick(nullptr);
  FNotificationCenter = notifications;
  if (FNotificationCenter) {
    FNotificationCenter->SetOnClick(
        [this](const std::string& name) { NotificationCenterReceiveLocalNotification(name); });
  }
}

void TBrowserExternalModule::NotificationCenterReceiveLocalNotification(const std::string& name) {
  platform::IWebView* browser = FBrowserForm ? FBrowserForm->Browser() : nullptr;
  if (browser) browser->ExecuteScript(NotificationClickScript(name));
}

void TBrowserExternalModule::UpdateProgress(std::uint64_t received, std::uint64_t total) {
  platform::IWebView* browser = FBrowserForm ? FBrowserForm->Browser() : nullptr;
  if (browser) {
    browser->ExecuteScript("vlx.events.onUpdateProgress(" + std::to_string(received) + ", " +
                           std::to_string(total) + ");");
  }
}

std::string TBrowserExternalModule::NotificationClickScript(std::string_view name) {
  // The name travels as a string literal: a quote or backslash in it must not end the literal
  // and let the rest run as script. The two line separators that older script engines do not
  // take inside a literal are escaped as well.
  std::string literal = TStrUtils::StringToJsonString(name);
  text::ReplaceAll(literal, "\xE2\x80\xA8", "\\u2028");
  text::ReplaceAll(literal, "\xE2\x80\xA9", "\\u2029");
  return "vlx.events.onNotificationClick(" + literal + ");";
}

bool TBrowserExternalModule::TrayIconVisible() const {
  if (FTrayIconVisible) return FTrayIconVisible();
  return FExternalForm->TrayIconVisible();
}

std::size_t TBrowserExternalModule::FaultCount(TBridgeFault fault) const {
  return FFaultCounts[static_cast<std::size_t>(fault)];
}

bool TBrowserExternalModule::ReplaceHandler(std::int32_t id, THandler handler) {
  const auto it = FHandlers.find(id);
  if (it == FHandlers.end()) return false;
  it->second = std::move(handler);
  return true;
}

void TBrowserExternalModule::Fault(TBridgeFault fault, std::string_view detail) {
  ++FFaultCounts[static_cast<std::size_t>(fault)];
  if (FOnFault) {
    FOnFault(fault, detail);
    return;
  }
  const std::string_view what = FaultName(fault);
  std::fprintf(stderr, "velloc bridge: %.*s: %.*s\n", static_cast<int>(what.size()), what.data(),
               static_cast<int>(detail.size()), detail.data());
}

}  // namespace velloc::bridge
