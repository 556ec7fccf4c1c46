#include "run/patching_flag.h"

#include "foundation/registry.h"

namespace BramPatch {
namespace {

constexpr const char* PRODUCT_REGISTRY_KEY = "Software\\Omvel\\Products\\KestroSimulator";
constexpr const char* PATCHING_VALUE = "IsPatching";

}  // namespace

bool SetPatchingFlag() {
  RegistryKey key;
  if (RegistryKey::LocalMachine().OpenKey(PRODUCT_REGISTRY_KEY, REGISTRY_ACCESS_WRITE, &key) !=
      REGISTRY_OK) {
    return false;
  }
  return key.SetDwordValue(PATCHING_VALUE, 1) == REGISTRY_OK;
}

bool ClearPatchingFlag() {
  RegistryKey key;
  if (RegistryKey::LocalMachine().OpenKey(PRODUCT_REGISTRY_KEY, REGISTRY_ACCESS_WRITE, &key) !=
      REGISTRY_OK) {
    return false;
  }
  return key.DeleteValue(PATCHING_VALUE) == REGISTRY_OK;
}

}  // namespace BramPatch
