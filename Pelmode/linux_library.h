// Finding a shared library's functions at run time, for the libraries that
// only some paths need.
#pragma once

#include <dlfcn.h>

namespace pelmode {

// Null when missing. Lazily bound: binding every symbol of a library and its
// dependencies up front took half of an X11 run's own work.
inline void* OpenLibrary(const char* soname) { return dlopen(soname, RTLD_LAZY | RTLD_LOCAL); }

// Sets `entry` to the library's symbol of that name; false when missing.
template <typename Entry>
bool FindSymbol(void* library, const char* name, Entry* entry) {
  *entry = reinterpret_cast<Entry>(dlsym(library, name));
  return *entry != nullptr;
}

}  // namespace pelmode
