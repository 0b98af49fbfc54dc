#include "base/shared_library.h"

#include <gtest/gtest.h>

namespace {

using vantu::branding_package::SharedLibrary;

TEST(SharedLibrary, CompleteOnlyWithTheLibraryAndEverySymbol) {
  struct Case {
    const char* soname;
    const char* symbol;
    bool complete;
  };
  for (const Case& c : {Case{"libpng16.so.16", "png_read_info", true},
                        Case{"libpng16.so.16", "png_no_such_function", false},
                        Case{"libbp-absent.so.0", "png_read_info", false}}) {
    SharedLibrary library(c.soname);
    void (*function)() = nullptr;
    library.Find(c.symbol, function);
    EXPECT_EQ(library.Complete(), c.complete) << c.soname << " " << c.symbol;
    EXPECT_EQ(library.Problem().empty(), c.complete) << library.Problem();
    EXPECT_EQ(function != nullptr, c.complete);
  }
}

}  // namespace
