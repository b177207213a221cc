// One call of the module: the command word, the inputs and the output slots,
// with input presence checked on every access.
#pragma once

#include <string>

namespace host {
struct Value;
}

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

// Runs the command a call names.
void dispatch(Call& call);

// Releases what the module holds (registered handles, worker threads) when
// the host unloads it.
void unload();

// The handlers of the command table, each defined with its subsystem.
void cmdResidual(Call& call);
void cmdChandleSet(Call& call);
void cmdChandleGet(Call& call);
void cmdChandleClear(Call& call);
void cmdChandleDiagNewmark(Call& call);
void cmdSetSparse(Call& call);
void cmdCAtB(Call& call);
void cmdDtkt(Call& call);
void cmdAbc(Call& call);
void cmdTaKTb(Call& call);
void cmdDirectZr(Call& call);
void cmdIgsm(Call& call);
void cmdTbbp(Call& call);

}  // namespace spardyn
