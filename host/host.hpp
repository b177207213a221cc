// The host layer: every operation the module needs from the MEX interface,
// behind an opaque value type so that nothing outside host/ includes the
// host's header.  Accessors check the class of a value before touching its
// data (data accessors abort the host on objects and function handles) and
// treat a value with zero elements as holding no data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "spardyn/arrays.hpp"

namespace host {

struct Value;  // the host's mxArray

// --- class and shape -------------------------------------------------------
bool isDouble(const Value* v);   // double, dense or sparse
bool isInt32(const Value* v);
bool isSparse(const Value* v);
bool isComplex(const Value* v);
bool isCell(const Value* v);
bool isStruct(const Value* v);
bool isChar(const Value* v);
bool isNumeric(const Value* v);  // any numeric class, or logical
bool isFunctionHandle(const Value* v);
// A classdef object or an old-style class object: neither struct, cell,
// text, number nor function handle.
bool isObject(const Value* v);
bool isClass(const Value* v, const char* name);
std::string className(const Value* v);

std::size_t rows(const Value* v);
std::size_t cols(const Value* v);
std::size_t numel(const Value* v);
std::size_t ndims(const Value* v);
std::size_t dim(const Value* v, std::size_t i);  // 1 beyond ndims

// --- data --------------------------------------------------------------------
// The one reader of a plain real full double array: its data (null when it
// has no element), element count and rows.  Anything else is refused with
// "VRK:spardyn:Invalid" "<what> must be a real full double array, not
// <sparse | complex | class>": another class; a host sparse matrix, whose
// data are its stored values only; a complex array (a real kernel would
// drop its imaginary parts, and under the classic array interface a write
// would land in the host's copy and be lost).
spardyn::RealArray realFull(const Value* v, const std::string& what);
// A full double array, real or complex: refused otherwise with
// "<what> must be a full double array, not <sparse | class>".
void requireFullDouble(const Value* v, const std::string& what);
// The values of a full double array, real or complex (checked as above), in
// the layout of the array interface the module is built against: pairs
// under the interleaved interface (the host's own data), separate parts
// under the classic one (copies the host makes for the call).  Only this
// layer knows which interface that is.
spardyn::DoubleArray doubles(const Value* v, const std::string& what);
// Data of a real full double array (checked as realFull with a generic
// name), such as an output the module created; null when empty.
double* realData(const Value* v);
// Data of an int32 array; null when empty.  Refuses other classes.
int32_t* int32Data(const Value* v);
// The arrays of a host sparse matrix of real doubles, in place, where the
// host's sparse index type is 32 bits wide (decided at compile time from
// its header); false where it is wider, whose indices the module's views
// cannot address.  Another class, or complex values, are refused.
bool sparseColumns32(const Value* v, spardyn::CompressedColumns& out);

// A vector's data: the real data of a double array (as realFull reads it),
// or the address held in the first 8 bytes of the property "c" of an
// object (a buffer that object owns and shares with the host).  length
// receives the element count of a double array, and kUnknownLength for an
// object's buffer, whose size only its owner knows: the command checks the
// range it will use there against the process's mappings
// (spardyn/mapped_memory.hpp) before it reads or writes any of it.  Null
// (length 0) for an empty array.  Other values, and an address not aligned
// for a double, are refused; what names the vector in the messages.
constexpr std::size_t kUnknownLength = static_cast<std::size_t>(-1);
double* pmatGetPr(const Value* v, std::size_t* length, const std::string& what);

// --- fields and elements -----------------------------------------------------
// Field of element 1 of a structure, or property of a classdef object; null
// when absent, or when v is neither (or an empty structure array).
const Value* field(const Value* v, const char* name);
// The field name of a structure (or property of an object); a missing
// field is refused with "VRK:spardyn:empty" "<where> field "<name>" is
// missing", where ends with the context's own punctuation
// ("Newmark stepper:").
const Value* requiredField(const Value* v, const char* name,
                           const std::string& where);
// Cell element i (0-based); null when out of range or not a cell.
const Value* cell(const Value* v, std::size_t i);

// --- numbers and text ----------------------------------------------------------
// First element of a numeric array as int32, truncated toward zero; NaN and
// values outside the int32 range give −2147483648.  An empty or non-numeric
// value is refused with an error naming what.
int32_t int32Of(const Value* v, const char* what);
// First element as a double, refused likewise.
double firstDouble(const Value* v, const char* what);
// Text of a char array (empty for anything else).
std::string text(const Value* v);

// --- creation and lifetime -----------------------------------------------------
Value* newDouble(std::size_t m, std::size_t n, bool complex = false);
Value* newScalar(double x);
Value* newString(const char* s);
// A copy that shares no writable data with v (structures, cells and arrays
// are rebuilt; objects and function handles are the host's duplicate).
// Refuses values nested more than 256 levels deep.
Value* duplicate(const Value* v);
void makePersistent(Value* v);
void destroy(Value* v);

// --- the host itself -----------------------------------------------------------
// Runs a host function by name; its errors pass through as the host's own
// exceptions.  Returns the host's status.
int call(int nout, Value** out, int nin, Value** in, const char* name);
// A value to hand to host functions in place of the structure v, sharing
// its data.  Octave converts back, at every call, what the module has read
// of an input structure: handing over a model whose "NL" list the module
// walks would cost each call the whole list.  An alias taken before any
// field of v is read spares that.  Other values, and other hosts, get v
// itself.  The host releases the alias when the call ends.
Value* callAlias(const Value* v);
void print(const char* text);
void atExit(void (*fn)());

// --- provided by the commands layer -------------------------------------------
// Runs the command of one call of the module (mexFunction's whole work).
void runCommand(int nlhs, Value** plhs, int nrhs, const Value* const* prhs);

}  // namespace host
