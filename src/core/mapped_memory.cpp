#include "spardyn/mapped_memory.hpp"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "spardyn/error.hpp"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace spardyn {

namespace {

bool parseHex(std::string_view s, std::uintptr_t* out) {
  if (s.empty()) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), *out, 16);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

}  // namespace

bool parseMappingLine(std::string_view line, MappedRegion* out) {
  const std::size_t dash = line.find('-');
  const std::size_t space = line.find(' ');
  if (dash == std::string_view::npos || space == std::string_view::npos ||
      dash > space || line.size() < space + 3)
    return false;
  MappedRegion r;
  if (!parseHex(line.substr(0, dash), &r.begin) ||
      !parseHex(line.substr(dash + 1, space - dash - 1), &r.end) ||
      r.end < r.begin)
    return false;
  r.readable = line[space + 1] == 'r';
  r.writable = line[space + 2] == 'w';
  *out = r;
  return true;
}

bool CoverageWalk::feed(const MappedRegion& r) {
  if (done_) return true;
  if (r.end <= next_) return false;  // wholly before what is still needed
  // A gap before this mapping, or a mapping that may not be both read and
  // written, leaves part of the range uncovered.
  if (r.begin > next_ || !r.readable || !r.writable) {
    done_ = true;
    covered_ = false;
    return true;
  }
  next_ = r.end;
  if (next_ >= end_) {
    done_ = true;
    covered_ = true;
  }
  return done_;
}

bool pagesOf(std::uintptr_t p, std::size_t bytes, std::size_t page,
             std::uintptr_t* begin, std::size_t* length) {
  const std::uintptr_t mask = ~(static_cast<std::uintptr_t>(page) - 1);
  if (bytes > UINTPTR_MAX - p) return false;
  const std::uintptr_t last = p + bytes;  // one past the range
  if (last > UINTPTR_MAX - (page - 1)) return false;
  *begin = p & mask;
  *length = ((last + page - 1) & mask) - *begin;
  return true;
}

#if defined(__linux__)

namespace {

std::size_t pageSize() {
  static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

enum class Answer { Yes, No, Unknown };

// --- one mapping at a time: PROCMAP_QUERY on /proc/self/maps (Linux 6.11) ---

// The kernel's request record (include/uapi/linux/fs.h), declared here for
// the system headers that predate it; the kernel reads its size first.
struct MappingQuery {
  uint64_t size, query_flags, query_addr;
  uint64_t vma_start, vma_end, vma_flags, vma_page_size, vma_offset, inode;
  uint32_t dev_major, dev_minor, vma_name_size, build_id_size;
  uint64_t vma_name_addr, build_id_addr;
};
constexpr unsigned long kProcmapQuery = _IOWR('f', 17, MappingQuery);
constexpr uint64_t kVmaReadable = 0x1, kVmaWritable = 0x2;

// The table stays open between questions (opening it costs ten times the
// question); it is reopened in a forked process, whose table is its own,
// and closed when the module is unloaded.
struct OpenTable {
  int fd = -1;
  pid_t pid = 0;
  bool unsupported = false;
} gTable;

int openTable() {
  const pid_t pid = getpid();
  if (gTable.fd >= 0 && gTable.pid == pid) return gTable.fd;
  if (gTable.fd >= 0) close(gTable.fd);
  gTable.fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  gTable.pid = pid;
  return gTable.fd;
}

// Asks for the mapping at each address from begin on: ENOENT means none
// there (a gap, or past the last mapping).  A kernel without the request
// answers ENOTTY or EINVAL, once; the other ways are used from then on.
Answer askByQueries(std::uintptr_t begin, std::uintptr_t end) {
  if (gTable.unsupported) return Answer::Unknown;
  const int fd = openTable();
  if (fd < 0) return Answer::Unknown;
  CoverageWalk walk(begin, end);
  std::uintptr_t at = begin;
  for (;;) {
    MappingQuery q;
    std::memset(&q, 0, sizeof q);
    q.size = sizeof q;
    q.query_addr = at;
    if (ioctl(fd, kProcmapQuery, &q) != 0) {
      if (errno == EINTR) continue;
      if (errno == ENOENT) return Answer::No;
      gTable.unsupported = true;
      return Answer::Unknown;
    }
    MappedRegion r;
    r.begin = q.vma_start;
    r.end = q.vma_end;
    r.readable = q.vma_flags & kVmaReadable;
    r.writable = q.vma_flags & kVmaWritable;
    if (r.end <= at) return Answer::Unknown;  // not the mapping asked for
    if (walk.feed(r)) return walk.covered() ? Answer::Yes : Answer::No;
    at = r.end;
  }
}

// --- prefaulting the pages for writing (Linux 5.14) ---

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

// Succeeds only where every page is mapped writable (ENOMEM: unmapped;
// EINVAL: not writable, or not ordinary memory; EFAULT: an access would
// raise SIGBUS).  It reads and writes no data, but walks every page: about
// 0.3 µs a page.
Answer askByPrefault(std::uintptr_t begin, std::size_t length) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (madvise(reinterpret_cast<void*>(begin), length, MADV_POPULATE_WRITE) == 0)
      return Answer::Yes;
    if (errno != EINTR && errno != EAGAIN) return Answer::No;
  }
  return Answer::Unknown;
}

// Kernels before 5.14 refuse the request itself with EINVAL, which would
// read as "not writable": tried once on a page of our own.
bool prefaultAnswers() {
  static const bool answers = [] {
    void* page = mmap(nullptr, pageSize(), PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) return false;
    const bool ok = madvise(page, pageSize(), MADV_POPULATE_WRITE) == 0;
    munmap(page, pageSize());
    return ok;
  }();
  return answers;
}

// Above this many bytes the whole table is read instead of prefaulting: a
// bare address inside a large mapping reserved but never used (sanitizer
// shadows, allocator reserves) would otherwise have the range populated
// before the answer.  The table costs about 0.7 ms in an Octave process.
constexpr std::size_t kPrefaultLimit = std::size_t(1) << 20;

// --- the whole table, read as text ---

// The lines of /proc/self/maps, in ascending order of address, fed to the
// walk until it knows its answer.  Read in blocks by the system calls alone:
// no allocation, and the table is the kernel's view at this moment.
bool walkMappingTable(CoverageWalk& walk) {
  const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char block[8192];
  std::size_t held = 0;
  bool known = false;
  while (!known) {
    const ssize_t n = read(fd, block + held, sizeof block - held);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    held += static_cast<std::size_t>(n);
    std::size_t start = 0;
    for (std::size_t i = 0; i < held && !known; ++i) {
      if (block[i] != '\n') continue;
      MappedRegion r;
      if (parseMappingLine(std::string_view(block + start, i - start), &r))
        known = walk.feed(r);
      start = i + 1;
    }
    // Keep the unfinished line for the next block (a line is far shorter
    // than a block, so start > 0 whenever the block is full).
    for (std::size_t i = start; i < held; ++i) block[i - start] = block[i];
    held -= start;
  }
  close(fd);
  return walk.covered();
}

}  // namespace

bool writableMemoryByTable(const void* p, std::size_t bytes) {
  const auto begin = reinterpret_cast<std::uintptr_t>(p);
  if (bytes == 0) return true;
  if (bytes > UINTPTR_MAX - begin) return false;
  CoverageWalk walk(begin, begin + bytes);
  return walkMappingTable(walk);
}

// The cheapest way the kernel offers: one question per mapping; else
// prefaulting a range of modest size; else the whole table.
bool writableMemory(const void* p, std::size_t bytes) {
  if (bytes == 0) return true;
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  std::uintptr_t begin;
  std::size_t length;
  if (!pagesOf(at, bytes, pageSize(), &begin, &length)) return false;
  Answer a = askByQueries(at, at + bytes);
  if (a == Answer::Unknown && length <= kPrefaultLimit && prefaultAnswers())
    a = askByPrefault(begin, length);
  if (a != Answer::Unknown) return a == Answer::Yes;
  return writableMemoryByTable(p, bytes);
}

bool writableMemoryByPrefault(const void* p, std::size_t bytes) {
  if (bytes == 0) return true;
  std::uintptr_t begin;
  std::size_t length;
  if (!pagesOf(reinterpret_cast<std::uintptr_t>(p), bytes, pageSize(), &begin,
               &length) ||
      !prefaultAnswers())
    return false;
  return askByPrefault(begin, length) == Answer::Yes;
}

bool writableMemoryByQueries(const void* p, std::size_t bytes) {
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  if (bytes == 0) return true;
  if (bytes > UINTPTR_MAX - at) return false;
  return askByQueries(at, at + bytes) == Answer::Yes;
}

bool mappingQueriesAnswer() {
  int probe = 0;
  askByQueries(reinterpret_cast<std::uintptr_t>(&probe),
               reinterpret_cast<std::uintptr_t>(&probe) + sizeof probe);
  return !gTable.unsupported && gTable.fd >= 0;
}

void releaseMappingTable() {
  if (gTable.fd >= 0) close(gTable.fd);
  gTable.fd = -1;
}

#elif defined(_WIN32)

// The regions of the range, one VirtualQuery each: committed, and
// read-write (or copy-on-write) without guard.
bool writableMemory(const void* p, std::size_t bytes) {
  auto at = reinterpret_cast<std::uintptr_t>(p);
  if (bytes == 0) return true;
  if (bytes > UINTPTR_MAX - at) return false;
  const std::uintptr_t end = at + bytes;
  const DWORD writable = PAGE_READWRITE | PAGE_WRITECOPY |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  while (at < end) {
    MEMORY_BASIC_INFORMATION m;
    if (!VirtualQuery(reinterpret_cast<void*>(at), &m, sizeof m)) return false;
    if (m.State != MEM_COMMIT || !(m.Protect & writable) ||
        (m.Protect & PAGE_GUARD))
      return false;
    at = reinterpret_cast<std::uintptr_t>(m.BaseAddress) + m.RegionSize;
  }
  return true;
}

bool writableMemoryByTable(const void* p, std::size_t bytes) {
  return writableMemory(p, bytes);
}
bool writableMemoryByPrefault(const void* p, std::size_t bytes) {
  return writableMemory(p, bytes);
}
bool writableMemoryByQueries(const void* p, std::size_t bytes) {
  return writableMemory(p, bytes);
}
bool mappingQueriesAnswer() { return false; }
void releaseMappingTable() {}

#else

// No way to ask here: a bare address is never trusted.
bool writableMemory(const void*, std::size_t bytes) { return bytes == 0; }
bool writableMemoryByTable(const void*, std::size_t bytes) { return bytes == 0; }
bool writableMemoryByPrefault(const void*, std::size_t bytes) { return bytes == 0; }
bool writableMemoryByQueries(const void*, std::size_t bytes) { return bytes == 0; }
bool mappingQueriesAnswer() { return false; }
void releaseMappingTable() {}

#endif

void requireWritableBuffer(const double* p, int64_t count,
                           const std::string& what) {
  if (count <= 0) return;
  const bool fits = static_cast<uint64_t>(count) <= SIZE_MAX / sizeof(double);
  if (fits && writableMemory(p, static_cast<std::size_t>(count) * sizeof(double)))
    return;
  char address[2 + 16 + 1];
  std::snprintf(address, sizeof address, "%#llx",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p)));
  fail(Reason::Invalid, what + ": no buffer of " + std::to_string(count) +
                            " values is mapped readable and writable at " +
                            address);
}

}  // namespace spardyn
