// The interpolation on hand-worked tables.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "spardyn/interp.hpp"

namespace spardyn {
namespace {

// X = [0 1 2] with one value column [10 20 40].
const std::vector<double> kRamp{0, 1, 2, 10, 20, 40};
// Abscissa [0 1 1 2] (a step at 1), values [0 5 7 9].
const std::vector<double> kStep{0, 1, 1, 2, 0, 5, 7, 9};

double at(const std::vector<double>& X, int NX, double x, double s0,
          std::vector<double>* state = nullptr) {
  double s[3] = {s0, 0, 0}, y = -123;
  qz_time_LinInterp(X.data(), &x, s, &y, NX, 1, 1, 1, nullptr, nullptr);
  if (state) state->assign(s, s + 3);
  return y;
}

TEST(Interp, InsideAndBeyondTheTable) {
  std::vector<double> s;
  EXPECT_DOUBLE_EQ(at(kRamp, 3, 1.5, 0, &s), 30);
  EXPECT_EQ(s, (std::vector<double>{1, 1.5, 0.5}));
  EXPECT_DOUBLE_EQ(at(kRamp, 3, -1, 0, &s), 0);  // first interval, a = −1
  EXPECT_DOUBLE_EQ(s[2], -1);
  EXPECT_DOUBLE_EQ(at(kRamp, 3, 3, 0, &s), 60);  // last interval, a = 2
  EXPECT_DOUBLE_EQ(s[0], 2);
  EXPECT_DOUBLE_EQ(s[2], 2);
}

TEST(Interp, StepsGiveTheMeanWhicheverSideTheSearchComesFrom) {
  EXPECT_DOUBLE_EQ(at(kStep, 4, 1, 0), 6);
  EXPECT_DOUBLE_EQ(at(kStep, 4, 1, 2), 6);
  EXPECT_DOUBLE_EQ(at(kStep, 4, 1, 3), 6);
  EXPECT_DOUBLE_EQ(at(kStep, 4, 0.5, 0), 2.5);
  EXPECT_DOUBLE_EQ(at(kStep, 4, 1.5, 0), 8);
  EXPECT_DOUBLE_EQ(at(kStep, 4, 1.5, 3), 8);
}

TEST(Interp, LocateOnlyAndIntervalNumbers) {
  double s[3] = {0, 0, 0}, y = -7, x = 0.5;
  qz_time_LinInterp(kStep.data(), &x, s, &y, 4, 1, 1, 0, nullptr, nullptr);
  EXPECT_EQ(y, -7);  // mode 0 writes no output
  EXPECT_DOUBLE_EQ(s[2], 0.5);

  x = 1.5;
  s[0] = 0;
  qz_time_LinInterp(kRamp.data(), &x, s, &y, 3, 0, 1, 1, nullptr, nullptr);
  EXPECT_EQ(y, 2);  // 1-based interval number
}

TEST(Interp, OneRowNeverReadsASecondRow) {
  // One row, two value columns; the table ends right after it.
  std::vector<double> X{5, 7, 9};
  double s[3] = {0, 0, 0}, x = 100, y[2] = {0, 0};
  qz_time_LinInterp(X.data(), &x, s, y, 1, 2, 1, 1, nullptr, nullptr);
  EXPECT_EQ(y[0], 7);
  EXPECT_EQ(y[1], 9);
  EXPECT_EQ(s[2], 0);
  qz_time_LinInterp(X.data(), &x, s, y, 1, 2, 1, 0, nullptr, nullptr);
  EXPECT_EQ(s[2], 1);
}

TEST(Interp, NoRowsDoesNothing) {
  double s[3] = {4, 5, 6}, x = 1, y = 3;
  qz_time_LinInterp(kRamp.data(), &x, s, &y, 0, 1, 1, 1, nullptr, nullptr);
  EXPECT_EQ(y, 3);
  EXPECT_EQ(s[0], 4);
  EXPECT_EQ(s[2], 6);
}

TEST(Interp, StartRowFromAnyState) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_DOUBLE_EQ(at(kRamp, 3, 0.5, -4), 15);
  EXPECT_DOUBLE_EQ(at(kRamp, 3, 0.5, nan), 15);
  EXPECT_DOUBLE_EQ(at(kRamp, 3, 0.5, 100), 15);
  EXPECT_DOUBLE_EQ(at(kRamp, 3, 2.5, 100), 50);
}

TEST(Interp, SeveralQueriesEqualSingleCallsAndColumnsAreNApart) {
  const std::vector<double> q{0.5, 1.5, 1.8};
  double s[3] = {0, 0, 0};
  std::vector<double> y(3);
  qz_time_LinInterp(kRamp.data(), q.data(), s, y.data(), 3, 1, 3, 1, nullptr,
                    nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_DOUBLE_EQ(y[i], at(kRamp, 3, q[i], 0));
  EXPECT_EQ(s[1], 0.5);

  // Two value columns, two queries: y = [c1(x0) c1(x1) c2(x0) c2(x1)].
  const std::vector<double> X{0, 1, 0, 10, 100, 200};
  const double x2[] = {0.25, 0.75};
  double s2[3] = {0, 0, 0}, y2[4], z2[4];
  // The second table gives its own columns at the same interval.
  const std::vector<double> X2{-1, -1, 1, 2, 3, 4};
  qz_time_LinInterp(X.data(), x2, s2, y2, 2, 2, 2, 1, X2.data(), z2);
  EXPECT_DOUBLE_EQ(y2[0], 2.5);
  EXPECT_DOUBLE_EQ(y2[1], 7.5);
  EXPECT_DOUBLE_EQ(y2[2], 125);
  EXPECT_DOUBLE_EQ(y2[3], 175);
  EXPECT_DOUBLE_EQ(z2[0], 1.25);
  EXPECT_DOUBLE_EQ(z2[3], 3.75);
}

TEST(Interp, NaNQueryGivesNaNAndStops) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> s;
  EXPECT_TRUE(std::isnan(at(kRamp, 3, nan, 1, &s)));
  EXPECT_EQ(s[0], 1);
  EXPECT_TRUE(std::isnan(s[2]));
}

TEST(Interp, DecreasingAbscissaEndsTheSearch) {
  // The last two abscissae decrease; a query between them used to make the
  // search alternate between the last two rows.
  const std::vector<double> X{0, 2, 1, 0, 1, 2};
  for (double s0 : {0.0, 1.0, 2.0}) {
    double s[3] = {s0, 0, 0}, x = 1.5, y = 0;
    qz_time_LinInterp(X.data(), &x, s, &y, 3, 1, 1, 1, nullptr, nullptr);
    EXPECT_TRUE(std::isfinite(y));
  }
}

}  // namespace
}  // namespace spardyn
