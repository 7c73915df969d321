#include "qt/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

namespace tov {

namespace {
const QString kBoxTitle = QStringLiteral("Tov");
}

QMessageBox::Icon reportIcon(const std::string& text) {
  // Only the import counts of an older test are news; everything else the
  // program reports is a failure or a warning.
  const std::string& imported = messageText(IDS_IMPORTED);
  const std::string importedStart = imported.substr(0, imported.find("%1"));
  if (text == messageText(IDS_NO_IMPORT) || text.rfind(importedStart, 0) == 0) return QMessageBox::Information;
  return QMessageBox::Warning;
}

void MessageBoxSink::report(const std::string& text) {
  if (reportIcon(text) == QMessageBox::Information)
    QMessageBox::information(QApplication::activeWindow(), kBoxTitle, QString::fromUtf8(text));
  else
    QMessageBox::warning(QApplication::activeWindow(), kBoxTitle, QString::fromUtf8(text));
}

bool MessageBoxSink::askYesNo(const std::string& text) {
  return QMessageBox::question(QApplication::activeWindow(), kBoxTitle, QString::fromUtf8(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

Answer MessageBoxSink::askYesNoCancel(const std::string& text) {
  QMessageBox box(QMessageBox::Question, kBoxTitle, QString::fromUtf8(text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("saveChangesBox"));
  QPushButton* yes = box.addButton(QStringLiteral("はい(&Y)"), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QStringLiteral("いいえ(&N)"), QMessageBox::NoRole);
  QPushButton* cancel = box.addButton(QStringLiteral("キャンセル"), QMessageBox::RejectRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == yes) return Answer::Yes;
  if (box.clickedButton() == no) return Answer::No;
  return Answer::Cancel;
}

Answer MessageBoxSink::askThreeWay(const std::string& text, const std::string& yesText, const std::string& noText,
                                   const std::string& cancelText) {
  QMessageBox box(QMessageBox::Question, kBoxTitle, QString::fromUtf8(text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("threeWayBox"));
  QPushButton* yes = box.addButton(QString::fromUtf8(yesText), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QString::fromUtf8(noText), QMessageBox::NoRole);
  QPushButton* cancel = box.addButton(QString::fromUtf8(cancelText), QMessageBox::RejectRole);
  yes->setObjectName(QStringLiteral("answerYes"));
  no->setObjectName(QStringLiteral("answerNo"));
  box.setDefaultButton(cancel);  // nothing is overwritten by a stray Enter
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == yes) return Answer::Yes;
  if (box.clickedButton() == no) return Answer::No;
  return Answer::Cancel;
}

bool MessageBoxSink::askTwoWay(const std::string& text, const std::string& yesText, const std::string& noText) {
  QMessageBox box(QMessageBox::Question, kBoxTitle, QString::fromUtf8(text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  box.setObjectName(QStringLiteral("twoWayBox"));
  QPushButton* yes = box.addButton(QString::fromUtf8(yesText), QMessageBox::YesRole);
  QPushButton* no = box.addButton(QString::fromUtf8(noText), QMessageBox::RejectRole);
  yes->setObjectName(QStringLiteral("answerYes"));
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  box.exec();
  return box.clickedButton() == yes;
}

} // namespace tov
