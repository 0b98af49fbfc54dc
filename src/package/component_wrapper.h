// One finished package record, owned as a byte buffer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>

class cBP_COMPONENT_WRAPPER {
 public:
  // Allocates size bytes, left uninitialised: the creator fills all of them. Throws
  // std::bad_alloc when the memory cannot be had.
  explicit cBP_COMPONENT_WRAPPER(std::uint32_t size);
  virtual ~cBP_COMPONENT_WRAPPER() = default;
  cBP_COMPONENT_WRAPPER(const cBP_COMPONENT_WRAPPER&) = delete;
  cBP_COMPONENT_WRAPPER& operator=(const cBP_COMPONENT_WRAPPER&) = delete;

  // Releases a buffer from the wrapper's allocator.
  struct Release {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
  };

  // The record bytes.
  std::unique_ptr<unsigned char[], Release> data;
  // Number of bytes in data; equals the record size stored in its first four bytes.
  std::uint32_t size;
};
