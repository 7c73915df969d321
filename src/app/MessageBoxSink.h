#pragma once
// The desktop's message sink: information boxes and Yes/No questions over
// the active window. The texts are UTF-8.
#include "record/Messages.h"

namespace tov {

class MessageBoxSink : public MessageSink {
public:
  void report(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  // はい / いいえ / キャンセル; closing the box is Cancel.
  Answer askYesNoCancel(const std::string& text) override;
};

} // namespace tov
