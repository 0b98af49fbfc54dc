// One finished package record, owned as a byte buffer.
#pragma once

#include <cstdint>
#include <memory>

class cBP_COMPONENT_WRAPPER {
 public:
  // Allocates size bytes, left uninitialised: the creator fills all of them.
  explicit cBP_COMPONENT_WRAPPER(std::uint32_t size) : data(new unsigned char[size]), size(size) {}
  virtual ~cBP_COMPONENT_WRAPPER() = default;
  cBP_COMPONENT_WRAPPER(const cBP_COMPONENT_WRAPPER&) = delete;
  cBP_COMPONENT_WRAPPER& operator=(const cBP_COMPONENT_WRAPPER&) = delete;

  // The record bytes.
  std::unique_ptr<unsigned char[]> data;
  // Number of bytes in data; equals the record size stored in its first four bytes.
  std::uint32_t size;
};
