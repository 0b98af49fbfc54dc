// The one error type of a build: a negative code and a message.
#pragma once

#include <stdexcept>
#include <string>

// Error codes; the code is also the process exit status.
enum cBP_ERROR_CODE : int {
  BP_ERR_LAYOUT_UNREADABLE = -502,  // the layout file cannot be read
  BP_ERR_MALFORMED = -503,          // layout not well-formed, or image neither PNG nor JPEG
  BP_ERR_FILE = -504,               // a file cannot be opened, read or written
  BP_ERR_REFERENCES = -505,         // layout references and given images differ
  BP_ERR_LAYOUT_RULE = -506,        // the layout breaks a content rule
};

// Thrown by every build stage; caught by the packager's driver, which reports it, and where
// the companion reads or writes as the packager does (an image's record, the writer), which
// says it in its own terms: a finding, or a failed build.
class cBP_EXCEPTION : public std::runtime_error {
 public:
  // Stores the code and a copy of the message.
  cBP_EXCEPTION(int code, const std::string& message) : std::runtime_error(message), code(code) {}

  // One of the cBP_ERROR_CODE values.
  int code;
};

// The output named is one of the run's inputs: nothing was written. The packager reports it as
// any file error; the companion refuses it with a status of its own.
class cBP_OUTPUT_IS_INPUT : public cBP_EXCEPTION {
 public:
  using cBP_EXCEPTION::cBP_EXCEPTION;
};
