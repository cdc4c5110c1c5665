// Window (family 60) functions; those not built yet answer "Not supported".
#include "bridge/handlers/Handlers.h"

namespace velloc::bridge::handlers {

// 60001 vlx.window.getStyle
void WindowGetStyle(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60002 vlx.window.setStyle
void WindowSetStyle(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60003 vlx.window.getState
void WindowGetState(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60004 vlx.window.setState
void WindowSetState(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60005 vlx.window.getTitle
void WindowGetTitle(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60006 vlx.window.setTitle
void WindowSetTitle(TBrowserExternalModule& module, const std::string& uuid,
                    const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60007 vlx.window.getZoom
void WindowGetZoom(TBrowserExternalModule& module, const std::string& uuid,
                   const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60008 vlx.window.setZoom
void WindowSetZoom(TBrowserExternalModule& module, const std::string& uuid,
                   const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60009 vlx.window.getSize
void WindowGetSize(TBrowserExternalModule& module, const std::string& uuid,
                   const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60010 vlx.window.setSize
void WindowSetSize(TBrowserExternalModule& module, const std::string& uuid,
                   const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60011 vlx.window.getBorder
void WindowGetBorder(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

// 60012 vlx.window.setBorder
void WindowSetBorder(TBrowserExternalModule& module, const std::string& uuid,
                     const TJsonValue& /*data*/) {
  ReplyNotSupported(module, uuid);
}

}  // namespace velloc::bridge::handlers
