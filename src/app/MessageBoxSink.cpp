#include "app/MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

namespace tov {

namespace {
const QString kBoxTitle = QStringLiteral("Tov");
}

void MessageBoxSink::report(const std::string& text) {
  QMessageBox::information(QApplication::activeWindow(), kBoxTitle, QString::fromUtf8(text));
}

bool MessageBoxSink::askYesNo(const std::string& text) {
  return QMessageBox::question(QApplication::activeWindow(), kBoxTitle, QString::fromUtf8(text),
                               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

} // namespace tov
