#include "archive/PackagePassword.h"

#include "archive/Calculations.h"

namespace velloc::archive {

namespace {

constexpr std::string_view kEncodedText = "v_OqF_4:52JqO_6pfzidzZ9FyA";
constexpr std::string_view kKey = "CXDPZXMRFDCBVKZQZASEO";

}  // namespace

PackagePasswordInputs StoredPackagePasswordInputs() {
  return {kEncodedText, kKey};
}

std::string PackagePassword() {
  return CalculateWidth(kEncodedText, kKey);
}

}  // namespace velloc::archive
