#include "handle_values.hpp"

#include <climits>
#include <memory>
#include <string>

#include "spardyn/error.hpp"
#include "spardyn/newmark.hpp"
#include "views.hpp"

namespace spardyn {

host::Value* storedValue(const chandle& h) {
  const auto* v = static_cast<const HostValue*>(h.get_val());
  return v ? v->value() : nullptr;
}

host::Value* get_val(chandle& h) {
  if (host::Value* v = storedValue(h)) return v;
  host::print("Empty value\n");
  host::Value* empty = host::newDouble(0, 0);
  host::makePersistent(empty);
  h.set_val(h.type(), std::make_unique<HostValue>(empty, true));
  return empty;
}

bool HostDescription::privateCopy() const {
  const auto* v = static_cast<const HostValue*>(object_.get_val());
  return v && v->owned();
}

SparseView HostDescription::termMatrix() {
  const host::Value* v = storedValue(object_);
  return v ? pw_mkl_get_sparse(v) : SparseView{};
}

namespace {

// "iopt", the integer options of a term or a stepper: absent, or int32.
const host::Value* ioptField(const host::Value* s) {
  const host::Value* io = host::field(s, "iopt");
  if (io && !host::isInt32(io)) fail(Reason::Conform, "iopt must be int32");
  return io;
}

}  // namespace

// --- the non-linear term ------------------------------------------------------

namespace {

constexpr const char* kNlTerm = "non-linear term:";

int32_t checkedCount(std::size_t n, const char* name) {
  if (n > static_cast<std::size_t>(INT32_MAX))
    fail(Reason::WrongSize, std::string(kNlTerm) + " \"" + name +
                                "\" is too large");
  return static_cast<int32_t>(n);
}

// The data of a buffer field (a real full double array or an object
// sharing its buffer) and its element count.
double* bufferData(const host::Value* f, const char* name, std::size_t* n) {
  double* p = host::pmatGetPr(
      f, n, std::string(kNlTerm) + " \"" + name + "\"");
  if (!p) *n = 0;
  return p;
}

// "unl" gives Nnl and Nslice: all of a 2-D array is one slice; a d1 x d2 x d3
// array has d3 slices of d1·d2 values.  "snl", when it holds values,
// receives the outputs instead of "unl".
void readObservations(const host::Value* term, NlState& st) {
  if (const host::Value* f = host::field(term, "unl")) {
    st.unl = bufferData(f, "unl", &st.nUnl);
    const std::size_t nd = host::ndims(f);
    if (nd > 3)
      fail(Reason::WrongSize, std::string(kNlTerm) +
                                  " \"unl\" must have 2 or 3 dimensions");
    const std::size_t slice = nd == 3 ? host::dim(f, 0) * host::dim(f, 1)
                                      : host::numel(f);
    st.Nnl = st.unl ? checkedCount(slice, "unl") : 0;
    st.Nslice = nd == 3 ? checkedCount(host::dim(f, 2), "unl") : 1;
  }
  st.snl = st.unl;
  st.nSnl = st.nUnl;
  if (const host::Value* f = host::field(term, "snl")) {
    std::size_t n = 0;
    if (double* p = bufferData(f, "snl", &n)) {
      st.snl = p;
      st.nSnl = n;
    }
  }
  if (const host::Value* f = host::field(term, "vnl"))
    st.vnl = bufferData(f, "vnl", &st.nVnl);
}

// "opt" (the law writes into it: time increment, table cursors) and the
// optional int32 "iopt".
void readOptions(const host::Value* term, NlState& st) {
  const host::Value* opt = host::field(term, "opt");
  if (!opt || host::numel(opt) == 0) fail(Reason::Empty, "ReportEB opt");
  const RealArray o = host::realFull(opt, std::string(kNlTerm) + " \"opt\"");
  st.opt = o.data;
  st.nOpt = checkedCount(o.count, "opt");
  if (const host::Value* iopt = ioptField(term)) {
    st.iopt = host::int32Data(iopt);
    st.nIopt = st.iopt ? checkedCount(host::numel(iopt), "iopt") : 0;
  }
}

}  // namespace

NlTermDescription HostDescription::nlTerm() {
  const host::Value* term = get_val(object_);
  NlTermDescription d;
  d.b = pw_mkl_get_sparse(host::requiredField(term, "b", kNlTerm));
  d.c = pw_mkl_get_sparse(host::requiredField(term, "c", kNlTerm));
  readObservations(term, d.state);
  readOptions(term, d.state);
  return d;
}

// --- the stepper ----------------------------------------------------------------

namespace {

constexpr const char* kStepper = "Newmark stepper:";

RealArray stepperArray(const host::Value* s, const char* name) {
  return host::realFull(host::requiredField(s, name, kStepper),
                        std::string(kStepper) + " \"" + name + "\"");
}

}  // namespace

StepperTables HostDescription::stepperTables() {
  const host::Value* s = get_val(object_);
  StepperTables t;
  t.r = pw_mkl_get_sparse(host::requiredField(s, "r", kStepper));
  checkStepperMatrix(t.r);
  t.tft = stepperArray(s, "tft");
  t.tftCols = static_cast<int64_t>(host::cols(host::field(s, "tft")));
  checkTimeTable(t.r, t.tft);
  t.data = stepperArray(s, "data");
  checkStepperData(t.data);
  // Only iopt[0] is read: a non-empty int32 array has it.
  if (const host::Value* io = ioptField(s)) t.iopt = host::int32Data(io);
  return t;
}

}  // namespace spardyn
