#include "package/component_wrapper.h"

#include <sys/mman.h>

#include <new>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Large records (whole images) go on huge pages where the system offers them: filling
// them then costs a few hundred page faults instead of tens of thousands.
unsigned char* Allocate(std::uint32_t size) {
  void* bytes = nullptr;
  if (size < kHugePage) {
    bytes = std::malloc(size == 0 ? 1 : size);
  } else {
    // Only whole huge pages: a partly used one at the end would be resident in full.
    if (posix_memalign(&bytes, kHugePage, size) != 0) bytes = nullptr;
    if (bytes != nullptr) madvise(bytes, size & ~(kHugePage - 1), MADV_HUGEPAGE);
  }
  if (bytes == nullptr) throw std::bad_alloc();
  return static_cast<unsigned char*>(bytes);
}

}  // namespace

cBP_COMPONENT_WRAPPER::cBP_COMPONENT_WRAPPER(std::uint32_t size)
    : data(Allocate(size)), size(size) {}
