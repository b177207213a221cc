// The step arithmetic of the diagonal Newmark stepper, against Newmark's
// method written out by hand and against the closed-form discrete solution
// of the trapezoidal rule.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "spardyn/newmark_step.hpp"

using namespace spardyn;

namespace {

NewmarkCoefficients coefficients(double h, double beta, double gamma) {
  NewmarkCoefficients d;
  d.d0 = h;
  d.d1 = (0.5 - beta) * h * h;
  d.d2 = (1.0 - gamma) * h;
  d.d3 = gamma / (beta * h);
  d.d4 = 1.0 / (beta * h * h);
  return d;
}

// One step of a single oscillator m·a + c·v + k·u = F through the kernels:
// predict, residual at the predicted state (load shape −1, factor F),
// correct.
void oscillatorStep(const NewmarkCoefficients& d, double m, double c, double k,
                    double F, double beta, double gamma, double h,
                    double state[3]) {
  double w = 0.0;
  const double shape = -1.0;
  NewmarkVectors x;
  x.u = &state[0];
  x.v = &state[1];
  x.a = &state[2];
  x.w = &w;
  x.N = x.nDef = 1;
  NewmarkLoads loads;
  loads.shapes = &shape;
  loads.factors = &F;
  loads.Nb = 1;
  newmarkPredictSerial(d, loads, x);
  w += m * state[2] + c * state[1] + k * state[0];
  const double corr = beta * h * h / (m + gamma * h * c + beta * h * h * k);
  newmarkCorrectSerial(d, &corr, x);
}

}  // namespace

TEST(NewmarkStep, OneStepIsNewmarksMethod) {
  // Newmark's implicit formulas for one degree of freedom, solved directly.
  const double m = 2.0, c = 0.3, k = 50.0, F = 1.7, h = 0.01;
  for (double beta : {0.25, 0.3025}) {
    const double gamma = beta == 0.25 ? 0.5 : 0.6;
    const double u0 = 0.1, v0 = -0.4, a0 = 0.8;
    const double up = u0 + h * v0 + (0.5 - beta) * h * h * a0;
    const double vp = v0 + (1 - gamma) * h * a0;
    const double a1 = (F - c * vp - k * up) / (m + gamma * h * c + beta * h * h * k);
    double s[3] = {u0, v0, a0};
    oscillatorStep(coefficients(h, beta, gamma), m, c, k, F, beta, gamma, h, s);
    EXPECT_NEAR(s[0], up + beta * h * h * a1, 1e-15);
    EXPECT_NEAR(s[1], vp + gamma * h * a1, 1e-14);
    EXPECT_NEAR(s[2], a1, 1e-12);
  }
}

TEST(NewmarkStep, TrapezoidalRuleClosedForm) {
  // β = 1/4, γ = 1/2 is the trapezoidal rule: from u = 1, v = 0, a = −ω²
  // the discrete solution is u_n = cos(n·θ) with θ = 2·atan(h·ω/2), and
  // the energy ½v² + ½ω²u² is kept exactly.
  const double omega = 3.0, h = 0.05;
  const double theta = 2.0 * std::atan(h * omega / 2.0);
  const NewmarkCoefficients d = coefficients(h, 0.25, 0.5);
  double s[3] = {1.0, 0.0, -omega * omega};
  for (int n = 1; n <= 400; ++n) {
    oscillatorStep(d, 1.0, 0.0, omega * omega, 0.0, 0.25, 0.5, h, s);
    ASSERT_NEAR(s[0], std::cos(n * theta), 1e-12) << "step " << n;
    ASSERT_NEAR(s[1], -omega * std::sin(n * theta), 1e-11) << "step " << n;
    ASSERT_NEAR(0.5 * s[1] * s[1] + 0.5 * omega * omega * s[0] * s[0],
                0.5 * omega * omega, 1e-12);
  }
}

namespace {

// Vectors of length nDef filled with distinct values, and the load data.
struct Bench {
  int64_t N, nDef;
  int32_t Nb;
  std::vector<double> u, v, a, w, start, shapes, factors, corr;
  Bench(int64_t n, int64_t nd, int32_t nb)
      : N(n), nDef(nd), Nb(nb), u(nd), v(nd), a(nd), w(n, -9.0),
        start(3 * nd, -7.0), shapes(n * nb), factors(nb), corr(n) {
    for (int64_t i = 0; i < nd; ++i) {
      u[i] = std::sin(0.1 * i);
      v[i] = std::cos(0.3 * i);
      a[i] = 1.0 / (1.0 + i);
    }
    for (int64_t i = 0; i < n * nb; ++i) shapes[i] = std::sin(1.7 * i + 0.2);
    for (int32_t k = 0; k < nb; ++k) factors[k] = 0.5 + k;
    for (int64_t i = 0; i < n; ++i) corr[i] = 1e-3 / (1.0 + 0.01 * i);
  }
  NewmarkVectors vectors(bool keep) {
    NewmarkVectors x;
    x.u = u.data();
    x.v = v.data();
    x.a = a.data();
    x.w = w.data();
    x.start = keep ? start.data() : nullptr;
    x.N = N;
    x.nDef = nDef;
    return x;
  }
  NewmarkLoads loads() const {
    return NewmarkLoads{shapes.data(), factors.data(), Nb};
  }
};

}  // namespace

TEST(NewmarkStep, PredictorEntriesAndStartCopy) {
  Bench b(5, 8, 2);
  const Bench before = b;
  const NewmarkCoefficients d{0.1, 0.2, 0.3, 0.4, 0.5};
  newmarkPredictSerial(d, b.loads(), b.vectors(true));
  for (int64_t i = 0; i < 8; ++i) {
    EXPECT_EQ(b.start[i], before.u[i]);
    EXPECT_EQ(b.start[8 + i], before.v[i]);
    EXPECT_EQ(b.start[16 + i], before.a[i]);
  }
  for (int64_t i = 0; i < 5; ++i) {
    EXPECT_DOUBLE_EQ(b.u[i], before.u[i] + 0.1 * before.v[i] + 0.2 * before.a[i]);
    EXPECT_DOUBLE_EQ(b.v[i], before.v[i] + 0.3 * before.a[i]);
    EXPECT_EQ(b.a[i], 0.0);
    EXPECT_DOUBLE_EQ(b.w[i], 0.5 * b.shapes[i] + 1.5 * b.shapes[5 + i]);
  }
  for (int64_t i = 5; i < 8; ++i) {  // internal states: copied, not stepped
    EXPECT_EQ(b.u[i], before.u[i]);
    EXPECT_EQ(b.v[i], before.v[i]);
    EXPECT_EQ(b.a[i], before.a[i]);
  }
}

TEST(NewmarkStep, CorrectorLeavesUnsteppedEntries) {
  Bench b(4, 6, 1);
  const Bench before = b;
  const NewmarkCoefficients d{0.1, 0.2, 0.3, 2.0, 5.0};
  for (int64_t i = 0; i < 4; ++i) b.w[i] = 1.0 + i;
  newmarkCorrectSerial(d, b.corr.data(), b.vectors(false));
  for (int64_t i = 0; i < 4; ++i) {
    const double delta = (1.0 + i) * b.corr[i];
    EXPECT_DOUBLE_EQ(b.u[i], before.u[i] - delta);
    EXPECT_DOUBLE_EQ(b.v[i], before.v[i] - 2.0 * delta);
    EXPECT_DOUBLE_EQ(b.a[i], before.a[i] - 5.0 * delta);
  }
  for (int64_t i = 4; i < 6; ++i) EXPECT_EQ(b.u[i], before.u[i]);
}

TEST(NewmarkStep, NoLoadShapeGivesZeroLoad) {
  Bench b(3, 3, 0);
  newmarkPredictSerial(NewmarkCoefficients{}, b.loads(), b.vectors(false));
  for (double wi : b.w) EXPECT_EQ(wi, 0.0);
  EXPECT_EQ(b.start[0], -7.0);  // no start copy asked for
}

TEST(NewmarkStep, ParallelPassesEqualSerialBitwise) {
  // Long enough to be split over the workers, with unstepped entries that
  // straddle a block boundary.
  for (int32_t nb : {1, 3}) {
    for (bool keep : {true, false}) {
      Bench p(100003, 100003 + 40000, nb), s = p;
      const NewmarkCoefficients d{1e-3, 2e-7, 5e-4, 2e3, 4e6};
      newmarkPredict(d, p.loads(), p.vectors(keep));
      newmarkPredictSerial(d, s.loads(), s.vectors(keep));
      newmarkCorrect(d, p.corr.data(), p.vectors(keep));
      newmarkCorrectSerial(d, s.corr.data(), s.vectors(keep));
      EXPECT_EQ(p.u, s.u);
      EXPECT_EQ(p.v, s.v);
      EXPECT_EQ(p.a, s.a);
      EXPECT_EQ(p.w, s.w);
      EXPECT_EQ(p.start, s.start);
    }
  }
}

TEST(NewmarkStep, SaveSlotSearch) {
  const double times[] = {0.1, 0.2, 0.2, 0.5};
  EXPECT_EQ(nextSaveSlot(times, 4, 0, 0.05), 0);  // before the first
  EXPECT_EQ(nextSaveSlot(times, 4, 0, 0.1), 0);   // exact: stays on it
  EXPECT_EQ(nextSaveSlot(times, 4, 0, 0.15), 1);  // 0.1 passed over
  EXPECT_EQ(nextSaveSlot(times, 4, 1, 0.2), 1);
  EXPECT_EQ(nextSaveSlot(times, 4, 3, 0.2), 3);   // never searches back
  EXPECT_EQ(nextSaveSlot(times, 4, 0, 0.6), 4);   // all passed
  EXPECT_EQ(nextSaveSlot(times, 0, 0, 0.6), 0);   // empty list
  EXPECT_EQ(nextSaveSlot(times, 4, 0, std::nan("")), 0);
}

TEST(NewmarkStep, FusedCorrectPredictEqualsTwoPasses) {
  // The end of a step and the start of the next in one pass, against the
  // corrector and the predictor one after the other; serial and split.
  const NewmarkCoefficients d{1e-3, 2e-7, 5e-4, 2e3, 4e6};
  for (int64_t n : {int64_t(7), int64_t(100003)}) {
    for (bool keep : {true, false}) {
      Bench two(n, n + 5, 2), fused = two, split = two;
      for (int64_t i = 0; i < n; ++i) two.w[i] = fused.w[i] = split.w[i] = std::cos(1.0 * i);
      newmarkCorrectSerial(d, two.corr.data(), two.vectors(keep));
      newmarkPredictSerial(d, two.loads(), two.vectors(keep));
      newmarkCorrectPredictSerial(d, fused.corr.data(), fused.loads(), fused.vectors(keep));
      newmarkCorrectPredict(d, split.corr.data(), split.loads(), split.vectors(keep));
      for (const Bench* b : {&fused, &split}) {
        EXPECT_EQ(b->u, two.u);
        EXPECT_EQ(b->v, two.v);
        EXPECT_EQ(b->a, two.a);
        EXPECT_EQ(b->w, two.w);
        EXPECT_EQ(b->start, two.start);
      }
    }
  }
}
