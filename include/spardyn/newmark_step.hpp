// The arithmetic of one step of the diagonal Newmark stepper, host-free:
// plain pointers and sizes, nothing allocated, nothing raised.  The stepper
// (newmark.cpp) checks every size before the first step and then calls these
// once per step, in the order predict → residual of the terms → correct →
// snapshots.
#pragma once

#include <cstdint>

namespace spardyn {

// Newmark's method with parameters β, γ and a constant step h:
// d0 = h, d1 = (1/2 − β)·h², d2 = (1 − γ)·h, d3 = γ/(β·h), d4 = 1/(β·h²).
// The stepper applies whatever coefficients it is given.
struct NewmarkCoefficients {
  double d0 = 0, d1 = 0, d2 = 0, d3 = 0, d4 = 0;
};

// The vectors one step works on.  u, v, a hold nDef entries; the first N are
// stepped, the rest (internal states of non-linear terms) are only copied.
struct NewmarkVectors {
  double* u = nullptr;
  double* v = nullptr;
  double* a = nullptr;
  double* w = nullptr;      // residual of the step, N entries
  double* start = nullptr;  // u, v, a at the start of the step, in three
                            // blocks of nDef entries; null: not kept
  int64_t N = 0;
  int64_t nDef = 0;
};

// The load of a step: w[i] = Σ_{k<Nb} shapes[i + N·k]·factors[k].
struct NewmarkLoads {
  const double* shapes = nullptr;  // Nb columns of N entries
  const double* factors = nullptr;  // Nb values
  int32_t Nb = 0;
};

// Start of a step, in one pass over the entries:
//   start ← (u, v, a) over nDef entries;
//   for i < N:  u ← (d1·a + d0·v) + u,  v ← d2·a + v,  a ← 0,
//               w ← Σ_k shapes_k·f_k.
// Spread over the product's worker threads for long vectors; every entry
// has one writer, so the result does not depend on the split.
void newmarkPredict(const NewmarkCoefficients& d, const NewmarkLoads& loads,
                    const NewmarkVectors& x);
void newmarkPredictSerial(const NewmarkCoefficients& d,
                          const NewmarkLoads& loads, const NewmarkVectors& x);

// End of a step, for i < N, with δ = w·corr (corr: the diagonal correction
// factors β·h² / (m + γ·h·c + β·h²·k)):
//   u ← u − δ,  v ← v − d3·δ,  a ← a − d4·δ.
void newmarkCorrect(const NewmarkCoefficients& d, const double* corr,
                    const NewmarkVectors& x);
void newmarkCorrectSerial(const NewmarkCoefficients& d, const double* corr,
                          const NewmarkVectors& x);

// The end of one step fused with the start of the next, in one pass: the
// corrector above, then the predictor from the corrected values; the same
// operations on the same values as the two passes, so the same results.
void newmarkCorrectPredict(const NewmarkCoefficients& d, const double* corr,
                           const NewmarkLoads& loads, const NewmarkVectors& x);
void newmarkCorrectPredictSerial(const NewmarkCoefficients& d,
                                 const double* corr, const NewmarkLoads& loads,
                                 const NewmarkVectors& x);

// The snapshot slot of time t in the ascending list times[0 … n−1], searched
// from slot from on: the first slot whose time is not below t, n when none.
// The slot matches when its time equals t exactly.
int32_t nextSaveSlot(const double* times, int32_t n, int32_t from, double t);

// dst[0 … n−1] ← src[0 … n−1] (n ≤ 0: nothing).
void copyBlock(const double* src, int64_t n, double* dst);

}  // namespace spardyn
