// The place of the Linux build's file-backed registry store.
#pragma once

#include <string>

namespace platform {

// $QEL_REGISTRY_ROOT where this process may take it, else /etc/quelta/registry.
std::string RegistryStoreRoot();

}  // namespace platform
