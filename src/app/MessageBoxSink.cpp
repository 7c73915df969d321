#include "app/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
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

} // namespace tov
