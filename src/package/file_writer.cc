#include "package/file_writer.h"

#include <utility>

cBP_FILE_WRITER::cBP_FILE_WRITER(std::string outputPath) : outputPath(std::move(outputPath)) {}

cBP_FILE_WRITER::~cBP_FILE_WRITER() = default;
