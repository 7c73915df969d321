#pragma once
// The recent-file list of the File menu: 4 entries, most recent first, kept
// with the application's settings under "Tov" / "Tov" (~/.config/Tov/
// Tov.conf), group "Recent File List", keys File1 .. File4.
#include <QObject>

#include <string>
#include <vector>

namespace tov {

inline constexpr const char* kSettingsOrganisation = "Tov";
inline constexpr const char* kSettingsApplication = "Tov";

class RecentFiles : public QObject {
  Q_OBJECT
public:
  explicit RecentFiles(QObject* parent = nullptr);
  const std::vector<std::string>& files() const { return files_; }
  void add(const std::string& path);
  void remove(const std::string& path);
  // Reads the list again from the settings.
  void load();

signals:
  void changed();

private:
  void save() const;
  std::vector<std::string> files_;
};

} // namespace tov
