// Choosing a law from its packed name, and the checks that refuse a term
// whose law would read or write outside its buffers or the record's arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "laws_fixture.hpp"

namespace spardyn {
namespace {

using namespace testing_laws;

const std::string kUnknown = "VRK:spardyn:empty|Unknown .opt(1) choice";

TEST(LawCodes, NamesPackIntoTheirCodes) {
  EXPECT_EQ(packLawName("Power"), 491328597840);
  EXPECT_EQ(packLawName("Maxw"), 2004377933);
  EXPECT_EQ(packLawName("Table"), 435610083668);
  EXPECT_EQ(packLawName("Expon"), 474316044357);
  EXPECT_EQ(packLawName("DahlC"), 289581588804);
  EXPECT_EQ(packLawName("Clima2"), 55394028842051);
  EXPECT_EQ(packLawName("sts"), 7566451);
  // 0x50 + 0x6F·256 + 0x77·256² + 0x65·256³ + 0x72·256⁴, written out.
  EXPECT_EQ(packLawName("Power"),
            0x50 + 0x6F * 256LL + 0x77 * 65536LL + 0x65 * 16777216LL +
                0x72 * 4294967296LL);
}

TEST(LawCodes, CodeIsTruncatedAndMustMatchExactly) {
  Term t(2, 1, {491328597840.7, 1, 1});
  NlState s = t.state();
  EXPECT_EQ(selectLaw(s).run, &FuPower);
  t.opt[0] = 491328597841;
  EXPECT_EQ(selectError(t), kUnknown);
  t.opt[0] = static_cast<double>(packLawName("STS"));  // upper case
  EXPECT_EQ(selectError(t), kUnknown);
  t.opt[0] = std::nan("");
  EXPECT_EQ(selectError(t), kUnknown);
  t.opt[0] = 1e300;
  EXPECT_EQ(selectError(t), kUnknown);
  t.opt[0] = kSts;
  t.opt.resize(7);
  t.iopt = {-1, 0, 0, 0, 0};
  s = t.state();
  EXPECT_EQ(selectLaw(s).run, &STS);
}

TEST(LawCodes, ConditionsOfTheSelection) {
  Term pw(2, 1, {kPower, 1});
  EXPECT_EQ(selectError(pw), "VRK:spardyn:empty|FuPower requires 3 parameters");
  pw.opt.push_back(2);
  EXPECT_EQ(selectError(pw), "none");

  Term dahl(4, 1, {kDahl, 0, 1, 1, 1, 1, 1}, {-1, 0, 1, 1, 2});
  EXPECT_EQ(selectError(dahl), "VRK:spardyn:empty|Incorrect unl");
  dahl = Term(4, 3, {kDahl, 0, 1, 1, 1, 1, 1}, {-1, 0, 1, 1, 2});
  EXPECT_EQ(selectError(dahl), "none");
  dahl.Nslice = 0;  // no unl at all is not "one slice"
  dahl.Nnl = 0;
  dahl.unl.clear();
  dahl.snl.clear();
  EXPECT_EQ(selectError(dahl), "none");

  Term maxw(2, 2, {kMaxw, 0, 1, 0}, {-1, 0, 1, 1, 1});
  EXPECT_EQ(selectError(maxw), "|Need unlj1 as last dim");  // needs slice 3
}

// Each law with a term that is right but for one size.
TEST(LawChecks, SizesEachLawReliesOn) {
  Term ex(1, 1, {kExpon, 2});
  EXPECT_EQ(selectError(ex), "VRK:spardyn:empty|FuExpon requires 3 parameters");

  Term dahl(3, 2, {kDahl, 0, 1, 1, 1, 1, 1}, {-1, 0, 1, 1, 1});
  EXPECT_EQ(selectError(dahl), "VRK:spardyn:Invalid|FuDahlC: Nnl must be a multiple of 2, is 3");
  dahl = Term(2, 2, {kDahl, 0, 1, 1, 1, 1}, {-1, 0, 1, 1, 1});
  EXPECT_EQ(selectError(dahl), "VRK:spardyn:WrongSize|FuDahlC: opt holds 6 values, needs 7");
  dahl = Term(2, 2, {kDahl, 0, 1, 1, 1, 1, 1}, {-1, 0, 1, 1});
  EXPECT_EQ(selectError(dahl), "VRK:spardyn:WrongSize|FuDahlC: iopt holds 4 values, needs 5");
  dahl.iopt.push_back(1);
  dahl.withRates = false;
  EXPECT_EQ(selectError(dahl), "VRK:spardyn:empty|FuDahlC needs vnl");

  Term sts(0, 1, {kSts, 0, 1, 1, 1, 1, 1}, {-1, 0, 1, 1, 1});
  sts.vnl = {0, 0};
  EXPECT_EQ(selectError(sts), "VRK:spardyn:Invalid|STS: needs at least one pair of values (Nnl = 0)");

  Term cl(6, 2, {kClima2, 0, 1, 1, 1, 1, 1, 0, 1, 1, 1, 0, 0, 0},
          {-1, 0, 3, 2, 1, 7, 11, 2, 1});
  EXPECT_EQ(selectError(cl), "VRK:spardyn:Invalid|Clima2: Nnl must be a multiple of 5, is 6");
  cl = Term(5, 2, cl.opt, cl.iopt);
  EXPECT_EQ(selectError(cl), "VRK:spardyn:Invalid|Clima2: the table needs exactly 2 value columns, iopt[8] is 1");
}

// A table of 2 rows and 2 columns at opt[1], its cursor at opt[5].
Term tableTerm() {
  return Term(2, 1, {kTable, 0, 1, 10, 20, 0, 0, 0}, {0, 0, 0, 0, 0, 1, 5, 2, 1});
}

TEST(LawChecks, TableAndCursorLieInsideOptAndApart) {
  Term t = tableTerm();
  EXPECT_EQ(selectError(t), "none");
  t.iopt[7] = 3;  // 3 rows: the table runs into the cursor
  EXPECT_EQ(selectError(t), "VRK:spardyn:Invalid|FuTable: the table cursor overlaps the table");
  t = tableTerm();
  t.iopt[6] = 6;  // cursor one past the end of opt
  EXPECT_EQ(selectError(t), "VRK:spardyn:Invalid|FuTable: the table cursor (3 values from opt[6]) must lie within opt[1 … 7]");
  t = tableTerm();
  t.iopt[5] = 0;  // the table would start on the law code
  EXPECT_EQ(selectError(t), "VRK:spardyn:Invalid|FuTable: the table (2 rows, 2 columns from opt[0]) must lie within opt[1 … 7]");
  t = tableTerm();
  t.iopt[7] = 0;
  EXPECT_EQ(selectError(t), "VRK:spardyn:Invalid|FuTable: the table needs at least one row (iopt[7])");
  t = tableTerm();
  t.opt[2] = -1;  // abscissa 0, -1
  EXPECT_EQ(selectError(t), "VRK:spardyn:Invalid|FuTable: the table abscissa must not decrease (row 2)");
  t = tableTerm();
  t.iopt[8] = 2;  // two value columns need 2·Nnl outputs
  t.opt = {kTable, 0, 1, 10, 20, 5, 6, 0, 0, 0};
  t.iopt[6] = 7;
  EXPECT_EQ(selectError(t), "VRK:spardyn:WrongSize|FuTable: snl holds 2 values, needs 4");
  t.snl.resize(4);
  EXPECT_EQ(selectError(t), "none");
  t.iopt.pop_back();
  EXPECT_EQ(selectError(t), "VRK:spardyn:WrongSize|FuTable: iopt holds 8 values, needs 9");
}

TEST(LawChecks, BuffersFollowTheLayoutOfUnl) {
  Term pw(4, 3, {kPower, 1, 1});
  pw.vnl.resize(8);  // Residual writes slice 1, EndStep reads slice 3
  EXPECT_EQ(selectError(pw), "VRK:spardyn:WrongSize|FuPower: vnl holds 8 values, needs 12");
  pw = Term(4, 1, {kPower, 1, 1});
  pw.snl.resize(3);
  EXPECT_EQ(selectError(pw), "VRK:spardyn:WrongSize|FuPower: snl holds 3 values, needs 4");
  pw.snl.resize(4);
  pw.vnl.resize(3);
  EXPECT_EQ(selectError(pw), "VRK:spardyn:WrongSize|FuPower: vnl holds 3 values, needs 4");
  pw.withRates = false;  // no rates at all is fine for a memoryless law
  EXPECT_EQ(selectError(pw), "none");

  pw.vnl.resize(4);
  pw.withRates = true;
  pw.unl.assign(1, 0);  // an owner-sized buffer passes every length test
  NlState s = pw.state();
  s.nUnl = s.nVnl = s.nSnl = kOwnerSized;
  EXPECT_EQ(errorOf([&] { selectLaw(s); }), "none");
}

TEST(LawChecks, StateBlocksLieInsideUnl) {
  // Two blocks of one value and one state: unl[0 … 3].
  Term dahl(4, 2, {kDahl, 0, 1, 1, 1, 1, 1}, {-1, 5, 1, 1, 2});
  EXPECT_EQ(selectError(dahl), "none");
  dahl.iopt[4] = 5;  // five blocks reach unl[9], beyond its 8 values
  EXPECT_EQ(selectError(dahl), "VRK:spardyn:WrongSize|FuDahlC: unl (state blocks) holds 8 values, needs 10");
  dahl.iopt[4] = 2;
  dahl.iopt[3] = -1;
  EXPECT_EQ(selectError(dahl), "VRK:spardyn:Invalid|FuDahlC: iopt[2] and iopt[3] (values and states per block) must not be negative");
  dahl.iopt[1] = 0;  // nothing written back: nothing to check
  EXPECT_EQ(selectError(dahl), "none");
}

TEST(LawChecks, MaxwellBlocksAndCoefficients) {
  // One block of stride 1 with one state needs 12 values of opt.
  std::vector<double> opt(12, 0.0);
  opt[0] = kMaxw;
  opt[3] = 1;
  Term m(2, 3, opt, {-1, 0, 1, 1, 1});
  EXPECT_EQ(selectError(m), "none");
  m.opt.pop_back();
  EXPECT_EQ(selectError(m), "VRK:spardyn:WrongSize|Maxw: opt holds 11 values, needs 12");
  m.opt[3] = 0;  // no sub-step: no coefficient is read
  EXPECT_EQ(selectError(m), "none");
  m.opt.push_back(0);
  m.opt[3] = 2;
  m.iopt[4] = 2;  // a second block of stride 1 reaches unl[2]
  EXPECT_EQ(selectError(m), "VRK:spardyn:Invalid|Maxw: 2 blocks of stride 1 with 1 states reach unl[2], beyond a slice of 2");
  m.iopt = {-1, 0, -1, 0, 2};
  EXPECT_EQ(selectError(m), "VRK:spardyn:Invalid|Maxw: negative block stride (iopt[2]) with several blocks");
  // Stride 0: no rows, but the output still reads Cu[0] and Cv[0] at opt[5].
  m.iopt = {-1, 0, 0, 1, 1};
  m.opt.resize(5);
  EXPECT_EQ(selectError(m), "VRK:spardyn:WrongSize|Maxw: opt holds 5 values, needs 6");
  m.opt.push_back(0);
  EXPECT_EQ(selectError(m), "none");
  m.iopt = {-1, 0, 1, 1, 1};
  m.opt.resize(12);
  m.vnl.resize(4);
  EXPECT_EQ(selectError(m), "VRK:spardyn:WrongSize|Maxw: vnl holds 4 values, needs 6");
}

// The positions written into the record's arrays.
TEST(LawChecks, ExportsStayInsideFnlAndU) {
  Term dahl(4, 2, {kDahl, 0, 1, 1, 1, 1, 1}, {6, 5, 1, 1, 2});
  NlState s = dahl.state();
  const LawForm& law = selectLaw(s);
  EXPECT_EQ(stateEnd(s, law), 7);
  std::vector<double> u(7), fnl(10);
  _ROr ro;
  ro.u = u.data();
  ro.nU = 7;
  ro.FNL = fnl.data();
  ro.nFNL = 10;
  EXPECT_EQ(errorOf([&] { checkExports(s, law, ro); }), "none");
  ro.nFNL = 9;
  EXPECT_EQ(errorOf([&] { checkExports(s, law, ro); }),
            "VRK:spardyn:WrongSize|FNL holds 9 values, the term exports 4 from position 6 (iopt[0])");
  ro.FNL = nullptr;  // no force vector: nothing exported, nothing to check
  EXPECT_EQ(errorOf([&] { checkExports(s, law, ro); }), "none");
  ro.nU = 6;
  EXPECT_EQ(errorOf([&] { checkExports(s, law, ro); }),
            "VRK:spardyn:WrongSize|u holds 6 values, the term writes its states up to position 6 (iopt[1], iopt[3], iopt[4])");

  // A memoryless law writes no state, whatever its options say.
  Term pw(4, 1, {kPower, 1, 1}, {-1, 5, 1, 1, 2});
  NlState p = pw.state();
  EXPECT_EQ(stateEnd(p, selectLaw(p)), 0);
}

}  // namespace
}  // namespace spardyn

namespace spardyn {
namespace {

using namespace testing_laws;

// What a command uses of each buffer, worked by hand from the layouts: slice
// 1 (slices 1 to 3 from three slices on), state blocks, outputs.
TEST(SharedBuffers, ReachOfEachBuffer) {
  Term power(3, 1, {kPower, 1, 1});
  NlState s = power.state();
  BufferReach r = bufferReach(s, selectLaw(s));
  EXPECT_EQ(r.unl, 3);
  EXPECT_EQ(r.vnl, 3);
  EXPECT_EQ(r.snl, 3);
  // A table of 4 value columns writes 4 outputs per value; into unl itself
  // when there is no snl.
  Term table(2, 1, {kTable, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 0},
             {-1, 0, 0, 0, 0, 1, 11, 2, 4});
  table.withOutputs = false;
  table.unl.resize(8);
  s = table.state();
  r = bufferReach(s, selectLaw(s));
  EXPECT_EQ(r.unl, 8);
  EXPECT_EQ(r.snl, 0);
  // Dahl, three slices: slices 1 to 3; two blocks of 3 values and 2 states.
  Term dahl(12, 3, {kDahl, 0, 1, 1, 1, 1, 1}, {-1, 1, 3, 2, 2});
  s = dahl.state();
  r = bufferReach(s, selectLaw(s));
  EXPECT_EQ(r.unl, 36);
  EXPECT_EQ(r.vnl, 36);
  dahl = Term(4, 2, {kDahl, 0, 1, 1, 1, 1, 1}, {-1, 1, 3, 2, 2});
  dahl.unl.resize(10);
  s = dahl.state();
  r = bufferReach(s, selectLaw(s));
  EXPECT_EQ(r.unl, 10);  // the blocks reach beyond slice 1
  EXPECT_EQ(r.vnl, 4);
}

// A buffer whose length only its owner knows is used only where its reach
// is mapped; buffers of known length are left to the length checks.
TEST(SharedBuffers, RefusedUnlessTheirReachIsMapped) {
  Term power(3, 1, {kPower, 1, 1});
  NlState s = power.state();
  const LawForm& law = selectLaw(s);
  s.nUnl = s.nSnl = kOwnerSized;
  checkSharedBuffers(s, law);
  s.snl = reinterpret_cast<double*>(0x1000);
  EXPECT_EQ(errorOf([&] { checkSharedBuffers(s, law); }),
            "VRK:spardyn:Invalid|non-linear term \"snl\": no buffer of 3 values "
            "is mapped readable and writable at 0x1000");
  s.nSnl = 3;
  checkSharedBuffers(s, law);
  s.vnl = reinterpret_cast<double*>(0x2000);
  s.nVnl = kOwnerSized;
  EXPECT_EQ(errorOf([&] { checkSharedBuffers(s, law); }),
            "VRK:spardyn:Invalid|non-linear term \"vnl\": no buffer of 3 values "
            "is mapped readable and writable at 0x2000");
}

}  // namespace
}  // namespace spardyn
