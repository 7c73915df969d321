#include "qt/FileChooser.h"

#include <QDir>
#include <QFileDialog>

#include "files/Platform.h"

namespace tov {

QString toQString(const std::filesystem::path& path) {
  return QString::fromStdString(utf8Path(path));
}

std::filesystem::path toPath(const QString& text) {
  return pathFromUtf8(text.toStdString());
}

std::optional<std::filesystem::path> DialogFileChooser::chooseOpenFile(QWidget* parent,
                                                                       const std::filesystem::path& initialFolder,
                                                                       const QStringList& filters) {
  QFileDialog dialog(parent, QStringLiteral("開く"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("tvd"));
  dialog.setNameFilters(filters);
  if (!initialFolder.empty() && QDir(toQString(initialFolder)).exists()) dialog.setDirectory(toQString(initialFolder));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return toPath(dialog.selectedFiles().constFirst());
}

std::optional<std::filesystem::path> DialogFileChooser::chooseSaveFile(QWidget* parent,
                                                                       const std::filesystem::path& initialFile,
                                                                       const QStringList& filters) {
  QFileDialog dialog(parent, QStringLiteral("名前を付けて保存"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  if (!initialFile.empty()) dialog.selectFile(toQString(initialFile));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return toPath(dialog.selectedFiles().constFirst());
}

} // namespace tov
