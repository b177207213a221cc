// The Windows x64 forms of FuDahlC, STS and Clima2 against hand-worked
// values, the checks of their blocks, and the energy the slider chain
// returns over a displacement cycle against its closed form.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "laws_fixture.hpp"

namespace spardyn {
namespace {

using namespace testing_laws;

const double kPi = std::acos(-1.0);

// Selects from the Windows x64 table (with every check) and runs once.
void runWin64(Term& t, _ROr ro = {}) {
  NlState s = t.state();
  selectLaw(s, win64Laws()).run(s, ro);
}

std::string win64Error(Term& t) {
  return errorOf([&] {
    NlState s = t.state();
    selectLaw(s, win64Laws());
  });
}

Law lawOf(Term& t, LawTable table) {
  NlState s = t.state();
  return selectLaw(s, table).run;
}

TEST(Win64Laws, TheTableDiffersInThreeFormsOnly) {
  Term dahl(3, 2, {kDahl, 0, 0.1, 1, 1, 1, 1, 1, 1}, {-1, 0, 1, 2, 1});
  Term sts(2, 1, {kSts, 0, 0.1, 0, 1, 1, 1}, {-1, 0, 1, 1, 1});
  EXPECT_EQ(lawOf(dahl, win64Laws()), &win64::FuDahlC);
  EXPECT_EQ(lawOf(sts, win64Laws()), &win64::STS);
  EXPECT_EQ(lawOf(sts, linux64Laws()), &STS);
  Term power(1, 1, {kPower, 1, 2});
  Term expon(1, 1, {kExpon, 1, 2});
  EXPECT_EQ(lawOf(power, win64Laws()), &FuPower);
  EXPECT_EQ(lawOf(expon, win64Laws()), &FuExpon);
  // The unit tests are built with the Linux table as the flavour's.
  EXPECT_EQ(flavorLaws().forms, linux64Laws().forms);
}

// ---------------------------------------------------------------------------
// FuDahlC: blocks of b + 1 values, b Dahl branches sharing V[o].

// Two branches (σ 10, exponent 1, F 1) and (σ 20, exponent 2, F 2), h 0.1;
// blocks of 3 values, states written back to u from position iu (none: 0).
Term dahlBranches(int blocks, int iu = 0) {
  return Term(3 * blocks, 2, {kDahl, 0, 0.1, 10, 1, 1, 20, 2, 2},
              {0, iu, 1, 2, blocks});
}

TEST(Win64Laws, DahlBranchesStepAndClipEachStateAndSumThem) {
  Term t = dahlBranches(1);
  t.unl = {99, 0, 0, 0, 0, 0};  // U[0] is not read
  t.vnl[0] = 1;
  runWin64(t);
  // B = 1: z1 = 0 + 1·(1·0.1·10) = 1; z2 = 0 + 1²·(0.1·20) = 2; both at F.
  EXPECT_EQ(t.unl[1], 1);
  EXPECT_EQ(t.unl[2], 2);
  EXPECT_EQ(t.snl[0], 3);
  t.vnl[0] = -1;
  runWin64(t);
  // B = 2: z1 = 1 + 2·(−1) = −1; z2 = 2 + 4·(−2) = −6, clipped to −2.
  EXPECT_EQ(t.unl[1], -1);
  EXPECT_EQ(t.unl[2], -2);
  EXPECT_EQ(t.snl[0], -3);
  EXPECT_EQ(t.unl[0], 99);
  t.unl[1] = 0.5, t.unl[2] = 1, t.vnl[0] = 1;
  runWin64(t);
  // B = 0.5 for both: z1 = 0.5 + 0.5·1 = 1; z2 = 1 + 0.25·2 = 1.5.
  EXPECT_DOUBLE_EQ(t.unl[1], 1.0);
  EXPECT_DOUBLE_EQ(t.unl[2], 1.5);
  EXPECT_DOUBLE_EQ(t.snl[0], 2.5);
}

TEST(Win64Laws, DahlBlocksSlipAtTheirOwnRatesAndExportTheirStates) {
  Term t = dahlBranches(2, 5);
  t.vnl[0] = 1, t.vnl[3] = -1;
  std::vector<double> u(10, 0), fnl(6, 0);
  _ROr ro;
  ro.u = u.data(), ro.nU = u.size(), ro.FNL = fnl.data(), ro.nFNL = fnl.size();
  runWin64(t, ro);
  EXPECT_EQ(t.snl, (std::vector<double>{3, 0, 0, -3, 0, 0}));
  EXPECT_EQ(fnl, t.snl);
  // Block k's two states go to u[5 + 2k …].
  EXPECT_EQ(u, (std::vector<double>{0, 0, 0, 0, 0, 1, 2, -1, -2, 0}));
}

TEST(Win64Laws, DahlWithoutBranchesGivesZeroForces) {
  Term t(3, 2, {kDahl, 0, 0.1}, {-1, 0, 1, 0, 3});
  t.snl = {5, 5, 5};
  runWin64(t);
  EXPECT_EQ(t.snl, (std::vector<double>{0, 0, 0}));
}

TEST(Win64Laws, DahlBlocksAreChecked) {
  Term t = dahlBranches(1);
  t.Nslice = 1;
  EXPECT_EQ(win64Error(t), "VRK:spardyn:empty|Incorrect unl");
  t = dahlBranches(1);
  t.iopt[3] = -1;
  EXPECT_EQ(win64Error(t), "VRK:spardyn:Invalid|FuDahlC: iopt[3] (states per "
                           "block) must be at least 0, is -1");
  t = dahlBranches(1);
  t.Nnl = 4;  // not a whole number of blocks of 3
  t.unl.resize(8), t.vnl.resize(8), t.snl.resize(4);
  EXPECT_EQ(win64Error(t), "VRK:spardyn:Invalid|FuDahlC: Nnl must be a "
                           "multiple of the block length iopt[3] + 1 = 3, is 4");
  t = dahlBranches(1);
  t.iopt[3] = 3, t.Nnl = 4;  // three branches read p[3 … 11]
  t.unl.resize(8), t.vnl.resize(8), t.snl.resize(4), t.iopt[4] = 1;
  EXPECT_EQ(win64Error(t), "VRK:spardyn:WrongSize|FuDahlC: opt holds 9 values, needs 12");
  t = dahlBranches(1);
  t.withRates = false;
  EXPECT_EQ(win64Error(t), "VRK:spardyn:empty|FuDahlC needs vnl");
  t = dahlBranches(1);
  t.iopt[3] = 2147483647;  // the block length overflows no integer
  EXPECT_NE(win64Error(t), "none");
}

// ---------------------------------------------------------------------------
// STS: a chain of sliders per block, as the Windows module computes it.

// One slider: p3 0.3, p4 2, p5 1, p6 4, h 0.5.
Term oneSlider() {
  return Term(2, 1, {kSts, 0, 0.5, 0.3, 2, 1, 4}, {-1, 0, 1, 1, 1});
}

TEST(Win64Laws, SliderMovesByTheWeightedIncrementOnlyAtItsThreshold) {
  Term t = oneSlider();
  t.unl = {1, 0};
  t.vnl[0] = 1;
  runWin64(t);
  // f = 1·2 − 4·0 = 2 ≥ 1 and f·V ≥ 0: cs = 1/2 + 1/4, e = 0.5/cs = 2/3,
  // U[1] = 0 + e/4 = 1/6; S = 2·U[1] + 0.3·U[0].
  EXPECT_DOUBLE_EQ(t.unl[1], 1.0 / 6);
  EXPECT_DOUBLE_EQ(t.snl[0], 2.0 / 6 + 0.3);

  t.unl = {0.4, 0};  // f = 0.8 below the threshold: sticks
  runWin64(t);
  EXPECT_EQ(t.unl[1], 0);
  EXPECT_DOUBLE_EQ(t.snl[0], 0.12);

  t.unl = {1, 0};  // pulled against the motion: sticks
  t.vnl[0] = -1;
  runWin64(t);
  EXPECT_EQ(t.unl[1], 0);
  EXPECT_DOUBLE_EQ(t.snl[0], 0.3);
}

// Two links: (p4 1, p5 0.5, p6 2) and (p6 2, p7 0.5, p8 4); h 1, V 1.
TEST(Win64Laws, SliderChainMovesTheLinksFromTheStartThatAreAtTheirThresholds) {
  Term t(3, 1, {kSts, 0, 1, 0, 1, 0.5, 2, 0.5, 4}, {-1, 0, 1, 2, 1});
  t.vnl[0] = 1;
  t.unl = {1, 0, 0};
  runWin64(t);
  // Link 0: f = 1 ≥ 0.5, cs = 1 + 1/2; link 1: f = 0 stops the chain.
  // e = 1/1.5; U[1] += e/2.
  EXPECT_DOUBLE_EQ(t.unl[1], 1.0 / 3);
  EXPECT_EQ(t.unl[2], 0);
  EXPECT_DOUBLE_EQ(t.snl[0], 1.0 / 3);

  t.unl = {2, 1, 0};  // link 0 slack (f = 0): nothing moves
  runWin64(t);
  EXPECT_EQ(t.unl, (std::vector<double>{2, 1, 0}));

  t.unl = {3, 1, 0};
  runWin64(t);
  // Link 0: f = 1; link 1: f = 1·2 − 0 = 2: cs = 1 + 1/2 + 1/4, e = 4/7;
  // U[1] += e/2, U[2] += e/4.
  EXPECT_DOUBLE_EQ(t.unl[1], 1 + 2.0 / 7);
  EXPECT_DOUBLE_EQ(t.unl[2], 1.0 / 7);
  EXPECT_DOUBLE_EQ(t.snl[0], 9.0 / 7);
}

TEST(Win64Laws, SliderBlocksAreChecked) {
  Term t = oneSlider();
  t.iopt[3] = 0;  // the output reads U[o+1]: a block holds a slider
  EXPECT_EQ(win64Error(t), "VRK:spardyn:Invalid|STS: iopt[3] (states per "
                           "block) must be at least 1, is 0");
  t = oneSlider();
  t.Nnl = 3;
  t.unl.resize(3), t.vnl.resize(3), t.snl.resize(3);
  EXPECT_EQ(win64Error(t), "VRK:spardyn:Invalid|STS: Nnl must be a multiple "
                           "of the block length iopt[3] + 1 = 2, is 3");
  t = oneSlider();
  t.iopt[3] = 2, t.Nnl = 3;  // two links read p[4 … 8]
  t.unl.resize(3), t.vnl.resize(3), t.snl.resize(3);
  EXPECT_EQ(win64Error(t), "VRK:spardyn:WrongSize|STS: opt holds 7 values, needs 9");
}

// The chain's work over a steady displacement cycle x = A·sin(t), with
// p4 = p6 = 1, p5 = 0.5, p3 = 0: S = U[1] = y, and y moves by ẋ/2 while
// x − y is beyond ±0.5 in the direction of motion.  Between the turning
// points y_min = −(A − 0.5)/3 and −y_min the loop is run backwards:
// ∮ S dx = 2·(2A·y_min + (A − y_min − 0.5)²/4) < 0, the element returns
// work (−2 at A = 2, −12 at A = 5).  Kept as the Windows module has it.
double chainWork(double A, int perCycle) {
  Term t(2, 1, {kSts, 0, 2 * kPi / perCycle, 0, 1, 0.5, 1}, {-1, 0, 1, 1, 1});
  double work = 0, x0 = 0, s0 = 0;
  const int cycles = 3;
  for (int k = 0; k <= cycles * perCycle; ++k) {
    const double tk = 2 * kPi * k / perCycle;
    t.unl[0] = A * std::sin(tk);
    t.vnl[0] = A * std::cos(tk);
    runWin64(t);
    if (k > (cycles - 1) * perCycle)  // the last cycle, trapezoids
      work += 0.5 * (s0 + t.snl[0]) * (t.unl[0] - x0);
    x0 = t.unl[0], s0 = t.snl[0];
  }
  return work;
}

TEST(Win64Laws, SliderChainReturnsWorkOverACycle) {
  for (double A : {2.0, 5.0}) {
    const double yMin = -(A - 0.5) / 3;
    const double exact = 2 * (2 * A * yMin + (A - yMin - 0.5) * (A - yMin - 0.5) / 4);
    const double coarse = chainWork(A, 2000), fine = chainWork(A, 20000);
    EXPECT_LT(fine, 0);
    EXPECT_NEAR(fine, exact, 2e-3 * std::fabs(exact)) << "A = " << A;
    // The step error shrinks with the step.
    EXPECT_LT(std::fabs(fine - exact), std::fabs(coarse - exact));
  }
  EXPECT_DOUBLE_EQ(2 * (2 * 2.0 * -0.5 + 2.0 * 2.0 / 4), -2.0);
}

// ---------------------------------------------------------------------------
// Clima2: states free of the spring, stiffness p[7].

// One element; p3 99 (not read), exponent 1, μ 0.5, offset 1, spring 2,
// h 0.1; table at opt[8]: g [0 2], normal force [0 20], stiffness [10 10],
// cursor at opt[14]; states to u[2 …], outputs to FNL[0 …].
Term contactElement() {
  return Term(5, 2,
              {kClima2, 0, 0.1, 99, 1, 0.5, 1, 2, 0, 2, 0, 20, 10, 10, 0, 0, 0},
              {0, 2, 3, 2, 1, 8, 14, 2, 2});
}

TEST(Win64Laws, ContactExportsTheStatesBeforeTheSpringIsSubtracted) {
  Term t = contactElement();
  t.unl = {0.2, -0.1, 1, 0, 0, 0, 0, 0, 0, 0};
  t.vnl = {1, -1, 0, 0, 0, 0, 0, 0, 0, 0};
  std::vector<double> u(4, 0), fnl(5, 0);
  _ROr ro;
  ro.u = u.data(), ro.nU = u.size(), ro.FNL = fnl.data(), ro.nFNL = fnl.size();
  runWin64(t, ro);
  // Gap 1: T0 = 10, T1 = 10, Fm = 5.  z1 = 0 + 1·0.1·10 = 1;
  // z2 = 0 − 0.1·10 = −1.
  EXPECT_EQ(fnl, (std::vector<double>{1, -1, 10, 0, 0}));
  EXPECT_EQ(u, (std::vector<double>{0, 0, 1, -1}));
  EXPECT_EQ(t.unl[3], 1);
  EXPECT_EQ(t.unl[4], -1);
  // Then S − 2·U, and the offset 1 off the normal force.
  EXPECT_DOUBLE_EQ(t.snl[0], 1 - 2 * 0.2);
  EXPECT_DOUBLE_EQ(t.snl[1], -1 + 2 * 0.1);
  EXPECT_DOUBLE_EQ(t.snl[2], 10 - (2 * 1 + 1));
}

TEST(Win64Laws, ContactIsChecked) {
  Term t = contactElement();
  t.withOutputs = false;  // the spring would read the outputs
  EXPECT_EQ(win64Error(t), "VRK:spardyn:Invalid|Clima2: needs an \"snl\" of "
                           "its own: the spring reads the observations after "
                           "the outputs are written");
  t = contactElement();
  t.iopt[5] = 7;  // the table over the spring p[7]
  EXPECT_EQ(win64Error(t).substr(0, 44), "VRK:spardyn:Invalid|Clima2: the table (2 row");
  Term onLinux = contactElement();
  onLinux.iopt[5] = 7;
  onLinux.opt[7] = -1;  // the first abscissa there
  NlState s = onLinux.state();
  EXPECT_NO_THROW(selectLaw(s, linux64Laws()));  // p[7] is free there
  t = contactElement();
  t.opt.resize(7);
  EXPECT_EQ(win64Error(t), "VRK:spardyn:WrongSize|Clima2: opt holds 7 values, needs 8");
}

}  // namespace
}  // namespace spardyn
