// The question asked before a bare buffer address is used: the reading of
// the table of mappings, the walk over it, the pages of a range, and the
// operating system's answers on pages of known protection.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "spardyn/error.hpp"
#include "spardyn/mapped_memory.hpp"

using namespace spardyn;

namespace {

MappedRegion region(std::uintptr_t b, std::uintptr_t e, const char* perms) {
  MappedRegion r;
  r.begin = b;
  r.end = e;
  r.readable = perms[0] == 'r';
  r.writable = perms[1] == 'w';
  return r;
}

bool covered(const std::vector<MappedRegion>& table, std::uintptr_t b,
             std::uintptr_t e) {
  CoverageWalk walk(b, e);
  for (const MappedRegion& r : table)
    if (walk.feed(r)) break;
  return walk.covered();
}

}  // namespace

TEST(MappedMemory, ReadsLinesOfTheMappingTable) {
  MappedRegion r;
  ASSERT_TRUE(parseMappingLine(
      "55d5c1a00000-55d5c1a21000 rw-p 00000000 00:00 0          [heap]", &r));
  EXPECT_EQ(r.begin, 0x55d5c1a00000u);
  EXPECT_EQ(r.end, 0x55d5c1a21000u);
  EXPECT_TRUE(r.readable && r.writable);
  ASSERT_TRUE(parseMappingLine(
      "7f0c2a000000-7f0c2a021000 r--p 00001000 08:01 131 /usr/lib/libm.so.6", &r));
  EXPECT_TRUE(r.readable && !r.writable);
  ASSERT_TRUE(parseMappingLine("ffffffffff600000-ffffffffff601000 --xp 0 0:0 0", &r));
  EXPECT_EQ(r.end, 0xffffffffff601000u);
  EXPECT_FALSE(r.readable || r.writable);
  for (const char* bad : {"", "55d5c1a00000 rw-p", "zz-10 rw-p", "20-10 rw-p",
                          "10-20", "-10 rw-p"})
    EXPECT_FALSE(parseMappingLine(bad, &r)) << bad;
}

// Adjacent read-write mappings join; a gap, a mapping without write (or
// read) access, or the end of the table leaves the range uncovered.
TEST(MappedMemory, WalksTheTableOverTheWholeRange) {
  const std::vector<MappedRegion> table{
      region(0x1000, 0x2000, "rw"), region(0x2000, 0x4000, "rw"),
      region(0x5000, 0x6000, "rw"), region(0x6000, 0x7000, "r-"),
      region(0x7000, 0x8000, "-w"), region(0x9000, 0xa000, "rw")};
  EXPECT_TRUE(covered(table, 0x1000, 0x4000));   // across two mappings
  EXPECT_TRUE(covered(table, 0x1ff8, 0x2008));
  EXPECT_TRUE(covered(table, 0x9ff8, 0xa000));   // ends with the last
  EXPECT_FALSE(covered(table, 0x3ff8, 0x4008));  // into the gap
  EXPECT_FALSE(covered(table, 0x4000, 0x4008));  // inside the gap
  EXPECT_FALSE(covered(table, 0x5ff8, 0x6008));  // into read-only
  EXPECT_FALSE(covered(table, 0x7000, 0x7008));  // write-only
  EXPECT_FALSE(covered(table, 0x9ff8, 0xa008));  // past the table
  EXPECT_FALSE(covered(table, 0x0ff8, 0x1008));  // before the first
  EXPECT_TRUE(covered(table, 0x4000, 0x4000));   // nothing to cover
}

TEST(MappedMemory, PagesOfARange) {
  std::uintptr_t b;
  std::size_t n;
  ASSERT_TRUE(pagesOf(0x1ff8, 16, 4096, &b, &n));
  EXPECT_EQ(b, 0x1000u);
  EXPECT_EQ(n, 8192u);
  ASSERT_TRUE(pagesOf(0x2000, 4096, 4096, &b, &n));
  EXPECT_EQ(b, 0x2000u);
  EXPECT_EQ(n, 4096u);
  EXPECT_FALSE(pagesOf(UINTPTR_MAX - 7, 16, 4096, &b, &n));  // wraps
  EXPECT_FALSE(pagesOf(UINTPTR_MAX - 4000, 8, 4096, &b, &n));
}

// Four pages: read-write, read-only, read-write, unmapped.  Every way of
// asking agrees with what the pages are, and none changes their contents.
TEST(MappedMemory, AnswersOnPagesOfKnownProtection) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  char* base = static_cast<char*>(mmap(nullptr, 4 * page, PROT_READ | PROT_WRITE,
                                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(base, MAP_FAILED);
  base[2 * page] = 7;
  ASSERT_EQ(mprotect(base + page, page, PROT_READ), 0);
  ASSERT_EQ(munmap(base + 3 * page, page), 0);
  std::vector<bool (*)(const void*, std::size_t)> ways{
      &writableMemory, &writableMemoryByPrefault, &writableMemoryByTable};
  if (mappingQueriesAnswer()) ways.push_back(&writableMemoryByQueries);
  for (auto ask : ways) {
    EXPECT_TRUE(ask(base, page));
    EXPECT_TRUE(ask(base + 8, page - 8));
    EXPECT_FALSE(ask(base + page - 8, 16));      // into the read-only page
    EXPECT_FALSE(ask(base + page, 8));
    EXPECT_TRUE(ask(base + 2 * page, page));
    EXPECT_FALSE(ask(base + 3 * page - 8, 16));  // into the hole
    EXPECT_FALSE(ask(base + 3 * page, 8));
    EXPECT_TRUE(ask(base + 3 * page, 0));        // nothing used
    EXPECT_FALSE(ask(nullptr, 8));
    EXPECT_FALSE(ask(reinterpret_cast<void*>(UINTPTR_MAX - 7), 16));
  }
  EXPECT_EQ(base[2 * page], 7);
  munmap(base, 3 * page);
}

TEST(MappedMemory, RefusesABufferNotMappedOverItsUse) {
  std::vector<double> own(4, 0.0);
  requireWritableBuffer(own.data(), 4, "r");
  requireWritableBuffer(nullptr, 0, "r");
  try {
    requireWritableBuffer(reinterpret_cast<const double*>(0x1000), 3, "r");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.identifier(), "VRK:spardyn:Invalid");
    EXPECT_EQ(e.message(),
              "r: no buffer of 3 values is mapped readable and writable at 0x1000");
  }
  EXPECT_THROW(requireWritableBuffer(own.data(), INT64_MAX, "r"), Error);
}
