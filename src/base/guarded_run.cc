#include "base/guarded_run.h"

#include <exception>
#include <iostream>
#include <new>

namespace vantu::branding_package {

int RunGuarded(const std::function<int()>& run) {
  try {
    const int status = run();
    // A schema, hash, help text or report that never arrived is no success, nor any verdict.
    if (!std::cout.flush()) {
      std::cerr << "Fatal error: unable to write standard output" << std::endl;
      return kFatalExitStatus;
    }
    return status;
  } catch (const std::bad_alloc&) {
    std::cerr << "Fatal error: out of memory" << std::endl;
  } catch (const std::exception& e) {
    std::cerr << "Fatal error: " << e.what() << std::endl;
  }
  return kFatalExitStatus;
}

}  // namespace vantu::branding_package
