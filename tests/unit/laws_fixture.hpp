// A non-linear term's buffers held in vectors, for driving the laws without
// a host.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "spardyn/error.hpp"
#include "spardyn/laws.hpp"

namespace spardyn {
namespace testing_laws {

constexpr double kPower = 491328597840.0;
constexpr double kMaxw = 2004377933.0;
constexpr double kTable = 435610083668.0;
constexpr double kExpon = 474316044357.0;
constexpr double kDahl = 289581588804.0;
constexpr double kClima2 = 55394028842051.0;
constexpr double kSts = 7566451.0;

struct Term {
  int32_t Nnl = 0, Nslice = 1;
  std::vector<double> unl, vnl, snl, opt;
  std::vector<int32_t> iopt;
  bool withRates = true, withOutputs = true, withOptions = true;

  // Nnl values per slice, all zero.
  Term(int32_t n, int32_t slices, std::vector<double> o,
       std::vector<int32_t> io = {})
      : Nnl(n), Nslice(slices), unl(size_t(n) * slices, 0.0),
        vnl(size_t(n) * slices, 0.0), snl(n, 0.0), opt(std::move(o)),
        iopt(std::move(io)) {}

  NlState state() {
    NlState s;
    s.unl = unl.empty() ? nullptr : unl.data();
    s.nUnl = unl.size();
    s.vnl = withRates && !vnl.empty() ? vnl.data() : nullptr;
    s.nVnl = withRates ? vnl.size() : 0;
    s.snl = withOutputs ? snl.data() : s.unl;
    s.nSnl = withOutputs ? snl.size() : s.nUnl;
    s.opt = opt.data();
    s.nOpt = static_cast<int32_t>(opt.size());
    s.iopt = withOptions && !iopt.empty() ? iopt.data() : nullptr;
    s.nIopt = withOptions ? static_cast<int32_t>(iopt.size()) : 0;
    s.Nnl = Nnl;
    s.Nslice = Nslice;
    return s;
  }
};

// Selects the law from opt[0] (with every check) and runs it once.
inline void run(Term& t, _ROr ro = {}) {
  NlState s = t.state();
  selectLaw(s).run(s, ro);
}

// "identifier|message" of the error f raises, or "none".
template <class F>
std::string errorOf(F f) {
  try {
    f();
  } catch (const Error& e) {
    return e.identifier() + "|" + e.message();
  }
  return "none";
}

inline std::string selectError(Term& t) {
  return errorOf([&] {
    NlState s = t.state();
    selectLaw(s);
  });
}

}  // namespace testing_laws
}  // namespace spardyn
