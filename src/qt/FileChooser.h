#pragma once
// The file dialogs of Open and Save As behind an interface, so that the
// document's commands can run without a dialog (tests answer with a path).
#include <QStringList>

#include <filesystem>
#include <optional>

class QWidget;

namespace tov {

class FileChooser {
public:
  virtual ~FileChooser() = default;
  // The file to open, or nothing when the user cancels. Filters in Qt's
  // form ("Name (*.tvd)").
  virtual std::optional<std::filesystem::path> chooseOpenFile(QWidget* parent, const std::filesystem::path& initialFolder,
                                                              const QStringList& filters) = 0;
  // The file to save to, or nothing when the user cancels.
  virtual std::optional<std::filesystem::path> chooseSaveFile(QWidget* parent, const std::filesystem::path& initialFile,
                                                              const QStringList& filters) = 0;
};

// The platform's file dialogs: Open with the default extension "tvd"; Save
// without a default extension and with a prompt before overwriting.
class DialogFileChooser : public FileChooser {
public:
  std::optional<std::filesystem::path> chooseOpenFile(QWidget* parent, const std::filesystem::path& initialFolder,
                                                      const QStringList& filters) override;
  std::optional<std::filesystem::path> chooseSaveFile(QWidget* parent, const std::filesystem::path& initialFile,
                                                      const QStringList& filters) override;
};

// A path as Qt text and back (through UTF-8: wide on Windows).
QString toQString(const std::filesystem::path& path);
std::filesystem::path toPath(const QString& text);

} // namespace tov
