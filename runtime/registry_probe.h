// The registry write-access probe run before the installer starts.
#pragma once

namespace runtime {

// Writes and removes the value and the subkey "quelta_qti_tmp" below
// HKEY_LOCAL_MACHINE\Software. 1 when opening the key, setting the value and
// creating the subkey succeeded, else 0; failed removals are not reported.
// Shows nothing.
int ProbeRegistryWrite();

}  // namespace runtime
