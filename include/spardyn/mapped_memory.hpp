// Whether memory handed to the module as a bare address (the buffer an
// object shares through its property "c") is mapped readable and writable
// in this process.  The operating system answers without the memory being
// read or written, so an address that names nothing is refused instead of
// faulting.  What it cannot tell: an address inside some other live
// allocation, or a buffer shorter than its use that ends inside mapped
// memory (the heap is one mapping), looks like a valid buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace spardyn {

// One line of the process's table of mappings: [begin, end) and its access.
struct MappedRegion {
  std::uintptr_t begin = 0, end = 0;
  bool readable = false, writable = false;
};

// Reads "begin-end perms …" (hexadecimal addresses, perms such as "rw-p");
// false for a line of another form.
bool parseMappingLine(std::string_view line, MappedRegion* out);

// Follows a table of mappings in ascending order of address and tells
// whether [begin, end) lies in readable and writable mappings with no gap.
class CoverageWalk {
 public:
  CoverageWalk(std::uintptr_t begin, std::uintptr_t end)
      : next_(begin), end_(end), done_(begin >= end), covered_(begin >= end) {}
  // Takes the next mapping; returns true once the answer is known.
  bool feed(const MappedRegion& r);
  // The answer, once known; false when the table ended before it.
  bool covered() const { return done_ && covered_; }

 private:
  std::uintptr_t next_, end_;  // the part of the range not yet covered
  bool done_, covered_;
};

// The whole pages holding [p, p + bytes), for a page size that is a power
// of two; false when the range wraps around the address space.
bool pagesOf(std::uintptr_t p, std::size_t bytes, std::size_t page,
             std::uintptr_t* begin, std::size_t* length);

// Whether [p, p + bytes) is mapped readable and writable, asked of the
// operating system without the memory being read or written.  On Linux,
// the cheapest of: one question per mapping to the kernel's table
// (PROCMAP_QUERY, Linux 6.11; about 0.7 µs); prefaulting the pages for
// writing, as the command's own writes would (Linux 5.14; about 0.3 µs a
// page, used up to 1 MiB); reading the whole table (/proc/self/maps, about
// 0.7 ms in an Octave process).  An empty range is mapped.
bool writableMemory(const void* p, std::size_t bytes);
// Each way alone, for the tests; false where the way is not available.
bool writableMemoryByQueries(const void* p, std::size_t bytes);
bool writableMemoryByPrefault(const void* p, std::size_t bytes);
bool writableMemoryByTable(const void* p, std::size_t bytes);
// Whether the kernel answers questions about one mapping.
bool mappingQueriesAnswer();
// Closes the kernel's table, kept open between questions; at unload.
void releaseMappingTable();

// Refuses ("VRK:spardyn:Invalid") a buffer whose first count doubles are
// not mapped readable and writable: "<what>: no buffer of <count> values is
// mapped readable and writable at 0x…".
void requireWritableBuffer(const double* p, int64_t count,
                           const std::string& what);

}  // namespace spardyn
