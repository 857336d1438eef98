// Process-wide facts the application sets at start and lower layers read:
// whether this is a windowed run, and the largest progress step.
#pragma once

#include <cstdint>

namespace lorvant {

bool IsWindowedRun();
void SetWindowedRun(bool windowed);

// Largest number of records between two progress displays.
int32_t ProgressStepCap();
void SetProgressStepCap(int32_t cap);

}  // namespace lorvant
