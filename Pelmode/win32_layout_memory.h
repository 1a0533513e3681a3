// Where the Windows display keeps the layout of Pelmode's last change: a
// file of the user's own, %LOCALAPPDATA%\Pelmode\layout (else in the
// temporary folder), kept until it is removed.
#pragma once

#include <memory>

#include "backend.h"

namespace pelmode {

// Reads the memory when made; a folder that cannot be found keeps none.
std::unique_ptr<MemoryStore> OpenWin32LayoutMemory();

}  // namespace pelmode
