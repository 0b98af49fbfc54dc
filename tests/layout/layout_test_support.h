// Loading layout documents held in strings, for the layout tests.
#pragma once

#include <string>
#include <vector>

#include "base/bp_exception.h"
#include "package/file_writer.h"

namespace testing_support {

// A layout that passes every rule, with body placed inside the about element.
inline std::string LayoutWithAbout(const std::string& body) {
  return "<vantu-client-branding version=\"1.0\"><app-name>A</app-name>"
         "<app-icon>icon.png</app-icon><toolbar-menu/><about title=\"About\">" +
         body + "</about></vantu-client-branding>";
}

// Loads xml into writer as the layout file would be.
inline void LoadInto(cBP_FILE_WRITER& writer, const std::string& xml) {
  writer.AddLayout(vantu::branding_package::LayoutDocument(xml), "layout.xml");
}

// The layout text stored for xml.
inline std::string LayoutText(const std::string& xml) {
  cBP_FILE_WRITER writer("unused.bin");
  LoadInto(writer, xml);
  const cBP_COMPONENT_WRAPPER& record = *writer.components.at(0);
  return std::string(reinterpret_cast<const char*>(record.data.get()) + 16, record.size - 17);
}

// The code and message thrown while loading xml; code 0 when nothing is thrown.
inline std::pair<int, std::string> LoadError(const std::string& xml) {
  cBP_FILE_WRITER writer("unused.bin");
  try {
    LoadInto(writer, xml);
  } catch (const cBP_EXCEPTION& e) {
    return {e.code, e.what()};
  }
  return {0, ""};
}

}  // namespace testing_support
