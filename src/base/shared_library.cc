#include "base/shared_library.h"

#include <dlfcn.h>

namespace vantu::branding_package {

SharedLibrary::SharedLibrary(const char* soname) : handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    problem_ = reason != nullptr ? reason : std::string("cannot load ") + soname;
  }
}

void* SharedLibrary::Symbol(const char* symbol) const {
  return handle_ == nullptr ? nullptr : dlsym(handle_, symbol);
}

void SharedLibrary::Missing(const char* symbol) {
  if (problem_.empty()) problem_ = std::string("no symbol ") + symbol + " in the library";
}

}  // namespace vantu::branding_package
