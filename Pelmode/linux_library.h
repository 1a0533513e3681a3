// Finding a shared library's functions at run time, for the libraries that
// only some paths need.
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
