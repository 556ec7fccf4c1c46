#include "foundation/ascii_case.h"
#include "foundation/registry.h"
#include "run/install_locator.h"

namespace BramPatch {
namespace {

// Subkey names are read into 260 characters, values into 260 bytes: a value
// of more than 129 UTF-16 characters is not read and counts as empty.
constexpr std::size_t REGISTRATION_NAME_CHARS = 260;
constexpr std::size_t REGISTRATION_VALUE_BYTES = 260;

}  // namespace

std::string FindInstallPath(const std::string& productKey, const std::string& productClass) {
  const RegistryKey machine = RegistryKey::LocalMachine();
  RegistryKey products;
  if (machine.OpenKey("SOFTWARE\\Omvel\\Products\\", REGISTRY_ACCESS_READ, &products) !=
      REGISTRY_OK) {
    return std::string();
  }
  // Reading is all this needs: asking for more would fail for every user who
  // may not change the registry, before the elevated relaunch.
  RegistryKey product;
  if (products.OpenKey(productKey, REGISTRY_ACCESS_READ, &product) != REGISTRY_OK) {
    return std::string();
  }
  std::string answer;
  for (std::uint32_t index = 0;; ++index) {
    std::string name;
    if (product.EnumerateSubkey(index, REGISTRATION_NAME_CHARS, &name) != REGISTRY_OK) break;
    RegistryKey registration;
    if (product.OpenKey(name, REGISTRY_ACCESS_QUERY, &registration) != REGISTRY_OK) continue;
    std::string value;
    registration.QueryStringValue("ProductClass", REGISTRATION_VALUE_BYTES, &value);
    if (productClass.empty() || EqualsNoCase(value, productClass)) {
      value.clear();
      registration.QueryStringValue("ProductInstallPath", REGISTRATION_VALUE_BYTES, &value);
      if (!value.empty()) answer = value;
    }
  }
  return answer;
}

}  // namespace BramPatch
