// The handle base class and the sparse mass, stiffness and damping terms.
#include <string>

#include "host.hpp"
#include "spardyn/chandle.hpp"
#include "spardyn/error.hpp"
#include "spardyn/residual_kernel.hpp"
#include "spardyn/sparse_terms.hpp"
#include "spardyn/views.hpp"

namespace spardyn {

// --- the base class ----------------------------------------------------------

chandle::~chandle() { doFree(); }

void chandle::set_val(int32_t code, host::Value* value) {
  type = code;
  val = value;
}

host::Value* chandle::get_val() {
  if (!val) {
    host::print("Empty value\n");
    val = host::newDouble(0, 0);
    host::makePersistent(val);
    owned_ = true;
  }
  return val;
}

void chandle::doFree() {
  if (val && owned_) host::destroy(val);
  val = nullptr;
  type = kTypeFreed;
}

// --- what the three terms share ------------------------------------------------

namespace {

[[noreturn]] void termFault(const char* what, const std::string& fault) {
  fail(Reason::Invalid, std::string(what) + ": " + fault);
}

// Exactly one stored entry per column, read within the column pointers.
bool oneEntryPerColumn(const SparseView& v) {
  return v.jc && v.cols >= 0 && v.nJc > static_cast<std::size_t>(v.cols) &&
         v.jc[v.cols] == v.cols;
}

int32_t storedEntries(const SparseView& v) {
  const bool known =
      v.jc && v.cols >= 0 && v.nJc > static_cast<std::size_t>(v.cols);
  return known ? v.jc[v.cols] : -1;
}

// Reads the stored value into m.  The checks remembered for the previous
// arrays hold only while the arrays are the same.
void readMatrix(TermMatrix& m, host::Value* val, const char* what) {
  const SparseView v = val ? pw_mkl_get_sparse(val) : SparseView{};
  if (v.isSparse() && v.pr && !v.jc)
    termFault(what, "row indices without column pointers (\"jc\")");
  const SparseView& old = m.view;
  if (v.ir != old.ir || v.jc != old.jc || v.pr != old.pr || v.nIr != old.nIr ||
      v.nJc != old.nJc || v.nPr != old.nPr)
    m.checkedCols = m.checkedLimit = -1;
  m.view = v;
  m.empty = false;
  m.diagonal = false;
}

// One entry per column makes the matrix diagonal: the marker −1 goes into
// the first row index, when there is one to hold it.
void markDiagonal(TermMatrix& m) {
  SparseView& v = m.view;
  if (!v.ir || v.nIr == 0) return;
  if (oneEntryPerColumn(v)) v.ir[0] = -1;
  m.diagonal = v.ir[0] == -1;
}

void refuseFull(const TermMatrix& m, const char* what) {
  if (m.view.pr && !m.view.isSparse())
    termFault(what, "a full matrix cannot be a term (sparse storage expected)");
}

void requireLength(const char* what, const char* vec, std::size_t have,
                   int64_t need) {
  if (static_cast<int64_t>(have) < need)
    fail(Reason::WrongSize, std::string(what) + ": " + vec + " needs " +
                                std::to_string(need) + " values, holds " +
                                std::to_string(have));
}

// The arrays a term reads for Ndof columns, gathering from vectors of at
// least limit values: a diagonal term needs Ndof values, a sparse one valid
// column pointers and row indices below limit.
void checkMatrix(TermMatrix& m, bool owned, int32_t ndof, std::size_t limit,
                 const char* what) {
  if (m.diagonal) {
    requireLength(what, "the diagonal", m.view.nPr, ndof);
    return;
  }
  const int64_t lim = static_cast<int64_t>(limit);
  if (owned && m.checkedCols >= ndof && m.checkedLimit >= 0 &&
      m.checkedLimit <= lim)
    return;
  checkSparseColumns(m.view, ndof, lim, what);
  if (owned) {
    m.checkedCols = ndof;
    m.checkedLimit = lim;
  }
}

std::size_t shorter(std::size_t a, std::size_t b) { return a < b ? a : b; }

void copyArrays(const TermMatrix& m, int32_t*& ir, int32_t*& jc, double*& pr) {
  ir = m.view.ir;
  jc = m.view.jc;
  pr = m.view.pr;
}

// r += s₁·Sᵀ·x₁ (+ s₂·Sᵀ·x₂ when x₂ is given and s₂ ≠ 0), one sweep.
void addProducts(const SparseView& s, const double* x1, const double* x2,
                 double s2, double* r, int32_t n) {
  PassList passes;
  passes.add(s.pr, s.ir, s.jc, x1, 1.0, s2 != 0.0 ? x2 : nullptr, s2);
  addColumnPasses(passes, r, n);
}

}  // namespace

// --- mass ----------------------------------------------------------------------

void chandleSparseMass::initCpt() {
  readMatrix(m_, val, "mass term");
  copyArrays(m_, ir, jc, pr);
  if (!pr) fail(Reason::Empty, "no real part");
  if (!m_.view.isSparse()) fail(Reason::Empty, "Error not a valid mass");
  markDiagonal(m_);
}

void chandleSparseMass::checkBounds(const _ROr& ro) {
  if (!ro.a) return;  // nothing to add
  const char* what = "mass term";
  requireLength(what, "the acceleration", ro.nA, ro.Ndof);
  const bool rayleigh = ro.v && ro.rayM != 0.0;
  if (ro.v) requireLength(what, "the velocity", ro.nV, ro.Ndof);
  const std::size_t limit = rayleigh ? shorter(ro.nA, ro.nV) : ro.nA;
  checkMatrix(m_, ownsVal(), ro.Ndof, limit, what);
}

// r += M·(a + rayM·v)
void chandleSparseMass::Residual(_ROr ro, double* r) {
  if (!ro.a || !pr) return;
  if (m_.diagonal)
    addDiagonal(pr, ro.a, ro.rayM, ro.v, r, ro.Ndof);
  else
    addProducts(m_.view, ro.a, ro.v, ro.rayM, r, ro.Ndof);
}

// --- stiffness -----------------------------------------------------------------

void chandleSparseStiffness::initCpt() {
  readMatrix(m_, val, "stiffness term");
  refuseFull(m_, "stiffness term");
  copyArrays(m_, ir, jc, pr);
  markDiagonal(m_);
}

void chandleSparseStiffness::checkBounds(const _ROr& ro) {
  const char* what = "stiffness term";
  const bool rayleigh = ro.v && ro.rayK != 0.0;
  if (!pr) {
    if (rayleigh) termFault(what, "no values, while rayK is not 0");
    return;
  }
  requireLength(what, "the displacement", ro.nU, ro.Ndof);
  if (ro.v) requireLength(what, "the velocity", ro.nV, ro.Ndof);
  const std::size_t limit = rayleigh ? shorter(ro.nU, ro.nV) : ro.nU;
  checkMatrix(m_, ownsVal(), ro.Ndof, limit, what);
}

// r += K·(u + rayK·v)
void chandleSparseStiffness::Residual(_ROr ro, double* r) {
  if (!pr) return;
  if (m_.diagonal)
    addDiagonal(pr, ro.u, ro.rayK, ro.v, r, ro.Ndof);
  else
    addProducts(m_.view, ro.u, ro.v, ro.rayK, r, ro.Ndof);
}

// --- damping -------------------------------------------------------------------

void chandleSparseDamping::initCpt() {
  readMatrix(m_, val, "damping term");
  m_.empty = !m_.view.pr || storedEntries(m_.view) == 0;
  if (m_.empty) {
    ir = jc = nullptr;
    pr = nullptr;
    return;
  }
  refuseFull(m_, "damping term");
  copyArrays(m_, ir, jc, pr);
  markDiagonal(m_);
}

void chandleSparseDamping::checkBounds(const _ROr& ro) {
  if (m_.empty || !ro.v) return;
  const char* what = "damping term";
  requireLength(what, "the velocity", ro.nV, ro.Ndof);
  checkMatrix(m_, ownsVal(), ro.Ndof, ro.nV, what);
}

// r += C·v
void chandleSparseDamping::Residual(_ROr ro, double* r) {
  if (m_.empty || !ro.v || !pr) return;
  if (m_.diagonal)
    addDiagonal(pr, ro.v, 0.0, nullptr, r, ro.Ndof);
  else
    addProducts(m_.view, ro.v, nullptr, 0.0, r, ro.Ndof);
}

}  // namespace spardyn
