// The product inventory the registry names, and the actions log's fixed
// directory that follows from it.
#pragma once

#include <string>

namespace runtime {

// The inventory location from "inst_loc" under SOFTWARE\QUELTA in the 64-bit
// view of the registry (or, when that key cannot be opened, under
// SOFTWARE\WOW6432NODE\QUELTA); "" when absent, longer than 1024 bytes or not
// text.
std::string ReadInventoryLocation();

// The actions log's fixed directory: <logBase>/logs when the run has a log
// base (-PREREQLOGLOC, or the prerequisite checker's temp root), else
// <inventory>/logs; "" when neither exists (the log then goes into the
// scratch directory).
std::string FixedLogDir(const std::string& logBase);

}  // namespace runtime
