#include "safe/safe_api.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Report {
  std::string message;
  int code;
};

std::vector<Report> g_reports;

void RecordReport(const char* message, void* context, std::int32_t error) {
  EXPECT_EQ(context, nullptr);
  g_reports.push_back({message, error});
}

// Routes both handler slots to RecordReport for the duration of a test.
class SafeApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_reports.clear();
    previousMem_ = vantu_set_mem_handler(RecordReport);
    previousStr_ = vantu_set_str_handler(RecordReport);
  }
  void TearDown() override {
    vantu_set_mem_handler(previousMem_);
    vantu_set_str_handler(previousStr_);
  }

 private:
  vantu_safe_api_handler_t previousMem_ = nullptr;
  vantu_safe_api_handler_t previousStr_ = nullptr;
};

// One memcpy case on a 16-byte arena filled with 0xAA: destination and source are offsets
// into it (or into a separate source buffer when srcInArena is false).
struct MemcpyCase {
  const char* name;
  std::size_t destOffset;
  std::uint64_t dmax;
  bool srcInArena;
  std::size_t srcOffset;
  std::uint64_t smax;
  int result;
  const char* message;  // expected report, or null
  bool cleared;         // the dmax destination bytes are zero afterwards
};

void PrintTo(const MemcpyCase& c, std::ostream* os) { *os << c.name; }

class MemcpyCases : public SafeApiTest, public ::testing::WithParamInterface<MemcpyCase> {};

TEST_P(MemcpyCases, ResultReportAndBytes) {
  const MemcpyCase& c = GetParam();
  unsigned char arena[16];
  std::memset(arena, 0xAA, sizeof arena);
  unsigned char source[16];
  for (std::size_t i = 0; i < sizeof source; ++i) source[i] = static_cast<unsigned char>(i + 1);
  const unsigned char* src = c.srcInArena ? arena + c.srcOffset : source + c.srcOffset;

  EXPECT_EQ(vantu_memcpy_s(arena + c.destOffset, c.dmax, src, c.smax), c.result);

  if (c.message == nullptr) {
    EXPECT_TRUE(g_reports.empty());
  } else {
    ASSERT_EQ(g_reports.size(), 1u);
    EXPECT_EQ(g_reports[0].message, c.message);
    EXPECT_EQ(g_reports[0].code, c.result);
  }
  for (std::size_t i = 0; i < sizeof arena; ++i) {
    const bool inDest = i >= c.destOffset && i < c.destOffset + c.dmax;
    if (c.cleared && inDest) {
      EXPECT_EQ(arena[i], 0) << "byte " << i;
    } else if (!inDest && !c.srcInArena) {
      EXPECT_EQ(arena[i], 0xAA) << "byte " << i << " outside dmax was touched";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MemcpyCases,
    ::testing::Values(MemcpyCase{"ExactFit", 1, 5, false, 0, 5, 0, nullptr, false},
                      MemcpyCase{"ZeroCount", 1, 5, false, 0, 0, 0, nullptr, false},
                      MemcpyCase{"OneTooMany", 3, 5, false, 0, 6, 403,
                                 "vantu_memcpy_s: smax exceeds dmax", true},
                      MemcpyCase{"ZeroCapacity", 3, 0, false, 0, 1, 403,
                                 "vantu_memcpy_s: smax exceeds dmax", true},
                      MemcpyCase{"SameAddress", 4, 8, true, 4, 8, 0, nullptr, false},
                      MemcpyCase{"SourceOneAbove", 4, 4, true, 5, 2, 404,
                                 "vantu_memcpy_s: overlap undefined", true},
                      MemcpyCase{"DestOneAbove", 5, 4, true, 4, 4, 404,
                                 "vantu_memcpy_s: overlap undefined", true},
                      MemcpyCase{"SourceJustPastCapacity", 2, 4, true, 6, 4, 0, nullptr, false},
                      MemcpyCase{"DestRightBehindSource", 6, 4, true, 2, 4, 0, nullptr, false},
                      MemcpyCase{"UnalignedLongCopy", 1, 15, false, 2, 13, 0, nullptr, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SafeApiTest, MemcpyCopiesExactlySmaxBytes) {
  unsigned char dest[12];
  std::memset(dest, 0xEE, sizeof dest);
  const char src[] = "abcdefg";
  ASSERT_EQ(vantu_memcpy_s(dest + 1, 10, src, 7), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(dest + 1), 7), "abcdefg");
  EXPECT_EQ(dest[0], 0xEE);
  EXPECT_EQ(dest[8], 0xEE);
}

TEST_F(SafeApiTest, MemcpyNullDestinationReportsAndWritesNothing) {
  const char src[4] = {};
  EXPECT_EQ(vantu_memcpy_s(nullptr, 4, src, 4), 400);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].message, "vantu_memcpy_s: dest is NULL");
}

TEST_F(SafeApiTest, MemcpyNullSourceClearsDestination) {
  unsigned char dest[6];
  std::memset(dest, 0x55, sizeof dest);
  EXPECT_EQ(vantu_memcpy_s(dest, 6, nullptr, 3), 400);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].message, "vantu_memcpy_s: src is NULL");
  for (unsigned char b : dest) EXPECT_EQ(b, 0);
}

TEST_F(SafeApiTest, MemcpyZeroCountIgnoresNullSource) {
  unsigned char dest[2] = {7, 7};
  EXPECT_EQ(vantu_memcpy_s(dest, 2, nullptr, 0), 0);
  EXPECT_TRUE(g_reports.empty());
  EXPECT_EQ(dest[0], 7);
}

TEST_F(SafeApiTest, SprintfWritesDigitsWhenTheyFit) {
  char buffer[3] = {'x', 'x', 'x'};
  EXPECT_EQ(vantu_sprintf_s(buffer, 3, "%02x", 171u), 2);
  EXPECT_STREQ(buffer, "ab");
  EXPECT_TRUE(g_reports.empty());
}

TEST_F(SafeApiTest, SprintfCutsShortAndReportsNoSpace) {
  char buffer[2] = {'x', 'x'};
  EXPECT_EQ(vantu_sprintf_s(buffer, 2, "%02x", 171u), -1);
  EXPECT_STREQ(buffer, "a");
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].message, "vantu_sprintf_s: not enough space");
  EXPECT_EQ(g_reports[0].code, 406);
}

TEST_F(SafeApiTest, SprintfZeroSizeWritesNothing) {
  char buffer[1] = {'x'};
  EXPECT_EQ(vantu_sprintf_s(buffer, 0, "%d", 1), -1);
  EXPECT_EQ(buffer[0], 'x');
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].message, "vantu_sprintf_s: buffer size n is less than or equal to zero");
  EXPECT_EQ(g_reports[0].code, 401);
}

TEST_F(SafeApiTest, SprintfNullBuffer) {
  EXPECT_EQ(vantu_sprintf_s(nullptr, 4, "%d", 1), -1);
  ASSERT_EQ(g_reports.size(), 1u);
  EXPECT_EQ(g_reports[0].message, "vantu_sprintf_s: buffer is NULL");
  EXPECT_EQ(g_reports[0].code, 400);
}

TEST_F(SafeApiTest, SprintfExactFitNeedsRoomForTerminator) {
  char buffer[4];
  EXPECT_EQ(vantu_sprintf_s(buffer, 4, "%s", "abcd"), -1);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(vantu_sprintf_s(buffer, 4, "%s", "abc"), 3);
}

TEST(SafeApiDefaultHandler, PrintsOneLineOnStandardOutput) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(vantu_memcpy_s(nullptr, 1, "x", 1), 400);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "vantu_safe_api_error_handler: [400] vantu_memcpy_s: dest is NULL\n");
}

}  // namespace
