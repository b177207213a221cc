// Calls a module's exports by name, the way other native modules of the
// toolbox bind to them, and checks what they answer.
//   call_exports <module> <flavour>
// Exit status 0 when every check holds.
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

using Interp = void (*)(double*, double*, double*, double*, int, int, int, int,
                        double*, double*);
using ApiVersion = void (*)(unsigned int*, unsigned int*);

const char* const kPlainInterp = "qz_time_LinInterp";
const char* const kCxxInterp = "_Z17qz_time_LinInterpPdS_S_S_iiiiS_S_";
const char* const kApiVersion = "mexfilerequiredapiversion";

int failures = 0;

void check(bool ok, const std::string& what) {
  if (!ok) {
    std::printf("FAILED %s\n", what.c_str());
    ++failures;
  }
}

bool near(double a, double b) { return std::fabs(a - b) <= 1e-14 * (1 + std::fabs(b)); }

// Hand-worked interpolations: a ramp 0 → 10, 1 → 20, 2 → 40, and a step at 1.
void interpolates(Interp f, const char* name) {
  const std::string n = name;
  double X[] = {0, 1, 2, 10, 20, 40};
  double s[3] = {0, 0, 0}, x = 1.5, y = 0;
  f(X, &x, s, &y, 3, 1, 1, 1, nullptr, nullptr);
  check(near(y, 30) && s[0] == 1 && s[1] == 1.5 && s[2] == 0.5,
        n + ": 30 at 1.5 between 20 and 40");
  x = 3;
  f(X, &x, s, &y, 3, 1, 1, 1, nullptr, nullptr);
  check(near(y, 60) && s[0] == 2 && s[2] == 2, n + ": extrapolated to 60 at 3");
  double step[] = {0, 1, 1, 2, 0, 5, 7, 9};
  double t[3] = {2, 0, 0};
  x = 1;
  f(step, &x, t, &y, 4, 1, 1, 1, nullptr, nullptr);
  check(near(y, 6), n + ": the mean 6 on the step");
  // Two queries, two value columns, and the second table.
  double X2[] = {0, 1, 2, 1, 2, 3, 100, 200, 400};
  double Y2[] = {0, 1, 2, -1, -2, -3, 7, 8, 9};
  double q[2] = {0.5, 1.5}, u[3] = {0, 0, 0}, out[4], out2[4];
  f(X2, q, u, out, 3, 2, 2, 1, Y2, out2);
  check(near(out[0], 1.5) && near(out[1], 2.5) && near(out[2], 150) &&
            near(out[3], 300),
        n + ": value columns N apart");
  check(near(out2[0], -1.5) && near(out2[1], -2.5) && near(out2[2], 7.5) &&
            near(out2[3], 8.5),
        n + ": the second table on the same intervals");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: call_exports <module> <linux64|win64|win32>\n");
    return 2;
  }
  const std::string flavor = argv[2];
  // Lazy binding: the host functions the module calls stay unresolved
  // outside the host, and nothing here calls them.
  void* module = dlopen(argv[1], RTLD_LAZY | RTLD_LOCAL);
  if (!module) {
    std::printf("dlopen: %s\n", dlerror());
    return 1;
  }
  check(dlsym(module, "mexFunction") != nullptr, "mexFunction");
  void* plain = dlsym(module, kPlainInterp);
  void* cxx = dlsym(module, kCxxInterp);
  void* api = dlsym(module, kApiVersion);
  check((plain != nullptr) == (flavor == "win64"), "qz_time_LinInterp with C linkage");
  check((cxx != nullptr) == (flavor == "win32"), "qz_time_LinInterp with C++ linkage");
  check((api != nullptr) == (flavor == "win64"), kApiVersion);
  if (plain) interpolates(reinterpret_cast<Interp>(plain), kPlainInterp);
  if (cxx) interpolates(reinterpret_cast<Interp>(cxx), kCxxInterp);
  if (api) {
    unsigned int release = 0, interface = 0;
    reinterpret_cast<ApiVersion>(api)(&release, &interface);
    check(release == 131466 && release == 0x0002018A, "built by release 131466");
    check(interface == 0x07300000, "array interface 0x07300000");
  }
  std::printf("%s: %s\n", argv[1], failures ? "exports FAILED" : "exports answer");
  return failures ? 1 : 0;
}
