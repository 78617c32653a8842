// The error classes and the assertion failure message format.
#include "Errors.h"

#include "Utf.h"

EMarquillError::EMarquillError(std::u16string message)
    : FMessage(std::move(message)), FUtf8(Utf16ToUtf8Lossy(FMessage)) {}

static std::u16string AssertionText(const std::u16string& msg, const std::u16string& source, int line) {
  std::u16string text = msg.empty() ? u"アサートが失敗しました" : msg;
  text += u" (";
  text += source;
  text += u", ";
  for (char c : std::to_string(line)) text += static_cast<char16_t>(c);
  text += u" 行)";
  return text;
}

EAssertionFailed::EAssertionFailed(const std::u16string& msg, const std::u16string& source, int line)
    : EMarquillError(AssertionText(msg, source, line)) {}

void AssertFail(const std::u16string& msg, const std::u16string& source, int line) {
  throw EAssertionFailed(msg, source, line);
}
