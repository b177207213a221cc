// The host operations, on the MEX interface.
#include <mex.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host.hpp"
#include "spardyn/error.hpp"
#include "spardyn/numbers.hpp"

namespace host {

namespace {

inline const mxArray* mx(const Value* v) {
  return reinterpret_cast<const mxArray*>(v);
}
inline mxArray* mxw(Value* v) { return reinterpret_cast<mxArray*>(v); }
inline Value* val(mxArray* a) { return reinterpret_cast<Value*>(a); }

[[noreturn]] void wrongClass(const char* expected, const Value* v) {
  spardyn::fail(spardyn::Reason::Invalid,
                std::string(expected) + " expected, got " +
                    (mxIsSparse(mx(v)) ? "sparse " : "") + className(v));
}

// The values of a real double array; callers check that it is real.  Under
// the interleaved interface mxGetDoubles is the accessor of real data
// (mxGetPr there hands out the pairs of a complex array).
double* realValues(const mxArray* a) {
#if MX_HAS_INTERLEAVED_COMPLEX
  return mxGetDoubles(a);
#else
  return mxGetPr(a);
#endif
}

// What a value is, for "must be … not <kind>".
std::string kindOf(const Value* v) {
  if (mxIsSparse(mx(v))) return "sparse";
  if (mxIsComplex(mx(v))) return "complex";
  return className(v);
}

}  // namespace

bool isDouble(const Value* v) { return mxIsDouble(mx(v)); }
bool isInt32(const Value* v) { return mxIsInt32(mx(v)); }
bool isSparse(const Value* v) { return mxIsSparse(mx(v)); }
bool isComplex(const Value* v) { return mxIsComplex(mx(v)); }
bool isCell(const Value* v) { return mxIsCell(mx(v)); }
bool isStruct(const Value* v) { return mxIsStruct(mx(v)); }
bool isChar(const Value* v) { return mxIsChar(mx(v)); }
bool isNumeric(const Value* v) {
  return mxIsNumeric(mx(v)) || mxIsLogical(mx(v));
}
bool isFunctionHandle(const Value* v) { return mxIsFunctionHandle(mx(v)); }
bool isObject(const Value* v) {
  return !isStruct(v) && !isCell(v) && !isChar(v) && !isNumeric(v) &&
         !isFunctionHandle(v);
}
// Only objects belong to a named class.  Asking the host for the class of
// any other input makes its wrapper of that input keep a copy of the name,
// which the host loses (about 80 bytes) when a later field or element access
// converts the wrapper: the question is never put to a non-object.
bool isClass(const Value* v, const char* name) {
  return isObject(v) && mxIsClass(mx(v), name);
}
std::string className(const Value* v) { return mxGetClassName(mx(v)); }

std::size_t rows(const Value* v) { return mxGetM(mx(v)); }
std::size_t cols(const Value* v) { return mxGetN(mx(v)); }
std::size_t numel(const Value* v) { return mxGetNumberOfElements(mx(v)); }
std::size_t ndims(const Value* v) { return mxGetNumberOfDimensions(mx(v)); }
std::size_t dim(const Value* v, std::size_t i) {
  return i < ndims(v) ? mxGetDimensions(mx(v))[i] : 1;
}

spardyn::RealArray realFull(const Value* v, const std::string& what) {
  if (!isDouble(v) || isSparse(v) || isComplex(v))
    spardyn::fail(spardyn::Reason::Invalid,
                  what + " must be a real full double array, not " + kindOf(v));
  spardyn::RealArray a;
  a.present = true;
  a.count = numel(v);
  a.rows = rows(v);
  a.data = a.count ? realValues(mx(v)) : nullptr;
  return a;
}

void requireFullDouble(const Value* v, const std::string& what) {
  if (!isDouble(v) || isSparse(v))
    spardyn::fail(spardyn::Reason::Invalid,
                  what + " must be a full double array, not " +
                      (isSparse(v) ? std::string("sparse") : className(v)));
}

spardyn::DoubleArray doubles(const Value* v, const std::string& what) {
  requireFullDouble(v, what);
  spardyn::DoubleArray d;
  d.count = numel(v);
  d.rows = rows(v);
  if (!d.count) return d;
  if (!isComplex(v)) {
    d.re = realValues(mx(v));
    return d;
  }
#if MX_HAS_INTERLEAVED_COMPLEX
  double* pairs = reinterpret_cast<double*>(mxGetComplexDoubles(mx(v)));
  d.re = pairs;
  d.im = pairs + 1;
  d.stride = 2;
#else
  d.re = mxGetPr(mx(v));
  d.im = mxGetPi(mx(v));
#endif
  return d;
}

double* realData(const Value* v) { return realFull(v, "the array").data; }

int32_t* int32Data(const Value* v) {
  if (!isInt32(v)) wrongClass("int32", v);
  return numel(v) ? static_cast<int32_t*>(mxGetData(mx(v))) : nullptr;
}

bool sparseColumns32(const Value* v, spardyn::CompressedColumns& out) {
  if constexpr (sizeof(mwIndex) != sizeof(int32_t)) {
    return false;
  } else {
    if (!isDouble(v) || isComplex(v))
      spardyn::fail(spardyn::Reason::Invalid,
                    "a host sparse matrix must hold real doubles, not " +
                        std::string(isComplex(v) ? "complex" : className(v)));
    out.rows = rows(v);
    out.cols = cols(v);
    out.nzmax = mxGetNzmax(mx(v));
    out.pr = realValues(mx(v));
    // The host's indices are 32-bit integers: the module's own type.
    out.ir = reinterpret_cast<int32_t*>(mxGetIr(mx(v)));
    out.jc = reinterpret_cast<int32_t*>(mxGetJc(mx(v)));
    return true;
  }
}

double* pmatGetPr(const Value* v, std::size_t* length, const std::string& what) {
  if (length) *length = 0;
  if (isDouble(v)) {
    const spardyn::RealArray a = realFull(v, what);
    if (length) *length = a.count;
    return a.data;
  }
  if (!isObject(v))
    spardyn::fail(spardyn::Reason::Invalid,
                  what + " must be a real full double array or an object "
                         "sharing its buffer, not " + kindOf(v));
  const Value* c = field(v, "c");
  if (!c || !isNumeric(c) ||
      numel(c) * mxGetElementSize(mx(c)) < sizeof(double*))
    spardyn::fail(spardyn::Reason::Invalid,
                  "object of class " + className(v) +
                      " holds no buffer address in its property \"c\"");
  double* p = nullptr;
  std::memcpy(&p, mxGetData(mx(c)), sizeof p);
  // The address cannot be verified, but one that is not even aligned for a
  // double is no buffer of doubles.
  if (reinterpret_cast<std::uintptr_t>(p) % alignof(double) != 0)
    spardyn::fail(spardyn::Reason::Invalid,
                  "object of class " + className(v) +
                      " holds no buffer address in its property \"c\"");
  if (length) *length = p ? kUnknownLength : 0;
  return p;
}

const Value* field(const Value* v, const char* name) {
  if (isStruct(v)) {
    if (numel(v) == 0) return nullptr;
    return val(mxGetField(mx(v), 0, name));
  }
  // Only classdef objects have properties; the host answers null for the
  // others (old-style objects included).
  if (isObject(v)) return val(mxGetProperty(mx(v), 0, name));
  return nullptr;
}

const Value* requiredField(const Value* v, const char* name,
                           const std::string& where) {
  const Value* f = field(v, name);
  if (!f)
    spardyn::fail(spardyn::Reason::Empty,
                  where + " field \"" + name + "\" is missing");
  return f;
}

const Value* cell(const Value* v, std::size_t i) {
  if (!isCell(v) || i >= numel(v)) return nullptr;
  return val(mxGetCell(mx(v), i));
}

double firstDouble(const Value* v, const char* what) {
  if (!isNumeric(v) || isSparse(v))
    spardyn::fail(spardyn::Reason::Invalid,
                  std::string(what) + " must be a number");
  if (numel(v) == 0)
    spardyn::fail(spardyn::Reason::Empty, std::string(what) + " is empty");
  return mxGetScalar(mx(v));
}

int32_t int32Of(const Value* v, const char* what) {
  return spardyn::truncInt32(firstDouble(v, what));
}

std::string text(const Value* v) {
  if (!isChar(v)) return std::string();
  char* s = mxArrayToString(mx(v));
  if (!s) return std::string();
  std::string out(s);
  mxFree(s);
  return out;
}

namespace {

// A new zero-filled numeric array.  Octave 7 gives a complex array made
// under the interleaved interface room for one double per element instead
// of one pair: a module writing its pairs overruns the heap, and the host
// reads past the end when it takes the array.  Such an array is therefore
// made empty, given its dimensions, and handed zero-filled data of a whole
// pair per element (the host then owns that data like its own).
mxArray* newNumeric(mwSize nd, const mwSize* dims, mxClassID id, bool complex) {
#if MX_HAS_INTERLEAVED_COMPLEX
  if (complex) {
    const mwSize none[2] = {0, 0};
    mxArray* a = mxCreateNumericArray(2, none, id, mxCOMPLEX);
    mxSetDimensions(a, dims, nd);
    const std::size_t n = mxGetNumberOfElements(a);
    if (n == 0) return a;
    void* pairs = mxCalloc(n, mxGetElementSize(a));
    void* undersized = mxGetData(a);
    mxSetData(a, pairs);
    mxFree(undersized);
    return a;
  }
#endif
  return mxCreateNumericArray(nd, dims, id, complex ? mxCOMPLEX : mxREAL);
}

}  // namespace

Value* newDouble(std::size_t m, std::size_t n, bool complex) {
  const mwSize dims[2] = {static_cast<mwSize>(m), static_cast<mwSize>(n)};
  return val(newNumeric(2, dims, mxDOUBLE_CLASS, complex));
}
Value* newScalar(double x) { return val(mxCreateDoubleScalar(x)); }
Value* newString(const char* s) { return val(mxCreateString(s)); }
namespace {

// The host's own duplicate shares the data of numeric arrays with the
// original (its copies are copy-on-write at the interpreter level, which a
// module writing through a data pointer bypasses).  Arrays the module may
// write into are therefore rebuilt with data of their own; objects and
// function handles, which the module never writes, keep the host's
// duplicate.  Host sparse matrices are rebuilt too: the host's duplicate of
// a sparse matrix it built itself (a copy, as the stored values are) with
// no stored entry writes past its allocation.
mxArray* deepCopy(const mxArray* a, int depth);

// Structures and cells nested deeper than this are refused: the copy, and
// the host's own conversion and release of it, recurse once per level, and
// a value nested some ten thousand levels deep exhausts the stack.  The
// values a handle stores are a few levels deep.
constexpr int kMaxNesting = 256;

mxArray* copyNumeric(const mxArray* a) {
  const mwSize nd = mxGetNumberOfDimensions(a);
  const mwSize* dims = mxGetDimensions(a);
  mxArray* out;
  if (mxIsLogical(a))
    out = mxCreateLogicalArray(nd, dims);
  else if (mxIsChar(a))
    out = mxCreateCharArray(nd, dims);
  else
    out = newNumeric(nd, dims, mxGetClassID(a), mxIsComplex(a));
  // Under the interleaved interface a complex element is one pair, and its
  // size counts both parts.
  const std::size_t bytes = mxGetNumberOfElements(a) * mxGetElementSize(a);
  if (bytes) {
    std::memcpy(mxGetData(out), mxGetData(a), bytes);
#if !MX_HAS_INTERLEAVED_COMPLEX
    if (mxIsComplex(a)) std::memcpy(mxGetImagData(out), mxGetImagData(a), bytes);
#endif
  }
  return out;
}

// A host sparse matrix (double or logical) with its own arrays, room for
// one entry at least.
mxArray* copySparse(const mxArray* a) {
  const mwSize m = mxGetM(a), n = mxGetN(a);
  const mwIndex* jc = mxGetJc(a);
  const mwSize nnz = jc[n];
  const mwSize room = nnz > 0 ? nnz : 1;
  mxArray* out = mxIsLogical(a)
                     ? mxCreateSparseLogicalMatrix(m, n, room)
                     : mxCreateSparse(m, n, room, mxIsComplex(a) ? mxCOMPLEX : mxREAL);
#if MX_HAS_INTERLEAVED_COMPLEX
  // Complex values get a whole pair per entry, as newNumeric gives them.
  if (mxIsComplex(a)) {
    void* pairs = mxCalloc(room, mxGetElementSize(out));
    void* undersized = mxGetData(out);
    mxSetData(out, pairs);
    mxFree(undersized);
  }
#endif
  std::memcpy(mxGetJc(out), jc, (n + 1) * sizeof(mwIndex));
  if (nnz) {
    // Under the interleaved interface a complex entry is one pair, and its
    // size counts both parts.
    const std::size_t bytes = nnz * mxGetElementSize(a);
    std::memcpy(mxGetIr(out), mxGetIr(a), nnz * sizeof(mwIndex));
    std::memcpy(mxGetData(out), mxGetData(a), bytes);
#if !MX_HAS_INTERLEAVED_COMPLEX
    if (mxIsComplex(a)) std::memcpy(mxGetImagData(out), mxGetImagData(a), bytes);
#endif
  }
  return out;
}

mxArray* copyStruct(const mxArray* a, int depth) {
  const int nf = mxGetNumberOfFields(a);
  std::vector<const char*> names(nf);
  for (int k = 0; k < nf; ++k) names[k] = mxGetFieldNameByNumber(a, k);
  mxArray* out = mxCreateStructArray(mxGetNumberOfDimensions(a),
                                     mxGetDimensions(a), nf, names.data());
  const std::size_t n = mxGetNumberOfElements(a);
  for (std::size_t i = 0; i < n; ++i)
    for (int k = 0; k < nf; ++k)
      if (const mxArray* f = mxGetFieldByNumber(a, i, k))
        mxSetFieldByNumber(out, i, k, deepCopy(f, depth + 1));
  return out;
}

// The elements are copied before the dimensions are read: the host's
// wrapper of an input cell keeps a copy of its dimensions when asked for
// them, and loses it when the first element access converts the wrapper.
mxArray* copyCell(const mxArray* a, int depth) {
  const std::size_t n = mxGetNumberOfElements(a);
  std::vector<mxArray*> copies(n, nullptr);
  for (std::size_t i = 0; i < n; ++i)
    if (const mxArray* e = mxGetCell(a, i)) copies[i] = deepCopy(e, depth + 1);
  mxArray* out =
      mxCreateCellArray(mxGetNumberOfDimensions(a), mxGetDimensions(a));
  for (std::size_t i = 0; i < n; ++i)
    if (copies[i]) mxSetCell(out, i, copies[i]);
  return out;
}

mxArray* deepCopy(const mxArray* a, int depth) {
  if (depth > kMaxNesting)
    spardyn::fail(spardyn::Reason::Invalid,
                  "value nested more than " + std::to_string(kMaxNesting) +
                      " levels deep");
  if (mxIsStruct(a)) return copyStruct(a, depth);
  if (mxIsCell(a)) return copyCell(a, depth);
  if (mxIsSparse(a)) return copySparse(a);
  if (mxIsNumeric(a) || mxIsLogical(a) || mxIsChar(a)) return copyNumeric(a);
  return mxDuplicateArray(a);
}

}  // namespace

Value* duplicate(const Value* v) { return val(deepCopy(mx(v), 0)); }
void makePersistent(Value* v) { mexMakeArrayPersistent(mxw(v)); }
void destroy(Value* v) { mxDestroyArray(mxw(v)); }

Value* callAlias(const Value* v) {
#if defined(HAVE_OCTAVE)
  // Octave's duplicate of a structure it has not converted yet wraps the
  // same field values: their data are shared, and it costs one wrapper per
  // field.  (Elsewhere a duplicate is a deep copy, which would hide the
  // module's writes from the host functions.)
  if (isStruct(v)) return val(mxDuplicateArray(mx(v)));
#endif
  return const_cast<Value*>(v);
}

void print(const char* s) { mexPrintf("%s", s); }
void atExit(void (*fn)()) { mexAtExit(fn); }

}  // namespace host
