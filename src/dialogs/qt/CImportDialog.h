#pragma once
// "測定データの取り込み": a logger's export read into the readings of the
// test. The session (import/LoggerImport) holds every rule; this dialog
// shows its guesses, lets each be changed, plots the whole record with the
// proposed start and writes the chosen readings on OK.
#include <QColor>
#include <QDialog>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <optional>

#include "dialogs/ImportTargetModel.h"
#include "import/LoggerImport.h"

class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;

namespace tov {

class FileChooser;
class TestRecord;

// The whole record with the start; a click moves the start.
class ImportPlot : public QWidget {
  Q_OBJECT
public:
  explicit ImportPlot(logger::ImportSession& session, QWidget* parent = nullptr);
  QSize sizeHint() const override { return {560, 140}; }
  // The sample under an x position of the widget.
  std::size_t sampleAt(int x) const;
  // The traces' colours: the level, and the flow of a steady test.
  static const QColor kLevelColour, kFlowColour, kRawColour;

signals:
  void startClicked(std::size_t sample);

protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  QRect plotArea() const;
  logger::ImportSession& session_;
};

class CImportDialog : public QDialog {
  Q_OBJECT
public:
  CImportDialog(logger::ImportSession& session, const std::filesystem::path& installFolder, QWidget* parent = nullptr);
  // Reads the whole file (with progress and cancel for a long one); false
  // when it could not, with the reason shown in the dialog.
  bool readRecord();
  void accept() override;
  // The readings the dialog writes on OK (into a copy the caller keeps),
  // with the headings the record gives (ho, Sp, 試験年月日, 試験方法: its
  // own unless the engineer keeps the typed ones), the method, ho and
  // sizes asked for when the test had none, and the analysis
  // (ImportTargetModel).
  bool writeInto(TestRecord& record);
  // The test the readings go into: what the warnings are checked against,
  // and what is asked of it. A new test is offered 定常法 when the file
  // names a flow column (the record is then read again).
  void setTarget(const TestRecord& record, int digitsPermeability);
  // What the data contradict in the readings as they would be written.
  std::vector<std::string> currentWarnings() const;

private:
  void buildLayout();
  void loadFromSession();
  void layoutChanged();
  void columnsChanged();
  void referenceChanged();
  void scheduleChanged();
  void startTyped();
  void windowChanged();
  void formulaChosen();
  void setStart(std::size_t sample);
  void refreshSummary();
  void saveProfile();
  void loadProfile();
  QComboBox* columnCombo(const char* name);
  void chooseBarometer();

  logger::ImportSession& session_;
  std::filesystem::path installFolder_;
  bool loading_ = false;
  bool readOk_ = false;
  QComboBox* encoding_ = nullptr;
  QComboBox* separator_ = nullptr;
  QComboBox* decimal_ = nullptr;
  QSpinBox* headerRow_ = nullptr;
  QPlainTextEdit* raw_ = nullptr;
  QTableWidget* table_ = nullptr;
  QComboBox* dateColumn_ = nullptr;
  QComboBox* timeColumn_ = nullptr;
  QComboBox* dateTimeColumn_ = nullptr;
  QComboBox* millisColumn_ = nullptr;
  QComboBox* elapsedColumn_ = nullptr;
  QComboBox* elapsedUnit_ = nullptr;
  QComboBox* dateOrder_ = nullptr;
  QComboBox* levelColumn_ = nullptr;
  QComboBox* levelKind_ = nullptr;
  QComboBox* levelUnit_ = nullptr;
  QComboBox* flowColumn_ = nullptr;
  QComboBox* flowUnit_ = nullptr;
  QRadioButton* bySensor_ = nullptr;
  QRadioButton* byDepthAt_ = nullptr;
  QLineEdit* sensorDepth_ = nullptr;
  QLineEdit* referenceDepth_ = nullptr;
  QLineEdit* referenceAt_ = nullptr;
  QLineEdit* startTime_ = nullptr;
  QComboBox* schedule_ = nullptr;
  QDoubleSpinBox* interval_ = nullptr;
  QComboBox* profile_ = nullptr;
  ImportPlot* plot_ = nullptr;
  QLabel* summary_ = nullptr;
  QLabel* levelMeaning_ = nullptr;
  QLabel* barometer_ = nullptr;
  QPushButton* clearBarometer_ = nullptr;
  QCheckBox* keepHeadings_ = nullptr;
  QLineEdit* windowFrom_ = nullptr;
  QLineEdit* windowTo_ = nullptr;
  QLabel* referenceMoment_ = nullptr;
  QGroupBox* sizesBox_ = nullptr;
  QLineEdit* restLevel_ = nullptr;
  QLineEdit* sectionLength_ = nullptr;
  QLineEdit* boreDiameter_ = nullptr;
  QLineEdit* equivalentDiameter_ = nullptr;
  QComboBox* formula_ = nullptr;
  QLabel* warnings_ = nullptr;
  QLabel* outcome_ = nullptr;
  ImportTargetModel target_{TestRecord{}, 2};
};

// Chooses the file (when none is given), runs the dialog and, on OK,
// replaces the readings of the record (asking first when it has readings).
// True when the readings were replaced.
bool runImportEditor(QWidget* parent, TestRecord& record, const std::filesystem::path& file = {});
// The file dialog the command uses (tests answer with a path); nullptr
// restores the platform's.
void setImportFileChooser(FileChooser* chooser);
// Files dropped on the widget go to `act` (a readings editor's import).
void acceptLoggerDrops(QWidget& widget, std::function<void(const std::filesystem::path&)> act);
// True for a dropped file that is a logger export rather than a test file.
bool isLoggerFile(const std::filesystem::path& file);

} // namespace tov
