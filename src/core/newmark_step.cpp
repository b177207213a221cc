#include "spardyn/newmark_step.hpp"

#include <algorithm>
#include <cstring>

#include "spardyn/parallel.hpp"

namespace spardyn {

namespace {

// Entries handed to one worker at least.  A step's vector passes stream
// memory; below about 16k entries (a few hundred kB over all the vectors a
// pass touches) a split costs more than the second thread brings.
constexpr int64_t kGrain = 16384;

// w[i] = Σ_k shapes[i + N·k]·f_k, summed from 0 in the order of k.
inline double loadAt(const NewmarkLoads& L, int64_t N, int64_t i) {
  double w = 0.0;
  for (int32_t k = 0; k < L.Nb; ++k) w += L.shapes[i + N * k] * L.factors[k];
  return w;
}

// The predictor over the stepped entries [b, e) of one range, preceded by
// the corrector of the previous step when corr is given.  With a single
// load shape the sum over shapes is written out so the loop vectorises.
template <bool keepStart, bool correctFirst>
void predictStepped(const NewmarkCoefficients& d, const double* corr,
                    const NewmarkLoads& L, const NewmarkVectors& x, int64_t b,
                    int64_t e) {
  double* __restrict u = x.u;
  double* __restrict v = x.v;
  double* __restrict a = x.a;
  double* __restrict w = x.w;
  double* __restrict su = x.start;
  double* __restrict sv = x.start + (keepStart ? x.nDef : 0);
  double* __restrict sa = x.start + (keepStart ? 2 * x.nDef : 0);
  const double* __restrict c = corr;
  const double d0 = d.d0, d1 = d.d1, d2 = d.d2, d3 = d.d3, d4 = d.d4;
  const double* __restrict s0 = L.shapes;
  const double f0 = L.Nb > 0 ? L.factors[0] : 0.0;
  for (int64_t i = b; i < e; ++i) {
    double ui = u[i], vi = v[i], ai = a[i];
    if (correctFirst) {
      const double delta = w[i] * c[i];
      ui = ui - delta;
      vi = vi - d3 * delta;
      ai = ai - d4 * delta;
    }
    if (keepStart) {
      su[i] = ui;
      sv[i] = vi;
      sa[i] = ai;
    }
    u[i] = (d1 * ai + d0 * vi) + ui;
    v[i] = d2 * ai + vi;
    a[i] = 0.0;
    w[i] = L.Nb == 1 ? 0.0 + s0[i] * f0 : loadAt(L, x.N, i);
  }
}

// The start-state copy of the entries [b, e) that are not stepped.
void copyUnstepped(const NewmarkVectors& x, int64_t b, int64_t e) {
  if (!x.start || b >= e) return;
  copyBlock(x.u + b, e - b, x.start + b);
  copyBlock(x.v + b, e - b, x.start + x.nDef + b);
  copyBlock(x.a + b, e - b, x.start + 2 * x.nDef + b);
}

// Entries [b, e): (corrector and) predictor on the stepped ones, the start
// copy of the others.
void predictRange(const NewmarkCoefficients& d, const double* corr,
                  const NewmarkLoads& L, const NewmarkVectors& x, int64_t b,
                  int64_t e) {
  const int64_t se = std::min(e, x.N);
  if (b < se) {
    if (x.start) {
      if (corr)
        predictStepped<true, true>(d, corr, L, x, b, se);
      else
        predictStepped<true, false>(d, corr, L, x, b, se);
    } else {
      if (corr)
        predictStepped<false, true>(d, corr, L, x, b, se);
      else
        predictStepped<false, false>(d, corr, L, x, b, se);
    }
  }
  copyUnstepped(x, std::max(b, x.N), e);
}

void correctRange(const NewmarkCoefficients& d, const double* corr,
                  const NewmarkVectors& x, int64_t b, int64_t e) {
  double* __restrict u = x.u;
  double* __restrict v = x.v;
  double* __restrict a = x.a;
  const double* __restrict w = x.w;
  const double* __restrict c = corr;
  const double d3 = d.d3, d4 = d.d4;
  for (int64_t i = b; i < e; ++i) {
    const double delta = w[i] * c[i];
    u[i] = u[i] - delta;
    v[i] = v[i] - d3 * delta;
    a[i] = a[i] - d4 * delta;
  }
}

}  // namespace

void newmarkPredictSerial(const NewmarkCoefficients& d,
                          const NewmarkLoads& loads, const NewmarkVectors& x) {
  predictRange(d, nullptr, loads, x, 0, std::max(x.N, x.nDef));
}

void newmarkCorrectPredictSerial(const NewmarkCoefficients& d,
                                 const double* corr, const NewmarkLoads& loads,
                                 const NewmarkVectors& x) {
  predictRange(d, corr, loads, x, 0, std::max(x.N, x.nDef));
}

void newmarkCorrectPredict(const NewmarkCoefficients& d, const double* corr,
                           const NewmarkLoads& loads, const NewmarkVectors& x) {
  parallelBlocks(std::max(x.N, x.nDef), kGrain, [&](int64_t b, int64_t e) {
    predictRange(d, corr, loads, x, b, e);
  });
}

void newmarkPredict(const NewmarkCoefficients& d, const NewmarkLoads& loads,
                    const NewmarkVectors& x) {
  newmarkCorrectPredict(d, nullptr, loads, x);
}

void newmarkCorrectSerial(const NewmarkCoefficients& d, const double* corr,
                          const NewmarkVectors& x) {
  correctRange(d, corr, x, 0, x.N);
}

void newmarkCorrect(const NewmarkCoefficients& d, const double* corr,
                    const NewmarkVectors& x) {
  parallelBlocks(x.N, kGrain,
                 [&](int64_t b, int64_t e) { correctRange(d, corr, x, b, e); });
}

int32_t nextSaveSlot(const double* times, int32_t n, int32_t from, double t) {
  int32_t i = std::max(from, 0);
  while (i < n && t > times[i]) ++i;
  return i;
}

void copyBlock(const double* src, int64_t n, double* dst) {
  if (n > 0) std::memcpy(dst, src, static_cast<std::size_t>(n) * sizeof *src);
}

}  // namespace spardyn
