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

// Terms made from copies of one host structure share its arrays until one
// is changed; the same object listed twice is one state.
void requireKeptStatesApart(chandle* const* objects, std::size_t n,
                            std::size_t firstNumber) {
  std::vector<Span> mine, theirs;
  for (std::size_t i = 0; i < n; ++i) {
    if (!objects[i] || objects[i]->type < 0) continue;
    mine.clear();
    objects[i]->keptState(mine);
    for (std::size_t j = i + 1; j < n && !mine.empty(); ++j) {
      if (!objects[j] || objects[j]->type < 0 || objects[j] == objects[i])
        continue;
      theirs.clear();
      objects[j]->keptState(theirs);
      for (const Span& a : mine)
        for (const Span& b : theirs)
          if (overlap(a, b))
            fail(Reason::Invalid,
                 "handles " + std::to_string(i + firstNumber) + " and " +
                     std::to_string(j + firstNumber) +
                     " keep their states in the same memory (" + a.name +
                     ")");
    }
  }
}

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

}  // namespace

void chandleSparseTerm::readValue(const char* what) {
  const SparseView v = val ? pw_mkl_get_sparse(val) : SparseView{};
  if (v.isSparse() && v.pr && !v.jc)
    termFault(what, "row indices without column pointers (\"jc\")");
  // The checks remembered for the previous arrays hold only while the
  // arrays are the same.
  const SparseView& old = m_.view;
  if (v.ir != old.ir || v.jc != old.jc || v.pr != old.pr || v.nIr != old.nIr ||
      v.nJc != old.nJc || v.nPr != old.nPr)
    m_.checkedCols = m_.checkedLimit = -1;
  m_.view = v;
  m_.empty = false;
  m_.diagonal = false;
  ir = v.ir;
  jc = v.jc;
  pr = v.pr;
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
  checkMatrix(m_, ownsVal(), ro.Ndof, limit, what);
}

// r += S·(x + ray·v)
void chandleSparseTerm::addProducts(const _ROr& ro, const double* x,
                                    double ray, double* r) {
  const double* v = ray != 0.0 ? ro.v : nullptr;
  if (m_.diagonal) {
    addDiagonal(pr, x, ray, v, r, ro.Ndof);
    return;
  }
  PassList passes;
  passes.add(pr, ir, jc, x, 1.0, v, ray);
  addColumnPasses(passes, r, ro.Ndof);
}

// --- mass ----------------------------------------------------------------------

void chandleSparseMass::initCpt() {
  readValue("mass term");
  if (!pr) fail(Reason::Empty, "no real part");
  if (!m_.view.isSparse()) fail(Reason::Empty, "Error not a valid mass");
  markDiagonal();
}

void chandleSparseMass::checkBounds(const _ROr& ro) {
  if (!ro.a) return;  // nothing to add
  checkProducts(ro, ro.a, ro.nA, "the acceleration", ro.rayM, "mass term");
}

void chandleSparseMass::Residual(_ROr ro, double* r) {
  if (ro.a && pr) addProducts(ro, ro.a, ro.rayM, r);
}

// --- stiffness -----------------------------------------------------------------

void chandleSparseStiffness::initCpt() {
  readValue("stiffness term");
  refuseFull(m_, "stiffness term");
  markDiagonal();
}

void chandleSparseStiffness::checkBounds(const _ROr& ro) {
  if (!pr) {
    if (ro.v && ro.rayK != 0.0)
      termFault("stiffness term", "no values, while rayK is not 0");
    return;
  }
  checkProducts(ro, ro.u, ro.nU, "the displacement", ro.rayK, "stiffness term");
}

void chandleSparseStiffness::Residual(_ROr ro, double* r) {
  if (pr) addProducts(ro, ro.u, ro.rayK, r);
}

// --- damping -------------------------------------------------------------------

void chandleSparseDamping::initCpt() {
  readValue("damping term");
  m_.empty = !pr || storedEntries(m_.view) == 0;
  if (m_.empty) {
    ir = jc = nullptr;
    pr = nullptr;
    return;
  }
  refuseFull(m_, "damping term");
  markDiagonal();
}

void chandleSparseDamping::checkBounds(const _ROr& ro) {
  if (m_.empty || !ro.v) return;
  checkProducts(ro, ro.v, ro.nV, "the velocity", 0.0, "damping term");
}

void chandleSparseDamping::Residual(_ROr ro, double* r) {
  if (!m_.empty && ro.v && pr) addProducts(ro, ro.v, 0.0, r);
}

}  // namespace spardyn
