#pragma once

#include <string>

namespace carvex::com {

// Where the entries go: the machine's classes (HKEY_CLASSES_ROOT, and the approval under
// HKEY_LOCAL_MACHINE), or the user's own classes (HKEY_CURRENT_USER\Software\Classes), which a
// user without administrator rights may write.
enum class RegistrationScope { kMachine, kUser };

// Writes every registry entry of the COM server, in order, or removes those that registration
// owns. `libraryPath` is what InprocServer32 names. Registering throws RuntimeError at the
// first entry that cannot be written; unregistering passes over keys it cannot delete.
void RegisterServerEntries(bool registering, RegistrationScope scope, const std::string& libraryPath);

}  // namespace carvex::com
