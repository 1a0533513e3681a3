// Allocation that ends the program when memory runs out instead of throwing:
// the Windows build has no exceptions, and the library's throwing operator
// new would bring its whole exception machinery into the executable.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  std::abort();
}

void operator delete(void* memory) noexcept { std::free(memory); }

void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
