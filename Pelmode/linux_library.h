// Finding a shared library's functions at run time, for the libraries that
// only some paths need. They are opened RTLD_LAZY: binding every symbol of a
// library and its dependencies up front took half of an X11 run's own work.
#pragma once

#include <dlfcn.h>

namespace pelmode {

// Sets `entry` to the library's symbol of that name; false when missing.
template <typename Entry>
bool FindSymbol(void* library, const char* name, Entry* entry) {
  *entry = reinterpret_cast<Entry>(dlsym(library, name));
  return *entry != nullptr;
}

}  // namespace pelmode
