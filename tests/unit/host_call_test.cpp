// The host call-back of the Windows x64 module goes through
// mexCallMATLABWithObject where the host's header declares it, through
// mexCallMATLAB otherwise; the other modules always use mexCallMATLAB.
// Two stand-in hosts, without and with the function, tell which ran.
#include <gtest/gtest.h>

#include "call_with_object.hpp"

namespace older_host {
struct mxArray {};
int mexCallMATLAB(int, mxArray**, int, mxArray**, const char*) { return 1; }
}  // namespace older_host

namespace newer_host {
struct mxArray {};
int mexCallMATLAB(int, mxArray**, int, mxArray**, const char*) { return 1; }
int mexCallMATLABWithObject(int, mxArray**, int, mxArray**, const char*) {
  return 2;
}
}  // namespace newer_host

namespace {

template <bool withObject, class Array>
int callOn() {
  Array* out[1] = {nullptr};
  Array* in[1] = {nullptr};
  return host::callback::run<withObject>(1, out, 1, in, "remi");
}

TEST(HostCallBack, WithObjectWhereTheHostDeclaresIt) {
  EXPECT_EQ((callOn<true, newer_host::mxArray>()), 2);
  EXPECT_EQ((callOn<true, older_host::mxArray>()), 1);
}

TEST(HostCallBack, PlainCallWhenNotAsked) {
  EXPECT_EQ((callOn<false, newer_host::mxArray>()), 1);
  EXPECT_EQ((callOn<false, older_host::mxArray>()), 1);
}

}  // namespace
