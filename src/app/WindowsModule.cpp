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

namespace {

void* LoadEntry(const char* name, std::string* error) {
  std::string reasons;
  for (const std::string& path : WindowsModuleCandidates(GetExeName())) {
    // The module uses the executable's own engine, logs and settings (the
    // executable exports them), so there is one of each per process.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      reasons += (reasons.empty() ? "" : "; ") + std::string(dlerror());
      continue;
    }
    if (void* entry = dlsym(module, name)) return entry;
    reasons += (reasons.empty() ? "" : "; ") + path + " has no " + name;
  }
  *error = reasons;
  return nullptr;
}

}  // namespace

TRunWindowsEntry LoadWindowsModule(std::string* error) {
  return reinterpret_cast<TRunWindowsEntry>(LoadEntry(kLorvantWindowsEntry, error));
}

TShowSetupFailureEntry LoadSetupFailureEntry(std::string* error) {
  return reinterpret_cast<TShowSetupFailureEntry>(LoadEntry(kLorvantSetupFailureEntry, error));
}

bool DisplayAvailable() {
  Env* env = Env::Default();
  const std::string platform = env->GetVar("QT_QPA_PLATFORM");
  if (platform.rfind("offscreen", 0) == 0 || platform.rfind("minimal", 0) == 0) return true;
  return !env->GetVar("DISPLAY").empty() || !env->GetVar("WAYLAND_DISPLAY").empty();
}

}  // namespace lorvant
