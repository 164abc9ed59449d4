// The vector kernel body over plain arrays of lanes, for any CPU. The lane
// loops are independent per centre, so a compiler may vectorise them
// without changing a single operation.
#include "propagation/lane_kernel.h"
#include "propagation/pass_kernels.h"

namespace {

struct PortableLanes {
  static constexpr int kLanes = 4;
  struct D {
    double lane[kLanes];
  };

  static D load(const double* p) {
    D r;
    for (int i = 0; i < kLanes; ++i) r.lane[i] = p[i];
    return r;
  }
  static void store(double* p, D a) {
    for (int i = 0; i < kLanes; ++i) p[i] = a.lane[i];
  }
  static D set1(double value) {
    D r;
    for (int i = 0; i < kLanes; ++i) r.lane[i] = value;
    return r;
  }
  static D add(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = a.lane[i] + b.lane[i];
    return a;
  }
  static D sub(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = a.lane[i] - b.lane[i];
    return a;
  }
  static D mul(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = a.lane[i] * b.lane[i];
    return a;
  }
  static D div(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = a.lane[i] / b.lane[i];
    return a;
  }
  static D min(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = b.lane[i] < a.lane[i] ? b.lane[i] : a.lane[i];
    return a;
  }
  static D max(D a, D b) {
    for (int i = 0; i < kLanes; ++i) a.lane[i] = b.lane[i] > a.lane[i] ? b.lane[i] : a.lane[i];
    return a;
  }
  // table[index] per lane; the indices are small non-negative integers.
  static D gather(const double* table, D index) {
    for (int i = 0; i < kLanes; ++i) index.lane[i] = table[static_cast<int>(index.lane[i])];
    return index;
  }
  static bool all_finite(D a) {
    bool finite = true;
    for (int i = 0; i < kLanes; ++i) finite = finite && __builtin_isfinite(a.lane[i]);
    return finite;
  }
  // a == b ? if_equal : otherwise, lane by lane.
  static D select_if_equal(D a, D b, D if_equal, D otherwise) {
    for (int i = 0; i < kLanes; ++i) otherwise.lane[i] = a.lane[i] == b.lane[i] ? if_equal.lane[i] : otherwise.lane[i];
    return otherwise;
  }
};

}  // namespace

int propagation_pass_portable(const PassSettings& settings, const BYTE* current, BYTE* next) {
  return lane_pass<PortableLanes>(settings, current, next);
}
