#include "base/RunMode.h"

#include <atomic>

namespace lorvant {
namespace {
std::atomic<bool> windowed{false};
std::atomic<int32_t> step_cap{100000};
}  // namespace

bool IsWindowedRun() { return windowed; }
void SetWindowedRun(bool value) { windowed = value; }
int32_t ProgressStepCap() { return step_cap; }
void SetProgressStepCap(int32_t cap) { step_cap = cap; }

}  // namespace lorvant
