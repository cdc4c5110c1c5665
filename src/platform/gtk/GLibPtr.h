// Move-only owners for GLib handles, so every reference taken is released exactly once.
#pragma once

#include <utility>

#include <glib-object.h>

namespace velloc::glib {

// Owns one reference of a GObject.
template <typename T>
class TObjectPtr {
 public:
  TObjectPtr() = default;
  // Adopts a reference the caller already owns (a "transfer full" return value).
  explicit TObjectPtr(T* adopted) : FPtr(adopted) {}
  TObjectPtr(const TObjectPtr&) = delete;
  TObjectPtr& operator=(const TObjectPtr&) = delete;
  TObjectPtr(TObjectPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
  TObjectPtr& operator=(TObjectPtr&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.FPtr, nullptr));
    return *this;
  }
  ~TObjectPtr() { Reset(); }

  // Takes a new reference to an object owned elsewhere ("transfer none").
  static TObjectPtr Ref(T* borrowed) {
    if (borrowed) g_object_ref(borrowed);
    return TObjectPtr(borrowed);
  }

  void Reset(T* adopted = nullptr) {
    if (FPtr) g_object_unref(FPtr);
    FPtr = adopted;
  }
  T* Get() const { return FPtr; }
  T* Release() { return std::exchange(FPtr, nullptr); }
  explicit operator bool() const { return FPtr != nullptr; }

 private:
  T* FPtr = nullptr;
};

// Owns a GError.
class TError {
 public:
  TError() = default;
  TError(const TError&) = delete;
  TError& operator=(const TError&) = delete;
  ~TError() {
    if (FError) g_error_free(FError);
  }
  GError** Out() { return &FError; }
  explicit operator bool() const { return FError != nullptr; }
  const char* Message() const { return FError ? FError->message : ""; }

 private:
  GError* FError = nullptr;
};

// Owns memory from g_malloc (g_strdup, g_file_get_contents, ...).
template <typename T = char>
class TGFree {
 public:
  TGFree() = default;
  explicit TGFree(T* adopted) : FPtr(adopted) {}
  TGFree(const TGFree&) = delete;
  TGFree& operator=(const TGFree&) = delete;
  ~TGFree() { g_free(FPtr); }
  T** Out() { return &FPtr; }
  T* Get() const { return FPtr; }

 private:
  T* FPtr = nullptr;
};

}  // namespace velloc::glib
