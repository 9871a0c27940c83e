// What the two implementations of os_layer.h share; included by them only.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace unzip {

// Length of the prefix that two component lists share, up to `count`.
size_t SharedPrefix(const std::vector<std::string>& cached, const std::vector<std::string>& parts,
                    size_t count);

}  // namespace unzip
