// Spans of memory that must not overlap: slices of one array, neighbours,
// empty and unknown-length spans.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "spardyn/disjoint.hpp"

namespace spardyn {
namespace {

std::string apartError(std::initializer_list<Span> written,
                       std::initializer_list<Span> read) {
  try {
    requireApart("here", written, read);
  } catch (const Error& e) {
    return e.identifier() + "|" + e.message();
  }
  return "none";
}

TEST(Disjoint, SlicesOfOneArrayOverlapNeighboursDoNot) {
  std::vector<double> x(10);
  const double* p = x.data();
  EXPECT_TRUE(overlap(span(p, 3, "a"), span(p + 2, 3, "b")));   // share x[2]
  EXPECT_FALSE(overlap(span(p, 3, "a"), span(p + 3, 3, "b")));  // adjacent
  EXPECT_TRUE(overlap(span(p + 4, 1, "a"), span(p, 10, "b")));  // inside
  EXPECT_TRUE(overlap(span(p, 4, "a"), span(p, 4, "b")));       // the same
}

TEST(Disjoint, EmptyAndUnknownSpans) {
  std::vector<double> x(4);
  const double* p = x.data();
  EXPECT_FALSE(overlap(span(nullptr, 5, "a"), span(p, 4, "b")));
  EXPECT_FALSE(overlap(span(p, 0, "a"), span(p, 4, "b")));  // nothing used
  // A buffer of unknown length counts as its first value only.
  const std::size_t unknown = static_cast<std::size_t>(-1);
  EXPECT_TRUE(overlap(span(p + 1, unknown, "a"), span(p, 2, "b")));
  EXPECT_FALSE(overlap(span(p + 2, unknown, "a"), span(p, 2, "b")));
}

TEST(Disjoint, WrittenAgainstWrittenAndRead) {
  std::vector<double> x(8), y(8);
  const double* p = x.data();
  const double* q = y.data();
  EXPECT_EQ(apartError({span(p, 4, "r"), span(p + 4, 4, "s")}, {span(q, 8, "u")}),
            "none");
  EXPECT_EQ(apartError({span(p, 4, "r"), span(p + 3, 4, "s")}, {}),
            "VRK:spardyn:Invalid|here: r and s share their data");
  EXPECT_EQ(apartError({span(q, 2, "r")}, {span(p, 8, "u"), span(q + 1, 1, "v")}),
            "VRK:spardyn:Invalid|here: r and v share their data");
  // Arrays that are only read may share memory.
  EXPECT_EQ(apartError({span(p, 2, "r")}, {span(q, 8, "u"), span(q, 8, "v")}),
            "none");
}

}  // namespace
}  // namespace spardyn
