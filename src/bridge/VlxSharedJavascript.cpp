#include "bridge/VlxSharedJavascript.h"

namespace velloc::embedded {
extern const std::string_view VlxSharedJavascriptText;  // js/vlx_shared.js, embedded at build time
}

namespace velloc::bridge {

std::string_view VlxSharedJavascript() {
  return embedded::VlxSharedJavascriptText;
}

}  // namespace velloc::bridge
