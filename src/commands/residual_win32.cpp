// The earlier form of "residual", of the Windows x86 module: no handle
// vectors (input 3 is the model structure, or else the matrix cell), one
// complex test over r, u, v and a, Ndof the rows of r, and the earlier walk
// of the model's "NL" list.
#include "call.hpp"
#include "host.hpp"
#include "residual.hpp"
#include "ror_reader.hpp"
#include "spardyn/error.hpp"

namespace spardyn {

namespace {

enum {
  IN_CMD = ROR_CMD, IN_R = ROR_R, IN_MODEL = ROR_MODEL, IN_U = ROR_U,
  IN_V = ROR_V, IN_A = ROR_A, IN_OPT = ROR_OPT, IN_ARG, IN_END
};

// r gives the degrees of freedom by its rows: it must be an array of
// doubles (an object sharing its buffer has no rows that count them).
_ROr getROrEarlier(const Call& c) {
  const host::Value* r = c.in(IN_R);
  if (host::isComplex(r) || host::isComplex(c.in(IN_U)) ||
      host::isComplex(c.in(IN_V)) || host::isComplex(c.in(IN_A)))
    fail("Real numbers needed.");
  host::realFull(r, "spardyn residual : r");
  return readRecord(c, r);
}

void cmdResidualEarlier(Call& c) {
  host::Value* modelAlias = host::callAlias(c.in(IN_MODEL));
  const _ROr ro = getROrEarlier(c);
  residualOfMatrices(c, ro, residualVector(c, ro), modelAlias,
                     ResidualForm::Earlier);
}

}  // namespace

const Command kResidualEarlier{"residual", cmdResidualEarlier, IN_A};

}  // namespace spardyn
