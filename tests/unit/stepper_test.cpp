// The stepper's scheduling, without a host: a run over fake terms checked
// against Newmark's method written out here, the order in which the terms
// are called, the clock, the exports and the snapshots, and the refusals of
// a run that would leave its arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "spardyn/error.hpp"
#include "spardyn/newmark.hpp"

using namespace spardyn;

namespace {

RealArray array(std::vector<double>& v, std::size_t rows) {
  RealArray a;
  a.present = true;
  a.data = v.empty() ? nullptr : v.data();
  a.count = v.size();
  a.rows = rows;
  return a;
}

// The stepper's stored tables in vectors, read with the checks the
// commands layer makes.
struct Tables final : DescriptionReader {
  int32_t N, Nb, NT;
  std::vector<double> r, tft, data;
  std::vector<int32_t> iopt;

  Tables(int32_t n, int32_t nb, int32_t nt)
      : N(n), Nb(nb), NT(nt), r(size_t(n) * (nb + 2), 0.0),
        tft(size_t(nb + 1) * nt, 0.0), data(6, 0.0) {}

  bool privateCopy() const override { return true; }
  SparseView termMatrix() override { return {}; }
  NlTermDescription nlTerm() override { return {}; }
  StepperTables stepperTables() override {
    StepperTables t;
    t.r.rows = N;
    t.r.cols = Nb + 2;
    t.r.pr = r.data();
    t.r.nPr = r.size();
    checkStepperMatrix(t.r);
    t.tft = array(tft, Nb + 1);
    t.tftCols = NT;
    checkTimeTable(t.r, t.tft);
    t.data = array(data, data.size());
    checkStepperData(t.data);
    t.iopt = iopt.empty() ? nullptr : iopt.data();
    return t;
  }
  double& shape(int32_t i, int32_t k) { return r[size_t(N) * (k + 1) + i]; }
  double& corr(int32_t i) { return r[size_t(N) * (Nb + 1) + i]; }
  double& time(int32_t j) { return tft[size_t(Nb + 1) * j]; }
  double& factor(int32_t k, int32_t j) { return tft[size_t(Nb + 1) * j + 1 + k]; }
};

// A term with diagonal mass, damping and stiffness: it adds
// m·a + c·v + k·u to the residual, and writes down when it is called.
struct FakeTerm final : chandle {
  std::vector<double> m, c, k;
  std::vector<std::string>* log;
  std::vector<double> seenT, seenA;
  int64_t states = 0;  // stateEnd
  int32_t fnlSlot = -1;  // when ≥ 0: writes the time into FNL there

  FakeTerm(std::vector<double> mm, std::vector<double> cc,
           std::vector<double> kk, std::vector<std::string>* events,
           int32_t code = kTypeStiffness)
      : m(std::move(mm)), c(std::move(cc)), k(std::move(kk)), log(events) {
    set_val(code, nullptr);
  }
  void initCpt(DescriptionReader&) override {}
  void checkBounds(const _ROr&) override { log->push_back("check"); }
  void Residual(_ROr ro, double* r) override {
    log->push_back("residual");
    seenT.push_back(ro.t);
    seenA.push_back(ro.a[0]);
    for (std::size_t i = 0; i < m.size(); ++i)
      r[i] += m[i] * ro.a[i] + c[i] * ro.v[i] + k[i] * ro.u[i];
    if (fnlSlot >= 0) ro.FNL[fnlSlot] = ro.t;
  }
  void EndStep() override { log->push_back("end"); }
  int64_t stateEnd() const override { return states; }
};

struct SteppedRun {
  Tables tables;
  std::vector<double> u, v, a, fnl;
  StepperIO io;
  chandleDiagNewmark stepper;

  SteppedRun(int32_t n, int32_t nb, int32_t nt)
      : tables(n, nb, nt), u(n, 0.0), v(n, 0.0), a(n, 0.0) {}

  _ROr record() {
    _ROr ro;
    ro.Ndof = static_cast<int32_t>(tables.N);
    ro.u = u.data();
    ro.v = v.data();
    ro.a = a.data();
    ro.nU = u.size();
    ro.nV = v.size();
    ro.nA = a.size();
    if (!fnl.empty()) {
      ro.FNL = fnl.data();
      ro.nFNL = fnl.size();
    }
    return ro;
  }
  void go(std::vector<chandle*> terms) {
    stepper.initCpt(tables);
    const _ROr ro = record();
    stepper.initCb(io, ro, terms.data(), static_cast<int32_t>(terms.size()));
    stepper.run(terms.data(), static_cast<int32_t>(terms.size()), ro);
  }
};

void setCoefficients(Tables& t, double h, double beta, double gamma) {
  t.data = {h, (0.5 - beta) * h * h, (1 - gamma) * h, gamma / (beta * h),
            1 / (beta * h * h), 0.0};
}

std::string errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.message();
  }
  return "none";
}

}  // namespace

// Two uncoupled oscillators under a load F(t) = sin t through one load
// shape: the run must be Newmark's method, each step solved exactly for the
// new acceleration, whatever the stepper defers between steps.
TEST(Stepper, RunIsNewmarksMethodOnDiagonalTerms) {
  const double h = 0.05, beta = 0.25, gamma = 0.5;
  const std::vector<double> m{2.0, 1.0}, c{0.3, 0.1}, k{50.0, 8.0};
  const std::vector<double> F{1.0, -0.5};
  const int32_t NT = 41;
  SteppedRun run(2, 1, NT);
  setCoefficients(run.tables, h, beta, gamma);
  for (int32_t i = 0; i < 2; ++i) {
    run.tables.shape(i, 0) = -F[i];  // shapes enter the residual with a sign
    run.tables.corr(i) = beta * h * h / (m[i] + gamma * h * c[i] + beta * h * h * k[i]);
  }
  for (int32_t j = 0; j < NT; ++j) {
    run.tables.time(j) = j * h;
    // Column j holds the factors of the step that ends at t(j+1).
    run.tables.factor(0, j) = std::sin((j + 1) * h);
  }
  run.u = {0.1, -0.2};
  run.v = {0.0, 0.3};
  run.a = {(F[0] * 0 - c[0] * 0.0 - k[0] * 0.1) / m[0],
           (0 - c[1] * 0.3 - k[1] * -0.2) / m[1]};
  std::vector<double> u = run.u, v = run.v, a = run.a;

  std::vector<std::string> log;
  FakeTerm term(m, c, k, &log);
  run.go({&term});

  for (int32_t j = 1; j < NT; ++j) {
    const double f = std::sin(j * h);
    for (int i = 0; i < 2; ++i) {
      const double up = u[i] + h * v[i] + (0.5 - beta) * h * h * a[i];
      const double vp = v[i] + (1 - gamma) * h * a[i];
      a[i] = (F[i] * f - c[i] * vp - k[i] * up) /
             (m[i] + gamma * h * c[i] + beta * h * h * k[i]);
      u[i] = up + beta * h * h * a[i];
      v[i] = vp + gamma * h * a[i];
    }
  }
  for (int i = 0; i < 2; ++i) {
    EXPECT_NEAR(run.u[i], u[i], 1e-12);
    EXPECT_NEAR(run.v[i], v[i], 1e-11);
    EXPECT_NEAR(run.a[i], a[i], 1e-10);
  }
  // The clock holds the last step's time.
  EXPECT_DOUBLE_EQ(run.tables.data[5], (NT - 1) * h);
}

// Every term is checked once before the first step; then each step asks
// every term for its residual at the predicted state (a = 0, the step's end
// time) and ends the step of every term after the residuals of all.
TEST(Stepper, CallsTheTermsInStepOrder) {
  SteppedRun run(1, 1, 4);
  setCoefficients(run.tables, 0.1, 0.25, 0.5);
  for (int32_t j = 0; j < 4; ++j) run.tables.time(j) = 0.1 * j;
  run.tables.corr(0) = 0.5;
  run.a = {3.0};
  std::vector<std::string> log;
  FakeTerm first({1}, {0}, {1}, &log), second({1}, {0}, {1}, &log);
  run.go({&first, &second});

  const std::vector<std::string> expected{
      "check", "check", "residual", "residual", "end", "end",
      "residual", "residual", "end", "end", "residual", "residual",
      "end", "end"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(first.seenT, (std::vector<double>{0.1, 0.2, 0.30000000000000004}));
  EXPECT_EQ(first.seenA, (std::vector<double>{0.0, 0.0, 0.0}));
}

// Snapshots of u at save times that equal a step time exactly, after that
// step's correction; the forces as the previous step left them in the step
// output; the load factors of each step in the model's FNL.
TEST(Stepper, SnapshotsAndExports) {
  const int32_t NT = 6;
  SteppedRun run(1, 2, NT);
  setCoefficients(run.tables, 1.0, 0.25, 0.5);
  run.tables.corr(0) = 0.25 / 1.25;
  for (int32_t j = 0; j < NT; ++j) {
    run.tables.time(j) = j;
    run.tables.factor(0, j) = 10 + j;
    run.tables.factor(1, j) = 20 + j;
  }
  run.tables.shape(0, 0) = -1.0;
  run.tables.iopt = {1};  // load factors to FNL[1], FNL[2]
  run.fnl.assign(3, 0.0);
  run.u = {0.5};

  std::vector<double> times{2.0, 4.0, 4.5}, def(3, -1.0);
  std::vector<double> fTimes{3.0}, fDef(3, -1.0);
  std::vector<double> uva(4, 0.0), uvaFnl(3, -1.0);
  run.io.saveTimes = array(times, 3);
  run.io.saveDef = array(def, 1);
  run.io.fnlSaveTimes = array(fTimes, 1);
  run.io.fnlSaveDef = array(fDef, 3);
  run.io.uva = array(uva, 4);
  run.io.uvaFnl = array(uvaFnl, 3);
  run.io.modelFnl = array(run.fnl, 3);

  // u after each step, from a run that stops there.
  auto uAfter = [&](int32_t steps) {
    SteppedRun r(1, 2, steps + 1);
    r.tables.data = run.tables.data;
    r.tables.r = run.tables.r;
    r.tables.tft.assign(run.tables.tft.begin(),
                        run.tables.tft.begin() + 3 * (steps + 1));
    r.u = {0.5};
    std::vector<std::string> log;
    FakeTerm t({1}, {0}, {1}, &log);
    r.go({&t});
    return r.u[0];
  };

  std::vector<std::string> log;
  FakeTerm term({1}, {0}, {1}, &log);
  term.fnlSlot = 0;  // FNL[0] = time of the step's residual
  run.go({&term});

  EXPECT_EQ(def[0], uAfter(2));
  EXPECT_EQ(def[1], uAfter(4));
  EXPECT_EQ(def[2], -1.0);  // 4.5 is no step time
  // FNL at t = 3 after that step: its own time, and the factors of column 2.
  EXPECT_EQ(fDef, (std::vector<double>{3.0, 12.0, 22.0}));
  // The step output's FNL: the forces as the last step found them.
  EXPECT_EQ(uvaFnl, (std::vector<double>{4.0, 13.0, 23.0}));
  // The last step's factors are those of column NT − 2.
  EXPECT_EQ(run.fnl, (std::vector<double>{5.0, 14.0, 24.0}));
}

TEST(Stepper, RefusesARunThatWouldLeaveItsArrays) {
  SparseView s;
  s.sparse = true;
  EXPECT_EQ(errorOf([&] { checkStepperMatrix(s); }), "Full r expected");
  Tables t(2, 1, 3);
  t.tft.resize(3 * 3);
  RealArray tft = array(t.tft, 3);
  SparseView r;
  r.rows = 2;
  r.cols = 3;
  EXPECT_EQ(errorOf([&] { checkTimeTable(r, tft); }), "Inconsistent Nb & NT");
  std::vector<double> five(5);
  EXPECT_EQ(errorOf([&] { checkStepperData(array(five, 5)); }),
            "Inconsistent data length");
  std::vector<double> small(7);
  EXPECT_EQ(errorOf([&] { checkStepOutputRoom(array(small, 7), 2); }),
            "wrong uva size");

  // A term whose internal states end beyond the state the stepper carries.
  SteppedRun run(1, 1, 2);
  setCoefficients(run.tables, 0.1, 0.25, 0.5);
  std::vector<std::string> log;
  FakeTerm nl({1}, {0}, {1}, &log, kTypeNlInOut);
  nl.states = 2;
  EXPECT_EQ(errorOf([&] { run.go({&nl}); }), "iu+Nistate too large");
  EXPECT_TRUE(log.empty());

  // u, v and a must be three arrays.
  SteppedRun same(1, 1, 2);
  setCoefficients(same.tables, 0.1, 0.25, 0.5);
  same.stepper.initCpt(same.tables);
  _ROr ro = same.record();
  ro.v = ro.u;
  EXPECT_EQ(errorOf([&] { same.stepper.initCb(same.io, ro, nullptr, 0); }),
            "Identical v & u");
}
