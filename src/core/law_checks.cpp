// The table of laws and the checks that keep every law inside the term's
// buffers and the record's arrays.  The laws themselves trust these checks:
// they run once per command, before anything is written.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>

#include "law_checks.hpp"
#include "spardyn/error.hpp"
#include "spardyn/laws.hpp"
#include "spardyn/mapped_memory.hpp"

namespace spardyn {

using std::to_string;

// Counts compared with element counts; kOwnerSized passes every test.
bool holds(std::size_t have, int64_t need) {
  return need <= 0 || static_cast<uint64_t>(need) <= have;
}

void tooShort(const char* law, const char* buffer, int64_t need,
              std::size_t have) {
  fail(Reason::WrongSize, std::string(law) + ": " + buffer + " holds " +
                              to_string(have) + " values, needs " +
                              to_string(need));
}

void invalid(const char* law, const std::string& what) {
  fail(Reason::Invalid, std::string(law) + ": " + what);
}

void needOpt(const NlState& s, const char* law, int64_t n) {
  if (s.nOpt < n) tooShort(law, "opt", n, s.nOpt);
}

void needIopt(const NlState& s, const char* law, int64_t n) {
  if (s.nIopt < n) tooShort(law, "iopt", n, s.nIopt);
}

void needRates(const NlState& s, const char* law) {
  if (!s.vnl) fail(Reason::Empty, std::string(law) + " needs vnl");
}

void needMultiple(const NlState& s, const char* law, int32_t m) {
  if (s.Nnl % m != 0)
    invalid(law, "Nnl must be a multiple of " + to_string(m) + ", is " +
                     to_string(s.Nnl));
}

// What the laws of pairs and elements read: their parameters, their
// integer options, the rates, and whole groups of observed values.
void needGroups(const NlState& s, const char* law, int64_t nOpt,
                int64_t nIopt, int32_t group) {
  needOpt(s, law, nOpt);
  needIopt(s, law, nIopt);
  needRates(s, law);
  needMultiple(s, law, group);
}

// Residual writes slice 1 of vnl, EndStep copies its slice 3, Maxw reads it:
// vnl follows the layout of unl up to the slices in use.
void checkBuffers(const NlState& s, const char* law, int64_t outputs) {
  const int64_t slices = s.Nslice >= 3 ? 3 : 1;
  if (s.vnl && !holds(s.nVnl, slices * s.Nnl))
    tooShort(law, "vnl", slices * s.Nnl, s.nVnl);
  if (!holds(s.nSnl, outputs)) tooShort(law, "snl", outputs, s.nSnl);
}

// Blocks of iopt[2] observed values and iopt[3] states, iopt[4] of them,
// read by StoreState when iopt[1] > 0.
void checkStateBlocks(const NlState& s, const char* law) {
  const int32_t* q = s.iopt;
  if (q[1] <= 0 || q[4] <= 0) return;
  if (q[2] < 0 || q[3] < 0)
    invalid(law, "iopt[2] and iopt[3] (values and states per block) must "
                 "not be negative");
  const int64_t end = int64_t(q[4]) * (int64_t(q[2]) + q[3]);
  if (!holds(s.nUnl, end)) tooShort(law, "unl (state blocks)", end, s.nUnl);
}

// A table of iopt[7] rows and 1 + iopt[8] columns at opt[iopt[5]] and its
// cursor at opt[iopt[6]], both after the law's own parameters (first free
// position), neither overlapping the other, the abscissa non-decreasing.
void checkTable(const NlState& s, const char* law, int64_t firstFree) {
  const int32_t* q = s.iopt;
  const int64_t at = q[5], cursor = q[6], rows = q[7], cols = q[8];
  if (rows < 1) invalid(law, "the table needs at least one row (iopt[7])");
  if (cols < 0) invalid(law, "negative number of table columns (iopt[8])");
  const int64_t end = at + rows * (1 + cols);
  if (at < firstFree || end > s.nOpt)
    invalid(law, "the table (" + to_string(rows) + " rows, " +
                     to_string(1 + cols) + " columns from opt[" +
                     to_string(at) + "]) must lie within opt[" +
                     to_string(firstFree) + " … " + to_string(s.nOpt - 1) +
                     "]");
  if (cursor < firstFree || cursor + 3 > s.nOpt)
    invalid(law, "the table cursor (3 values from opt[" + to_string(cursor) +
                     "]) must lie within opt[" + to_string(firstFree) +
                     " … " + to_string(s.nOpt - 1) + "]");
  if (cursor + 3 > at && cursor < end)
    invalid(law, "the table cursor overlaps the table");
  const double* X = s.opt + at;
  for (int64_t r = 0; r + 1 < rows; ++r)
    if (!(X[r] <= X[r + 1]))
      invalid(law, "the table abscissa must not decrease (row " +
                       to_string(r + 2) + ")");
}

// --- one check per law: every size and position the law relies on ---------

void checkPower(const NlState& s) {
  if (s.nOpt < 3) fail(Reason::Empty, "FuPower requires 3 parameters");
  checkBuffers(s, "FuPower", s.Nnl);
}

void checkExpon(const NlState& s) {
  if (s.nOpt < 3) fail(Reason::Empty, "FuExpon requires 3 parameters");
  checkBuffers(s, "FuExpon", s.Nnl);
}

int64_t perValue(const NlState& s) { return s.Nnl; }
int64_t perTableColumn(const NlState& s) {
  return int64_t(s.iopt[8] > 0 ? s.iopt[8] : 1) * s.Nnl;
}

void checkTableLaw(const NlState& s) {
  needIopt(s, "FuTable", 9);
  checkTable(s, "FuTable", 1);
  checkBuffers(s, "FuTable", perTableColumn(s));
}

namespace {

// Block kb covers unl[kb·d … kb·d + max(d, b)] in slices 1 and 3, and the
// coefficient arrays end at the last P3 value.
void checkMaxwBlocks(const NlState& s) {
  const int64_t d = s.iopt[2], b = s.iopt[3], nb = s.iopt[4];
  if (b < 0) invalid("Maxw", "negative number of states (iopt[3])");
  if (d < 0 && nb > 1)
    invalid("Maxw", "negative block stride (iopt[2]) with several blocks");
  const int64_t reach = (nb - 1) * (d > 0 ? d : 0) + std::max<int64_t>(
                                                           {d, b, 0});
  if (reach >= s.Nnl)
    invalid("Maxw", to_string(nb) + " blocks of stride " + to_string(d) +
                        " with " + to_string(b) + " states reach unl[" +
                        to_string(reach) + "], beyond a slice of " +
                        to_string(s.Nnl));
  if (d < 0) return;  // no coefficient is read
  // The output reads Cu and Cv over d+1 values, so d = 0 still reads opt[5];
  // with rows, the end of P3 is the furthest value read.  Formed in double
  // so that no product can overflow before it is compared.
  const double last = d == 0 ? 6.0
                             : 5.0 + 2.0 * d * (d + b) + double(d) * b +
                                   double(b) * b + d;
  if (last > s.nOpt)
    tooShort("Maxw", "opt", static_cast<int64_t>(std::min(last, 9e18)),
             s.nOpt);
}

}  // namespace

void checkMaxw(const NlState& s) {
  if (s.Nslice < 3) fail("Need unlj1 as last dim");  // slice 3: step start
  needOpt(s, "Maxw", 4);
  needIopt(s, "Maxw", 5);
  needRates(s, "Maxw");
  const double nsub = s.opt[3];
  if (s.iopt[4] > 0 && nsub >= 1 && std::isfinite(nsub)) checkMaxwBlocks(s);
  checkBuffers(s, "Maxw", s.Nnl);
  checkStateBlocks(s, "Maxw");
}

namespace {

// The Linux x86-64 forms of the laws of pairs and of the contact law.
void checkDahl(const NlState& s) {
  if (s.Nslice == 1) fail(Reason::Empty, "Incorrect unl");
  needGroups(s, "FuDahlC", 7, 5, 2);
  checkBuffers(s, "FuDahlC", s.Nnl);
  checkStateBlocks(s, "FuDahlC");
}

void checkSlider(const NlState& s) {
  needGroups(s, "STS", 7, 5, 2);
  if (s.Nnl < 2) invalid("STS", "needs at least one pair of values (Nnl = 0)");
  checkBuffers(s, "STS", s.Nnl);
  checkStateBlocks(s, "STS");
}

void checkContact(const NlState& s) { checkContactLaw(s, 7); }

// The Linux x86-64 forms, in the order of their codes' table.
const LawForm kLinux64Laws[] = {
    {"Power", FuPower, false, checkPower, perValue},
    {"Maxw", Maxw, true, checkMaxw, perValue},
    {"Table", FuTable, false, checkTableLaw, perTableColumn},
    {"Expon", FuExpon, false, checkExpon, perValue},
    {"DahlC", FuDahlC, true, checkDahl, perValue},
    {"Clima2", Clima2, true, checkContact, perValue},
    {"sts", STS, true, checkSlider, perValue},
};

// opt[0] truncated toward zero to a 64-bit integer; false when it has none.
bool lawCode(double x, int64_t* code) {
  if (!(x > -9.2e18 && x < 9.2e18)) return false;
  *code = static_cast<int64_t>(x);
  return true;
}

}  // namespace

void checkContactLaw(const NlState& s, int32_t nParameters) {
  if (s.Nslice == 1) fail(Reason::Empty, "Incorrect unl");
  needGroups(s, "Clima2", nParameters, 9, 5);
  if (s.iopt[8] != 2)
    invalid("Clima2", "the table needs exactly 2 value columns, iopt[8] is " +
                          to_string(s.iopt[8]));
  checkTable(s, "Clima2", nParameters);
  checkBuffers(s, "Clima2", s.Nnl);
  checkStateBlocks(s, "Clima2");
}

LawTable linux64Laws() {
  return {kLinux64Laws, static_cast<int>(std::size(kLinux64Laws))};
}

const LawForm& selectLaw(const NlState& s, LawTable laws) {
  int64_t code = 0;
  if (s.nOpt >= 1 && lawCode(s.opt[0], &code))
    for (int k = 0; k < laws.count; ++k) {
      const LawForm& law = laws.forms[k];
      if (packLawName(law.name) == code) {
        law.check(s);
        return law;
      }
    }
  fail(Reason::Empty, "Unknown .opt(1) choice");
}

const LawForm& selectLaw(const NlState& s) {
  return selectLaw(s, flavorLaws());
}

void checkExports(const NlState& s, const LawForm& law, const _ROr& ro) {
  const int32_t* q = s.iopt;
  if (q && ro.FNL && q[0] >= 0 && !holds(ro.nFNL, int64_t(q[0]) + s.Nnl))
    fail(Reason::WrongSize,
         "FNL holds " + to_string(ro.nFNL) + " values, the term exports " +
             to_string(s.Nnl) + " from position " + to_string(q[0]) +
             " (iopt[0])");
  const int64_t end = stateEnd(s, law);
  if (end > 0 && !holds(ro.nU, end))
    fail(Reason::WrongSize,
         "u holds " + to_string(ro.nU) + " values, the term writes its states "
         "up to position " + to_string(end - 1) + " (iopt[1], iopt[3], iopt[4])");
}

int64_t stateEnd(const NlState& s, const LawForm& law) {
  const int32_t* q = s.iopt;
  if (!law.keepsState || !q || s.nIopt < 5) return 0;
  if (q[1] <= 0 || q[4] <= 0 || q[3] <= 0) return 0;
  return int64_t(q[1]) + int64_t(q[4]) * q[3];
}

BufferReach bufferReach(const NlState& s, const LawForm& law) {
  // Slice 1 is observed; slice 3 is read by Maxw and copied by EndStep.
  const int64_t slices = s.Nslice >= 3 ? 3 : 1;
  const int64_t outputs = std::max<int64_t>(law.outputs(s), s.Nnl);
  BufferReach r;
  r.unl = slices * s.Nnl;
  const int32_t* q = s.iopt;
  if (law.keepsState && q && s.nIopt >= 5 && q[1] > 0 && q[4] > 0)
    r.unl = std::max(r.unl, int64_t(q[4]) * (int64_t(q[2]) + q[3]));
  if (s.snl == s.unl) r.unl = std::max(r.unl, outputs);
  if (s.vnl) r.vnl = slices * s.Nnl;
  if (s.snl && s.snl != s.unl) r.snl = outputs;
  return r;
}

void checkSharedBuffers(const NlState& s, const LawForm& law) {
  const BufferReach r = bufferReach(s, law);
  if (s.unl && s.nUnl == kOwnerSized)
    requireWritableBuffer(s.unl, r.unl, "non-linear term \"unl\"");
  if (s.vnl && s.nVnl == kOwnerSized)
    requireWritableBuffer(s.vnl, r.vnl, "non-linear term \"vnl\"");
  if (s.snl && s.snl != s.unl && s.nSnl == kOwnerSized)
    requireWritableBuffer(s.snl, r.snl, "non-linear term \"snl\"");
}

}  // namespace spardyn
