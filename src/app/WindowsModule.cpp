#include "app/WindowsModule.h"

#include <dlfcn.h>

#include "fs/FileUtil.h"
#include "os/Env.h"
#include "os/SystemInfo.h"
#include "ui/WindowedRun.h"

namespace lorvant {

std::vector<std::string> WindowsModuleCandidates(const std::string& exe_path) {
  const std::string dir = ExtractFilePath(exe_path);  // with its trailing '/'
  return {dir + "lorvant-gui.so", dir + "../lib/lorvant/lorvant-gui.so"};
}

TRunWindowsEntry LoadWindowsModule(std::string* error) {
  std::string reasons;
  for (const std::string& path : WindowsModuleCandidates(GetExeName())) {
    // The module uses the executable's own engine, logs and settings (the
    // executable exports them), so there is one of each per process.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      reasons += (reasons.empty() ? "" : "; ") + std::string(dlerror());
      continue;
    }
    auto entry = reinterpret_cast<TRunWindowsEntry>(dlsym(module, kLorvantWindowsEntry));
    if (entry != nullptr) return entry;
    reasons += (reasons.empty() ? "" : "; ") + path + " has no " + kLorvantWindowsEntry;
  }
  *error = reasons;
  return nullptr;
}

bool DisplayAvailable() {
  Env* env = Env::Default();
  const std::string platform = env->GetVar("QT_QPA_PLATFORM");
  if (platform.rfind("offscreen", 0) == 0 || platform.rfind("minimal", 0) == 0) return true;
  return !env->GetVar("DISPLAY").empty() || !env->GetVar("WAYLAND_DISPLAY").empty();
}

}  // namespace lorvant
