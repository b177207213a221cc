// The handle classes and the registry without a host: the sparse terms and
// the non-linear term against dense arithmetic, the diagonal marker, the
// checks a term remembers only for its own copy, and the registry's
// bookkeeping.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "spardyn/error.hpp"
#include "spardyn/descriptions.hpp"
#include "spardyn/handle_factory.hpp"
#include "spardyn/laws.hpp"
#include "spardyn/registry.hpp"
#include "views_fixture.hpp"

using namespace spardyn;

namespace {

// A compressed-column matrix in vectors, with its dense form.
struct Matrix {
  int32_t rows, cols;
  std::vector<int32_t> ir, jc;
  std::vector<double> pr;

  Matrix(int32_t m, int32_t n, const std::vector<std::vector<double>>& dense)
      : rows(m), cols(n) {
    jc.push_back(0);
    for (int32_t j = 0; j < n; ++j) {
      for (int32_t i = 0; i < m; ++i)
        if (dense[i][j] != 0.0) {
          ir.push_back(i);
          pr.push_back(dense[i][j]);
        }
      jc.push_back(static_cast<int32_t>(ir.size()));
    }
  }
  SparseView view(bool transposed = false) {
    return transposed ? storedView(ir, jc, pr, cols, rows, 1)
                      : storedView(ir, jc, pr, rows, cols);
  }
};

struct Reader final : DescriptionReader {
  SparseView matrix;
  NlTermDescription term;
  bool own = true;
  bool privateCopy() const override { return own; }
  SparseView termMatrix() override { return matrix; }
  NlTermDescription nlTerm() override { return term; }
  StepperTables stepperTables() override { return {}; }
};

_ROr state(std::vector<double>& u, std::vector<double>& v,
           std::vector<double>& a, double rayM = 0, double rayK = 0) {
  _ROr ro;
  ro.Ndof = static_cast<int32_t>(u.size());
  ro.u = u.data();
  ro.v = v.data();
  ro.a = a.data();
  ro.nU = u.size();
  ro.nV = v.size();
  ro.nA = a.size();
  ro.rayM = rayM;
  ro.rayK = rayK;
  return ro;
}

std::vector<double> times(const std::vector<std::vector<double>>& A,
                          const std::vector<double>& x) {
  std::vector<double> y(A.size(), 0.0);
  for (std::size_t i = 0; i < A.size(); ++i)
    for (std::size_t j = 0; j < x.size(); ++j) y[i] += A[i][j] * x[j];
  return y;
}

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.identifier() + "|" + e.message();
  }
  return "none";
}

const std::vector<std::vector<double>> kSym{
    {4, -1, 0}, {-1, 4, -2}, {0, -2, 5}};

}  // namespace

// r += K·u + rayK·K·v and r += M·a + rayM·M·v, added to what r holds.
TEST(SparseTerms, AddTheirProductsToTheResidual) {
  std::vector<double> u{1, 2, 3}, v{-1, 0.5, 2}, a{0.3, -0.7, 1.1};
  const double rayK = 0.01, rayM = 0.2;
  for (int32_t type : {kTypeStiffness, kTypeMass}) {
    Matrix K(3, 3, kSym);
    Reader read;
    read.matrix = K.view();
    std::unique_ptr<chandle> term = chandleInitByType(type);
    term->initCpt(read);
    _ROr ro = state(u, v, a, rayM, rayK);
    term->checkBounds(ro);
    std::vector<double> r{10, 20, 30};
    term->Residual(ro, r.data());
    const std::vector<double>& x = type == kTypeMass ? a : u;
    const double ray = type == kTypeMass ? rayM : rayK;
    const std::vector<double> Kx = times(kSym, x), Kv = times(kSym, v);
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(r[i], 10 * (i + 1) + Kx[i] + ray * Kv[i], 1e-14) << type;
  }
}

// One entry per column: the matrix is diagonal, marked by −1 in its first
// row index (in the description itself), and read as its diagonal.
TEST(SparseTerms, OneEntryPerColumnIsADiagonal) {
  Matrix D(3, 3, {{2, 0, 0}, {0, 3, 0}, {0, 0, 5}});
  Reader read;
  read.matrix = D.view();
  std::unique_ptr<chandle> mass = chandleInitByType(kTypeMass);
  mass->initCpt(read);
  EXPECT_EQ(D.ir[0], -1);
  std::vector<double> u{0, 0, 0}, v{1, 1, 1}, a{1, 2, 3};
  _ROr ro = state(u, v, a, 0.5);
  mass->checkBounds(ro);
  std::vector<double> r(3, 0.0);
  mass->Residual(ro, r.data());
  EXPECT_EQ(r, (std::vector<double>{2 * 1.5, 3 * 2.5, 5 * 3.5}));
  // Columns of 2, 0 and 1 entries hold as many entries, and are no diagonal.
  Matrix P(3, 3, {{1, 0, 0}, {2, 0, 3}, {0, 0, 0}});
  read.matrix = P.view();
  mass->initCpt(read);
  EXPECT_EQ(P.ir[0], 0);
}

// A term remembers that it checked its arrays only when they are its own
// copy; the caller's arrays (a cell element) are checked at every command.
TEST(SparseTerms, RemembersChecksOnlyForItsOwnCopy) {
  std::vector<double> u{1, 2, 3}, v{0, 0, 0}, a{0, 0, 0};
  for (bool own : {true, false}) {
    Matrix K(3, 3, kSym);
    Reader read;
    read.matrix = K.view();
    read.own = own;
    std::unique_ptr<chandle> term = chandleInitByType(kTypeStiffness);
    term->initCpt(read);
    _ROr ro = state(u, v, a);
    term->checkBounds(ro);
    K.ir[1] = 7;  // changed behind the object's back
    term->initCpt(read);
    const std::string e = errorOf([&] { term->checkBounds(ro); });
    if (own)
      EXPECT_EQ(e, "none");
    else
      EXPECT_EQ(e, "VRK:spardyn:Invalid|stiffness term: row index outside [0, 3)");
  }
  Reader none;
  std::unique_ptr<chandle> k = chandleInitByType(kTypeStiffness);
  k->initCpt(none);
  _ROr ro = state(u, v, a, 0, 1.0);
  EXPECT_EQ(errorOf([&] { k->checkBounds(ro); }),
            "VRK:spardyn:Invalid|stiffness term: no values, while rayK is not 0");
}

// Observed through c, a power law S = 2·U, injected through bᵀ:
// r += bᵀ·2·(c·u).
TEST(NlInOut, ObservesRunsItsLawAndInjects) {
  Matrix c(2, 3, {{1, -1, 0}, {0, 1, -1}});
  Matrix bT(3, 2, {{1, 0}, {-1, 1}, {0, -1}});  // bᵀ, stored as b transposed
  std::vector<double> unl(2, 0.0), snl(2, 0.0);
  std::vector<double> opt{static_cast<double>(packLawName("Power")), 2.0, 1.0};
  Reader read;
  // c in transposed storage: stored columns are its rows.
  Matrix cT(3, 2, {{1, 0}, {-1, 1}, {0, -1}});
  read.term.c = cT.view(true);
  read.term.b = bT.view(true);
  NlState& s = read.term.state;
  s.unl = unl.data();
  s.nUnl = 2;
  s.snl = snl.data();
  s.nSnl = 2;
  s.opt = opt.data();
  s.nOpt = 3;
  s.Nnl = 2;
  s.Nslice = 1;
  std::unique_ptr<chandle> term = chandleInitByType(kTypeNlInOut);
  term->initCpt(read);
  std::vector<double> u{1, 4, 9}, v(3, 0.0), a(3, 0.0);
  _ROr ro = state(u, v, a);
  term->checkBounds(ro);
  std::vector<double> r{1, 1, 1};
  term->Residual(ro, r.data());
  const std::vector<double> U{1 - 4, 4 - 9};
  EXPECT_EQ(unl, U);
  EXPECT_EQ(snl, (std::vector<double>{2 * U[0], 2 * U[1]}));
  EXPECT_EQ(r, (std::vector<double>{1 + 2 * U[0], 1 - 2 * U[0] + 2 * U[1],
                                    1 - 2 * U[1]}));
}

// Numbers are issued once; a lookup never inserts; clearing is refused
// while a command holds gathered objects; a clear of all releases every
// stored value.
TEST(Registry, IssuesFindsAndReleases) {
  struct Counted final : StoredValue {
    int* released;
    explicit Counted(int* r) : released(r) {}
    ~Counted() override { ++*released; }
  };
  int released = 0;
  hindex reg;
  for (int k = 0; k < 3; ++k) {
    const int32_t n = reg.get_free_index();
    EXPECT_EQ(n, k);
    std::unique_ptr<chandle> h = chandleInitByType(kTypeDamping);
    h->set_val(kTypeDamping, std::make_unique<Counted>(&released));
    reg.setStack(n, std::move(h));
  }
  EXPECT_EQ(reg.getStack(7), nullptr);
  EXPECT_EQ(reg.numbers(), (std::vector<int32_t>{0, 1, 2}));
  reg.free_index(1);
  EXPECT_EQ(released, 1);
  EXPECT_EQ(reg.getStack(1), nullptr);
  EXPECT_EQ(reg.get_free_index(), 3);  // never issued again

  reg.hold();
  EXPECT_EQ(errorOf([&] { reg.free_index(-1); }),
            "VRK:spardyn:Invalid|spardyn chandleclear : handles are in use "
            "by the running command");
  reg.unhold();
  reg.free_index(-1);
  EXPECT_EQ(released, 3);
  EXPECT_TRUE(reg.numbers().empty());
  EXPECT_EQ(errorOf([] { chandleInitByType(4); }),
            "VRK:spardyn:NonHandle|Not a valid chandle type");
}

// With every number issued, a registration is refused: a number is never
// issued twice, not even one whose handle was cleared long ago.  The limit
// is the registry's; the module's registry may issue 0 … INT32_MAX.
TEST(Registry, RefusesRegistrationsOnceEveryNumberIsIssued) {
  EXPECT_EQ(hindex::kAllNumbers, int64_t(1) << 31);
  hindex reg(3);
  for (int32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(reg.get_free_index(), k);
    reg.setStack(k, chandleInitByType(kTypeMass));
  }
  reg.free_index(0);
  reg.free_index(-1);
  const std::string refusal =
      "VRK:spardyn:NonHandle|spardyn chandleset : all 3 handle numbers have "
      "been issued; clear the module (clear spardyn) to number from 0 again";
  for (int attempt = 0; attempt < 2; ++attempt)
    EXPECT_EQ(errorOf([&] { reg.get_free_index(); }), refusal);
  EXPECT_TRUE(reg.numbers().empty());
  EXPECT_EQ(reg.getStack(0), nullptr);
}
