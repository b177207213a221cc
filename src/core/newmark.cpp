// The diagonal Newmark stepper: its checks, the binding of a call's arrays,
// and the time loop.  Everything a step will touch is bound and checked
// before the first step; the loop itself allocates nothing.
#include "spardyn/newmark.hpp"

#include <algorithm>
#include <climits>
#include <string>

#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"

namespace spardyn {

namespace {

std::string str(int64_t n) { return std::to_string(n); }

[[noreturn]] void wrongSize(const std::string& message) {
  fail(Reason::WrongSize, "Newmark stepper: " + message);
}

int32_t clampCount(int64_t n) {
  return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
}

// Snapshots that fit: one per save time, as many as the snapshot array has
// columns of rows values.
int32_t snapshotCount(const RealArray& times, const RealArray& snapshots,
                      int64_t rows) {
  if (!snapshots.data || rows <= 0) return 0;
  return clampCount(std::min<int64_t>(
      times.readableRows(), static_cast<int64_t>(snapshots.count) / rows));
}

// Rows of the snapshots: the length of the state copied and stored.
int32_t snapshotRows(const RealArray& saveDef, int32_t N) {
  return saveDef.present ? clampCount(static_cast<int64_t>(saveDef.rows)) : N;
}

}  // namespace

// ---------------------------------------------------------------------------
// Checks made while the tables and the call's arrays are read

void checkStepperMatrix(const SparseView& r) {
  if (r.isSparse()) fail(Reason::Invalid, "Full r expected");
  if (!r.hasValues()) fail(Reason::Empty, "Newmark stepper: \"r\" holds no values");
  checkDenseSize(r, "Newmark stepper: r");
}

void checkTimeTable(const SparseView& r, const RealArray& tft) {
  const int64_t Nb = static_cast<int64_t>(r.cols) - 2;
  if (Nb + 1 != static_cast<int64_t>(tft.rows))
    fail(Reason::Invalid, "Inconsistent Nb & NT");
  // The correction factors follow the load shapes; without a load shape
  // there is no room for them.
  if (Nb < 1)
    fail(Reason::Invalid,
         "Newmark stepper: r needs Nb + 2 columns with at least one load "
         "shape (Nb >= 1), got " + str(Nb + 2));
}

void checkStepperData(const RealArray& data) {
  if (data.count != 6) fail(Reason::Invalid, "Inconsistent data length");
}

void checkStepOutputRoom(const RealArray& uva, int32_t N) {
  if (uva.data && static_cast<int64_t>(uva.count) < 4 * static_cast<int64_t>(N))
    fail(Reason::Invalid, "wrong uva size");
}

void checkSnapshotRows(const RealArray& saveDef, int32_t N) {
  const int32_t nDef = snapshotRows(saveDef, N);
  if (nDef < N)
    wrongSize("storage def has " + str(nDef) + " rows, fewer than the " +
              str(N) + " degrees of freedom stepped");
}

// ---------------------------------------------------------------------------
// Preparation

void chandleDiagNewmark::initCpt(DescriptionReader& read) {
  const StepperTables t = read.stepperTables();
  r_ = t.r.pr;
  N_ = t.r.rows;
  Nb_ = t.r.cols - 2;
  tft_ = t.tft.data;
  NT_ = t.tft.data ? clampCount(t.tftCols) : 0;
  data_ = t.data.data;
  d_ = NewmarkCoefficients{data_[0], data_[1], data_[2], data_[3], data_[4]};
  iopt_ = t.iopt;
}

void chandleDiagNewmark::bindStepOutput(const StepperIO& io) {
  uva_ = io.uva.data;
  nUva_ = uva_ ? static_cast<int64_t>(io.uva.count) : 0;
  fnlOut_ = io.uvaFnl.data;
  nFnl_ = clampCount(io.uvaFnl.readableRows());
}

void chandleDiagNewmark::bindModelForces(const StepperIO& io) {
  fnl_ = io.modelFnl.data;
  nFnl_ = clampCount(std::min<int64_t>(nFnl_, io.modelFnl.readableRows()));
}

// The storage: displacement snapshots ("data", "def") and force snapshots
// ("FNL" with "data" and "def").  A kind without its save times or its
// snapshot array takes no snapshot.
void chandleDiagNewmark::bindStorage(const StepperIO& io) {
  saveT_ = io.saveTimes.data;
  saveDef_ = io.saveDef.data;
  iSave_ = 0;
  nDef_ = snapshotRows(io.saveDef, N_);
  nSave_ = snapshotCount(io.saveTimes, io.saveDef, nDef_);

  const RealArray& fTimes = io.fnlSaveTimes;
  const RealArray& fDef = io.fnlSaveDef;
  saveFnlT_ = fTimes.data;
  saveFnlDef_ = fDef.data;
  iSaveFnl_ = 0;
  if (fDef.data && nFnl_ > 0 && fTimes.readableRows() > 0 &&
      static_cast<int64_t>(fDef.rows) != nFnl_)
    wrongSize("storage FNL.def has " + str(fDef.rows) + " rows, " +
              str(nFnl_) + " force entries are stored per snapshot");
  nSaveFnl_ = snapshotCount(fTimes, fDef, nFnl_);
}

// u, v and a: distinct arrays of nDef values each, u with N rows.
void chandleDiagNewmark::checkState(const _ROr& ro) const {
  if (ro.a && ro.a == ro.v) fail(Reason::Invalid, "Identical v & a");
  if (ro.v && ro.v == ro.u) fail(Reason::Invalid, "Identical v & u");
  if (ro.a && ro.a == ro.u) fail(Reason::Invalid, "Identical a & u");
  if (ro.Ndof != N_)
    wrongSize("u has " + str(ro.Ndof) + " rows, r " + str(N_) +
              ": the terms evaluate the residual of every row of u");
  const std::pair<const char*, std::size_t> state[] = {
      {"u", ro.nU}, {"v", ro.nV}, {"a", ro.nA}};
  for (const auto& s : state)
    if (static_cast<int64_t>(s.second) < nDef_)
      wrongSize(std::string(s.first) + " holds " + str(s.second) +
                " values, " + str(nDef_) + " are stepped and stored");
  if (uva_ && nUva_ < 3 * static_cast<int64_t>(nDef_) + N_)
    fail(Reason::Invalid, "wrong uva size");
}

// Each array a step writes is its own: none shares memory with another
// array the run writes or reads.
void chandleDiagNewmark::checkApart(const _ROr& ro) const {
  const int64_t nSnapshots = static_cast<int64_t>(nSave_) * nDef_;
  const int64_t nForceSnapshots = static_cast<int64_t>(nSaveFnl_) * nFnl_;
  requireApart(
      "Newmark stepper",
      {span(ro.u, nDef_, "u"), span(ro.v, nDef_, "v"), span(ro.a, nDef_, "a"),
       span(uva_, nUva_, "the step output uva.uva"),
       span(fnlOut_, nFnl_, "the step output uva.FNL"),
       span(ro.FNL, ro.nFNL, "the model's FNL"),
       span(saveDef_, nSnapshots, "the storage def"),
       span(saveFnlDef_, nForceSnapshots, "the storage FNL.def"),
       span(data_, 6, "the stepper's data")},
      {span(r_, static_cast<int64_t>(N_) * (Nb_ + 2), "the stepper's r"),
       span(tft_, static_cast<int64_t>(Nb_ + 1) * NT_, "the stepper's tft"),
       span(saveT_, nSave_, "the storage data"),
       span(saveFnlT_, nSaveFnl_, "the storage FNL.data")});
}

// The load factors of each step go to FNL[iopt[0] …] (negative: nowhere).
void chandleDiagNewmark::checkLoadExport(const _ROr& ro) const {
  if (!iopt_ || iopt_[0] < 0) return;
  if (!ro.FNL)
    fail(Reason::Invalid,
         "Newmark stepper: iopt(1) places the load factors in the model's "
         "FNL, which is missing");
  if (static_cast<int64_t>(iopt_[0]) + Nb_ > static_cast<int64_t>(ro.nFNL))
    fail(Reason::Invalid, "Newmark stepper: iopt(1) + Nb = " +
                              str(static_cast<int64_t>(iopt_[0]) + Nb_) +
                              " exceeds the " + str(ro.nFNL) +
                              " entries of the model's FNL");
}

// Every internal state a term writes must land inside the nDef entries the
// stepper carries; then each term checks its own reads and writes against
// the record as the steps will see it.
void chandleDiagNewmark::checkTerms(const _ROr& ro, chandle* const* terms,
                                    int32_t nTerms) const {
  for (int32_t k = 0; k < nTerms; ++k)
    if (terms[k] && terms[k]->type() == kTypeNlInOut &&
        terms[k]->stateEnd() > nDef_)
      fail(Reason::Invalid, "iu+Nistate too large");
  _ROr seen = ro;
  seen.nU = seen.nV = seen.nA = static_cast<std::size_t>(nDef_);
  for (int32_t k = 0; k < nTerms; ++k)
    if (terms[k]) terms[k]->checkBounds(seen);
  // The terms are elements 2 … of the handle vector.
  requireKeptStatesApart(terms, static_cast<std::size_t>(nTerms), 2);
}

void chandleDiagNewmark::initCb(const StepperIO& io, const _ROr& ro,
                                chandle* const* terms, int32_t nTerms) {
  bindStepOutput(io);
  bindModelForces(io);
  bindStorage(io);
  checkState(ro);
  checkApart(ro);
  checkLoadExport(ro);
  checkTerms(ro, terms, nTerms);

  x_ = NewmarkVectors{};
  x_.u = ro.u;
  x_.v = ro.v;
  x_.a = ro.a;
  x_.N = N_;
  x_.nDef = nDef_;
  x_.start = uva_;
  if (uva_) {
    x_.w = uva_ + 3 * static_cast<int64_t>(nDef_);
  } else {
    wScratch_.assign(static_cast<std::size_t>(N_), 0.0);
    x_.w = wScratch_.data();
  }
}

// ---------------------------------------------------------------------------
// Stepping

// The corrector of a step is held back and done in the same pass as the
// next step's predictor, unless something must see the corrected state
// first: a displacement snapshot, or the end of the run.  Only EndStep runs
// in between, and no term reads the state there.
void chandleDiagNewmark::doStep(chandle* const* terms, int32_t nTerms,
                                int32_t j, _ROr ro) {
  const int64_t col = static_cast<int64_t>(Nb_) + 1;
  const double t = tft_[col * (j + 1)];
  ro.t = t;
  data_[5] = t;

  // The forces as the previous step left them.
  if (nFnl_ > 0 && fnlOut_) copyBlock(fnl_, nFnl_, fnlOut_);
  const double* factors = tft_ + col * j + 1;
  if (iopt_ && iopt_[0] >= 0) copyBlock(factors, Nb_, ro.FNL + iopt_[0]);

  const double* corr = r_ + static_cast<int64_t>(N_) * (Nb_ + 1);
  const NewmarkLoads loads{r_ + N_, factors, Nb_};
  if (correctionPending_)
    newmarkCorrectPredict(d_, corr, loads, x_);
  else
    newmarkPredict(d_, loads, x_);
  correctionPending_ = false;
  for (int32_t k = 0; k < nTerms; ++k)
    if (terms[k]) terms[k]->Residual(ro, x_.w);

  const bool lastStep = j + 2 >= NT_;
  iSave_ = nextSaveSlot(saveT_, nSave_, iSave_, t);
  const bool saving = iSave_ < nSave_ && t == saveT_[iSave_];
  if (lastStep || saving)
    newmarkCorrect(d_, corr, x_);
  else
    correctionPending_ = true;

  for (int32_t k = 0; k < nTerms; ++k)
    if (terms[k]) terms[k]->EndStep();
  saveSnapshots(t);
}

// A save time matches only when a step time equals it exactly; the slot is
// not advanced past a match, so a repeated step time stores again.  The
// displacement slot was searched before the corrector.
void chandleDiagNewmark::saveSnapshots(double t) {
  if (iSave_ < nSave_ && t == saveT_[iSave_])
    copyBlock(x_.u, nDef_, saveDef_ + static_cast<int64_t>(iSave_) * nDef_);
  iSaveFnl_ = nextSaveSlot(saveFnlT_, nSaveFnl_, iSaveFnl_, t);
  if (iSaveFnl_ < nSaveFnl_ && t == saveFnlT_[iSaveFnl_])
    copyBlock(fnl_, nFnl_, saveFnlDef_ + static_cast<int64_t>(iSaveFnl_) * nFnl_);
}

void chandleDiagNewmark::run(chandle* const* terms, int32_t nTerms,
                             const _ROr& ro) {
  correctionPending_ = false;
  for (int32_t j = 0; j + 1 < NT_; ++j) doStep(terms, nTerms, j, ro);
  std::vector<double>().swap(wScratch_);
}

}  // namespace spardyn
