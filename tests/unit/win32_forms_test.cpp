// The earlier forms of the Windows x86 module that compute on plain arrays:
// observations without slices, whose reference resets as many values as it
// holds; the product bᵀ·f without its dense transposed form; and the view
// of a host sparse matrix read in place where the host indexes with 32 bits
// (the form such a host hands over, built here by hand).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nl_test_views.hpp"
#include "spardyn/error.hpp"
#include "spardyn/kernels.hpp"
#include "spardyn/nl_entry.hpp"
#include "spardyn/sparse_view.hpp"

namespace spardyn {
namespace {

using testing_nl::SparseMatrix;

// c: 2 × 4; c·v = [-3.5, -1].
SparseMatrix observationMatrix() {
  return SparseMatrix(2, 4, {1, 0, -2, 0,
                             0, 3, 0, 0.5});
}
const std::vector<double> kV{0.5, -1, 2, 4};

// An array of any dimensions, read as one block of its values.
ObservationArray block(std::vector<double>& a) {
  ObservationArray o;
  o.data = a.data();
  o.count = a.size();
  o.dims[0] = a.size();
  return o;
}

ObservationArray withReference(ObservationArray o, std::vector<double>& ref) {
  o.reference = ref.data();
  o.referenceCount = ref.size();
  return o;
}

std::string messageOf(void (*check)(const ObservationArray&, const SparseView&,
                                    const double*, std::size_t, int64_t,
                                    Observed),
                      const ObservationArray& a, const SparseView& c) {
  try {
    check(a, c, kV.data(), kV.size(), 3, Observed::Velocity);
  } catch (const Error& e) {
    return e.message();
  }
  return "none";
}

TEST(EarlierObservation, NoReferenceZeroesTheWholeArrayThenAddsC) {
  SparseMatrix c = observationMatrix();
  // A 2 × 1 × 3 array of the current form is one block of 6 values here.
  std::vector<double> vnl{7, 7, 7, 7, 7, 7};
  observeFlat(block(vnl), c.transposedView(), kV.data());
  EXPECT_EQ(vnl, (std::vector<double>{-3.5, -1, 0, 0, 0, 0}));
}

TEST(EarlierObservation, TheReferenceResetsAsManyValuesAsItHolds) {
  SparseMatrix c = observationMatrix();
  std::vector<double> vnl{7, 7, 7, 7}, ref{10, 20};
  const ObservationArray o = withReference(block(vnl), ref);
  EXPECT_EQ(messageOf(checkFlatObservation, o, c.transposedView()), "none");
  observeFlat(o, c.transposedView(), kV.data());
  EXPECT_EQ(vnl, (std::vector<double>{6.5, 19, 7, 7}));  // the tail is kept
  observeFlat(o, c.transposedView(), kV.data());         // no accumulation
  EXPECT_EQ(vnl, (std::vector<double>{6.5, 19, 7, 7}));
  const Span written =
      flatObservationWrites(o, c.transposedView(), Observed::Velocity).slice1;
  EXPECT_EQ(written.end - written.begin, 4 * sizeof(double));  // the block
}

TEST(EarlierObservation, ADenseCReplacesWhatItObserves) {
  std::vector<double> pr{1, 0, 0, 3, -2, 0, 0, 0.5};  // c, column-major
  SparseView dense;
  dense.rows = 2, dense.cols = 4, dense.pr = pr.data(), dense.nPr = pr.size();
  std::vector<double> unl{7, 7, 7}, ref{10};
  const ObservationArray o = withReference(block(unl), ref);
  EXPECT_EQ(messageOf(checkFlatObservation, o, dense), "none");
  observeFlat(o, dense, kV.data());
  EXPECT_EQ(unl, (std::vector<double>{-3.5, -1, 7}));
}

TEST(EarlierObservation, ChecksRefuseWhatWouldLeaveTheArrayOrGather) {
  SparseMatrix c = observationMatrix();
  const SparseView cv = c.transposedView();
  std::vector<double> vnl{0, 0}, longRef{1, 2, 3}, shortRef{1};
  EXPECT_EQ(messageOf(checkFlatObservation, withReference(block(vnl), longRef), cv),
            "spardyn residual : model.NL row 3, \"vnl0\": holds 3 values, "
            "more than the 2 of \"vnl\"");
  // c adds to a value the reference would not reset.
  EXPECT_EQ(messageOf(checkFlatObservation, withReference(block(vnl), shortRef), cv),
            "spardyn residual : model.NL row 3, \"vnl0\": resets 1 values, "
            "fewer than the 2 that \"c\" adds to");
  std::vector<double> one{0};
  EXPECT_NE(messageOf(checkFlatObservation, block(one), cv), "none");  // c has 2 rows
  // The reference may not be the array itself.
  EXPECT_NE(messageOf(checkFlatObservation, withReference(block(vnl), vnl), cv),
            "none");
}

TEST(EarlierObservation, ASharedBufferIsAsLongAsCHasRows) {
  SparseMatrix c = observationMatrix();
  std::vector<double> buffer{7, 7, 7};
  ObservationArray o;
  o.data = buffer.data();
  o.count = kUnknownCount;
  EXPECT_EQ(messageOf(checkFlatObservation, o, c.transposedView()), "none");
  observeFlat(o, c.transposedView(), kV.data());
  EXPECT_EQ(buffer, (std::vector<double>{-3.5, -1, 7}));
}

TEST(EarlierProduct, NoDenseTransposedForm) {
  std::vector<double> row{1, 2, 3};
  SparseView dense;
  dense.rows = 1, dense.cols = 3, dense.trans = 1;
  dense.pr = row.data(), dense.nPr = row.size();
  EXPECT_NO_THROW(requireAddForm(dense));  // the current form takes it
  try {
    requireEarlierAddForm(dense);
    ADD_FAILURE() << "a dense transposed row accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), "Add_Mt_u implemented for sparse matrices");
    EXPECT_EQ(e.identifier(), "");
  }
  dense.rows = 0;  // nothing to add
  EXPECT_NO_THROW(requireEarlierAddForm(dense));
  SparseMatrix b = observationMatrix();
  EXPECT_NO_THROW(requireEarlierAddForm(b.transposedView()));
  EXPECT_NO_THROW(requireEarlierAddForm(b.columnView()));
}

// M = [1 0 2 0; 0 0 3 4; 5 0 0 6] in compressed columns with room for two
// more entries, as a host with 32-bit indices keeps it.
TEST(HostSparse32, ReadInPlaceAsTheMatrixItself) {
  std::vector<double> pr{1, 5, 2, 3, 4, 6, -1, -1};
  std::vector<int32_t> ir{0, 2, 0, 1, 1, 2, -1, -1}, jc{0, 2, 2, 4, 6};
  CompressedColumns m;
  m.rows = 3, m.cols = 4, m.nzmax = pr.size();
  m.pr = pr.data(), m.ir = ir.data(), m.jc = jc.data();
  const SparseView v = compressedColumnsView(m);
  EXPECT_EQ(v.rows, 3);
  EXPECT_EQ(v.cols, 4);
  EXPECT_EQ(v.trans, 0);
  EXPECT_TRUE(v.isSparse());
  EXPECT_EQ(v.pr, pr.data());  // no copy
  EXPECT_NO_THROW(checkSparseColumns(v, 4, 3, "M"));
  // y ← y + Mᵀ·u, u = [1 10 100].
  std::vector<double> u{1, 10, 100}, y(4, 1.0);
  Add_Mt_ub(v, u.data(), y.data(), nullptr);
  EXPECT_EQ(y, (std::vector<double>{1 + 501, 1, 1 + 32, 1 + 640}));
  // The spare entries past jc[4] are never read; a row index past the rows
  // within the columns is caught like any other.
  ir[5] = 3;
  EXPECT_THROW(checkSparseColumns(compressedColumnsView(m), 4, 3, "M"), Error);
}

TEST(HostSparse32, SizesBeyondInt32AreRefused) {
  CompressedColumns m;
  m.rows = 3, m.cols = std::size_t(1) << 31, m.nzmax = 0;
  try {
    compressedColumnsView(m);
    ADD_FAILURE() << "accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.reason(), Reason::WrongSize);
  }
}

}  // namespace
}  // namespace spardyn
