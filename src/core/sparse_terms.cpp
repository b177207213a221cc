// The sparse mass, stiffness and damping terms.
#include "spardyn/sparse_terms.hpp"

#include <string>

#include "spardyn/error.hpp"
#include "spardyn/residual_kernel.hpp"

namespace spardyn {

// --- what the three terms share ------------------------------------------------

namespace {

[[noreturn]] void termFault(const char* what, const std::string& fault) {
  fail(Reason::Invalid, std::string(what) + ": " + fault);
}

// jc[cols], read within the column pointers; −1 when it cannot be read.
int32_t storedEntries(const SparseView& v) {
  const bool known =
      v.jc && v.cols >= 0 && v.nJc > static_cast<std::size_t>(v.cols);
  return known ? v.jc[v.cols] : -1;
}

// Whether every stored column holds exactly one entry.  The total alone
// would also pass a matrix whose columns hold 2, 0, 1 … entries, whose
// values are then no diagonal at all.
bool oneEntryPerColumn(const SparseView& v) {
  if (storedEntries(v) != v.cols) return false;
  for (int32_t j = 1; j <= v.cols; ++j)
    if (v.jc[j] - v.jc[0] != j) return false;
  return true;
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
void checkMatrix(TermMatrix& m, int32_t ndof, std::size_t limit,
                 const char* what) {
  if (m.diagonal) {
    requireLength(what, "the diagonal", m.view.nPr, ndof);
    return;
  }
  const int64_t lim = static_cast<int64_t>(limit);
  if (m.privateCopy && m.checkedCols >= ndof && m.checkedLimit >= 0 &&
      m.checkedLimit <= lim)
    return;
  checkSparseColumns(m.view, ndof, lim, what);
  if (m.privateCopy) {
    m.checkedCols = ndof;
    m.checkedLimit = lim;
  }
}

}  // namespace

void chandleSparseTerm::readValue(DescriptionReader& read, const char* what) {
  const SparseView v = read.termMatrix();
  if (v.isSparse() && v.pr && !v.jc)
    termFault(what, "row indices without column pointers (\"jc\")");
  // The checks remembered for the previous arrays hold only while the
  // arrays are the same.
  const SparseView& old = m_.view;
  if (v.ir != old.ir || v.jc != old.jc || v.pr != old.pr || v.nIr != old.nIr ||
      v.nJc != old.nJc || v.nPr != old.nPr)
    m_.checkedCols = m_.checkedLimit = -1;
  m_.view = v;
  m_.privateCopy = read.privateCopy();
  m_.empty = false;
  m_.diagonal = false;
}

void chandleSparseTerm::markDiagonal() {
  SparseView& v = m_.view;
  if (!v.ir || v.nIr == 0) return;
  if (oneEntryPerColumn(v)) v.ir[0] = -1;
  m_.diagonal = v.ir[0] == -1;
}

void chandleSparseTerm::checkProducts(const _ROr& ro, const double* x,
                                      std::size_t nX, const char* xName,
                                      double ray, const char* what) {
  requireLength(what, xName, nX, ro.Ndof);
  std::size_t limit = nX;
  if (ray != 0.0 && ro.v) {
    requireLength(what, "the velocity", ro.nV, ro.Ndof);
    if (ro.nV < limit) limit = ro.nV;
  }
  checkMatrix(m_, ro.Ndof, limit, what);
}

// r += S·(x + ray·v)
void chandleSparseTerm::addProducts(const _ROr& ro, const double* x,
                                    double ray, double* r) {
  const double* v = ray != 0.0 ? ro.v : nullptr;
  const SparseView& s = m_.view;
  if (m_.diagonal) {
    addDiagonal(s.pr, x, ray, v, r, ro.Ndof);
    return;
  }
  PassList passes;
  passes.add(s.pr, s.ir, s.jc, x, 1.0, v, ray);
  addColumnPasses(passes, r, ro.Ndof);
}

// --- mass ----------------------------------------------------------------------

void chandleSparseMass::initCpt(DescriptionReader& read) {
  readValue(read, "mass term");
  if (!hasValues()) fail(Reason::Empty, "no real part");
  if (!m_.view.isSparse()) fail(Reason::Empty, "Error not a valid mass");
  markDiagonal();
}

void chandleSparseMass::checkBounds(const _ROr& ro) {
  if (!ro.a) return;  // nothing to add
  checkProducts(ro, ro.a, ro.nA, "the acceleration", ro.rayM, "mass term");
}

void chandleSparseMass::Residual(_ROr ro, double* r) {
  if (ro.a && hasValues()) addProducts(ro, ro.a, ro.rayM, r);
}

// --- stiffness -----------------------------------------------------------------

void chandleSparseStiffness::initCpt(DescriptionReader& read) {
  readValue(read, "stiffness term");
  refuseFull(m_, "stiffness term");
  markDiagonal();
}

void chandleSparseStiffness::checkBounds(const _ROr& ro) {
  if (!hasValues()) {
    if (ro.v && ro.rayK != 0.0)
      termFault("stiffness term", "no values, while rayK is not 0");
    return;
  }
  checkProducts(ro, ro.u, ro.nU, "the displacement", ro.rayK, "stiffness term");
}

void chandleSparseStiffness::Residual(_ROr ro, double* r) {
  if (hasValues()) addProducts(ro, ro.u, ro.rayK, r);
}

// --- damping -------------------------------------------------------------------

void chandleSparseDamping::initCpt(DescriptionReader& read) {
  readValue(read, "damping term");
  m_.empty = !hasValues() || storedEntries(m_.view) == 0;
  if (m_.empty) return;
  refuseFull(m_, "damping term");
  markDiagonal();
}

void chandleSparseDamping::checkBounds(const _ROr& ro) {
  if (m_.empty || !ro.v) return;
  checkProducts(ro, ro.v, ro.nV, "the velocity", 0.0, "damping term");
}

void chandleSparseDamping::Residual(_ROr ro, double* r) {
  if (!m_.empty && ro.v) addProducts(ro, ro.v, 0.0, r);
}

}  // namespace spardyn
