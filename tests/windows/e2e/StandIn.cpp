#include "tests/windows/e2e/StandIn.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <shlwapi.h>
#include <utility>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "browser/PermissionPolicy.h"
#include "platform/webview2/WebView2Origin.h"
#include "platform/win32/WideText.h"
#include "tests/windows/e2e/StandInProbes.h"

namespace velloc::test::standin {

using platform::win32::Narrow;
using platform::win32::Widen;

namespace {

constexpr UINT kRunTasks = WM_APP + 10;
constexpr wchar_t kDriverClass[] = L"VellocStandInDriver";
constexpr char kCloseQueryScript[] = "vlx.events.onCloseQuery();";
// The time the stand-in's environment takes to be ready: the browser form's creation timer
// waits for it, as it waits for WebView2's.
constexpr ULONGLONG kEnvironmentDelayMs = 100;

std::string Serialize(const rapidjson::Value& value) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  value.Accept(writer);
  return {buffer.GetString(), buffer.GetSize()};
}

bool IsUtf8(const std::string& bytes) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                             static_cast<int>(bytes.size()), nullptr, 0) > 0 ||
         bytes.empty();
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex += digits[(static_cast<unsigned char>(c) >> 4) & 15];
    hex += digits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

// The body as the web view reads it: the bytes in memory, or the file through a COM stream on
// its wide path, as WebView2's backend hands it over.
std::optional<std::string> ReadBody(platform::TWebResourceResponse& response) {
  if (response.Body) return std::string(response.Body->begin(), response.Body->end());
  IStream* stream = nullptr;
  if (FAILED(SHCreateStreamOnFileEx(Widen(response.FilePath).c_str(),
                                    STGM_READ | STGM_SHARE_DENY_WRITE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                    nullptr, &stream)))
    return std::nullopt;
  std::string body;
  char buffer[4096];
  ULONG read = 0;
  while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &read)) && read > 0)
    body.append(buffer, read);
  stream->Release();
  return body;
}

std::string TitleOf(const std::string& html) {
  const auto open = html.find("<title>");
  if (open == std::string::npos) return {};
  const auto close = html.find("</title>", open);
  return close == std::string::npos ? std::string() : html.substr(open + 7, close - open - 7);
}

platform::TPermissionKind PermissionKind(const std::string& name) {
  using K = platform::TPermissionKind;
  if (name == "camera") return K::Camera;
  if (name == "microphone") return K::Microphone;
  if (name == "location") return K::Location;
  if (name == "notifications") return K::Notifications;
  if (name == "clipboard") return K::Clipboard;
  return K::Other;
}

// No exception may unwind into the system's message dispatch.
void Guarded(const std::function<void()>& task) {
  try {
    task();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "stand-in: %s\n", error.what());
  }
}

// A person at a dialog of this thread: once a visible window with the title shows, presses
// its button (IDOK or IDCANCEL). Thread timers run inside the dialog's own modal loop.
struct TDialogAnswer {
  std::wstring Title;
  WPARAM Button = IDOK;
  bool Answered = false;
};
std::map<UINT_PTR, TDialogAnswer> GAnswers;

void CALLBACK AnswerDialog(HWND, UINT, UINT_PTR id, DWORD) {
  auto found = GAnswers.find(id);
  if (found == GAnswers.end()) return;
  struct TSearch {
    const std::wstring* Title;
    HWND Window;
  } search{&found->second.Title, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<TSearch*>(data);
        wchar_t title[256] = {};
        GetWindowTextW(window, title, 256);
        if (!IsWindowVisible(window) || *s.Title != title) return TRUE;
        s.Window = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (!search.Window) return;
  PostMessageW(search.Window, WM_COMMAND, found->second.Button, 0);
  KillTimer(nullptr, id);
  GAnswers.erase(found);
}

std::string Quoted(const std::wstring& argument) {
  return "\"" + Narrow(argument) + "\"";
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The record

TRecord::TRecord() {
  FDoc.SetObject();
}

TRecord& TRecord::Get() {
  static TRecord record;
  return record;
}

void TRecord::Open(const std::wstring& outFolder) {
  const std::lock_guard lock(FMutex);
  FPath = outFolder + L"\\results-" + std::to_wstring(GetCurrentProcessId()) + L".json";
}

rapidjson::Value TRecord::Text(const std::string& text) {
  const std::lock_guard lock(FMutex);
  return rapidjson::Value(text.c_str(), static_cast<rapidjson::SizeType>(text.size()),
                          FDoc.GetAllocator());
}

void TRecord::Append(const char* name, rapidjson::Value value) {
  Edit([&](rapidjson::Document& doc, auto& alloc) {
    if (!doc.HasMember(name))
      doc.AddMember(rapidjson::StringRef(name), rapidjson::kArrayType, alloc);
    doc[name].PushBack(value, alloc);
  });
}

void TRecord::Set(const char* name, rapidjson::Value value) {
  Edit([&](rapidjson::Document& doc, auto& alloc) {
    if (doc.HasMember(name)) {
      doc[name] = value;
    } else {
      doc.AddMember(rapidjson::StringRef(name), value, alloc);
    }
  });
}

void TRecord::Save() {
  std::string text;
  std::wstring path;
  {
    const std::lock_guard lock(FMutex);
    if (FPath.empty()) return;
    text = Serialize(FDoc);
    path = FPath;
  }
  // Whole or not at all: the test may read it while the process runs.
  const std::wstring part = path + L".part";
  if (FILE* file = _wfopen(part.c_str(), L"wb")) {
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
}

// ---------------------------------------------------------------------------------------------
// The script

namespace {
TScript GScript;
}  // namespace

const TScript& Script() {
  return GScript;
}

void LoadScript(const std::wstring& path) {
  GScript.Doc.SetObject();
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return;
  std::string text;
  char buffer[4096];
  std::size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    text.append(buffer, read);
  std::fclose(file);
  GScript.Doc.Parse(text.c_str(), text.size());
  if (GScript.Doc.HasParseError() || !GScript.Doc.IsObject()) {
    std::fprintf(stderr, "stand-in: the script is not a JSON object\n");
    GScript.Doc.SetObject();
  }
}

const rapidjson::Value* TScript::Member(const char* name) const {
  if (!Doc.IsObject() || !Doc.HasMember(name)) return nullptr;
  return &Doc[name];
}

bool CrashesAt(const std::string& startPage) {
  const rapidjson::Value* pages = Script().Member("pages");
  if (!pages || !pages->IsObject()) return false;
  const auto found = pages->FindMember(startPage.c_str());
  return found != pages->MemberEnd() && found->value.IsString() &&
         std::string_view(found->value.GetString()) == "crash";
}

const rapidjson::Value* TScript::Steps(const std::string& startPage) const {
  const rapidjson::Value* pages = Member("pages");
  if (!pages || !pages->IsObject()) return nullptr;
  const auto found = pages->FindMember(startPage.c_str());
  if (found == pages->MemberEnd() || !found->value.IsArray()) return nullptr;
  return &found->value;
}

// ---------------------------------------------------------------------------------------------
// The web view

class TStandInWebView final : public platform::IWebView {
 public:
  TStandInWebView(TStandInWebViews& owner, HWND host, platform::IWebViewEvents& events)
      : FOwner(owner), FHost(host), FEvents(events), FAlive(std::make_shared<bool>(true)) {}
  ~TStandInWebView() override {
    *FAlive = false;
    FOwner.Forget(this);
  }
  TStandInWebView(const TStandInWebView&) = delete;
  TStandInWebView& operator=(const TStandInWebView&) = delete;

  void AddScriptToExecuteOnDocumentCreated(std::string_view script) override {
    TRecord::Get().Append("documentScripts", TRecord::Get().Text(std::string(script)));
  }
  void ApplySettings(const platform::TWebViewSettings& settings) override {
    rapidjson::Value value(rapidjson::kObjectType);
    TRecord::Get().Edit([&](auto&, auto& alloc) {
      value.AddMember("AreDevToolsEnabled", settings.AreDevToolsEnabled, alloc);
      value.AddMember("IsZoomControlEnabled", settings.IsZoomControlEnabled, alloc);
      value.AddMember("AreDefaultContextMenusEnabled", settings.AreDefaultContextMenusEnabled,
                      alloc);
      value.AddMember("IsWebMessageEnabled", settings.IsWebMessageEnabled, alloc);
    });
    TRecord::Get().Set("settings", std::move(value));
  }
  void Navigate(std::string_view uri) override {
    // As WebView2's backend does: application pages at the application origin, asked for
    // without a referrer. A real web view loads later, after the call has returned.
    FOwnNavigation = platform::webview2::ToApplicationUri(uri);
    Later([this, target = FOwnNavigation] { Load(target); });
  }
  void ExecuteScript(std::string_view script) override {
    TRecord::Get().Append("executed", TRecord::Get().Text(std::string(script)));
    FExecuted.emplace_back(script);
    // The page's default onCloseQuery calls vlx.app.close(), which posts its message.
    if (script == kCloseQueryScript && FCloseQuery == "close") {
      Later([this] {
        const std::string close =
            "{\"id\":50001,\"uuid\":\"close-" + std::to_string(++FCloseCalls) + "\",\"data\":{}}";
        Post(close);
      });
    }
  }
  // The page is the application's as long as it is one of the package.
  void ExecuteScriptInApplicationDocument(std::string_view script) override {
    if (browser::IsApplicationDocument(FUri)) ExecuteScript(script);
  }
  std::string DocumentUri() const override { return FUri; }
  std::string DocumentTitle() const override { return FTitle; }
  double ZoomFactor() const override { return FZoom; }
  void SetZoomFactor(double factor) override { FZoom = factor; }
  bool IsVisible() const override { return true; }
  void MoveFocus() override {}
  void Reload() override {
    FOwnNavigation = FPageUri;
    Later([this] { Load(FPageUri); });
  }
  void NavigateToString(std::string_view html) override {
    TRecord::Get().Append("navigatedHtml", TRecord::Get().Text(std::string(html)));
  }
  bool IsResponsive() const override { return true; }

  void Created() { FEvents.BrowserAfterCreated(); }

 private:
  void Later(std::function<void()> task) {
    FOwner.Later([alive = FAlive, task = std::move(task)] {
      if (*alive) task();
    });
  }
  void After(UINT milliseconds, std::function<void()> task) {
    FOwner.After(milliseconds, [alive = FAlive, task = std::move(task)] {
      if (*alive) task();
    });
  }

  // What a request for `uri` gets from the runtime, as the page would see it: through the
  // answers of WebView2's backend, at the application origin ("file:///" URIs of the page are
  // mapped as its page script maps them). A subresource names the page as its referrer unless
  // the step says otherwise.
  rapidjson::Value Request(const std::string& uri, std::string* html,
                           const rapidjson::Value* step = nullptr) {
    TRecord& record = TRecord::Get();
    rapidjson::Value result(rapidjson::kObjectType);
    rapidjson::Value uriText = record.Text(uri);
    platform::webview2::TRequestFacts facts;
    facts.Uri = platform::webview2::ToApplicationUri(uri);
    facts.IsDocument = html != nullptr;
    if (!facts.IsDocument && !FPageUri.empty()) facts.Referer = FPageUri;
    const auto header = [step](const char* name) -> std::optional<std::optional<std::string>> {
      if (!step || !step->HasMember(name)) return std::nullopt;
      const rapidjson::Value& value = (*step)[name];
      if (value.IsString()) return std::optional<std::string>(value.GetString());
      return std::optional<std::string>();
    };
    if (auto referer = header("referer")) facts.Referer = *referer;
    if (auto origin = header("origin")) facts.Origin = *origin;
    if (auto range = header("range")) facts.Range = *range;
    std::optional<platform::webview2::TResourceAnswer> answer =
        platform::webview2::AnswerApplicationRequest(FEvents, facts, FOwnNavigation);
    std::optional<std::string> body;
    if (answer) body = ReadBody(answer->Content);
    const int status = answer ? answer->StatusCode : 0;
    std::string contentType;
    if (answer) {
      const std::string lines = "\n" + answer->Headers + "\n";
      const auto at = lines.find("\nContent-Type: ");
      if (at != std::string::npos)
        contentType = lines.substr(at + 15, lines.find('\n', at + 1) - at - 15);
    }
    const bool answered = status >= 200 && status < 300 && body.has_value();
    rapidjson::Value mime = record.Text(contentType);
    rapidjson::Value headers = record.Text(answer ? answer->Headers : "");
    rapidjson::Value content = record.Text(body && IsUtf8(*body) ? *body : "");
    rapidjson::Value hex = record.Text(body && !IsUtf8(*body) ? Hex(body->substr(0, 64)) : "");
    rapidjson::Value fullHex =
        record.Text(body && step && step->HasMember("range") ? Hex(*body) : "");
    record.Edit([&](auto&, auto& alloc) {
      result.AddMember("uri", uriText, alloc);
      result.AddMember("status", status, alloc);
      result.AddMember("answered", answered, alloc);
      result.AddMember("fromDisk", answer && !answer->Content.Body, alloc);
      result.AddMember("mimeType", mime, alloc);
      result.AddMember("headers", headers, alloc);
      result.AddMember("size", static_cast<std::uint64_t>(body ? body->size() : 0), alloc);
      result.AddMember("body", content, alloc);
      if (hex.GetStringLength() > 0) result.AddMember("bodyHex", hex, alloc);
      if (fullHex.GetStringLength() > 0) result.AddMember("partHex", fullHex, alloc);
    });
    if (html && body) *html = *body;
    return result;
  }

  void Load(const std::string& uri) {
    FEvents.BrowserNavigationStarting();
    std::string html;
    rapidjson::Value navigation = Request(uri, &html);
    // The core knows the page by its "file:" name, as the backend reports it.
    FPageUri = uri;
    FUri = platform::webview2::ToFileUri(uri);
    FTitle = TitleOf(html);
    TRecord::Get().Append("navigations", std::move(navigation));
    if (FStartPage.empty() && CrashesAt(FUri)) {
      // A web view that takes the process down before its first page is up.
      TRecord::Get().Set("startPage", TRecord::Get().Text(FUri));
      TRecord::Get().Set("crashed", rapidjson::Value(true));
      TRecord::Get().Set("exitCode", rapidjson::Value(3));
      TRecord::Get().Save();
      TerminateProcess(GetCurrentProcess(), 3);
    }
    FEvents.BrowserDOMContentLoaded();
    FEvents.BrowserDocumentTitleChanged();
    FEvents.BrowserNavigationCompleted();
    if (FStartPage.empty()) {
      FStartPage = FUri;
      TRecord::Get().Set("startPage", TRecord::Get().Text(FUri));
      FSteps = Script().Steps(FUri);
      Later([this] { NextStep(); });
    }
    TRecord::Get().Save();
  }

  // Posts a message as the page's script does; every reply goes to the record, and the one that
  // carries FWaitUuid ends the wait of the step.
  void Post(const std::string& json) {
    auto answered = std::make_shared<bool>(false);
    std::weak_ptr<bool> alive = FAlive;
    const int step = FStep;
    platform::TWebMessageEvent event{
        json, FUri, [this, answered, alive, step](std::string_view reply) {
          TRecord& record = TRecord::Get();
          rapidjson::Value entry(rapidjson::kObjectType);
          rapidjson::Value text = record.Text(std::string(reply));
          rapidjson::Document parsed;
          parsed.Parse(reply.data(), reply.size());
          record.Edit([&](auto&, auto& alloc) {
            entry.AddMember("step", step, alloc);
            entry.AddMember("text", text, alloc);
            entry.AddMember("valid", !parsed.HasParseError(), alloc);
            // A second answer to one message is a fault of the runtime: recorded, not passed.
            entry.AddMember("again", *answered, alloc);
          });
          record.Append("replies", std::move(entry));
          const auto view = alive.lock();
          if (!view || !*view || *answered) return;
          *answered = true;
          if (!parsed.HasParseError() && parsed.IsObject() && parsed.HasMember("uuid") &&
              parsed["uuid"].IsString() && parsed["uuid"].GetString() == FWaitUuid)
            FWaitDone = true;
        }};
    FEvents.BrowserWebMessageReceived(event);
  }

  // Waits, without blocking the runtime, until `done` or `milliseconds` have passed.
  void Wait(UINT milliseconds, std::function<bool()> done, std::function<void(bool)> finish) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    auto poll = std::make_shared<std::function<void()>>();
    *poll = [this, deadline, done, finish, poll] {
      const bool ok = done();
      if (ok || GetTickCount64() >= deadline) {
        finish(!ok);
        Later([this] { NextStep(); });
        return;
      }
      After(10, [poll] { (*poll)(); });
    };
    (*poll)();
  }

  rapidjson::Value StepRecord(const rapidjson::Value& step) {
    rapidjson::Value entry(rapidjson::kObjectType);
    TRecord::Get().Edit([&](auto&, auto& alloc) {
      entry.AddMember("index", FStep, alloc);
      entry.AddMember("step", rapidjson::Value(step, alloc), alloc);
    });
    return entry;
  }

  void Finish(rapidjson::Value entry) {
    TRecord::Get().Append("steps", std::move(entry));
    TRecord::Get().Save();
  }

  void NextStep() {
    ++FStep;
    if (!FSteps) {
      // No script for this page: it closes its window once loaded.
      FSteps = nullptr;
      if (FStep == 0) CloseWindow();
      return;
    }
    if (FStep >= static_cast<int>(FSteps->Size())) {
      TRecord::Get().Set("scriptFinished", rapidjson::Value(true));
      TRecord::Get().Save();
      return;
    }
    RunStep((*FSteps)[static_cast<rapidjson::SizeType>(FStep)]);
  }

  void CloseWindow() { PostMessageW(GetAncestor(FHost, GA_ROOT), WM_CLOSE, 0, 0); }

  void RunStep(const rapidjson::Value& step) {
    TRecord& record = TRecord::Get();
    auto entry = std::make_shared<rapidjson::Value>(StepRecord(step));
    const auto wait = [&step](UINT fallback) {
      return step.HasMember("waitMs") && step["waitMs"].IsUint() ? step["waitMs"].GetUint()
                                                                 : fallback;
    };
    if (step.HasMember("post") || step.HasMember("postText")) {
      const bool raw = step.HasMember("postText");
      const rapidjson::Value& message = raw ? step["postText"] : step["post"];
      const std::string json = raw && message.IsString() ? message.GetString() : Serialize(message);
      FWaitUuid.clear();
      if (message.IsObject() && message.HasMember("uuid") && message["uuid"].IsString())
        FWaitUuid = message["uuid"].GetString();
      FWaitDone = false;
      if (step.HasMember("answer") && step["answer"].IsObject()) {
        const rapidjson::Value& answer = step["answer"];
        TDialogAnswer person;
        person.Title = Widen(answer.HasMember("title") && answer["title"].IsString()
                                 ? answer["title"].GetString()
                                 : "");
        person.Button =
            answer.HasMember("button") && answer["button"] == "cancel" ? IDCANCEL : IDOK;
        if (const UINT_PTR timer = SetTimer(nullptr, 0, 100, &AnswerDialog))
          GAnswers[timer] = person;
      }
      Post(json);
      Wait(
          wait(5000), [this] { return FWaitDone; },
          [this, entry](bool timedOut) {
            TRecord::Get().Edit([&](auto&, auto& alloc) {
              entry->AddMember("answered", !timedOut && !FWaitUuid.empty(), alloc);
            });
            Finish(std::move(*entry));
          });
      return;
    }
    if (step.HasMember("fetch") && step["fetch"].IsString()) {
      rapidjson::Value response = Request(step["fetch"].GetString(), nullptr, &step);
      record.Edit([&](auto&, auto& alloc) { entry->AddMember("response", response, alloc); });
      Finish(std::move(*entry));
      return Later([this] { NextStep(); });
    }
    if (step.HasMember("newWindow") && step["newWindow"].IsString()) {
      const bool handled = FEvents.BrowserNewWindowRequested(step["newWindow"].GetString(), FUri);
      record.Edit([&](auto&, auto& alloc) { entry->AddMember("handled", handled, alloc); });
      Finish(std::move(*entry));
      return Later([this] { NextStep(); });
    }
    if (step.HasMember("permission") && step["permission"].IsString()) {
      const platform::TPermissionDecision decision =
          FEvents.BrowserPermissionRequested(FUri, PermissionKind(step["permission"].GetString()));
      const char* state = decision.State == platform::TPermissionState::Allow  ? "allow"
                          : decision.State == platform::TPermissionState::Deny ? "deny"
                                                                               : "ask";
      record.Edit([&](auto&, auto& alloc) {
        entry->AddMember("state", rapidjson::StringRef(state), alloc);
      });
      Finish(std::move(*entry));
      return Later([this] { NextStep(); });
    }
    if (step.HasMember("spawn") && step["spawn"].IsObject()) return Spawn(step["spawn"], entry);
    if (step.HasMember("moveWindow") && step["moveWindow"].IsArray() &&
        step["moveWindow"].Size() == 2) {
      SetWindowPos(GetAncestor(FHost, GA_ROOT), nullptr, step["moveWindow"][0].GetInt(),
                   step["moveWindow"][1].GetInt(), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      Finish(std::move(*entry));
      return Later([this] { NextStep(); });
    }
    if (step.HasMember("awaitScript") && step["awaitScript"].IsString()) {
      const std::string prefix = step["awaitScript"].GetString();
      const UINT waitMs =
          step.HasMember("waitMs") && step["waitMs"].IsUint() ? step["waitMs"].GetUint() : 10000;
      return Wait(
          waitMs,
          [this, prefix] {
            return std::any_of(FExecuted.begin(), FExecuted.end(),
                               [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
          },
          [this, entry](bool timedOut) {
            TRecord::Get().Edit(
                [&](auto&, auto& alloc) { entry->AddMember("seen", !timedOut, alloc); });
            Finish(std::move(*entry));
          });
    }
    if (step.HasMember("sleepMs") && step["sleepMs"].IsUint()) {
      return Wait(
          step["sleepMs"].GetUint(), [] { return false; },
          [this, entry](bool) { Finish(std::move(*entry)); });
    }
    if (step.HasMember("pageCloseQuery") && step["pageCloseQuery"].IsString()) {
      FCloseQuery = step["pageCloseQuery"].GetString();
      Finish(std::move(*entry));
      return Later([this] { NextStep(); });
    }
    if (step.HasMember("closeWindow")) {
      Finish(std::move(*entry));
      CloseWindow();
      return Later([this] { NextStep(); });
    }
    if (IsProbeStep(step)) {
      return RunProbe(
          step, GetAncestor(FHost, GA_ROOT),
          [this](UINT milliseconds, std::function<void()> task) { After(milliseconds, task); },
          [this, entry](rapidjson::Document result) {
            TRecord::Get().Edit([&](auto&, auto& alloc) {
              entry->AddMember("probe", rapidjson::Value(result, alloc), alloc);
            });
            Finish(std::move(*entry));
            Later([this] { NextStep(); });
          });
    }
    record.Edit([&](auto&, auto& alloc) { entry->AddMember("unknown", true, alloc); });
    Finish(std::move(*entry));
    Later([this] { NextStep(); });
  }

  // Starts this executable again, with the arguments and environment of the step, and waits
  // for it to end.
  void Spawn(const rapidjson::Value& spawn, std::shared_ptr<rapidjson::Value> entry) {
    wchar_t exe[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)));
    std::string line = Quoted(exe);
    if (spawn.HasMember("args") && spawn["args"].IsArray()) {
      for (const auto& argument : spawn["args"].GetArray())
        if (argument.IsString()) line += " " + Quoted(Widen(argument.GetString()));
    }
    // The child inherits this process's environment with the step's changes.
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved;
    if (spawn.HasMember("env") && spawn["env"].IsObject()) {
      for (const auto& variable : spawn["env"].GetObject()) {
        const std::wstring name = Widen(variable.name.GetString());
        wchar_t old[32768];
        const DWORD length = GetEnvironmentVariableW(name.c_str(), old, 32768);
        saved.emplace_back(name, length ? std::optional<std::wstring>(old) : std::nullopt);
        SetEnvironmentVariableW(name.c_str(), variable.value.IsString()
                                                  ? Widen(variable.value.GetString()).c_str()
                                                  : nullptr);
      }
    }
    std::wstring command = Widen(line);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        nullptr, &startup, &process) != FALSE;
    for (const auto& [name, value] : saved)
      SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
    if (!started) {
      TRecord::Get().Edit([&](auto&, auto& alloc) { entry->AddMember("started", false, alloc); });
      Finish(std::move(*entry));
      return Later([this] { NextStep(); });
    }
    CloseHandle(process.hThread);
    const HANDLE child = process.hProcess;
    const UINT waitMs =
        spawn.HasMember("waitMs") && spawn["waitMs"].IsUint() ? spawn["waitMs"].GetUint() : 20000;
    Wait(
        waitMs, [child] { return WaitForSingleObject(child, 0) == WAIT_OBJECT_0; },
        [this, child, entry, pid = process.dwProcessId](bool timedOut) {
          DWORD code = 0;
          if (timedOut) {
            TerminateProcess(child, 98);
          } else {
            GetExitCodeProcess(child, &code);
          }
          CloseHandle(child);
          TRecord::Get().Edit([&](auto&, auto& alloc) {
            entry->AddMember("started", true, alloc);
            entry->AddMember("pid", static_cast<std::uint64_t>(pid), alloc);
            entry->AddMember("stillRunning", timedOut, alloc);
            entry->AddMember("exitCode", static_cast<std::uint64_t>(code), alloc);
          });
          Finish(std::move(*entry));
        });
  }

  TStandInWebViews& FOwner;
  HWND FHost;
  platform::IWebViewEvents& FEvents;
  std::shared_ptr<bool> FAlive;
  std::string FUri;      // the page as the core knows it: "file:" for the application's
  std::string FPageUri;  // the page's own address, at the application origin
  std::string FOwnNavigation;
  std::string FTitle;
  std::string FStartPage;
  double FZoom = 1.0;
  const rapidjson::Value* FSteps = nullptr;
  int FStep = -1;
  std::string FWaitUuid;
  bool FWaitDone = false;
  std::string FCloseQuery = "close";
  std::vector<std::string> FExecuted;  // every script the runtime executed in this page
  int FCloseCalls = 0;
};

// ---------------------------------------------------------------------------------------------
// Loader and factory

TStandInWebViews::TStandInWebViews() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &TStandInWebViews::DriverProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kDriverClass;
  RegisterClassExW(&windowClass);
  FDriver = CreateWindowExW(0, kDriverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance,
                            nullptr);
  SetWindowLongPtrW(FDriver, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

TStandInWebViews::~TStandInWebViews() {
  if (FDriver) {
    SetWindowLongPtrW(FDriver, GWLP_USERDATA, 0);
    DestroyWindow(FDriver);
  }
}

bool TStandInWebViews::CheckEdgeIsInstalled(const std::string& loaderLibraryPath) {
  TRecord& record = TRecord::Get();
  const DWORD attributes = GetFileAttributesW(Widen(loaderLibraryPath).c_str());
  rapidjson::Value library(rapidjson::kObjectType);
  rapidjson::Value path = record.Text(loaderLibraryPath);
  record.Edit([&](auto&, auto& alloc) {
    library.AddMember("path", path, alloc);
    library.AddMember("exists", attributes != INVALID_FILE_ATTRIBUTES, alloc);
  });
  record.Set("loaderLibrary", std::move(library));
  // A process may play a machine without the web view runtime (a spawn step's environment).
  return GetEnvironmentVariableW(L"VELLOC_STANDIN_NO_RUNTIME", nullptr, 0) == 0;
}

void TStandInWebViews::StartWebView2(const std::string&) {
  FStarted = GetTickCount64();
}

bool TStandInWebViews::Initialized() const {
  return FStarted && GetTickCount64() - *FStarted >= kEnvironmentDelayMs;
}

std::unique_ptr<platform::IWebView> TStandInWebViews::CreateWebView(
    HWND host, platform::IWebViewEvents& events) {
  auto view = std::make_unique<TStandInWebView>(*this, host, events);
  FView = view.get();
  TRecord::Get().Set("webViewCreated", rapidjson::Value(true));
  // WebView2 makes its controller later; the view exists at once.
  Later([this, created = view.get()] {
    if (FView == created) created->Created();
  });
  return view;
}

void TStandInWebViews::FitWebView(platform::IWebView&, const RECT& client) {
  rapidjson::Value bounds(rapidjson::kArrayType);
  TRecord::Get().Edit([&](auto&, auto& alloc) {
    bounds.PushBack(static_cast<int>(client.right - client.left), alloc)
        .PushBack(static_cast<int>(client.bottom - client.top), alloc);
  });
  TRecord::Get().Set("bounds", std::move(bounds));
}

void TStandInWebViews::ParentWindowMoved(platform::IWebView&) {
  TRecord::Get().Edit([&](rapidjson::Document& doc, auto& alloc) {
    if (!doc.HasMember("parentMoved")) doc.AddMember("parentMoved", 0, alloc);
    doc["parentMoved"].SetInt(doc["parentMoved"].GetInt() + 1);
  });
}

void TStandInWebViews::Forget(TStandInWebView* view) {
  if (FView == view) FView = nullptr;
}

void TStandInWebViews::Later(std::function<void()> task) {
  FTasks.push_back(std::move(task));
  PostMessageW(FDriver, kRunTasks, 0, 0);
}

void TStandInWebViews::After(UINT milliseconds, std::function<void()> task) {
  const UINT_PTR id = FNextTimer++;
  FTimers[id] = std::move(task);
  SetTimer(FDriver, id, milliseconds, nullptr);
}

LRESULT CALLBACK TStandInWebViews::DriverProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  auto* self = reinterpret_cast<TStandInWebViews*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  if (message == kRunTasks) {
    std::vector<std::function<void()>> tasks;
    tasks.swap(self->FTasks);
    for (auto& task : tasks)
      Guarded(task);
    return 0;
  }
  if (message == WM_TIMER) {
    KillTimer(window, wParam);
    const auto found = self->FTimers.find(wParam);
    if (found == self->FTimers.end()) return 0;
    std::function<void()> task = std::move(found->second);
    self->FTimers.erase(found);
    Guarded(task);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace velloc::test::standin
