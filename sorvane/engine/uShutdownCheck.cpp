#include "sorvane/engine/uShutdownCheck.h"

#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>

namespace sorvane {

void TShutdownCheck::ShuttingDown(const std::type_info& current) {
  if (Done) return;
  Done = true;
  if (Leaf && *Leaf != current) Fail(Leaf->name());
}

void TShutdownCheck::Verify() const {
  if (!Done) Fail(Leaf ? Leaf->name() : nullptr);
}

// The program ends here, so the demangled name is never freed.
void TShutdownCheck::Fail(const char* leafName) const {
  int status = 0;
  const char* readable = leafName ? abi::__cxa_demangle(leafName, nullptr, nullptr, &status) : nullptr;
  const char* leaf = readable ? readable : leafName ? leafName : "a class derived from it";
  std::fprintf(stderr,
               "%s: the destructor of %s did not call Shutdown() first; the device thread could "
               "still be running in the object being destroyed.\n",
               Base, leaf);
  std::fflush(stderr);
  std::abort();
}

} // namespace sorvane
