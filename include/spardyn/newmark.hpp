// The diagonal Newmark stepper (type code 2000): a whole transient run over
// a list of terms inside one call of "chandlediagnewmark".  The stepper sees
// its terms as operators (chandle): each step predicts the state, asks every
// term for its residual, corrects the state by the diagonal factors, and
// ends the step of every term; it never sees a matrix.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "spardyn/arrays.hpp"
#include "spardyn/chandle.hpp"
#include "spardyn/descriptions.hpp"
#include "spardyn/newmark_step.hpp"

namespace spardyn {

// The arrays of one "chandlediagnewmark" call besides the state: the step
// output (input 8, "uva" with fields "uva" and "FNL"), the model's "FNL",
// and the storage (input 9: save times "data" with snapshots "def", and the
// same for the forces under "FNL").  Absent arrays are not present.
struct StepperIO {
  RealArray uva;           // step output uva.uva
  RealArray uvaFnl;        // step output uva.FNL
  RealArray modelFnl;      // the model's FNL
  RealArray saveTimes;     // storage.data
  RealArray saveDef;       // storage.def
  RealArray fnlSaveTimes;  // storage.FNL.data
  RealArray fnlSaveDef;    // storage.FNL.def
};

// The checks of the stepper's tables, in the order the reader of its
// stored value reads them, so that the first fault is reported first.
// "r": full, with values, as many as its size asks for.
void checkStepperMatrix(const SparseView& r);
// "tft": Nb + 1 rows, Nb ≥ 1 load shapes.
void checkTimeTable(const SparseView& r, const RealArray& tft);
// "data": six values.
void checkStepperData(const RealArray& data);
// The checks of the call's arrays that come between two of their reads:
// the step output holds u, v, a and w of the N stepped entries at least,
// and the snapshots hold the N stepped entries at least.
void checkStepOutputRoom(const RealArray& uva, int32_t N);
void checkSnapshotRows(const RealArray& saveDef, int32_t N);

// Its stored value is a structure:
//   "r"    full N × (Nb+2): column 0 unused, columns 1…Nb the load shapes,
//          column Nb+1 the correction factors β·h² / (m + γ·h·c + β·h²·k);
//   "tft"  (Nb+1) × NT: row 0 the times, rows 1…Nb the load factors that
//          the step leaving that column applies;
//   "data" d0 … d4 and d5, which receives the current time at every step;
//   "iopt" (optional int32): iopt[0] the position in the model's "FNL" that
//          receives the load factors of each step (negative: none).
// It owns nothing: every pointer is renewed from the stored value (initCpt)
// and from the call (initCb) each time it runs.
class chandleDiagNewmark : public chandle {
 public:
  // At every gathering: takes the tables, checked by the reader.
  void initCpt(DescriptionReader& read) override;
  // Once per call, after initCpt and before the first step: binds the
  // call's arrays and checks everything the steps will touch (the state,
  // the arrays' sizes, that no two of them share memory, and every term
  // against the state the steps carry).  After it returns no step can read
  // or write outside an array.
  void initCb(const StepperIO& io, const _ROr& ro, chandle* const* terms,
              int32_t nTerms);
  // Advances the state of ro from time point j to j + 1 (j from 0): clock,
  // exports, predictor, Residual of every term, corrector, EndStep of every
  // term, snapshots.  Within a run the correction of a step may be left for
  // the next step's first pass; the last step of the run (j = NT − 2)
  // always completes it.
  void doStep(chandle* const* terms, int32_t nTerms, int32_t j, _ROr ro);
  // All NT − 1 steps, then releases the call's scratch.
  void run(chandle* const* terms, int32_t nTerms, const _ROr& ro);

  int32_t stepped() const { return N_; }  // rows of "r"

 private:
  void bindStepOutput(const StepperIO& io);
  void bindModelForces(const StepperIO& io);
  void bindStorage(const StepperIO& io);
  void checkState(const _ROr& ro) const;
  void checkApart(const _ROr& ro) const;
  void checkLoadExport(const _ROr& ro) const;
  void checkTerms(const _ROr& ro, chandle* const* terms, int32_t nTerms) const;
  void saveSnapshots(double t);

  int32_t N_ = 0;         // rows of "r": degrees of freedom stepped
  int32_t Nb_ = 0;        // load shapes: columns of "r" − 2
  int32_t NT_ = 0;        // time points: columns of "tft"
  int32_t nFnl_ = 0;      // force entries copied and stored per step
  int32_t nSaveFnl_ = 0;  // force save times usable
  int32_t nSave_ = 0;     // displacement save slots usable
  int32_t iSave_ = 0;     // next displacement save slot
  int32_t iSaveFnl_ = 0;  // next force save slot
  int32_t nDef_ = 0;      // length of the state vectors copied and stored
  const int32_t* iopt_ = nullptr;
  const double* r_ = nullptr;
  const double* tft_ = nullptr;
  double* data_ = nullptr;
  double* uva_ = nullptr;     // start state (3 blocks of nDef), then w (N)
  int64_t nUva_ = 0;
  double* fnlOut_ = nullptr;  // step output "FNL"
  double* fnl_ = nullptr;     // the model's "FNL"
  const double* saveT_ = nullptr;
  double* saveDef_ = nullptr;
  const double* saveFnlT_ = nullptr;
  double* saveFnlDef_ = nullptr;

  NewmarkCoefficients d_;
  NewmarkVectors x_;
  bool correctionPending_ = false;
  std::vector<double> wScratch_;  // the residual when no "uva" is given
};

}  // namespace spardyn
