#pragma once
// The desktop's message sink: message boxes and Yes/No questions over
// the active window. The texts are UTF-8.
#include <QMessageBox>

#include "record/Messages.h"

namespace tov {

// The icon of a reported text: a warning, except for the few texts that
// only inform.
QMessageBox::Icon reportIcon(const std::string& text);

class MessageBoxSink : public MessageSink {
public:
  void report(const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  // はい / いいえ / キャンセル; closing the box is Cancel.
  Answer askYesNoCancel(const std::string& text) override;
  Answer askThreeWay(const std::string& text, const std::string& yes, const std::string& no,
                     const std::string& cancel) override;
  bool askTwoWay(const std::string& text, const std::string& yes, const std::string& no) override;
};

} // namespace tov
