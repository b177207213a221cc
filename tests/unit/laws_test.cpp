// The force laws against hand-worked values and against closed forms of the
// models they integrate: Dahl's friction curve, the elasto-plastic loop of a
// spring-slider, the complex modulus of a Maxwell branch.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "laws_fixture.hpp"

namespace spardyn {
namespace {

using namespace testing_laws;

const double kPi = std::acos(-1.0);

TEST(MemorylessLaws, PowerAndExponentialWithTheirExport) {
  Term pw(2, 1, {kPower, 2, 3}, {1});
  pw.unl = {-2, 0.5};
  std::vector<double> fnl(4, -7);
  _ROr ro;
  ro.FNL = fnl.data();
  ro.nFNL = fnl.size();
  run(pw, ro);
  EXPECT_EQ(pw.snl, (std::vector<double>{-16, 0.25}));
  EXPECT_EQ(fnl, (std::vector<double>{-7, -16, 0.25, -7}));

  Term ex(1, 1, {kExpon, 2, 3});  // no options: nothing exported
  ex.unl = {2};
  run(ex, ro);
  EXPECT_EQ(ex.snl[0], 18);
  EXPECT_EQ(fnl[0], -7);

  pw.iopt = {-1};  // a negative position exports nothing either
  pw.unl = {1, 1};
  run(pw, ro);
  EXPECT_EQ(fnl[1], -16);
}

TEST(MemorylessLaws, PowerWithoutOutputBufferOverwritesTheObservations) {
  Term pw(2, 1, {kPower, 3, 2});
  pw.withOutputs = false;
  pw.unl = {2, -1};
  run(pw);
  EXPECT_EQ(pw.unl, (std::vector<double>{12, 3}));
}

// Abscissa 0 1 1 2 (a step at 1); columns [0 5 7 9] and [1 1 3 3].
std::vector<double> stepTableOpt(double code) {
  std::vector<double> opt{code};
  for (double v : {0, 1, 1, 2, 0, 5, 7, 9, 1, 1, 3, 3}) opt.push_back(v);
  for (double v : {0, 0, 0}) opt.push_back(v);  // cursor
  return opt;
}

TEST(MemorylessLaws, TableWithAStepGivesTheMeanOnTheStep) {
  Term tb(3, 1, stepTableOpt(kTable), {0, 0, 0, 0, 0, 1, 13, 4, 2});
  tb.unl = {1, 0.5, 1.5};
  tb.snl.assign(6, 0);
  std::vector<double> fnl(3, 0);
  _ROr ro;
  ro.FNL = fnl.data();
  ro.nFNL = 3;
  run(tb, ro);
  EXPECT_EQ(tb.snl, (std::vector<double>{6, 2.5, 8, 2, 1, 3}));
  EXPECT_EQ(fnl, (std::vector<double>{6, 2.5, 8}));  // the first N values
  // The cursor remembers where the last query was found.
  EXPECT_EQ(tb.opt[13], 2);
  EXPECT_EQ(tb.opt[14], 1);
  EXPECT_EQ(tb.opt[15], 0.5);
}

// ---------------------------------------------------------------------------
// Dahl friction: dz/dx = σ·(1 − sgn(ẋ)·z/Fs)^α.

Term dahlTerm(double h, double sigma, double alpha, double Fs, int pairs) {
  return Term(2 * pairs, 2, {kDahl, 0, h, sigma, alpha, Fs, 1},
              {-1, 0, 1, 1, pairs});
}

TEST(Dahl, WorkedSteps) {
  Term t = dahlTerm(0.1, 10, 1, 1, 4);
  // (z, w): start from rest and slide; saturated and still pushed;
  // saturated and reversed (B = 2, increment −2, clipped); w = 0 counts as
  // negative, so a positive z moves down.
  t.unl = {0, 0, 0, 1, 0, 1, 0, 0.5};
  t.vnl = {1, 0, 1, 0, -1, 0, 0, 0};
  run(t);
  EXPECT_DOUBLE_EQ(t.unl[1], 1);
  EXPECT_DOUBLE_EQ(t.unl[3], 1);
  EXPECT_DOUBLE_EQ(t.unl[5], -1);
  EXPECT_DOUBLE_EQ(t.unl[7], 0.5);  // w = 0: no slip, no change
  for (int k = 0; k < 4; ++k) EXPECT_EQ(t.snl[2 * k], t.unl[2 * k + 1]);
}

TEST(Dahl, TimeIncrementIsTheFirstEvaluationTime) {
  Term t = dahlTerm(0, 10, 1, 100, 1);
  t.vnl[0] = 1;
  _ROr ro;
  ro.t = 0.01;
  run(t, ro);
  EXPECT_EQ(t.opt[2], 0.01);
  EXPECT_DOUBLE_EQ(t.unl[1], 0.1);
  ro.t = 0.5;
  run(t, ro);
  EXPECT_EQ(t.opt[2], 0.01);
  EXPECT_NEAR(t.unl[1], 0.1 + 0.1 * (1 - 0.1 / 100), 1e-15);
}

// Monotone sliding from z = 0 follows z = Fs·(1 − exp(−σ·x/Fs)) (α = 1);
// the explicit step is first order, so the error shrinks with dx.
TEST(Dahl, MonotoneSlidingFollowsTheClosedForm) {
  const double sigma = 100, Fs = 2, h = 1e-4, w = 0.1;  // dx = 1e-5
  Term t = dahlTerm(h, sigma, 1, Fs, 1);
  t.vnl[0] = w;
  double worst = 0;
  for (int n = 1; n <= 10000; ++n) {  // x up to 0.1 = 5 Fs/σ
    run(t);
    const double x = n * w * h;
    worst = std::max(worst, std::fabs(t.unl[1] - Fs * (1 - std::exp(-sigma * x / Fs))));
  }
  EXPECT_LT(worst, 2e-4 * Fs);
  EXPECT_GT(t.unl[1], 0.99 * Fs);
}

// Under x = X·sin(ωt) the loop becomes periodic.  Its turning values are
// ±z_a with z_a = Fs·(1 − E)/(1 + E), E = exp(−2σX/Fs), and the branch
// from (X, z_a) down is z = −Fs + (Fs + z_a)·exp(−σ·(X − x)/Fs).
TEST(Dahl, CyclicSlidingClosesOnTheAnalyticLoop) {
  const double sigma = 50, Fs = 1, X = 0.02, T = 1, h = T / 40000;
  Term t = dahlTerm(h, sigma, 1, Fs, 1);
  const double om = 2 * kPi / T;
  const int perCycle = static_cast<int>(T / h);
  const double E = std::exp(-2 * sigma * X / Fs);
  const double za = Fs * (1 - E) / (1 + E);
  std::vector<double> lastCycle, previous;
  // A start off the loop fades by exp(−4σX/Fs) = e^−4 per cycle.
  for (int cycle = 0; cycle < 8; ++cycle) {
    previous.swap(lastCycle);
    lastCycle.clear();
    for (int n = 0; n < perCycle; ++n) {
      const double time = (cycle * perCycle + n) * h;
      t.vnl[0] = X * om * std::cos(om * time);
      run(t);
      lastCycle.push_back(t.unl[1]);
    }
  }
  double drift = 0;
  for (int n = 0; n < perCycle; ++n)
    drift = std::max(drift, std::fabs(lastCycle[n] - previous[n]));
  EXPECT_LT(drift, 1e-8);  // the loop closes
  // Top of the loop at a quarter period, bottom at three quarters.
  EXPECT_NEAR(lastCycle[perCycle / 4], za, 2e-3);
  EXPECT_NEAR(lastCycle[3 * perCycle / 4], -za, 2e-3);
  double worst = 0;
  for (int n = perCycle / 4; n <= 3 * perCycle / 4; ++n) {
    const double x = X * std::sin(om * (n + 1) * h);
    const double z = -Fs + (Fs + za) * std::exp(-sigma * (X - x) / Fs);
    worst = std::max(worst, std::fabs(lastCycle[n] - z));
  }
  EXPECT_LT(worst, 3e-3);
}

// ---------------------------------------------------------------------------
// Spring-slider: p3 parallel, p4 series, p5 threshold, p6 to ground.

Term sliderTerm(double h, double kPar, double kSer, double thr, double kGnd,
                int pairs) {
  return Term(2 * pairs, 1, {kSts, 0, h, kPar, kSer, thr, kGnd},
              {-1, 0, 1, 1, pairs});
}

TEST(Slider, SticksBelowTheThresholdAndSlidesToItAbove) {
  Term t = sliderTerm(0.1, 0, 1, 1, 0, 1);
  t.unl = {0, 0.9};
  run(t);
  EXPECT_EQ(t.unl[1], 0.9);
  EXPECT_DOUBLE_EQ(t.snl[0], -0.9);
  // Pulled by 1.2 against a threshold of 1: the slider follows the
  // displacement predicted one step ahead and keeps the series spring at
  // the threshold, on the side it was pulled from.
  t.unl = {0, 1.2};
  run(t);
  EXPECT_DOUBLE_EQ(t.unl[1], 1);
  EXPECT_DOUBLE_EQ(t.snl[0], -1);
  t.unl = {0, 1.5};
  t.vnl[0] = 2;  // x predicted at 0.1·2
  run(t);
  EXPECT_DOUBLE_EQ(t.unl[1], 0.1 * 2 + 1);
  EXPECT_DOUBLE_EQ(t.snl[0], -1.2);
}

TEST(Slider, AThresholdBelowOneIsComparedWithTheTrueForce) {
  Term t = sliderTerm(0.1, 0, 1, 0.5, 0, 1);
  t.unl = {0, 0.7};  // |w| = 0.7 ≥ 0.5
  run(t);
  EXPECT_DOUBLE_EQ(t.unl[1], 0.5);
}

TEST(Slider, EachPairSticksOrSlidesOnItsOwn) {
  Term t = sliderTerm(0, 0, 2, 1, 1, 3);
  t.opt[2] = 1;  // h, unused without rates
  t.unl = {0, 0.1, 3, 0, 0, 0.2};  // sticks, slides, sticks
  run(t);
  EXPECT_EQ(t.unl[1], 0.1);
  // w = −6 → slides until w = −1: y = (2·3 − 1)/3.
  EXPECT_DOUBLE_EQ(t.unl[3], 5.0 / 3);
  EXPECT_DOUBLE_EQ((t.unl[3] - 3) * 2 + t.unl[3] * 1, -1);
  EXPECT_EQ(t.unl[5], 0.2);
  EXPECT_EQ(t.snl[1], 0);  // S[0] is the only output
}

// A slider in series with a spring, cycled quasi-statically through ±X,
// dissipates 4·p5·(X − p5/p4) per cycle (the elasto-plastic loop).
TEST(Slider, CycleDissipatesTheElastoPlasticLoopEnergy) {
  const double k = 100, thr = 1, X = 0.05;
  Term t = sliderTerm(1, 0, k, thr, 0, 1);
  const int steps = 20000;
  double work = 0, xPrev = 0, fPrev = 0, yCycleStart = 0;
  for (int n = 1; n <= 2 * steps; ++n) {
    const double x = X * std::sin(2 * kPi * n / steps);
    t.unl[0] = x;  // the slider position stays in unl[1]
    run(t);
    if (n > steps) work += 0.5 * (t.snl[0] + fPrev) * (x - xPrev);
    if (n == steps) yCycleStart = t.unl[1];
    xPrev = x;
    fPrev = t.snl[0];
  }
  EXPECT_NEAR(work, 4 * thr * (X - thr / k), 1e-3 * work);
  EXPECT_NEAR(t.unl[1], yCycleStart, 1e-12);  // the loop closes
}

// ---------------------------------------------------------------------------
// Contact: elements of 5 values, table of normal force and tangential
// stiffness against the normal coordinate.

// p = [code, -, h, spring p3, exponent p4, μ p5, offset p6], table from 7.
Term contactTerm(int elements, double h, double p3, double mu, double p6) {
  std::vector<double> opt{kClima2, 0, h, p3, 1, mu, p6};
  // Abscissa 0 1 1 2: normal force 0 5 7 9, tangential stiffness 10 10 30 30.
  for (double v : {0, 1, 1, 2, 0, 5, 7, 9, 10, 10, 30, 30}) opt.push_back(v);
  for (double v : {0, 0, 0}) opt.push_back(v);
  return Term(5 * elements, 2, opt, {-1, 0, 3, 2, elements, 7, 19, 4, 2});
}

TEST(Contact, TwoElementsEachFromItsOwnObservations) {
  Term t = contactTerm(2, 0.1, 2, 0.5, 1);
  // Element 0 sits on the step (T0 = 6, T1 = 20, Fm = 3); element 1 at
  // 1.5 (T0 = 8, T1 = 30, Fm = 4).
  t.unl = {0.1, 0.2, 1, 0, 0, -0.1, 0.3, 1.5, 0, 3.9};
  t.vnl = {1, -1, 0, 0, 0, 1, 1, 0, 0, 0};
  run(t);
  // z1 = 0 + 1·0.1·20 = 2; z2 = 0 − 0.1·20 = −2.
  EXPECT_DOUBLE_EQ(t.snl[0], 2 - 2 * 0.1);
  EXPECT_DOUBLE_EQ(t.snl[1], -2 - 2 * 0.2);
  EXPECT_DOUBLE_EQ(t.snl[2], 6 - 2 * 1 - 1);
  EXPECT_DOUBLE_EQ(t.unl[3], 2);
  EXPECT_DOUBLE_EQ(t.unl[4], -2);
  // Element 1: z1 = 0 + 1·0.1·30 = 3 (B = 1); z2 = 3.9 → B = 1 − 3.9/4,
  // z2 = 3.9 + 0.1·30·0.025 = 3.975.
  EXPECT_DOUBLE_EQ(t.snl[5], 3 - 2 * -0.1);
  EXPECT_NEAR(t.snl[6], 3.975 - 2 * 0.3, 1e-12);
  EXPECT_DOUBLE_EQ(t.snl[7], 8 - 2 * 1.5 - 1);
  EXPECT_DOUBLE_EQ(t.unl[8], 3);
  EXPECT_NEAR(t.unl[9], 3.975, 1e-12);
}

TEST(Contact, SaturatesAtFrictionTimesNormalForce) {
  Term t = contactTerm(1, 1, 0, 0.5, 0);
  t.unl = {0, 0, 2, 0, 0};  // T0 = 9: Fm = 4.5
  t.vnl = {10, -10, 0, 0, 0};
  run(t);
  EXPECT_EQ(t.snl[0], 4.5);
  EXPECT_EQ(t.snl[1], -4.5);
}

TEST(Contact, AConstantDisplacementAtRestKeepsItsForces) {
  Term t = contactTerm(1, 0.1, 5, 0.5, 0);
  t.unl = {0.2, -0.1, 2, 1, -1};
  std::vector<double> first;
  for (int n = 0; n < 5; ++n) {
    t.unl[0] = 0.2;  // the observation, as the term would write it
    t.unl[1] = -0.1;
    run(t);
    if (n == 0) first = t.snl;
  }
  EXPECT_EQ(t.snl, first);
  EXPECT_DOUBLE_EQ(t.snl[0], 1 - 5 * 0.2);
}

TEST(Contact, TimeIncrementIsTheFirstEvaluationTime) {
  Term t = contactTerm(1, 0, 0, 0.5, 0);
  t.unl = {0, 0, 2, 0, 0};
  t.vnl = {1, 0, 0, 0, 0};
  _ROr ro;
  ro.t = 0.01;
  run(t, ro);
  ro.t = 3;
  run(t, ro);
  EXPECT_EQ(t.opt[2], 0.01);
  // Two steps of 0.01·30·(1 − z/4.5).
  const double z1 = 0.3, z2 = z1 + 0.3 * (1 - z1 / 4.5);
  EXPECT_DOUBLE_EQ(t.snl[0], z2);
}

// ---------------------------------------------------------------------------
// Maxwell-type law: one block, one state (d = b = 1).

// A spring k0 parallel to a Maxwell branch (spring k1, dashpot c1):
// x' = (k1/c1)·(q − x), f = (k0 + k1)·q − k1·x.
Term maxwellTerm(double h, int nsub, double k0, double k1, double c1) {
  const double r = k1 / c1;
  std::vector<double> opt{kMaxw, 0, h, double(nsub), 0,
                          k0 + k1, -k1,  // Cu
                          0, 0,          // Cv
                          r, -r, 0};     // P1, P2, P3
  return Term(2, 3, opt, {-1, 0, 1, 1, 1});
}

// Complex modulus identified from the last full periods of a sinusoidal
// run: (2/(nT))·∫ f·e^{−iωt} dt / Q.
std::complex<double> identifiedModulus(Term& t, double om, double Q,
                                       double h, int periods, int settle) {
  const int perT = static_cast<int>(std::lround(2 * kPi / om / h));
  std::complex<double> acc = 0;
  for (int n = 1; n <= (settle + periods) * perT; ++n) {
    const double time = n * h;
    t.unl[0] = Q * std::sin(om * time);
    t.vnl[0] = Q * om * std::cos(om * time);
    run(t);
    if (n > settle * perT)
      acc += t.snl[0] * std::exp(std::complex<double>(0, -om * time)) * h;
  }
  // f = Re(G·Q·e^{iωt}) with q = Q·sin: G·Q·(−i)… take q = Q·Im(e^{iωt}).
  return acc * 2.0 / (periods * perT * h) / Q * std::complex<double>(0, 1);
}

TEST(Maxwell, OneBranchMatchesItsComplexModulus) {
  const double k0 = 10, k1 = 50, c1 = 5, om = 8;  // ωτ = 0.8
  const std::complex<double> iwt(0, om * c1 / k1);
  const std::complex<double> G = k0 + k1 * iwt / (1.0 + iwt);
  const double h = 2 * kPi / om / 8000;
  Term one = maxwellTerm(h, 1, k0, k1, c1);
  const auto G1 = identifiedModulus(one, om, 0.01, h, 2, 6);
  EXPECT_NEAR(G1.real(), G.real(), 2e-3 * std::abs(G));
  EXPECT_NEAR(G1.imag(), G.imag(), 2e-3 * std::abs(G));
  // Four sub-steps of h/4 per evaluation integrate the same model.
  Term four = maxwellTerm(h / 4, 4, k0, k1, c1);
  const auto G4 = identifiedModulus(four, om, 0.01, h, 2, 6);
  EXPECT_NEAR(G4.real(), G.real(), 2e-3 * std::abs(G));
  EXPECT_NEAR(G4.imag(), G.imag(), 2e-3 * std::abs(G));
}

TEST(Maxwell, SubStepsAreEulerStepsOfTheStateEquation) {
  Term t = maxwellTerm(0.1, 2, 0, 4, 2);  // x' = 2·(q − x), f = 4q − 4x
  t.unl = {1, 0, 0, 0, 0, 0.5};  // q = 1 now; x = 0.5 at the step start
  t.vnl = {0, 0, 0, 0, 0, 0};    // q was 0 at the start, x' = 0 there
  run(t);
  // Sub-step 1: x = 0.5 + 0.1·0 = 0.5, q = 0.5 → x' = 0.
  // Sub-step 2: x = 0.5, q = 1 → x' = 1.
  EXPECT_DOUBLE_EQ(t.unl[1], 0.5);
  EXPECT_DOUBLE_EQ(t.vnl[1], 1);
  EXPECT_DOUBLE_EQ(t.vnl[5], 1);
  EXPECT_DOUBLE_EQ(t.snl[0], 4 * 1 - 4 * 0.5);
  EXPECT_EQ(t.unl[4], 1);  // the observation becomes the next start
}

TEST(Maxwell, OutputOverTheObservationKeepsTheObservedStart) {
  Term t = maxwellTerm(0.1, 1, 3, 0, 1);  // f = 3q, no branch force
  t.withOutputs = false;
  t.unl[0] = 2;
  run(t);
  EXPECT_EQ(t.unl[0], 6);  // the output, written over the observation
  EXPECT_EQ(t.unl[4], 2);  // the next start is what was observed
}

TEST(Maxwell, WithoutSubStepsOnlyTheExportsRun) {
  Term t = maxwellTerm(0.1, 0, 1, 1, 1);
  t.iopt = {0, 0, 1, 1, 1};
  t.unl[0] = 3;
  t.snl = {5, 6};
  std::vector<double> fnl(2, 0);
  _ROr ro;
  ro.FNL = fnl.data();
  ro.nFNL = 2;
  run(t, ro);
  EXPECT_EQ(t.snl, (std::vector<double>{5, 6}));
  EXPECT_EQ(fnl, (std::vector<double>{5, 6}));
}

TEST(Maxwell, RefusesASingleSliceWhenCalledDirectly) {
  Term t = maxwellTerm(0.1, 1, 1, 1, 1);
  t.Nslice = 1;
  NlState s = t.state();
  EXPECT_EQ(errorOf([&] { Maxw(s, _ROr{}); }), "|Need unlj1 as last dim");
}

// ---------------------------------------------------------------------------
// Exports and the end of a step

TEST(Exports, EveryBlockKeepsItsOwnStates) {
  // Three blocks of one observed value and two states.
  Term t(9, 1, {kDahl}, {1, 2, 1, 2, 3});
  for (int i = 0; i < 9; ++i) t.unl[i] = 10 + i;
  t.snl = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<double> u(9, 0), fnl(11, 0);
  _ROr ro;
  ro.u = u.data();
  ro.FNL = fnl.data();
  StoreState(t.state(), ro);
  EXPECT_EQ(u, (std::vector<double>{0, 0, 11, 12, 14, 15, 17, 18, 0}));
  EXPECT_EQ(fnl, (std::vector<double>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}));

  u.assign(9, 0);
  fnl.assign(11, 0);
  t.iopt = {-1, 0, 1, 2, 3};  // neither FNL nor u
  StoreState(t.state(), ro);
  EXPECT_EQ(u, std::vector<double>(9, 0));
  EXPECT_EQ(fnl, std::vector<double>(11, 0));
}

TEST(Exports, EndStepCopiesSliceThreeIntoSliceOne) {
  Term t(2, 4, {kPower, 1, 1});
  for (int i = 0; i < 8; ++i) t.unl[i] = t.vnl[i] = i;
  NlState s = t.state();
  endStepCopy(s);
  EXPECT_EQ(t.unl, (std::vector<double>{4, 5, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(t.vnl, t.unl);

  Term two(2, 2, {kPower, 1, 1});  // fewer than three slices: nothing
  for (int i = 0; i < 4; ++i) two.unl[i] = i;
  NlState s2 = two.state();
  endStepCopy(s2);
  EXPECT_EQ(two.unl, (std::vector<double>{0, 1, 2, 3}));
}

}  // namespace
}  // namespace spardyn
