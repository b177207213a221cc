// The walk of a model's "NL" list: each entry's host values read into the
// core's records and checked, its observations, the host call-back that
// gives its force, and the injection.  Host errors raised inside a call-back
// pass through untouched: nothing here catches.
#include "nl_walk.hpp"

#include <cstdint>
#include <limits>
#include <string>

#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"
#include "spardyn/mapped_memory.hpp"
#include "spardyn/nl_entry.hpp"
#include "spardyn/rotcenter.hpp"
#include "views.hpp"

namespace spardyn {

static_assert(kUnknownCount == host::kUnknownLength,
              "one marker for the length of a buffer shared by an object");

namespace {

// A command matrix checked before the force is known: any length passes.
constexpr int64_t kAnyLength = std::numeric_limits<int64_t>::max();

std::string quoted(const char* name) { return std::string("\"") + name + "\""; }

// "spardyn residual : model.NL row 3, "unl"", naming what a reader refuses.
std::string fieldWhat(int64_t row, const char* name) {
  return entryWhere(row, quoted(name));
}

// A field the entry's form reads; its absence is refused.
const host::Value* needed(const host::Value* S, const char* name,
                          int64_t row) {
  return host::requiredField(S, name, entryWhere(row, "") + ",");
}

// An array of values: a real full double array, or an object sharing its
// buffer (of unknown length).
struct Buffer {
  double* data = nullptr;
  std::size_t count = 0;
  std::size_t rows = 0;
};

Buffer readBuffer(const host::Value* v, const std::string& what) {
  Buffer b;
  b.data = host::pmatGetPr(v, &b.count, what);
  b.rows = host::rows(v);
  return b;
}

// "vnl" or "unl", with its reference when it has two dimensions (or is read
// as one block of values, in the earlier form).  Absent or empty: the step
// is skipped.
ObservationArray readObservation(const host::Value* S, const char* field,
                                 const char* refField, int64_t row,
                                 WalkForm form) {
  ObservationArray a;
  const host::Value* v = host::field(S, field);
  if (!v) return a;
  const Buffer b = readBuffer(v, fieldWhat(row, field));
  if (!b.data) return a;
  a.data = b.data;
  a.count = b.count;
  a.ndims = form == WalkForm::Earlier ? 2 : host::ndims(v);
  for (std::size_t i = 0; i < 3; ++i) a.dims[i] = host::dim(v, i);
  if (!a.sliced())
    if (const host::Value* ref = host::field(S, refField)) {
      const Buffer rb = readBuffer(ref, fieldWhat(row, refField));
      a.reference = rb.data;
      a.referenceCount = rb.count;
    }
  return a;
}

// The view of a matrix of the entry.  A description without values is no
// matrix the products could use: it is refused rather than read as zero.
SparseView entryMatrix(const host::Value* m, int64_t row,
                       const std::string& field) {
  if (!m) failEntry(Reason::Empty, row, field, "is missing");
  const host::Value* source =
      host::isClass(m, "v_handle") ? host::field(m, "file") : m;
  if (source && host::isStruct(source) && !host::field(source, "pr"))
    failEntry(Reason::Invalid, row, field,
              "a sparse description without values (field \"pr\")");
  return pw_mkl_get_sparse(m);
}

// --- the plan of one entry: everything read and checked before it writes ------

enum class Form {
  Function,   // "Fu", a function handle, called through "feval"
  RotCenter,  // "type" "rotcenter": computed here
  Spring,     // "type" any other string: the host function "nl_spring"
  Callable,   // "type" not a string: called through "feval"
  Nothing,    // "type" "mocirc2" or empty
};

struct EntryPlan {
  const host::Value* S = nullptr;
  int64_t row = 0;
  WalkForm walk = WalkForm::Current;
  Form form = Form::Nothing;
  const host::Value* function = nullptr;  // "Fu" or "type"

  ObservationArray vnl, unl;
  SparseView c;
  double clock = 1.0;
  ObservationWrites vnlWrites, unlWrites;

  bool injects = false;  // r ← r + bᵀ·f
  SparseView b;
  bool copies = false;   // FNL[FInd …] ← f
  int32_t fInd = 0;

  RotCenter joint;
};

void planForm(EntryPlan& p) {
  const host::Value* fu = host::field(p.S, "Fu");
  if (fu && host::isFunctionHandle(fu)) {
    p.form = Form::Function;
    p.function = fu;
    return;
  }
  const host::Value* type = needed(p.S, "type", p.row);
  if (!host::isChar(type)) {
    p.form = Form::Callable;
    p.function = type;
    return;
  }
  // Exact comparisons: "RotCenter" is a kind for "nl_spring".
  const std::string kind = host::text(type);
  if (kind.empty() || kind == "mocirc2")
    p.form = Form::Nothing;
  else if (kind == "rotcenter")
    p.form = Form::RotCenter;
  else
    p.form = Form::Spring;
}

// The earlier form: one block per array, no clock.
void planFlatObservations(EntryPlan& p, const _ROr& ro) {
  checkFlatObservation(p.vnl, p.c, ro.v, ro.nV, p.row, Observed::Velocity);
  checkFlatObservation(p.unl, p.c, ro.u, ro.nU, p.row, Observed::Displacement);
  p.vnlWrites = flatObservationWrites(p.vnl, p.c, Observed::Velocity);
  p.unlWrites = flatObservationWrites(p.unl, p.c, Observed::Displacement);
}

void planObservations(EntryPlan& p, const _ROr& ro) {
  p.vnl = readObservation(p.S, "vnl", "vnl0", p.row, p.walk);
  p.unl = readObservation(p.S, "unl", "unl0", p.row, p.walk);
  if (!p.vnl.present() && !p.unl.present()) return;
  p.c = entryMatrix(needed(p.S, "c", p.row), p.row, quoted("c"));
  if (p.walk == WalkForm::Earlier) {
    planFlatObservations(p, ro);
    return;
  }
  const double* opt = nullptr;
  std::size_t nOpt = 0;
  if (p.vnl.present() && p.vnl.sliced() && p.vnl.dims[2] > 2)
    if (const host::Value* o = host::field(p.S, "opt")) {
      const RealArray a = host::realFull(o, fieldWhat(p.row, "opt"));
      opt = a.data;
      nOpt = a.count;
    }
  p.clock = sliceClock(p.vnl, opt, nOpt, ro.t);
  checkObservation(p.vnl, p.c, p.clock, ro.v, ro.nV, p.row, Observed::Velocity);
  checkObservation(p.unl, p.c, p.clock, ro.u, ro.nU, p.row,
                   Observed::Displacement);
  p.vnlWrites = observationWrites(p.vnl, p.c, p.clock, Observed::Velocity);
  p.unlWrites = observationWrites(p.unl, p.c, p.clock, Observed::Displacement);
}

// b, checked against r now; against the force once it is known.
void planInjection(EntryPlan& p, const _ROr& ro) {
  p.b = entryMatrix(host::field(p.S, "b"), p.row, quoted("b"));
  if (p.walk == WalkForm::Earlier) requireEarlierAddForm(p.b);
  const std::string what = fieldWhat(p.row, "b");
  checkAddUse(p.b, kAnyLength, ro.Ndof, what.c_str());
  p.injects = true;
}

// "StoreFNL" (a NaN counts as set) and, when the force is copied, "FInd".
void planCopy(EntryPlan& p, const _ROr& ro) {
  const double store = host::firstDouble(needed(p.S, "StoreFNL", p.row),
                                         fieldWhat(p.row, "StoreFNL").c_str());
  p.copies = store != 0.0 && ro.FNL;
  if (!p.copies) return;
  const host::Value* fInd = needed(p.S, "FInd", p.row);
  if (!host::isInt32(fInd))
    failEntry(Reason::Conform, p.row, quoted("FInd"),
              "int32 expected, not " + host::className(fInd));
  const int32_t* at = host::int32Data(fInd);
  if (!at) failEntry(Reason::Empty, p.row, quoted("FInd"), "is empty");
  p.fInd = at[0];
}

// --- the rotating centre's record ----------------------------------------------

RealArray cellRowArray(const host::Value* cell, std::size_t m, int k,
                       int64_t row) {
  const host::Value* v = host::cell(cell, m + k - 1);
  if (!v) return RealArray();
  return host::realFull(v, entryWhere(row, cellRowField(k)));
}

const host::Value* cellRowValue(const host::Value* cell, std::size_t m, int k,
                                int64_t row) {
  const host::Value* v = host::cell(cell, m + k - 1);
  if (!v) failEntry(Reason::Empty, row, cellRowField(k), "is missing");
  return v;
}

// "Cell": m rows, the data in the second column.  From 15 rows on the points
// are observation matrices, in rows 15 and 17.
const host::Value* jointCell(const host::Value* S, int64_t row) {
  const host::Value* cell = needed(S, "Cell", row);
  if (!host::isCell(cell))
    failEntry(Reason::Invalid, row, quoted("Cell"),
              "a cell expected, not " + host::className(cell));
  const std::size_t m = host::rows(cell);
  if (host::cols(cell) < 2)
    failEntry(Reason::WrongSize, row, quoted("Cell"),
              "the joint's data sit in a second column; it has " +
                  std::to_string(host::cols(cell)));
  if (m < 10)
    failEntry(Reason::WrongSize, row, quoted("Cell"),
              "at least 10 rows expected (Q sits in row 10), it has " +
                  std::to_string(m));
  if (m == 15 || m == 16)
    failEntry(Reason::WrongSize, row, quoted("Cell"),
              "points given by observation matrices need rows 15 and 17; "
              "it has " + std::to_string(m) + " rows");
  if (m > static_cast<std::size_t>(INT32_MAX))
    failEntry(Reason::WrongSize, row, quoted("Cell"), "too many rows");
  return cell;
}

void readPointLists(const host::Value* cell, std::size_t m, int first,
                    int64_t row, RotCenterPoint& p) {
  const RealArray dofs = cellRowArray(cell, m, first, row);
  const RealArray comps = cellRowArray(cell, m, first + 1, row);
  p.dofs = dofs.data, p.nDofs = dofs.count;
  p.components = comps.data, p.nComponents = comps.count;
}

ForceTable readTable(const host::Value* S, const char* name, int64_t row) {
  const host::Value* v = needed(S, name, row);
  const RealArray a = host::realFull(v, fieldWhat(row, name));
  return {a.data, a.rows, host::cols(v), a.count};
}

RotCenter readRotCenter(const host::Value* S, int64_t row, const _ROr& ro) {
  const host::Value* cell = jointCell(S, row);
  const std::size_t m = host::rows(cell);
  RotCenter rc;
  rc.cellRows = static_cast<int32_t>(m);
  rc.rotationDof = host::int32Of(cellRowValue(cell, m, 1, row),
                                 entryWhere(row, cellRowField(1)).c_str());
  const RealArray P = cellRowArray(cell, m, 2, row);
  const RealArray D = cellRowArray(cell, m, 3, row);
  const RealArray E = cellRowArray(cell, m, 4, row);
  const RealArray Q = cellRowArray(cell, m, 10, row);
  rc.P = P.data, rc.nP = P.count;
  rc.D = D.data, rc.nD = D.count;
  rc.E = E.data, rc.nE = E.count;
  rc.Q = Q.data, rc.nQ = Q.count;
  if (rc.byMatrices()) {
    rc.A.obs = entryMatrix(cellRowValue(cell, m, 15, row), row, cellRowField(15));
    rc.B.obs = entryMatrix(cellRowValue(cell, m, 17, row), row, cellRowField(17));
  } else {
    readPointLists(cell, m, 5, row, rc.A);
    readPointLists(cell, m, 7, row, rc.B);
  }
  if (rc.copiesForce() && ro.FNL) {
    const host::Value* at = host::cell(cell, m + 10);
    if (at && !host::isInt32(at))
      failEntry(Reason::Conform, row, cellRowField(11),
                "int32 positions expected, not " + host::className(at));
    rc.fnlPositions = at ? host::int32Data(at) : nullptr;
    rc.nFnlPositions = rc.fnlPositions ? host::numel(at) : 0;
  }
  rc.Fu = readTable(S, "Fu", row);
  rc.Fv = readTable(S, "Fv", row);
  const RealArray curU = host::realFull(needed(S, "cur_u", row), fieldWhat(row, "cur_u"));
  const RealArray curV = host::realFull(needed(S, "cur_v", row), fieldWhat(row, "cur_v"));
  rc.curU = curU.data, rc.nCurU = curU.count;
  rc.curV = curV.data, rc.nCurV = curV.count;
  return rc;
}

EntryPlan planEntry(const host::Value* S, int64_t row, WalkForm walk,
                    const _ROr& ro, const double* r) {
  EntryPlan p;
  p.S = S;
  p.row = row;
  p.walk = walk;
  planForm(p);
  planObservations(p, ro);
  switch (p.form) {
    case Form::Function:
      planCopy(p, ro);
      if (host::field(S, "b")) planInjection(p, ro);
      break;
    case Form::Spring:
    case Form::Callable:
      if (host::field(S, "b") && host::field(S, "unl")) planInjection(p, ro);
      break;
    case Form::RotCenter:
      p.joint = readRotCenter(S, row, ro);
      if (walk == WalkForm::Earlier && p.joint.byMatrices()) {
        requireEarlierAddForm(p.joint.A.obs);
        requireEarlierAddForm(p.joint.B.obs);
      }
      checkRotCenter(p.joint, ro, r, row, p.vnlWrites, p.unlWrites);
      break;
    case Form::Nothing:
      break;
  }
  checkEntryWrites(p.vnlWrites, p.unlWrites, r, ro.Ndof, ro.FNL, ro.nFNL, row);
  return p;
}

// --- running an entry ---------------------------------------------------------------

// The entry's own force buffer: "snl", or "unl" without it; null for none.
const host::Value* initialForce(const host::Value* S, const char** name) {
  if (const host::Value* snl = host::field(S, "snl")) {
    *name = "snl";
    return snl;
  }
  *name = "unl";
  return host::field(S, "unl");
}

// r given as a buffer shared by an object may have been released by a host
// function the walk called: checked again before each write into it.
void requireResidualMapped(const double* r, bool rShared, const _ROr& ro) {
  if (rShared) requireWritableBuffer(r, ro.Ndof, "spardyn residual : r");
}

void checkForce(const EntryPlan& p, const Buffer& f, const std::string& fField,
                const _ROr& ro, const double* r, bool rShared) {
  if (!p.injects) return;
  checkInjection(p.b, f.data, f.count, r, ro.Ndof, p.row, "\"b\"",
                 fField.c_str());
  requireResidualMapped(r, rShared, ro);
}

void inject(const EntryPlan& p, const Buffer& f, double* r,
            InjectScratch& scratch) {
  if (p.injects) injectForce(p.b, f.data, r, scratch);
}

// Calls a host function with the entry and the inputs of the call after
// the leading values (the function for "feval"); its errors pass through.
host::Value* callBack(const char* name, host::Value* function,
                      const EntryPlan& p, const HandOver& hand, int nout) {
  host::Value* in[9];
  int nin = 0;
  if (function) in[nin++] = function;
  in[nin++] = const_cast<host::Value*>(p.S);
  for (host::Value* v : hand.inputs) in[nin++] = v;
  // A host may hand back a value even when none is asked for.
  host::Value* out[1] = {nullptr};
  host::call(nout, out, nin, in, name);
  if (nout == 0 && out[0]) {
    host::destroy(out[0]);
    out[0] = nullptr;
  }
  return out[0];
}

// "Fu": the force is the function's output (a structure's "snl" or "unl",
// or the array itself), or the entry's own buffer when it returns nothing.
// In the earlier form, only the field "unl" of an output structure.
void runFunction(const EntryPlan& p, const HandOver& hand, const _ROr& ro,
                 double* r, bool rShared, InjectScratch& scratch) {
  host::Value* o = callBack("feval", const_cast<host::Value*>(p.function), p,
                            hand, 1);
  const host::Value* F = o;
  std::string name = "\"Fu\" output";
  if (p.walk == WalkForm::Earlier) {
    F = o && host::isStruct(o) ? host::field(o, "unl") : nullptr;
  } else if (!o) {
    const char* field = "";
    F = initialForce(p.S, &field);
    name = quoted(field);
  } else if (host::isStruct(o)) {
    F = host::field(o, "snl");
    if (!F) F = host::field(o, "unl");
  }
  if (F) {
    // Everything checked before either write.
    const Buffer f = readBuffer(F, entryWhere(p.row, name));
    const std::size_t n = f.data ? f.rows : 0;  // rows copied into FNL
    checkForce(p, f, name, ro, r, rShared);
    if (p.copies)
      checkForceCopy(p.fInd, n, f.data, f.count, ro.FNL, ro.nFNL, p.row);
    inject(p, f, r, scratch);
    if (p.copies) copyForce(ro.FNL, p.fInd, f.data, n);
  }
  if (o) host::destroy(o);
}

// "nl_spring" or a callable "type": no output; the force is read back from
// the entry's buffers, which the function may have written.
void runNamed(const EntryPlan& p, const HandOver& hand, const _ROr& ro,
              double* r, bool rShared, InjectScratch& scratch) {
  if (p.form == Form::Spring)
    callBack("nl_spring", nullptr, p, hand, 0);
  else
    callBack("feval", const_cast<host::Value*>(p.function), p, hand, 0);
  if (!p.injects) return;
  const char* field = "unl";
  const bool unlOnly = p.form == Form::Spring || p.walk == WalkForm::Earlier;
  const host::Value* F =
      unlOnly ? host::field(p.S, "unl") : initialForce(p.S, &field);
  const Buffer f = readBuffer(F, fieldWhat(p.row, field));
  checkForce(p, f, quoted(field), ro, r, rShared);
  inject(p, f, r, scratch);
}

void runEntry(const EntryPlan& p, const HandOver& hand, const _ROr& ro,
              double* r, bool rShared, InjectScratch& scratch) {
  if (p.walk == WalkForm::Earlier) {
    observeFlat(p.vnl, p.c, ro.v);
    observeFlat(p.unl, p.c, ro.u);
  } else {
    observe(p.vnl, p.c, p.clock, ro.v);
    observe(p.unl, p.c, p.clock, ro.u);
  }
  switch (p.form) {
    case Form::Function:
      runFunction(p, hand, ro, r, rShared, scratch);
      break;
    case Form::Spring:
    case Form::Callable:
      runNamed(p, hand, ro, r, rShared, scratch);
      break;
    case Form::RotCenter:
      requireResidualMapped(r, rShared, ro);
      rotCenterResidual(p.joint, ro, r, scratch);
      break;
    case Form::Nothing:
      break;
  }
}

}  // namespace

const host::Value* nonLinearityList(const host::Value* model) {
  if (!host::isStruct(model)) return nullptr;
  const host::Value* list = host::field(model, "NL");
  if (!list || !host::isCell(list) || host::numel(list) == 0) return nullptr;
  const std::size_t n = host::rows(list);
  if (host::numel(list) < 3 * n)
    fail(Reason::Invalid,
         "spardyn residual : model.NL must hold its entries in a third "
         "column; it has " + std::to_string(host::cols(list)) + " columns");
  return list;
}

void addNonLinearities(const host::Value* list, const HandOver& hand,
                       const _ROr& ro, double* r, bool rShared,
                       WalkForm form) {
  // The walk writes r and FNL while the entries read u and v.
  requireApart("spardyn residual",
               {span(r, ro.Ndof, "r"), span(ro.FNL, ro.nFNL, "FNL")},
               {span(ro.u, ro.nU, "u"), span(ro.v, ro.nV, "v")});
  InjectScratch scratch;
  const std::size_t n = host::rows(list);
  for (std::size_t j = 0; j < n; ++j) {
    const host::Value* S = host::cell(list, j + 2 * n);
    if (!S || host::numel(S) == 0) continue;  // an empty cell: no entry
    const int64_t row = static_cast<int64_t>(j) + 1;
    if (!host::isStruct(S))
      failEntry(Reason::Invalid, row, "",
                "the entry must be a structure, not " + host::className(S));
    const EntryPlan plan = planEntry(S, row, form, ro, r);
    runEntry(plan, hand, ro, r, rShared, scratch);
  }
}

}  // namespace spardyn
