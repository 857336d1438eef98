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
  try {
    TAppSettings::Load();
    TLorvant& app = TLorvant::Instance();
    app.Run();
    return app.ExitCode;
  } catch (const EAbort&) {
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Lorvant: %s\n", e.what());
    return 1;
  }
}
