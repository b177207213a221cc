// The pieces of the "NL" walk on plain arrays: observations with their
// references and slices, the injection bᵀ·f in every storage of b, the copy
// into FNL, and the checks that keep each inside its arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "nl_test_views.hpp"
#include "spardyn/error.hpp"
#include "spardyn/kernels.hpp"
#include "spardyn/nl_entry.hpp"

namespace spardyn {
namespace {

using testing_nl::SparseMatrix;

// c: 2 × 4.
SparseMatrix observationMatrix() {
  return SparseMatrix(2, 4, {1, 0, -2, 0,
                             0, 3, 0, 0.5});
}
const std::vector<double> kV{0.5, -1, 2, 4};  // c·v = [-3.5, -1]

// A view of c as a dense column-major array.
struct DenseC {
  std::vector<double> pr{1, 0, 0, 3, -2, 0, 0, 0.5};
  SparseView view() {
    SparseView v;
    v.rows = 2, v.cols = 4, v.pr = pr.data(), v.nPr = pr.size();
    return v;
  }
};

ObservationArray twoDimensional(std::vector<double>& a) {
  ObservationArray o;
  o.data = a.data();
  o.count = a.size();
  o.dims[0] = a.size(), o.dims[1] = 1;
  return o;
}

ObservationArray threeSlices(std::vector<double>& a, std::size_t perSlice) {
  ObservationArray o;
  o.data = a.data();
  o.count = a.size();
  o.ndims = 3;
  o.dims[0] = perSlice, o.dims[1] = 1, o.dims[2] = a.size() / perSlice;
  return o;
}

TEST(NlObservation, TwoDimensionalArrayIsReferencePlusObservation) {
  SparseMatrix c = observationMatrix();
  const SparseView cv = c.transposedView();
  std::vector<double> vnl{7, 7};
  observe(twoDimensional(vnl), cv, 1.0, kV.data());
  EXPECT_EQ(vnl, (std::vector<double>{-3.5, -1}));

  std::vector<double> ref{10, 20};
  ObservationArray o = twoDimensional(vnl);
  o.reference = ref.data(), o.referenceCount = ref.size();
  observe(o, cv, 1.0, kV.data());
  EXPECT_EQ(vnl, (std::vector<double>{6.5, 19}));
  observe(o, cv, 1.0, kV.data());  // never accumulates across evaluations
  EXPECT_EQ(vnl, (std::vector<double>{6.5, 19}));

  // A dense c replaces the reference by c·v.
  DenseC dense;
  observe(o, dense.view(), 1.0, kV.data());
  EXPECT_EQ(vnl, (std::vector<double>{-3.5, -1}));
  EXPECT_EQ(ref, (std::vector<double>{10, 20}));
}

TEST(NlObservation, ThreeSlicesKeepTheLastObservationWhenTheClockIsPast) {
  SparseMatrix c = observationMatrix();
  const SparseView cv = c.transposedView();
  std::vector<double> vnl{1, 2, 10, 20, 5, 6};
  observe(threeSlices(vnl, 2), cv, -2.0, kV.data());
  EXPECT_EQ(vnl, (std::vector<double>{6.5, 19, 10, 20, 1, 2}));
  observe(threeSlices(vnl, 2), cv, 0.0, kV.data());
  EXPECT_EQ(vnl, (std::vector<double>{6.5, 19, 10, 20, 1, 2}));
  // Two slices: nothing to keep, whatever the clock.
  std::vector<double> two{1, 2, 10, 20};
  observe(threeSlices(two, 2), cv, -2.0, kV.data());
  EXPECT_EQ(two, (std::vector<double>{6.5, 19, 10, 20}));
}

TEST(NlObservation, SliceClockRunsOnlyForThreeSlicesAndTwoOptions) {
  std::vector<double> three(6), two(4), flat(2);
  const std::vector<double> opt{0, 5};
  EXPECT_EQ(sliceClock(threeSlices(three, 2), opt.data(), 2, 7.0), -2.0);
  EXPECT_EQ(sliceClock(threeSlices(three, 2), opt.data(), 1, 7.0), 1.0);
  EXPECT_EQ(sliceClock(threeSlices(three, 2), nullptr, 0, 7.0), 1.0);
  EXPECT_EQ(sliceClock(threeSlices(two, 2), opt.data(), 2, 7.0), 1.0);
  EXPECT_EQ(sliceClock(twoDimensional(flat), opt.data(), 2, 7.0), 1.0);
  EXPECT_EQ(sliceClock(ObservationArray(), opt.data(), 2, 7.0), 1.0);
}

// A buffer shared by an object: its length is unknown, the observation
// writes the rows of c and nothing beyond.
TEST(NlObservation, SharedBufferReceivesTheRowsOfC) {
  SparseMatrix c = observationMatrix();
  std::vector<double> buffer{7, 7, 7};
  ObservationArray o;
  o.data = buffer.data();
  o.count = kUnknownCount;
  o.dims[0] = o.dims[1] = 1;
  observe(o, c.transposedView(), 1.0, kV.data());
  EXPECT_EQ(buffer, (std::vector<double>{-3.5, -1, 7}));
}

template <typename Run>
void expectError(Run run, Reason reason, const std::string& part) {
  try {
    run();
    ADD_FAILURE() << "no error for " << part;
  } catch (const Error& e) {
    EXPECT_EQ(e.reason(), reason) << e.message();
    EXPECT_NE(e.message().find(part), std::string::npos) << e.message();
  }
}

TEST(NlObservation, ChecksRefuseWhatWouldLeaveTheArrays) {
  SparseMatrix c = observationMatrix();
  const SparseView cv = c.transposedView();
  std::vector<double> vnl(2), shortRef(1), v(kV);
  ObservationArray o = twoDimensional(vnl);
  auto check = [&](const ObservationArray& a, const SparseView& m,
                   const double* state, std::size_t n) {
    checkObservation(a, m, 1.0, state, n, 4, Observed::Velocity);
  };
  EXPECT_NO_THROW(check(o, cv, v.data(), 4));

  ObservationArray withShortRef = o;
  withShortRef.reference = shortRef.data(), withShortRef.referenceCount = 1;
  expectError([&] { check(withShortRef, cv, v.data(), 4); }, Reason::WrongSize,
              "model.NL row 4, \"vnl0\": holds 1 values, fewer than the 2 of \"vnl\"");
  expectError([&] { check(o, cv, v.data(), 3); }, Reason::WrongSize,
              "model.NL row 4, \"c\" observing v into \"vnl\": the input vector needs 4 values, holds 3");
  expectError([&] { check(o, cv, nullptr, 0); }, Reason::WrongSize,
              "model.NL row 4, \"c\": observes v, which is empty");
  std::vector<double> one(1);
  expectError([&] { check(twoDimensional(one), cv, v.data(), 4); },
              Reason::WrongSize, "the result needs 2 values, holds 1");
  ObservationArray oneSlice = twoDimensional(vnl);
  oneSlice.ndims = 3;
  expectError([&] { checkObservation(oneSlice, cv, 1.0, v.data(), 4, 4, Observed::Displacement); },
              Reason::WrongSize, "model.NL row 4, \"unl\": a three-dimensional array needs a second slice");
  expectError([&] { check(o, c.columnView(), v.data(), 4); }, Reason::None,
              "Prod_Mt_u implemented for transposed sparse matrices");

  ObservationArray selfRef = o;
  selfRef.reference = vnl.data(), selfRef.referenceCount = 2;
  expectError([&] { check(selfRef, cv, v.data(), 4); }, Reason::Invalid,
              "model.NL row 4, \"vnl\": \"vnl\" and \"vnl0\" share their data");
  std::vector<double> state(6);
  ObservationArray onState = o;
  onState.data = state.data() + 4;  // the observation lands in v
  expectError([&] { check(onState, cv, state.data(), 6); }, Reason::Invalid,
              "\"vnl\" and v share their data");
}

// --- injection ---------------------------------------------------------------------

// b: 3 × n with entries in a few columns, some repeated across rows.
SparseMatrix commandMatrix(int32_t n) {
  std::vector<double> dense(3 * n, 0.0);
  dense[0 * n + 1] = 2;
  dense[0 * n + n - 1] = -1;
  dense[1 * n + 1] = 0.5;
  dense[2 * n + 0] = 4;
  dense[2 * n + n - 1] = 3;
  return SparseMatrix(3, n, dense);
}

TEST(NlInjection, EveryStorageAddsBTransposedF) {
  const std::vector<double> f{1.5, -2, 0.25};
  InjectScratch scratch;
  // 5 columns: the whole scratch is used; 200: only the touched rows.
  // The same scratch serves both, in either order.
  for (int32_t n : {5, 200, 5}) {
    SparseMatrix b = commandMatrix(n);
    std::vector<double> r0(n);
    for (int32_t i = 0; i < n; ++i) r0[i] = 0.1 * i - 3;
    std::vector<double> expected = b.transposedTimes(f);
    for (int32_t i = 0; i < n; ++i) expected[i] += r0[i];

    std::vector<double> byRows = r0, byCols = r0, reference = r0;
    injectForce(b.transposedView(), f.data(), byRows.data(), scratch);
    injectForce(b.columnView(), f.data(), byCols.data(), scratch);
    std::vector<double> own(n);
    Add_Mt_ub(b.transposedView(), f.data(), reference.data(), own.data());
    for (int32_t i = 0; i < n; ++i) {
      EXPECT_NEAR(byRows[i], expected[i], 1e-15) << "n " << n << " row " << i;
      EXPECT_NEAR(byCols[i], expected[i], 1e-15) << "n " << n << " row " << i;
      EXPECT_EQ(byRows[i], reference[i]) << "n " << n << " row " << i;
    }
  }
}

TEST(NlInjection, DenseTransposedBIsOneRowScaledByTheFirstForce) {
  std::vector<double> pr{1, 2, 3}, r{1, 1, 1, 1};
  SparseView b;
  b.rows = 1, b.cols = 3, b.trans = 1, b.pr = pr.data(), b.nPr = 3;
  const double f = 2;
  InjectScratch scratch;
  checkInjection(b, &f, 1, r.data(), 4, 1, "\"b\"", "\"snl\"");
  injectForce(b, &f, r.data(), scratch);
  EXPECT_EQ(r, (std::vector<double>{3, 5, 7, 1}));
}

TEST(NlInjection, ChecksRefuseAShortForceAndAWideB) {
  SparseMatrix b = commandMatrix(6);
  const SparseView bv = b.transposedView();
  std::vector<double> f(3), r(6);
  EXPECT_NO_THROW(checkInjection(bv, f.data(), 3, r.data(), 6, 2, "\"b\"", "\"snl\""));
  EXPECT_NO_THROW(checkInjection(bv, f.data(), kUnknownCount, r.data(), 6, 2, "\"b\"", "\"snl\""));
  expectError([&] { checkInjection(bv, f.data(), 2, r.data(), 6, 2, "\"b\"", "\"snl\""); },
              Reason::WrongSize, "model.NL row 2, \"snl\": holds 2 values, fewer than the 3 that \"b\" reads");
  expectError([&] { checkInjection(bv, nullptr, 0, r.data(), 6, 2, "\"b\"", "the force of \"Fu\""); },
              Reason::WrongSize, "the force of \"Fu\": holds 0 values");
  expectError([&] { checkInjection(bv, f.data(), 3, r.data(), 5, 2, "\"b\"", "\"snl\""); },
              Reason::WrongSize, "model.NL row 2, \"b\": the result needs 6 values, holds 5");
  expectError([&] { checkInjection(bv, r.data() + 1, 3, r.data(), 6, 2, "\"b\"", "\"snl\""); },
              Reason::Invalid, "model.NL row 2, \"snl\": r and the force share their data");
  DenseC dense;  // dense, not transposed, with rows
  expectError([&] { checkInjection(dense.view(), f.data(), 3, r.data(), 6, 2, "\"b\"", "\"snl\""); },
              Reason::None, "Add_Mt_u implemented for sparse matrices");
}

// --- copy into FNL, writes of one entry --------------------------------------------

TEST(NlForceCopy, CopiesInsideFnlOnly) {
  std::vector<double> fnl(5, 0.0), f{1, 2, 3};
  checkForceCopy(2, 3, f.data(), 3, fnl.data(), 5, 1);
  copyForce(fnl.data(), 2, f.data(), 3);
  EXPECT_EQ(fnl, (std::vector<double>{0, 0, 1, 2, 3}));
  EXPECT_NO_THROW(checkForceCopy(5, 0, f.data(), 3, fnl.data(), 5, 1));
  expectError([&] { checkForceCopy(3, 3, f.data(), 3, fnl.data(), 5, 9); }, Reason::Invalid,
              "model.NL row 9, \"FInd\": the force (3 values from position 3, counted from 0) "
              "must lie within FNL (5 values)");
  expectError([&] { checkForceCopy(-1, 1, f.data(), 3, fnl.data(), 5, 9); }, Reason::Invalid,
              "position -1");
  expectError([&] { checkForceCopy(1, 3, fnl.data(), 5, fnl.data(), 5, 9); }, Reason::Invalid,
              "\"FInd\": FNL and the force share their data");
}

TEST(NlEntryWrites, ObservationsMayNotLandInEachOtherNorInROrFnl) {
  SparseMatrix c = observationMatrix();
  const SparseView cv = c.transposedView();
  std::vector<double> a(2), b(2), r(4), fnl(3), three(6);
  auto writes = [&](std::vector<double>& x, Observed which) {
    return observationWrites(twoDimensional(x), cv, 1.0, which);
  };
  EXPECT_NO_THROW(checkEntryWrites(writes(a, Observed::Velocity),
                                   writes(b, Observed::Displacement), r.data(),
                                   4, fnl.data(), 3, 1));
  expectError([&] {
                checkEntryWrites(writes(a, Observed::Velocity),
                                 writes(a, Observed::Displacement), r.data(), 4,
                                 fnl.data(), 3, 5);
              },
              Reason::Invalid, "model.NL row 5: \"vnl\" and \"unl\" share their data");
  ObservationWrites inR;
  inR.slice1 = span(r.data() + 1, 2, "\"unl\"");
  expectError([&] { checkEntryWrites({}, inR, r.data(), 4, fnl.data(), 3, 5); },
              Reason::Invalid, "\"unl\" and r share their data");
  // Slice 3 is written only when the clock has passed.
  EXPECT_NO_THROW(checkEntryWrites(
      observationWrites(threeSlices(three, 2), cv, 1.0, Observed::Velocity), {},
      r.data(), 4, three.data() + 4, 2, 1));
  expectError([&] {
                checkEntryWrites(observationWrites(threeSlices(three, 2), cv,
                                                   -1.0, Observed::Velocity),
                                 {}, r.data(), 4, three.data() + 4, 2, 1);
              },
              Reason::Invalid, "\"vnl\" and FNL share their data");
}

}  // namespace
}  // namespace spardyn

namespace spardyn {
namespace {

// Buffers shared by objects (kUnknownCount) are used only where what the
// step uses of them is mapped: an observation of c's rows, its reference,
// the values b reads, the values copied into FNL.
TEST(NlSharedBuffers, RefusedWhereNotMapped) {
  SparseMatrix c = observationMatrix();
  const SparseView cv = c.transposedView();
  auto* nowhere = reinterpret_cast<double*>(0x1000);
  std::vector<double> own(2, 0.0);
  ObservationArray o;
  o.data = own.data();
  o.count = kUnknownCount;
  checkObservation(o, cv, 1.0, kV.data(), 4, 3, Observed::Velocity);
  o.data = nowhere;
  expectError([&] { checkObservation(o, cv, 1.0, kV.data(), 4, 3, Observed::Velocity); },
              Reason::Invalid,
              "model.NL row 3, \"vnl\": no buffer of 2 values is mapped readable "
              "and writable at 0x1000");
  o.data = own.data();
  o.reference = nowhere;
  o.referenceCount = kUnknownCount;
  expectError([&] { checkObservation(o, cv, 1.0, kV.data(), 4, 3, Observed::Displacement); },
              Reason::Invalid, "row 3, \"unl0\": no buffer of 2 values");

  SparseMatrix b(2, 6, {1, 0, 0, 0, 0, 0,
                        0, 0, 0, 0, 0, 1});
  std::vector<double> r(6, 0.0);
  checkInjection(b.transposedView(), own.data(), kUnknownCount, r.data(), 6, 4,
                 "\"b\"", "\"snl\"");
  expectError([&] { checkInjection(b.transposedView(), nowhere, kUnknownCount, r.data(),
                                   6, 4, "\"b\"", "\"snl\""); },
              Reason::Invalid, "row 4, \"snl\": no buffer of 2 values");
  std::vector<double> fnl(3, 0.0);
  checkForceCopy(0, 1, own.data(), kUnknownCount, fnl.data(), 3, 5);
  expectError([&] { checkForceCopy(0, 1, nowhere, kUnknownCount, fnl.data(), 3, 5); },
              Reason::Invalid, "row 5, the force: no buffer of 1 values");
}

}  // namespace
}  // namespace spardyn
