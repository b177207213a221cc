// The residual record of a call, and the command "residual": the model's
// mass, damping and stiffness matrices (with Rayleigh and modal damping), or
// the terms of a handle vector, added to the caller's residual in place.
#include <cstdint>
#include <limits>
#include <string>

#include "call.hpp"
#include "gather.hpp"
#include "nl_walk.hpp"
#include "residual.hpp"
#include "ror_reader.hpp"
#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"
#include "spardyn/kernels.hpp"
#include "spardyn/mapped_memory.hpp"
#include "spardyn/residual_kernel.hpp"
#include "views.hpp"

namespace spardyn {

namespace {

// "residual", r, model, u, v, a [, options [, argument]]; the argument is
// handed to the host functions of the model's "NL" list.
enum {
  IN_CMD = ROR_CMD, IN_R = ROR_R, IN_MODEL = ROR_MODEL, IN_U = ROR_U,
  IN_V = ROR_V, IN_A = ROR_A, IN_OPT = ROR_OPT, IN_ARG, IN_END
};

[[noreturn]] void refuse(const std::string& fault) {
  fail(Reason::Invalid, "spardyn residual : " + fault);
}

[[noreturn]] void tooShort(const char* vec, std::size_t have, int64_t need) {
  fail(Reason::WrongSize, std::string("spardyn residual : ") + vec +
                              " holds " + std::to_string(have) +
                              " values, fewer than the " +
                              std::to_string(need) + " degrees of freedom");
}

// The data of a real full double array (null when empty), with its count.
double* fullData(const host::Value* v, std::size_t& n, const char* what) {
  const RealArray a =
      host::realFull(v, std::string("spardyn residual : ") + what);
  n = a.count;
  return a.data;
}

// Rayleigh coefficients from input 7: [rayM rayK], or its field "Rayleigh".
// No input, no field or an empty array: no Rayleigh damping.
void readRayleigh(const host::Value* opt, _ROr& ro) {
  if (!opt) return;
  const host::Value* coeffs = opt;
  if (host::isStruct(opt)) {
    coeffs = host::field(opt, "Rayleigh");
    if (!coeffs) return;
  }
  std::size_t n = 0;
  const double* c = fullData(coeffs, n, "the Rayleigh coefficients");
  if (n == 0) return;
  if (n < 2)
    fail(Reason::WrongSize,
         "spardyn residual : Rayleigh coefficients [rayM rayK] expected, "
         "1 value given");
  ro.rayM = c[0];
  ro.rayK = c[1];
}

// The time: the first value of the field "tc" of an options structure.
double readTime(const host::Value* opt) {
  if (!opt || !host::isStruct(opt)) return 0.0;
  const host::Value* tc = host::field(opt, "tc");
  if (!tc || host::numel(tc) == 0) return 0.0;
  return host::firstDouble(tc, "spardyn residual : tc");
}

bool isHandleVector(const host::Value* v) { return host::isClass(v, "chandle"); }

}  // namespace

_ROr readRecord(const Call& c, const host::Value* ndofFrom) {
  _ROr ro;
  if (host::rows(ndofFrom) > static_cast<std::size_t>(INT32_MAX))
    fail(Reason::WrongSize, "spardyn residual : too many degrees of freedom");
  ro.Ndof = static_cast<int32_t>(host::rows(ndofFrom));
  ro.u = fullData(c.in(IN_U), ro.nU, "u");
  ro.v = fullData(c.in(IN_V), ro.nV, "v");
  ro.a = fullData(c.in(IN_A), ro.nA, "a");
  // u, when it gives Ndof, has Ndof rows, hence as many values, unless it
  // has no column.
  if (ro.nU < static_cast<std::size_t>(ro.Ndof)) tooShort("u", ro.nU, ro.Ndof);
  if (ro.v && ro.nV < static_cast<std::size_t>(ro.Ndof)) tooShort("v", ro.nV, ro.Ndof);
  if (ro.a && ro.nA < static_cast<std::size_t>(ro.Ndof)) tooShort("a", ro.nA, ro.Ndof);

  readRayleigh(c.optional(IN_OPT), ro);
  const host::Value* model = c.in(IN_MODEL);
  if (host::isStruct(model))
    if (const host::Value* fnl = host::field(model, "FNL"))
      ro.FNL = fullData(fnl, ro.nFNL, "the model's FNL");
  return ro;
}

_ROr getROr(const Call& c) {
  const host::Value* r = c.in(IN_R);
  if (!isHandleVector(r) && host::isComplex(r))
    fail(Reason::Invalid, "Real numbers for r");
  const host::Value* u = c.in(IN_U);
  if (host::isComplex(u) || host::isComplex(c.in(IN_V)) ||
      host::isComplex(c.in(IN_A)))
    fail("Real numbers needed.");
  _ROr ro = readRecord(c, u);
  ro.t = readTime(c.optional(IN_OPT));
  return ro;
}

// --- matrix mode ---------------------------------------------------------------

namespace {

// A matrix of the model and the shortest vector it gathers from; checked
// once, whatever the number of passes that read it.
struct MatrixUse {
  SparseView view;
  const char* what = "";
  std::size_t limit = std::numeric_limits<std::size_t>::max();
  bool used = false;

  void gathersFrom(std::size_t length) {
    used = true;
    if (length < limit) limit = length;
  }
  bool sparseWithValues() const { return view.pr && view.isSparse(); }
  void check(int32_t ndof) const {
    if (used) checkSparseColumns(view, ndof, static_cast<int64_t>(limit), what);
  }
};

MatrixUse useOf(const host::Value* m, const char* what) {
  MatrixUse use;
  use.view = pw_mkl_get_sparse(m);
  use.what = what;
  return use;
}

void refuseFull(const MatrixUse& m) {
  if (m.view.pr && !m.view.isSparse())
    refuse(std::string(m.what) + " must be sparse (a full matrix was given)");
}

// Modal damping: r += Φ·(d ∘ (Φᵀ·v)), the scratch half of "data" receiving
// d ∘ (Φᵀ·v).
struct ModalDamping {
  const double* phi = nullptr;
  int32_t m = 0;
  double* data = nullptr;
};

ModalDamping readModal(const host::Value* s, int32_t ndof) {
  ModalDamping md;
  const host::Value* def = host::field(s, "def");
  std::size_t n = 0;
  md.phi = fullData(def, n, "the mode shapes \"def\"");
  if (host::rows(def) != static_cast<std::size_t>(ndof))
    refuse("the mode shapes \"def\" have " + std::to_string(host::rows(def)) +
           " rows, not the " + std::to_string(ndof) + " degrees of freedom");
  if (host::cols(def) > static_cast<std::size_t>(INT32_MAX / 2))
    refuse("too many modes");
  md.m = md.phi ? static_cast<int32_t>(host::cols(def)) : 0;
  const host::Value* data =
      host::requiredField(s, "data", "spardyn residual : the modal damping's");
  std::size_t nData = 0;
  md.data = fullData(data, nData, "the modal damping \"data\"");
  if (nData < 2 * static_cast<std::size_t>(md.m))
    fail(Reason::WrongSize,
         "spardyn residual : modal damping \"data\" holds " +
             std::to_string(nData) + " values, " +
             std::to_string(2 * static_cast<int64_t>(md.m)) +
             " needed (coefficients and scratch)");
  return md;
}

// Everything one evaluation of the model's matrices does, checked before r
// is touched.  Without modal damping all passes go into one sweep; modal
// damping sits between the passes before it and those after it.
struct MatrixPlan {
  MatrixUse mass, damping, modalExtra, stiffness;
  PassList before, after;
  bool modal = false;
  ModalDamping md;
};

void planMass(MatrixPlan& p, const host::Value* entry, const _ROr& ro) {
  p.mass = useOf(entry, "the mass matrix (model.K{1})");
  MatrixUse& M = p.mass;
  const double* acceleration = nullptr;
  const double* velocity = nullptr;
  if (ro.a) {
    if (M.sparseWithValues()) {
      M.gathersFrom(ro.nA);
      acceleration = ro.a;
    } else if (M.view.pr) {
      fail("Implemented for sparse matrices");
    }
  }
  if (ro.rayM != 0.0 && ro.v && M.sparseWithValues()) {
    M.gathersFrom(ro.nV);
    velocity = ro.v;
  }
  p.before.add(M.view.pr, M.view.ir, M.view.jc, acceleration, 1.0, velocity,
               ro.rayM);
}

void planDamping(MatrixPlan& p, const host::Value* entry, const _ROr& ro) {
  if (!ro.v) return;
  p.damping = useOf(entry, "the damping matrix (model.K{2})");
  MatrixUse& C = p.damping;
  if (C.view.pr) {
    refuseFull(C);
    C.gathersFrom(ro.nV);
    p.before.add(C.view.pr, C.view.ir, C.view.jc, ro.v, 1.0);
    return;
  }
  if (!host::isStruct(entry) || !host::field(entry, "def")) return;
  p.modal = true;
  p.md = readModal(entry, ro.Ndof);
  if (const host::Value* extra = host::field(entry, "K")) {
    p.modalExtra = useOf(extra, "the damping matrix of modal damping (\"K\")");
    MatrixUse& E = p.modalExtra;
    refuseFull(E);
    if (E.view.pr) {
      E.gathersFrom(ro.nV);
      p.after.add(E.view.pr, E.view.ir, E.view.jc, ro.v, 1.0);
    }
  }
}

void planStiffness(MatrixPlan& p, const host::Value* entry, const _ROr& ro) {
  p.stiffness = useOf(entry, "the stiffness matrix (model.K{3})");
  MatrixUse& K = p.stiffness;
  refuseFull(K);
  const bool rayleigh = ro.rayK != 0.0 && ro.v;
  if (!K.view.pr) {
    if (rayleigh) refuse("a stiffness matrix without values, while rayK is not 0");
    return;
  }
  K.gathersFrom(ro.nU);
  if (rayleigh) K.gathersFrom(ro.nV);
  PassList& passes = p.modal ? p.after : p.before;
  passes.add(K.view.pr, K.view.ir, K.view.jc, ro.u, 1.0,
             rayleigh ? ro.v : nullptr, ro.rayK);
}

// The energies read M with v and K with u over Ndof columns.
void planEnergies(MatrixPlan& p, const _ROr& ro) {
  if (ro.v) {
    if (!p.mass.sparseWithValues())
      refuse("the kinetic energy needs a sparse mass matrix");
    p.mass.gathersFrom(ro.nV);
  }
  if (ro.u) {
    if (!p.stiffness.sparseWithValues())
      refuse("the strain energy needs a sparse stiffness matrix");
    p.stiffness.gathersFrom(ro.nU);
  }
}

// ½·xᵀ·S·x over the first n columns of S.
double halfQuadratic(const SparseView& s, const double* x, int32_t n) {
  if (!x || n <= 0) return 0.0;
  double q = 0.0;
  phi1tmphi2_mkl(x, nullptr, x, nullptr, s.pr, s.ir, s.jc, n, &q, nullptr);
  return 0.5 * q;
}

// The matrix cell of the model: input 3 itself, or its field "K".
const host::Value* matrixCell(const host::Value* model, ResidualForm form) {
  const host::Value* cell = model;
  if (host::isStruct(model)) {
    cell = host::requiredField(model, "K", "spardyn residual : the model's");
  } else if (!host::isCell(model)) {
    refuse(std::string("the model must be a structure with a cell \"K\", ") +
           (form == ResidualForm::Earlier
                ? "or a cell of three matrices"
                : "a cell of three matrices or a chandle vector") +
           ", not " + host::className(model));
  }
  if (!host::isCell(cell) || host::numel(cell) < 3)
    fail("model.K must be a 3*1 cell array");
  return cell;
}

// r, and the scratch half of modal damping, are written while the state,
// the matrices' values, the mode shapes and the modal coefficients are read.
void requireMatricesApart(const MatrixPlan& p, const _ROr& ro,
                          const double* r) {
  const int32_t m = p.modal ? p.md.m : 0;
  const int64_t nPhi = static_cast<int64_t>(ro.Ndof) * m;
  requireApart(
      "spardyn residual",
      {span(r, ro.Ndof, "r"),
       span(p.md.data ? p.md.data + m : nullptr, m,
            "the modal damping scratch (\"data\")")},
      {span(ro.u, ro.nU, "u"), span(ro.v, ro.nV, "v"), span(ro.a, ro.nA, "a"),
       span(p.mass.view.pr, p.mass.view.nPr, "the mass matrix"),
       span(p.damping.view.pr, p.damping.view.nPr, "the damping matrix"),
       span(p.modalExtra.view.pr, p.modalExtra.view.nPr,
            "the damping matrix of modal damping"),
       span(p.stiffness.view.pr, p.stiffness.view.nPr, "the stiffness matrix"),
       span(p.md.phi, nPhi, "the mode shapes (\"def\")"),
       span(p.md.data, m, "the modal damping coefficients (\"data\")")});
}

// A shared buffer is checked last, just before the first write into it: no
// host function runs between the check and the writes of the matrices or
// the handles; the walk of "NL" checks it again after each host function it
// calls.
void requireTargetMapped(const Target& t, const _ROr& ro) {
  if (t.shared) requireWritableBuffer(t.r, ro.Ndof, "spardyn residual : r");
}

// Inputs 2 to 8 as the host functions of the "NL" list receive them: the
// model as an alias taken before anything read it, an empty array for an
// input not given.
HandOver handOver(const Call& c, host::Value* model) {
  HandOver h;
  host::Value* empty = nullptr;
  for (int k = IN_R; k < IN_END; ++k) {
    host::Value* v = k == IN_MODEL ? model
                                   : const_cast<host::Value*>(c.optional(k));
    if (!v) {
      if (!empty) empty = host::newDouble(0, 0);
      v = empty;
    }
    h.inputs[k - IN_R] = v;
  }
  return h;
}

}  // namespace

// The matrices, the energies, then the model's "NL" list.
void residualOfMatrices(const Call& c, const _ROr& ro, const Target& t,
                        host::Value* modelAlias, ResidualForm form) {
  double* r = t.r;
  const host::Value* model = c.in(IN_MODEL);
  const host::Value* cell = matrixCell(model, form);
  const host::Value* list = nonLinearityList(model);

  MatrixPlan p;
  planMass(p, host::cell(cell, 0), ro);
  planDamping(p, host::cell(cell, 1), ro);
  planStiffness(p, host::cell(cell, 2), ro);
  const bool energies = c.outputs() == 2;
  if (energies) planEnergies(p, ro);
  for (const MatrixUse* m : {&p.mass, &p.damping, &p.modalExtra, &p.stiffness})
    m->check(ro.Ndof);
  requireMatricesApart(p, ro, r);
  requireTargetMapped(t, ro);

  addColumnPasses(p.before, r, ro.Ndof);
  if (p.modal) {
    addModalDamping(p.md.phi, ro.Ndof, p.md.m, p.md.data, p.md.data + p.md.m,
                    ro.v, r);
    addColumnPasses(p.after, r, ro.Ndof);
  }
  if (energies) {
    c.setOut(1, host::newScalar(halfQuadratic(p.mass.view, ro.v, ro.Ndof)));
    c.setOut(2, host::newScalar(halfQuadratic(p.stiffness.view, ro.u, ro.Ndof)));
  }
  if (list) {
    const WalkForm walk = form == ResidualForm::Earlier ? WalkForm::Earlier
                                                        : WalkForm::Current;
    addNonLinearities(list, handOver(c, modelAlias), ro, r, t.shared, walk);
  }
}

namespace {

// --- handle mode ---------------------------------------------------------------

// The terms write r while they read the state.
void residualOfHandles(const Call& c, const _ROr& ro, const Target& t) {
  double* r = t.r;
  requireApart("spardyn residual", {span(r, ro.Ndof, "r")},
               {span(ro.u, ro.nU, "u"), span(ro.v, ro.nV, "v"),
                span(ro.a, ro.nA, "a")});
  const HandleList handles = fillVectP(c.in(IN_MODEL));
  for (std::size_t i = 0; i < handles.size(); ++i)
    handles[i]->checkBounds(ro);
  requireKeptStatesApart(handles.data(), handles.size());
  requireTargetMapped(t, ro);
  for (std::size_t i = 0; i < handles.size(); ++i)
    handles[i]->Residual(ro, r);
}

}  // namespace

Target residualVector(const Call& c, const _ROr& ro) {
  std::size_t n = 0;
  Target t;
  t.r = host::pmatGetPr(c.in(IN_R), &n, "spardyn residual : r");
  t.shared = n == host::kUnknownLength;
  if (!t.shared && n < static_cast<std::size_t>(ro.Ndof))
    tooShort("r", n, ro.Ndof);
  if (t.r && (t.r == ro.u || t.r == ro.v || t.r == ro.a))
    refuse("r must not share its data with u, v or a");
  return t;
}

namespace {

void cmdResidual(Call& c) {
  // Before anything reads the model: what the host functions of its "NL"
  // list receive (host::callAlias).
  host::Value* modelAlias = host::callAlias(c.in(IN_MODEL));
  const _ROr ro = getROr(c);
  const Target t = residualVector(c, ro);
  if (isHandleVector(c.in(IN_MODEL)))
    residualOfHandles(c, ro, t);
  else
    residualOfMatrices(c, ro, t, modelAlias, ResidualForm::Current);
}

}  // namespace

const Command kResidual{"residual", cmdResidual, IN_A};

}  // namespace spardyn
