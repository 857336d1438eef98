// Entry point: one application object runs the process's whole life.
#include <cstdio>
#include <string>
#include <vector>

#include "app/Lorvant.h"
#include "base/Exception.h"
#include "settings/AppSettings.h"

int main(int argc, char** argv) {
  using namespace lorvant;
  SetProcessParams(std::vector<std::string>(argv + 1, argv + argc));
  TLorvant* app = nullptr;
  try {
    TAppSettings::Load();
    app = &TLorvant::Instance();
  } catch (const EAbort&) {
    return 1;
  } catch (const std::exception& e) {
    ReportSetupFailure(e.what());
    return 1;
  }
  try {
    app->Run();
    return app->ExitCode;
  } catch (const EAbort&) {
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Lorvant: %s\n", e.what());
    return 1;
  }
}
