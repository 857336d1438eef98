#include "engine/FileSplitSessionExecutor.h"

#include "diagnostics/ExceptionStat.h"
#include "engine/ConvertOutputer.h"
#include "log/Log.h"
#include "tasks/FileSplitSession.h"

namespace lorvant {

TFileSplitSessionExecutor::TFileSplitSessionExecutor()
    : Converter(std::make_unique<TFileSplitter>()) {}

TFileSplitSessionExecutor::~TFileSplitSessionExecutor() = default;

bool TFileSplitSessionExecutor::Execute() {
  auto* session = dynamic_cast<TFileSplitSession*>(Session);
  if (session == nullptr) throw EInvalidCast();
  Converter->Session = session;
  auto* outputer = dynamic_cast<TConvertOutputer*>(Outputer);
  if (outputer == nullptr) throw EInvalidCast();
  outputer->SetStatus(&Converter->Status());
  outputer->BindStatus();
  bool result;
  try {
    Converter->Run();
    result = true;
  } catch (const Exception& e) {
    outputer->Output(e.Message());
    TLog::Global()->Error("In TFileSplitSessionExecutor.Execute, " + e.Message());
    result = false;
  }
  TExceptionStat::ReportIfErrors("File Split Has Exception.");
  return result;
}

}  // namespace lorvant
