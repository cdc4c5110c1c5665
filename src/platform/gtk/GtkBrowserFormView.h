// The browser form on GTK: the web view's host box above a 4 px progress bar.
#pragma once

#include <functional>
#include <memory>

#include <gtk/gtk.h>

#include "platform/BrowserFormView.h"
#include "platform/gtk/WebKitLoader.h"
#include "platform/webkit/ModuleApi.h"

namespace velloc::platform::gtk {

class TGtkBrowserFormView final : public IBrowserFormView {
 public:
  TGtkBrowserFormView(GtkWidget* parent, TWebKitLoader& loader);
  TGtkBrowserFormView(const TGtkBrowserFormView&) = delete;
  TGtkBrowserFormView& operator=(const TGtkBrowserFormView&) = delete;
  ~TGtkBrowserFormView() override;

  bool CreateBrowser(IWebViewEvents& events) override;
  IWebView* Browser() const override { return FBrowser.get(); }
  void DestroyBrowser() override;
  void SetProgressBarVisible(bool visible) override;
  bool ProgressBarVisible() const override;
  void SetTimer(bool enabled, int intervalMs, std::function<void()> onTick) override;
  bool BrowserWindowCanFocus() const override;
  void FocusBrowserWindow() override;
  void FillBrowserWindow() override {}  // the host box always gives the web view all its room
  void ShowMessage(const std::string& text) override;
  void ShowPageQuestion(const TPageQuestion& question,
                        std::function<void(bool reload)> answered) override;
  void ClosePageQuestion() override;

 private:
  static void OnQuestionResponse(GtkDialog* dialog, gint response, gpointer self);
  static void OnQuestionDestroyed(GtkWidget* dialog, gpointer self);

  TWebKitLoader& FLoader;
  GtkWidget* FBox = nullptr;
  GtkWidget* FHost = nullptr;
  GtkWidget* FProgressBar = nullptr;
  std::unique_ptr<webkit::IGtkWebView> FBrowser;
  guint FTimer = 0;
  guint FPulse = 0;
  std::function<void()> FOnTick;
  GtkWidget* FQuestion = nullptr;
  std::function<void(bool)> FAnswered;
};

}  // namespace velloc::platform::gtk
