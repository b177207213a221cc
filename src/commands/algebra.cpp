// The sparse algebra commands: in-place update of a sparse description, the
// transposed product aᵀ·b, the projection TAᵀ·k·TB, and the commands kept
// for their checks ("dtkt", "ta'*k*tb", "igsm", "directzr").
#include <cstdint>
#include <cstring>
#include <string>

#include "call.hpp"
#include "spardyn/algebra.hpp"
#include "spardyn/disjoint.hpp"
#include "spardyn/error.hpp"
#include "views.hpp"

namespace spardyn {

namespace {

int64_t rowsOf(const host::Value* v) {
  return static_cast<int64_t>(host::rows(v));
}
int64_t colsOf(const host::Value* v) {
  return static_cast<int64_t>(host::cols(v));
}

// The BLAS takes its sizes as int.
void requireIntSize(int64_t n, const std::string& what) {
  if (n > INT32_MAX)
    fail(Reason::WrongSize, what + " has more than 2^31-1 columns");
}

// Checks that a kernel sweeping every stored column of v stays inside its
// arrays.  A description without entries has no value array at all (its
// "pr" is empty); it is a zero matrix, and its column pointers are checked
// against empty arrays like any other.
SparseView checkedStoredColumns(SparseView v, const char* what) {
  static double noValue = 0.0;
  if (v.isSparse() && !v.pr) {
    v.pr = &noValue;
    v.nPr = 0;
  }
  checkSparseColumns(v, v.storedCols(), v.storedRows(), what);
  return v;
}

// A basis as the host keeps it (pairs or separate parts), read in place.
DenseMatrix denseOperand(const host::Value* v, const char* what) {
  const DoubleArray a = host::doubles(v, what);
  DenseMatrix d;
  d.re = a.re;
  d.im = a.im;
  d.stride = a.stride;
  d.rows = rowsOf(v);
  d.cols = colsOf(v);
  return d;
}

// A new output, real or complex, in the host's layout.
DenseTarget denseTarget(const host::Value* out) {
  const DoubleArray a = host::doubles(out, "the result");
  return DenseTarget{a.re, a.im, a.stride};
}

// --- "setsparse" -------------------------------------------------------------

// n new values may overwrite the start of an array of `room` values.
void requireRoom(std::size_t n, std::size_t room, const char* what,
                 const char* field) {
  if (n > room)
    fail(Reason::WrongSize, std::string("spardyn setsparse : ") +
                                std::to_string(n) + " " + what +
                                " given, \"" + field + "\" holds " +
                                std::to_string(room));
}

// --- "c<-a'*b" -----------------------------------------------------------------

// Rows of a against the rows of the stored array of b.  The non-transposed
// case carries an identifier, the transposed one historically does not;
// in the earlier command set neither does.
void checkAtBHeight(int64_t aRows, const SparseView& s, bool earlier) {
  if (aRows == s.storedRows()) return;
  const char* msg = "spardyn c<-a'*b : vector a has a wrong size";
  if (s.trans || earlier) fail(msg);
  fail(Reason::WrongSize, msg);
}

// The target of the four-input form: a real full array with room for the
// na × ns product, sharing no memory with the operands it is computed from.
double* atbTarget(const host::Value* t, int64_t na, int64_t ns,
                  const double* a, int64_t aLen, const SparseView& s) {
  const RealArray c = host::realFull(t, "spardyn c<-a'*b : the target c");
  const int64_t have = static_cast<int64_t>(c.count);
  if (have < na * ns)
    fail(Reason::WrongSize, "spardyn c<-a'*b : the target c holds " +
                                std::to_string(have) + " values, the " +
                                std::to_string(na) + "x" + std::to_string(ns) +
                                " product needs " + std::to_string(na * ns));
  const Span target = span(c.data, c.count, "c");
  if (overlap(target, span(a, aLen, "a")) ||
      overlap(target, span(s.pr, s.nPr, "b")))
    fail(Reason::Invalid,
         "spardyn c<-a'*b : the target c shares its data with a or b");
  return c.data;
}

// --- "abc" ------------------------------------------------------------------------

void checkAbcOption(const host::Value* opt) {
  if (!host::isInt32(opt))
    fail("int32 needed : spardyn('abc',TA,k,TB,int32([1 0 0]));");
  if (host::numel(opt) < 3)
    fail(Reason::WrongSize, "spardyn abc : the option must hold 3 values, "
                            "int32([1 0 0]), it holds " +
                                std::to_string(host::numel(opt)));
  const int32_t* o = host::int32Data(opt);
  if (o[0] != 1 || o[1] != 0 || o[2] != 0) fail("spardyn('abc')");
}

void checkAbcSizes(int64_t taRows, int64_t tbRows, const SparseView& k) {
  if (taRows != k.rows) fail("abc : a and b have wrong size");
  if (tbRows != k.cols) fail("abc : b and c have wrong size");
  // The stored array is used as k as it stands: in transposed storage a
  // non-square k has the other shape, and its row indices would address
  // TA beyond its rows.
  if (k.trans && k.rows != k.cols)
    fail(Reason::Invalid,
         "spardyn abc : a non-square k cannot be given in transposed storage");
}

// "setsparse": overwrite the start of the description's "ir" (int32 input 3)
// and "pr" (input 5) in place; the column pointers never change.
// Input 4 is not read.
namespace setsparse {

enum { IN_CMD = 1, IN_S, IN_IR, IN_UNUSED, IN_PR, IN_END };

void run(Call& c) {
  const SparseView v = pw_mkl_get_sparse(c.in(IN_S));
  if (!v.isSparse())
    fail(Reason::Invalid, "spardyn setsparse : a sparse description "
                          "(fields \"ir\", \"jc\", \"pr\") is required");
  const host::Value* ir = c.optional(IN_IR);
  if (ir && !host::isInt32(ir)) ir = nullptr;  // only int32 indices are taken
  const host::Value* prValue = c.optional(IN_PR);
  RealArray pr;
  if (prValue) pr = host::realFull(prValue, "spardyn setsparse : the new values");

  // Both lengths are checked before either array is written.  The new
  // arrays may be the description's own (s.ir passed back): memmove.
  if (ir) requireRoom(host::numel(ir), v.nIr, "row indices", "ir");
  if (pr.present) requireRoom(pr.count, v.nPr, "values", "pr");
  if (ir && host::numel(ir))
    std::memmove(v.ir, host::int32Data(ir), host::numel(ir) * sizeof(int32_t));
  if (pr.count) std::memmove(v.pr, pr.data, pr.count * sizeof(double));
}

}  // namespace setsparse

// "c<-a'*b": c = aᵀ·S, S the stored array of b; into input 4 when the call
// has exactly four inputs, else as a new output.
namespace atb {

enum { IN_CMD = 1, IN_A, IN_B, IN_C, IN_END };

void product(Call& c, bool earlier) {
  const host::Value* a = c.in(IN_A);
  const SparseView b = pw_mkl_get_sparse(c.in(IN_B));
  checkAtBHeight(rowsOf(a), b, earlier);
  const double* ad = host::realFull(a, "spardyn c<-a'*b : a").data;
  const SparseView s = checkedStoredColumns(b, "spardyn c<-a'*b : b");

  const int64_t m = rowsOf(a), na = colsOf(a), ns = s.storedCols();
  double* out;
  if (c.inputs() == IN_C) {
    out = atbTarget(c.in(IN_C), na, ns, ad, m * na, s);
  } else {
    host::Value* result = host::newDouble(na, ns);
    c.setOut(1, result);
    out = host::realData(result);
  }
  AtS(ad, m, na, s, out);
}

void run(Call& c) { product(c, false); }
void runEarlier(Call& c) { product(c, true); }

}  // namespace atb

// "abc": TAᵀ·k·TB, real or complex, without conjugation.
namespace abc {

enum { IN_CMD = 1, IN_TA, IN_K, IN_TB, IN_OPT, IN_END };

void run(Call& c) {
  const SparseView kView = pw_mkl_get_sparse(c.in(IN_K));
  if (!kView.isSparse()) fail("spardyn abc : b must be int32 sparse");
  checkAbcOption(c.in(IN_OPT));
  const host::Value* ta = c.in(IN_TA);
  const host::Value* tb = c.in(IN_TB);
  checkAbcSizes(rowsOf(ta), rowsOf(tb), kView);
  const DenseMatrix a = denseOperand(ta, "spardyn abc : TA");
  const DenseMatrix b = denseOperand(tb, "spardyn abc : TB");
  requireIntSize(a.cols, "spardyn abc : TA");
  requireIntSize(b.cols, "spardyn abc : TB");
  const SparseView k = checkedStoredColumns(kView, "spardyn abc : k");

  const bool complex = host::isComplex(ta) || host::isComplex(tb);
  host::Value* out = host::newDouble(a.cols, b.cols, complex);
  c.setOut(1, out);
  TAtKTB(a, k, b, denseTarget(out));
}

}  // namespace abc

// "dtkt": only its checks remain; a base without columns gives an empty
// 0 × 1 result.
namespace dtkt {

enum { IN_CMD = 1, IN_BASE, IN_K, IN_END };

void run(Call& c) {
  const host::Value* base = c.in(IN_BASE);
  const host::Value* k = c.in(IN_K);
  if (!host::isSparse(k)) fail("spardyn dtkt : b must be sparse");
  if (rowsOf(k) != colsOf(k)) fail("spardyn  : k must be square");
  if (rowsOf(base) != rowsOf(k)) fail("base has a wrong size");
  if (colsOf(base) != 0) fail("spardyn  : reimplement for mkls");
  c.setOut(1, host::newDouble(0, 1));
}

}  // namespace dtkt

// "ta'*k*tb": only its checks remain.
namespace takTb {

enum { IN_CMD = 1, IN_TA, IN_K, IN_TB, IN_END };

void run(Call& c) {
  const host::Value* ta = c.in(IN_TA);
  const host::Value* k = c.in(IN_K);
  const host::Value* tb = c.in(IN_TB);
  if (!host::isSparse(k)) fail("spardyn ta'*k*tb : k must be sparse");
  if (rowsOf(ta) != rowsOf(k)) fail("ta and k : Wrong size");
  if (colsOf(k) != rowsOf(tb)) fail("k and tb :Wrong size");
  fail("ir problem");
}

}  // namespace takTb

// "igsm": only its checks remain; phi without columns gives a zero row.
// It counts its inputs itself, with its own message.
namespace igsm {

enum { IN_CMD = 1, IN_PHI, IN_K, IN_END };

void run(Call& c) {
  if (c.inputs() != IN_K) fail("Three inputs required.");
  const host::Value* phi = c.in(IN_PHI);
  const host::Value* k = c.in(IN_K);
  if (host::isSparse(phi)) fail("phi must be full");
  if (!host::isSparse(k)) fail("k must be sparse");
  if (rowsOf(phi) != colsOf(k)) fail("Inner matrix dimensions must agree.");
  if (colsOf(phi) != 0) fail("ir problem");
  c.setOut(1, host::newDouble(1, host::cols(k)));
}

}  // namespace igsm

// "directzr": a complex zero matrix of rows(input 2) × rows(input 5)·cols(input 4).
// Input 3 is not read.
namespace directzr {

enum { IN_CMD = 1, IN_A, IN_UNUSED, IN_B, IN_D, IN_END };

void run(Call& c) {
  const host::Value* a = c.in(IN_A);
  const host::Value* b = c.in(IN_B);
  if (!host::isComplex(a) || !host::isComplex(b))
    fail("Complex numbers needed.");
  const host::Value* d = c.in(IN_D);
  c.setOut(1, host::newDouble(host::rows(a), host::rows(d) * host::cols(b),
                              true));
}

}  // namespace directzr

}  // namespace

const Command kSetSparse{"setsparse", setsparse::run, setsparse::IN_S};
const Command kCAtB{"c<-a'*b", atb::run, atb::IN_B};
const Command kCAtBEarlier{"c<-a'*b", atb::runEarlier, atb::IN_B};
const Command kDtkt{"dtkt", dtkt::run, dtkt::IN_K};
const Command kAbc{"abc", abc::run, abc::IN_OPT};
const Command kTaKTb{"ta'*k*tb", takTb::run, takTb::IN_TB};
const Command kDirectZr{"directzr", directzr::run, directzr::IN_D};
const Command kIgsm{"igsm", igsm::run, igsm::IN_CMD};

}  // namespace spardyn
