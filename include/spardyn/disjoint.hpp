// Arrays of one command that must not share memory.  The host shares the
// data of two arrays whenever one was assigned from the other and neither
// has changed since (t.unl = z; t.vnl = z), so the same memory can reach a
// command under two names.  An array the command writes while it reads or
// writes the same memory under another name gives a wrong result and no
// error: such a call is refused before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "spardyn/error.hpp"

namespace spardyn {

// A block of memory, named for the message; empty when p is null.
struct Span {
  std::uintptr_t begin = 0, end = 0;
  const char* name = "";
};

// n doubles from p.  A count no array can hold (the unknown length of a
// buffer shared by an object) counts as the first value only.
inline Span span(const double* p, std::size_t n, const char* name) {
  Span s;
  s.name = name;
  if (!p || n == 0) return s;
  if (n > (std::size_t(1) << 48)) n = 1;
  s.begin = reinterpret_cast<std::uintptr_t>(p);
  s.end = s.begin + n * sizeof(double);
  return s;
}

inline bool overlap(const Span& a, const Span& b) {
  return a.begin < a.end && b.begin < b.end && a.begin < b.end &&
         b.begin < a.end;
}

// Every span of written is apart from the other spans of written and from
// every span of read; otherwise "VRK:spardyn:Invalid", naming the two.
inline void requireApart(const std::string& where,
                         std::initializer_list<Span> written,
                         std::initializer_list<Span> read) {
  for (auto w = written.begin(); w != written.end(); ++w) {
    for (auto o = w + 1; o != written.end(); ++o)
      if (overlap(*w, *o))
        fail(Reason::Invalid, where + ": " + w->name + " and " + o->name +
                                  " share their data");
    for (const Span& r : read)
      if (overlap(*w, r))
        fail(Reason::Invalid, where + ": " + w->name + " and " + r.name +
                                  " share their data");
  }
}

}  // namespace spardyn
