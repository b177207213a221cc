// One call of the module as the commands see it: the command word, the
// inputs and the output slots, with input presence checked on every access;
// and the command table's rows, which each command family declares next to
// its input slots.
#pragma once

#include <string>

#include "host.hpp"

namespace spardyn {

class Call {
 public:
  Call(int nlhs, host::Value** plhs, int nrhs, const host::Value* const* prhs)
      : nlhs_(nlhs), plhs_(plhs), nrhs_(nrhs), prhs_(prhs) {}

  // Inputs are numbered from 1; input 1 is the command word.
  int inputs() const { return nrhs_; }
  bool has(int k) const { return k >= 1 && k <= nrhs_; }
  // Input k; a missing input is refused with "VRK:spardyn:WrongSize".
  const host::Value* in(int k) const;
  // Input k when present, null otherwise.
  const host::Value* optional(int k) const { return has(k) ? prhs_[k - 1] : nullptr; }

  // The number of outputs the caller asked for (0 when none).
  int outputs() const { return nlhs_; }
  // Output slot k (1-based).  Slot 1 always exists, even when no output was
  // asked for.
  void setOut(int k, host::Value* v) const;
  host::Value** outSlots() const { return plhs_; }
  const host::Value* const* inSlots() const { return prhs_; }

  const std::string& word() const { return word_; }
  void setWord(std::string w) { word_ = std::move(w); }

 private:
  int nlhs_;
  host::Value** plhs_;
  int nrhs_;
  const host::Value* const* prhs_;
  std::string word_;
};

// A row of the command table: the word, its handler, and the inputs the
// handler always reads (the command word included), checked before it runs.
struct Command {
  const char* word;
  void (*run)(Call&);
  int minInputs;
};

// The rows of each command family, defined beside its input slots.
extern const Command kResidual;           // residual.cpp
extern const Command kResidualEarlier;    // residual_win32.cpp
extern const Command kChandleSet;         // handles.cpp
extern const Command kChandleGet;
extern const Command kChandleClear;
extern const Command kChandleDiagNewmark; // stepper.cpp
extern const Command kSetSparse;          // algebra.cpp
extern const Command kCAtB;
extern const Command kCAtBEarlier;
extern const Command kDtkt;
extern const Command kAbc;
extern const Command kTaKTb;
extern const Command kDirectZr;
extern const Command kIgsm;
extern const Command kTbbp;               // tbbp.cpp

}  // namespace spardyn
