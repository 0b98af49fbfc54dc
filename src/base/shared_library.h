// A library opened when first needed, not at start-up: loading libraries a command does not use
// costs more than a typical build.
#pragma once

#include <string>

namespace vantu::branding_package {

class SharedLibrary {
 public:
  // Opens the library by its soname; never closed, since the functions found outlive callers.
  explicit SharedLibrary(const char* soname);

  // Sets function to the library's symbol; a missing one leaves the library incomplete.
  template <class F>
  void Find(const char* symbol, F& function) {
    function = reinterpret_cast<F>(Symbol(symbol));
    if (function == nullptr) Missing(symbol);
  }

  // Whether the library was opened and every symbol asked for was found.
  bool Complete() const { return problem_.empty(); }
  // Why it is not complete: the loader's message.
  const std::string& Problem() const { return problem_; }

 private:
  void* Symbol(const char* symbol) const;
  void Missing(const char* symbol);

  void* handle_ = nullptr;
  std::string problem_;
};

}  // namespace vantu::branding_package
