// No C++ exception may unwind through GLib, GTK or WebKit frames: a callback's body runs inside
// Guarded, which reports an escaping error on standard error and hands the C side a neutral
// answer (FALSE, null, nothing) instead.
#pragma once

#include <cstdio>
#include <exception>
#include <type_traits>
#include <utility>

namespace velloc::glib {

inline void ReportCallbackError(const char* where, const char* what) noexcept {
  std::fprintf(stderr, "velloc: error in %s: %s\n", where, what);
}

template <typename F>
auto Guarded(const char* where, F&& body) noexcept -> std::invoke_result_t<F> {
  using R = std::invoke_result_t<F>;
  try {
    return std::forward<F>(body)();
  } catch (const std::exception& error) {
    ReportCallbackError(where, error.what());
  } catch (...) {
    ReportCallbackError(where, "unknown error");
  }
  if constexpr (!std::is_void_v<R>) return R{};
}

}  // namespace velloc::glib
