// The diagonal Newmark stepper (type code 2000): a whole transient run over
// a vector of handle objects inside one call of "chandlediagnewmark".
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "spardyn/chandle.hpp"
#include "spardyn/newmark_step.hpp"

namespace spardyn {

class Call;

// Its stored value is a structure:
//   "r"    full N × (Nb+2): column 0 unused, columns 1…Nb the load shapes,
//          column Nb+1 the correction factors β·h² / (m + γ·h·c + β·h²·k);
//   "tft"  (Nb+1) × NT: row 0 the times, rows 1…Nb the load factors that
//          the step leaving that column applies;
//   "data" d0 … d4 and d5, which receives the current time at every step;
//   "iopt" (optional int32): iopt[0] the position in the model's "FNL" that
//          receives the load factors of each step (negative: none).
// It owns nothing: every pointer is renewed from the stored value (initCpt)
// and from the inputs of the call (initCb) each time it runs.
class chandleDiagNewmark : public chandle {
 public:
  // Reads "r", "tft", "data", "iopt"; the sizes that do not depend on the
  // call are checked here.
  void initCpt() override;
  // Binds the step output (input 8), the model's "FNL" (input 3) and the
  // storage (input 9), and checks everything the steps will touch: after it
  // returns no step can read or write outside an array.
  void initCb(const Call& call, const _ROr& ro, chandle* const* terms,
              int32_t nTerms);
  // Advances the state of ro from time point j to j + 1 (j from 0).  Within
  // a run the correction of a step may be left for the next step's first
  // pass; the last step of the run (j = NT − 2) always completes it.
  void doStep(chandle* const* terms, int32_t nTerms, int32_t j, _ROr ro);
  // All NT − 1 steps, then releases the call's scratch.
  void run(chandle* const* terms, int32_t nTerms, const _ROr& ro);

  int32_t N = 0;         // rows of "r": degrees of freedom stepped
  int32_t Nb = 0;        // load shapes: columns of "r" − 2
  int32_t NT = 0;        // time points: columns of "tft"
  int32_t nFnl = 0;      // force entries copied and stored per step
  int32_t nSaveFnl = 0;  // force save times usable
  int32_t nSave = 0;     // displacement save slots usable
  int32_t iSave = 0;     // next displacement save slot
  int32_t iSaveFnl = 0;  // next force save slot
  int32_t nDef = 0;      // length of the state vectors copied and stored
  const int32_t* iopt = nullptr;
  const double* r = nullptr;
  const double* tft = nullptr;
  double* data = nullptr;
  double* uva = nullptr;     // start state (3 blocks of nDef), then w (N)
  double* fnlOut = nullptr;  // step output "FNL"
  double* fnl = nullptr;     // the model's "FNL"
  const double* saveT = nullptr;
  double* saveDef = nullptr;
  const double* saveFnlT = nullptr;
  double* saveFnlDef = nullptr;

 private:
  void bindStepOutput(const Call& call);
  void bindModelForces(const Call& call);
  void bindStorage(const Call& call);
  void checkState(const _ROr& ro) const;
  void checkApart(const _ROr& ro) const;
  void checkLoadExport(const _ROr& ro) const;
  void checkTerms(const _ROr& ro, chandle* const* terms, int32_t nTerms) const;
  void saveSnapshots(double t);

  int64_t nUva_ = 0;
  NewmarkCoefficients d_;
  NewmarkVectors x_;
  bool correctionPending_ = false;
  std::vector<double> wScratch_;  // the residual when no "uva" is given
};

std::unique_ptr<chandle> makeDiagNewmark();

}  // namespace spardyn
