#include "engine/IterativeConverter.h"

#include "log/Log.h"

namespace lorvant {

TIterativeConverter::TIterativeConverter() : status_(std::make_unique<TConvertStatus>()) {}

TIterativeConverter::~TIterativeConverter() { Stop(); }

bool TIterativeConverter::Run() {
  try {
    Prepare();
    BeforeConvert();
    RunLoop();
    AfterConvert();
  } catch (...) {
    Close();
    throw;
  }
  Close();
  return true;
}

void TIterativeConverter::BeforeConvert() {
  LoggedErrorCount = 0;
  CountTotal();
  status_->Start();
}

void TIterativeConverter::AfterConvert() {
  if (!Stopped) status_->SettleTotal();
  status_->Finish();
}

void TIterativeConverter::RecordError(const std::string& text, const Exception& error) {
  status_->ErrorText = text + "\r\n" + error.Message();
  status_->NotifyError();
  if (LoggedErrorCount < 5) {
    TLog::Global()->Error(error.Message());
    ++LoggedErrorCount;
  }
}

void TIterativeConverter::ReportErrorLimit() {
  status_->Message = "Maxinum error count (" + std::to_string(MaxErrorCount) + ") exceeded. ";
  TLog::Global()->Info(status_->Message);
  status_->NotifyMessage();
}

}  // namespace lorvant
