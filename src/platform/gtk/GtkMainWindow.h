// The main window on GTK: a top-level window whose content is the browser form.
#pragma once

#include <string>

#include <gtk/gtk.h>

#include "platform/Window.h"
#include "platform/gtk/GtkRoundedCorners.h"

namespace velloc::platform::gtk {

class TGtkMainWindow final : public IMainWindow {
 public:
  TGtkMainWindow();
  TGtkMainWindow(const TGtkMainWindow&) = delete;
  TGtkMainWindow& operator=(const TGtkMainWindow&) = delete;
  ~TGtkMainWindow() override;

  void SetEvents(IMainWindowEvents* events) { FEvents = events; }
  // The box the browser form fills.
  GtkWidget* ContentBox() const { return FContent; }
  GtkWindow* Window() const { return GTK_WINDOW(FWindow); }

  void SetCaption(const std::string& caption) override;
  std::string Caption() const override;
  void SetApplicationTitle(const std::string& title) override;
  void SetBounds(const TRect& bounds) override;
  TRect Bounds() const override;
  void SetSizeConstraints(const TSizeConstraints& requested) override;
  void SetInitialPlacement(bool centred) override;
  void SetBorderStyle(TBorderStyle style) override;
  TBorderStyle BorderStyle() const override { return FBorder; }
  void SetWindowState(TWindowState state) override;
  TWindowState WindowState() const override { return FState; }
  void SetTopmost(bool topmost) override;
  bool Topmost() const override { return FTopmost; }
  void Show() override;
  void Hide() override;
  void BringToFront() override;
  bool Visible() const override;
  void Close() override;

 private:
  struct TFrame {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;  // the window manager's frame around the content
  };
  TFrame FrameExtents() const;
  void ApplyBorder();
  void ApplyFunctions();
  void ApplyGeometryHints();
  void KeepWithinLimits();
  void ApplySize();
  void RunCloseQuery();
  void SettlePendingSize();
  void ApplyPendingMove();

  static gboolean OnDeleteEvent(GtkWidget* widget, GdkEvent* event, TGtkMainWindow* self);
  static gboolean OnWindowStateEvent(GtkWidget* widget, GdkEventWindowState* event,
                                     TGtkMainWindow* self);
  static gboolean OnMapEvent(GtkWidget* widget, GdkEvent* event, TGtkMainWindow* self);
  static gboolean OnConfigureEvent(GtkWidget* widget, GdkEventConfigure* event,
                                   TGtkMainWindow* self);
  static gboolean OnPropertyNotify(GtkWidget* widget, GdkEventProperty* event,
                                   TGtkMainWindow* self);
  static void OnDestroy(GtkWidget* widget, TGtkMainWindow* self);

  GtkWidget* FWindow = nullptr;
  GtkWidget* FContent = nullptr;
  TGtkRoundedCorners FCorners{FWindow};  // after FWindow: it watches that window
  IMainWindowEvents* FEvents = nullptr;
  TRect FBounds{50, 50, 800, 600};  // the outer rectangle in the normal state
  TSizeConstraints FLimits;
  TBorderStyle FBorder = TBorderStyle::Sizeable;
  TWindowState FState = TWindowState::Normal;
  bool FTopmost = false;
  bool FSizePending = true;    // the outer size waits for the frame's extents
  bool FStatePending = false;  // a state change is asked for and not yet confirmed
  bool FMovePending = false;   // a move waits for the window manager to answer a resize
  bool FClosed = false;
  guint FCloseIdle = 0;
};

}  // namespace velloc::platform::gtk
