// The application kind that converts data: a smaller progress step cap.
#pragma once

#include "app/App.h"
#include "base/RunMode.h"

namespace lorvant {

class TDataApp : public TApp {
 public:
  void SetLimits() override { SetProgressStepCap(1000); }
};

}  // namespace lorvant
