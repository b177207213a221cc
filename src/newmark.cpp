// The diagonal Newmark stepper and the command that runs it.  Everything a
// step will touch is bound and checked before the first step; the time loop
// itself allocates nothing and never calls back into the host.
#include "spardyn/newmark.hpp"

#include <algorithm>
#include <climits>
#include <string>

#include "host.hpp"
#include "spardyn/command.hpp"
#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"
#include "spardyn/registry.hpp"
#include "spardyn/residual.hpp"
#include "spardyn/sparse_view.hpp"
#include "spardyn/views.hpp"

namespace spardyn {

namespace {

// Inputs of "chandlediagnewmark" that the stepper reads itself.
enum { IN_HANDLES = 2, IN_MODEL = 3, IN_STEP_OUTPUT = 8, IN_STORAGE = 9 };

std::string str(int64_t n) { return std::to_string(n); }

[[noreturn]] void wrongSize(const std::string& message) {
  fail(Reason::WrongSize, "Newmark stepper: " + message);
}

const host::Value* requiredField(const host::Value* s, const char* name) {
  const host::Value* f = host::field(s, name);
  if (!f)
    fail(Reason::Empty,
         std::string("Newmark stepper: field \"") + name + "\" is missing");
  return f;
}

// A real, full double array the stepper reads or writes: its data (null when
// it has no element), element count and rows (which an empty array has too).
struct Doubles {
  bool present = false;
  double* p = nullptr;
  int64_t n = 0;
  int64_t rows = 0;
  // Rows whose first entries can be read: none without data.
  int64_t readableRows() const { return p ? rows : 0; }
};

Doubles doubles(const host::Value* v, const char* what) {
  if (!host::isDouble(v) || host::isSparse(v) || host::isComplex(v))
    fail(Reason::Invalid, std::string("Newmark stepper: ") + what +
                              " must be a real full double array");
  Doubles d;
  d.present = true;
  d.p = host::realData(v);
  d.n = d.p ? static_cast<int64_t>(host::numel(v)) : 0;
  d.rows = static_cast<int64_t>(host::rows(v));
  return d;
}

// A field that may be absent (empty result then).
Doubles optionalDoubles(const host::Value* s, const char* name,
                        const char* what) {
  const host::Value* f = s ? host::field(s, name) : nullptr;
  return f ? doubles(f, what) : Doubles{};
}

int32_t clampCount(int64_t n) {
  return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
}

bool live(const chandle* h) { return h && h->type >= 0; }

// Snapshots that fit: one per save time, as many as the snapshot array has
// columns of rows values.
int32_t snapshotCount(const Doubles& times, const Doubles& snapshots,
                      int64_t rows) {
  if (!snapshots.p || rows <= 0) return 0;
  return clampCount(std::min(times.readableRows(), snapshots.n / rows));
}

}  // namespace

// ---------------------------------------------------------------------------
// Preparation

void chandleDiagNewmark::initCpt() {
  const host::Value* s = get_val();
  const SparseView rv = pw_mkl_get_sparse(requiredField(s, "r"));
  if (rv.isSparse()) fail(Reason::Invalid, "Full r expected");
  if (!rv.hasValues()) fail(Reason::Empty, "Newmark stepper: \"r\" holds no values");
  checkDenseSize(rv, "Newmark stepper: r");
  r = rv.pr;
  N = rv.rows;
  Nb = rv.cols - 2;

  const host::Value* tftValue = requiredField(s, "tft");
  const Doubles t = doubles(tftValue, "tft");
  tft = t.p;
  NT = t.p ? clampCount(static_cast<int64_t>(host::cols(tftValue))) : 0;

  nFnl = nSave = iSave = iSaveFnl = nSaveFnl = 0;
  fnl = saveDef = saveFnlDef = nullptr;
  saveT = saveFnlT = nullptr;
  uva = fnlOut = nullptr;

  if (static_cast<int64_t>(Nb) + 1 != static_cast<int64_t>(host::rows(tftValue)))
    fail(Reason::Invalid, "Inconsistent Nb & NT");
  // The correction factors follow the load shapes; without a load shape
  // there is no room for them.
  if (Nb < 1)
    fail(Reason::Invalid,
         "Newmark stepper: r needs Nb + 2 columns with at least one load "
         "shape (Nb >= 1), got " + str(Nb + 2));

  const Doubles dd = doubles(requiredField(s, "data"), "data");
  if (dd.n != 6) fail(Reason::Invalid, "Inconsistent data length");
  data = dd.p;
  d_ = NewmarkCoefficients{data[0], data[1], data[2], data[3], data[4]};

  // Only iopt[0] is read: a non-empty int32 array has it.
  iopt = nullptr;
  if (const host::Value* io = host::field(s, "iopt")) {
    if (!host::isInt32(io)) fail(Reason::Conform, "iopt must be int32");
    iopt = host::int32Data(io);
  }
}

void chandleDiagNewmark::bindStepOutput(const Call& call) {
  const host::Value* out = call.optional(IN_STEP_OUTPUT);
  const host::Value* s = out ? host::field(out, "uva") : nullptr;
  uva = nullptr;
  nUva_ = 0;
  if (!s) return;
  const Doubles u = optionalDoubles(s, "uva", "step output uva.uva");
  uva = u.p;
  nUva_ = u.n;
  if (uva && nUva_ < 4 * static_cast<int64_t>(N))
    fail(Reason::Invalid, "wrong uva size");
  const Doubles f = optionalDoubles(s, "FNL", "step output uva.FNL");
  fnlOut = f.p;
  nFnl = clampCount(f.readableRows());
}

void chandleDiagNewmark::bindModelForces(const Call& call) {
  const Doubles f = optionalDoubles(call.in(IN_MODEL), "FNL", "model FNL");
  fnl = f.p;
  nFnl = clampCount(std::min<int64_t>(nFnl, f.readableRows()));
}

// The storage: displacement snapshots ("data", "def") and force snapshots
// ("FNL" with "data" and "def").  A kind without its save times or its
// snapshot array takes no snapshot.
void chandleDiagNewmark::bindStorage(const Call& call) {
  const host::Value* s = call.optional(IN_STORAGE);
  const Doubles times = optionalDoubles(s, "data", "storage data");
  const Doubles def = optionalDoubles(s, "def", "storage def");
  saveT = times.p;
  saveDef = def.p;
  iSave = 0;
  nDef = def.present ? clampCount(def.rows) : N;
  if (nDef < N)
    wrongSize("storage def has " + str(nDef) + " rows, fewer than the " +
              str(N) + " degrees of freedom stepped");
  nSave = snapshotCount(times, def, nDef);

  const host::Value* f = s ? host::field(s, "FNL") : nullptr;
  const Doubles fTimes = optionalDoubles(f, "data", "storage FNL.data");
  const Doubles fDef = optionalDoubles(f, "def", "storage FNL.def");
  saveFnlT = fTimes.p;
  saveFnlDef = fDef.p;
  iSaveFnl = 0;
  if (fDef.p && nFnl > 0 && fTimes.readableRows() > 0 && fDef.rows != nFnl)
    wrongSize("storage FNL.def has " + str(fDef.rows) + " rows, " +
              str(nFnl) + " force entries are stored per snapshot");
  nSaveFnl = snapshotCount(fTimes, fDef, nFnl);
}

// u, v and a: distinct arrays of nDef values each, u with N rows.
void chandleDiagNewmark::checkState(const _ROr& ro) const {
  if (ro.a && ro.a == ro.v) fail(Reason::Invalid, "Identical v & a");
  if (ro.v && ro.v == ro.u) fail(Reason::Invalid, "Identical v & u");
  if (ro.a && ro.a == ro.u) fail(Reason::Invalid, "Identical a & u");
  if (ro.Ndof != N)
    wrongSize("u has " + str(ro.Ndof) + " rows, r " + str(N) +
              ": the terms evaluate the residual of every row of u");
  const std::pair<const char*, std::size_t> state[] = {
      {"u", ro.nU}, {"v", ro.nV}, {"a", ro.nA}};
  for (const auto& s : state)
    if (static_cast<int64_t>(s.second) < nDef)
      wrongSize(std::string(s.first) + " holds " + str(s.second) +
                " values, " + str(nDef) + " are stepped and stored");
  if (uva && nUva_ < 3 * static_cast<int64_t>(nDef) + N)
    fail(Reason::Invalid, "wrong uva size");
}

// Each array a step writes is its own: none shares memory with another
// array the run writes or reads.
void chandleDiagNewmark::checkApart(const _ROr& ro) const {
  const int64_t nSnapshots = static_cast<int64_t>(nSave) * nDef;
  const int64_t nForceSnapshots = static_cast<int64_t>(nSaveFnl) * nFnl;
  requireApart(
      "Newmark stepper",
      {span(ro.u, nDef, "u"), span(ro.v, nDef, "v"), span(ro.a, nDef, "a"),
       span(uva, nUva_, "the step output uva.uva"),
       span(fnlOut, nFnl, "the step output uva.FNL"),
       span(ro.FNL, ro.nFNL, "the model's FNL"),
       span(saveDef, nSnapshots, "the storage def"),
       span(saveFnlDef, nForceSnapshots, "the storage FNL.def"),
       span(data, 6, "the stepper's data")},
      {span(r, static_cast<int64_t>(N) * (Nb + 2), "the stepper's r"),
       span(tft, static_cast<int64_t>(Nb + 1) * NT, "the stepper's tft"),
       span(saveT, nSave, "the storage data"),
       span(saveFnlT, nSaveFnl, "the storage FNL.data")});
}

// The load factors of each step go to FNL[iopt[0] …] (negative: nowhere).
void chandleDiagNewmark::checkLoadExport(const _ROr& ro) const {
  if (!iopt || iopt[0] < 0) return;
  if (!ro.FNL)
    fail(Reason::Invalid,
         "Newmark stepper: iopt(1) places the load factors in the model's "
         "FNL, which is missing");
  if (static_cast<int64_t>(iopt[0]) + Nb > static_cast<int64_t>(ro.nFNL))
    fail(Reason::Invalid, "Newmark stepper: iopt(1) + Nb = " +
                              str(static_cast<int64_t>(iopt[0]) + Nb) +
                              " exceeds the " + str(ro.nFNL) +
                              " entries of the model's FNL");
}

// Every internal state a term writes must land inside the nDef entries the
// stepper carries; then each term checks its own reads and writes against
// the record as the steps will see it.
void chandleDiagNewmark::checkTerms(const _ROr& ro, chandle* const* terms,
                                    int32_t nTerms) const {
  for (int32_t k = 0; k < nTerms; ++k)
    if (terms[k] && terms[k]->type == kTypeNlInOut &&
        terms[k]->stateEnd() > nDef)
      fail(Reason::Invalid, "iu+Nistate too large");
  _ROr seen = ro;
  seen.nU = seen.nV = seen.nA = static_cast<std::size_t>(nDef);
  for (int32_t k = 0; k < nTerms; ++k)
    if (live(terms[k])) terms[k]->checkBounds(seen);
  // The terms are elements 2 … of the handle vector.
  requireKeptStatesApart(terms, static_cast<std::size_t>(nTerms), 2);
}

void chandleDiagNewmark::initCb(const Call& call, const _ROr& ro,
                                chandle* const* terms, int32_t nTerms) {
  bindStepOutput(call);
  bindModelForces(call);
  bindStorage(call);
  checkState(ro);
  checkApart(ro);
  checkLoadExport(ro);
  checkTerms(ro, terms, nTerms);

  x_ = NewmarkVectors{};
  x_.u = ro.u;
  x_.v = ro.v;
  x_.a = ro.a;
  x_.N = N;
  x_.nDef = nDef;
  x_.start = uva;
  if (uva) {
    x_.w = uva + 3 * static_cast<int64_t>(nDef);
  } else {
    wScratch_.assign(static_cast<std::size_t>(N), 0.0);
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
  const int64_t col = static_cast<int64_t>(Nb) + 1;
  const double t = tft[col * (j + 1)];
  ro.t = t;
  data[5] = t;

  // The forces as the previous step left them.
  if (nFnl > 0 && fnlOut) copyBlock(fnl, nFnl, fnlOut);
  const double* factors = tft + col * j + 1;
  if (iopt && iopt[0] >= 0) copyBlock(factors, Nb, ro.FNL + iopt[0]);

  const double* corr = r + static_cast<int64_t>(N) * (Nb + 1);
  const NewmarkLoads loads{r + N, factors, Nb};
  if (correctionPending_)
    newmarkCorrectPredict(d_, corr, loads, x_);
  else
    newmarkPredict(d_, loads, x_);
  correctionPending_ = false;
  for (int32_t k = 0; k < nTerms; ++k)
    if (live(terms[k])) terms[k]->Residual(ro, x_.w);

  const bool lastStep = j + 2 >= NT;
  iSave = nextSaveSlot(saveT, nSave, iSave, t);
  const bool saving = iSave < nSave && t == saveT[iSave];
  if (lastStep || saving)
    newmarkCorrect(d_, corr, x_);
  else
    correctionPending_ = true;

  for (int32_t k = 0; k < nTerms; ++k)
    if (live(terms[k])) terms[k]->EndStep();
  saveSnapshots(t);
}

// A save time matches only when a step time equals it exactly; the slot is
// not advanced past a match, so a repeated step time stores again.  The
// displacement slot was searched before the corrector.
void chandleDiagNewmark::saveSnapshots(double t) {
  if (iSave < nSave && t == saveT[iSave])
    copyBlock(x_.u, nDef, saveDef + static_cast<int64_t>(iSave) * nDef);
  iSaveFnl = nextSaveSlot(saveFnlT, nSaveFnl, iSaveFnl, t);
  if (iSaveFnl < nSaveFnl && t == saveFnlT[iSaveFnl])
    copyBlock(fnl, nFnl, saveFnlDef + static_cast<int64_t>(iSaveFnl) * nFnl);
}

void chandleDiagNewmark::run(chandle* const* terms, int32_t nTerms,
                             const _ROr& ro) {
  correctionPending_ = false;
  for (int32_t j = 0; j + 1 < NT; ++j) doStep(terms, nTerms, j, ro);
  std::vector<double>().swap(wScratch_);
}

std::unique_ptr<chandle> makeDiagNewmark() {
  return std::make_unique<chandleDiagNewmark>();
}

// ---------------------------------------------------------------------------
// "chandlediagnewmark", handles, model, u, v, a, Rayleigh, step output,
// storage

void cmdChandleDiagNewmark(Call& call) {
  const _ROr ro = getROr(call);
  const host::Value* handles = call.in(IN_HANDLES);
  if (!host::isCell(handles) && !host::isClass(handles, "chandle"))
    fail(Reason::Invalid, "Expecting chandle vector");
  const HandleList list = fillVectP(handles);
  if (list.size() == 0)
    fail(Reason::NonHandle,
         "spardyn chandlediagnewmark : empty handle vector (the first "
         "element must be the stepper)");
  auto* stepper = dynamic_cast<chandleDiagNewmark*>(list[0]);
  if (!stepper)
    fail(Reason::NonHandle,
         "spardyn chandlediagnewmark : the first handle must be a Newmark "
         "stepper (type 2000)");
  const int32_t nTerms = static_cast<int32_t>(list.size() - 1);
  chandle* const* terms = list.data() + 1;
  stepper->initCb(call, ro, terms, nTerms);
  stepper->run(terms, nTerms, ro);
}

}  // namespace spardyn
