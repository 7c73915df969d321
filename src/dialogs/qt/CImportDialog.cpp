#include "dialogs/qt/CImportDialog.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QDropEvent>
#include <QUrl>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "qt/FileChooser.h"
#include "qt/WidgetFont.h"
#include "dialogs/qt/DialogWidgets.h"
#include "dialogs/qt/EnterKeyFilter.h"
#include "files/Platform.h"
#include "files/Settings.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/TestRecord.h"

namespace tov {

using namespace logger;

namespace {

FileChooser* gChooser = nullptr;

const char* const kReplaceQuestion = "この試験には測定データがあります. 取り込んだデータで置き換えますか？";

// A time of the record as the dialog shows it: with its date when the
// record runs over more than one day (a clock time alone is then not
// enough to say which), else the clock time (or elapsed seconds).
QString clockOrSeconds(const Series& series, double t) {
  if (!series.hasClock) return qtext(cformat("%g s", t));
  const bool severalDays = !series.time.empty() &&
                           std::floor(series.time.back() / 86400.0) > std::floor(series.time.front() / 86400.0);
  return qtext(severalDays ? momentText(series, t) : clockText(t, true));
}

} // namespace

// --- the plot -------------------------------------------------------------------

ImportPlot::ImportPlot(ImportSession& session, QWidget* parent) : QWidget(parent), session_(session) {
  setObjectName(QStringLiteral("importPlot"));
  setMinimumHeight(110);
  setCursor(Qt::CrossCursor);
  setToolTip(QStringLiteral("クリックした所を試験の開始（t = 0）にします"));
}

const QColor ImportPlot::kLevelColour(0, 0, 200);
const QColor ImportPlot::kFlowColour(230, 120, 0);
const QColor ImportPlot::kRawColour(150, 150, 150);

// Room on the left for the level axis' values.
QRect ImportPlot::plotArea() const {
  const int left = fontMetrics().horizontalAdvance(QStringLiteral("-0000.00")) + 8;
  return rect().adjusted(left, 6, -8, -20);
}

std::size_t ImportPlot::sampleAt(int x) const {
  const Series* series = session_.series();
  if (!series || series->time.empty()) return 0;
  const QRect area = plotArea();
  const double t0 = series->time.front(), span = series->time.back() - t0;
  const double fraction = std::clamp((x - area.left()) / std::max(1.0, double(area.width())), 0.0, 1.0);
  return nearestSample(series->time, t0 + fraction * span);
}

void ImportPlot::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && session_.series())
    emit startClicked(sampleAt(static_cast<int>(event->position().x())));
}

void ImportPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  const QRect area = plotArea();
  painter.setPen(QColor(160, 160, 160));
  painter.drawRect(area);
  const Series* series = session_.series();
  if (!series || series->time.size() < 2) return;
  const double t0 = series->time.front(), span = std::max(1e-9, series->time.back() - t0);
  auto xOf = [&](double t) { return area.left() + (t - t0) / span * area.width(); };
  // One trace on its own scale, as one vertical stroke per pixel column:
  // the record may have millions of samples.
  // `range` (low, high) is used when given, else the trace's own; the range
  // drawn is returned.
  auto drawTrace = [&](const std::function<double(std::size_t)>& value, std::size_t count, const QColor& colour,
                       std::optional<std::pair<double, double>> range = std::nullopt) -> std::pair<double, double> {
    double low = 1e300, high = -1e300;
    for (std::size_t i = 0; i < count; ++i)
      if (const double v = value(i); std::isfinite(v)) low = std::min(low, v), high = std::max(high, v);
    if (range) low = range->first, high = range->second;
    if (low > high) return {1, 0};
    if (const double size = std::max(std::fabs(low), std::fabs(high)); high - low <= 1e-9 * size) {
      const double pad = size > 0 ? size / 2 : 0.5;  // a flat trace across the middle
      low -= pad;
      high += pad;
    }
    auto yOf = [&](double v) { return area.bottom() - (v - low) / (high - low) * (area.height() - 4) - 2; };
    const int columns = std::max(1, area.width());
    std::vector<double> mins(static_cast<std::size_t>(columns) + 1, 1e300), maxs(mins.size(), -1e300);
    for (std::size_t i = 0; i < count; ++i) {
      const double v = value(i);
      if (!std::isfinite(v)) continue;
      const auto c = static_cast<std::size_t>(std::clamp((series->time[i] - t0) / span * columns, 0.0, double(columns)));
      mins[c] = std::min(mins[c], v);
      maxs[c] = std::max(maxs[c], v);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(colour);
    QPointF previous(-1, -1);
    for (std::size_t c = 0; c < mins.size(); ++c) {
      if (mins[c] > maxs[c]) continue;
      const double x = area.left() + double(c);
      const QPointF top(x, yOf(maxs[c])), bottom(x, yOf(mins[c]));
      if (previous.x() >= 0) painter.drawLine(previous, top);
      painter.drawLine(top, bottom);
      previous = bottom;
    }
    return {low, high};
  };
  // The flow of a steady test behind the level, each on its own scale.
  const bool withFlow = !series->flow.empty();
  if (withFlow)
    drawTrace([&](std::size_t i) { return series->flow[i]; }, std::min(series->flow.size(), series->time.size()),
              kFlowColour);
  // Water up is up: a depth below the pipe top is drawn downwards.
  const bool depth = session_.settings().columns.levelKind == LevelKind::DepthBelowTop;
  const std::size_t count = std::min(series->level.size(), series->time.size());
  auto levelOf = [&](const std::vector<double>& level) {
    return [&level, depth](std::size_t i) { return depth ? -level[i] : level[i]; };
  };
  // With a barometric file: the raw level in grey, moved onto the
  // compensated one at the start (it holds the air), so that the two part
  // where the air pressure changed; both on one scale.
  std::vector<double> raw = session_.rawLevel();
  std::optional<std::pair<double, double>> range;
  if (raw.size() == count && count > 0) {
    const std::size_t at = std::min(session_.start(), count - 1);
    const double shift = raw[at] - series->level[at];
    double low = 1e300, high = -1e300;
    for (std::size_t i = 0; i < count; ++i) {
      raw[i] -= shift;
      for (const double v : {raw[i], series->level[i]})
        if (std::isfinite(v)) low = std::min(low, depth ? -v : v), high = std::max(high, depth ? -v : v);
    }
    range = std::pair{low, high};
    drawTrace(levelOf(raw), count, kRawColour, range);
  } else {
    raw.clear();
  }
  const auto [low, high] = drawTrace(levelOf(series->level), count, kLevelColour, range);
  // The level axis: the values at the bottom, the middle and the top.
  if (low <= high) {
    const QFontMetrics metrics(font());
    painter.setPen(kLevelColour);
    for (const double f : {0.0, 0.5, 1.0}) {
      const double v = low + f * (high - low);
      const double y = area.bottom() - f * (area.height() - 4) - 2;
      std::string label = cformat(high - low < 0.1 ? "%.3f" : "%.2f", depth ? -v : v);
      // A value that rounds to zero is "0.00", never "-0.00".
      if (label.front() == '-' && label.find_first_not_of("-0.") == std::string::npos) label.erase(0, 1);
      const QString text = qtext(label);
      const double baseline = std::clamp(y + metrics.ascent() / 2.0, double(area.top() + metrics.ascent()),
                                         double(area.bottom()));
      painter.drawText(QPointF(area.left() - 4 - metrics.horizontalAdvance(text), baseline), text);
      painter.drawLine(QPointF(area.left() - 3, y), QPointF(area.left(), y));
    }
  }
  if (raw.size() == count && count > 0) {
    const QFontMetrics metrics(font());
    const int y = area.top() + metrics.ascent() + 2;
    const QString compensated = QStringLiteral("気圧補正後"), before = QStringLiteral("補正前");
    const int left = area.right() - 4 - metrics.horizontalAdvance(before);
    // On white, where the trace may run.
    const int keyLeft = left - 12 - metrics.horizontalAdvance(compensated);
    painter.fillRect(QRect(keyLeft, y - metrics.ascent() - 1, area.right() - 2 - keyLeft, metrics.height() + 2), Qt::white);
    painter.setPen(kRawColour);
    painter.drawText(left, y, before);
    painter.setPen(kLevelColour);
    painter.drawText(left - 8 - metrics.horizontalAdvance(compensated), y, compensated);
  }
  if (withFlow) {
    // The key in the top right corner, where a falling flow has left.
    const QFontMetrics metrics(font());
    const int y = area.top() + metrics.ascent() + 2;
    const QString level = QStringLiteral("水位"), flow = QStringLiteral("流量 Q");
    const int flowLeft = area.right() - 4 - metrics.horizontalAdvance(flow);
    painter.setPen(kFlowColour);
    painter.drawText(flowLeft, y, flow);
    painter.setPen(kLevelColour);
    painter.drawText(flowLeft - 8 - metrics.horizontalAdvance(level), y, level);
  }
  // The chosen readings and the start.
  painter.setPen(QColor(0, 150, 0));
  for (const std::size_t i : session_.scheduled())
    painter.drawLine(QPointF(xOf(series->time[i]), area.bottom() - 5), QPointF(xOf(series->time[i]), area.bottom()));
  const double startX = xOf(series->time[session_.start()]);
  painter.setPen(QPen(QColor(220, 0, 0), 2));
  painter.drawLine(QPointF(startX, area.top()), QPointF(startX, area.bottom()));
  painter.setPen(Qt::black);
  const QFontMetrics metrics(font());
  const int baseline = area.bottom() + metrics.ascent() + 3;
  const QString first = clockOrSeconds(*series, series->time.front());
  painter.drawText(area.left(), baseline, first);
  const QString end = clockOrSeconds(*series, series->time.back());
  painter.drawText(area.right() - metrics.horizontalAdvance(end), baseline, end);
  // The start under its line between the first and last times; where they
  // leave no room, inside the plot beside the line.
  const QString start = QStringLiteral("開始 ") + clockOrSeconds(*series, series->time[session_.start()]);
  const int startWidth = metrics.horizontalAdvance(start);
  const int lowest = area.left() + metrics.horizontalAdvance(first) + 8;
  const int highest = area.right() - metrics.horizontalAdvance(end) - 8 - startWidth;
  const int wanted = int(startX) - startWidth / 2;
  painter.setPen(QColor(220, 0, 0));
  if (wanted >= lowest && wanted <= highest) {
    painter.drawText(wanted, baseline, start);
  } else {
    const int left = int(startX) + startWidth + 6 <= area.right() ? int(startX) + 4 : int(startX) - 4 - startWidth;
    const int y = area.bottom() - 8;
    painter.fillRect(QRect(left - 1, y - metrics.ascent(), startWidth + 2, metrics.height()), Qt::white);
    painter.drawText(left, y, start);
  }
}

// --- the dialog -----------------------------------------------------------------

CImportDialog::CImportDialog(ImportSession& session, const std::filesystem::path& installFolder, QWidget* parent)
    : QDialog(parent), session_(session), installFolder_(installFolder) {
  setObjectName(QStringLiteral("importDialog"));
  setWindowTitle(QStringLiteral("測定データの取り込み"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);
  buildLayout();
  installEnterKeyFilter(*this);
  loadFromSession();
}

QComboBox* CImportDialog::columnCombo(const char* name) {
  auto* combo = new QComboBox(this);
  combo->setObjectName(QString::fromUtf8(name));
  // Room for a name of 20 characters; the list is as wide as the longest
  // and the full name is the tip.
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  combo->setMinimumContentsLength(20);
  connect(combo, &QComboBox::currentTextChanged, combo, [combo](const QString& text) { combo->setToolTip(text); });
  connect(combo, &QComboBox::currentIndexChanged, this, [this] { columnsChanged(); });
  return combo;
}

void CImportDialog::buildLayout() {
  auto* top = new QVBoxLayout(this);
  // The file's name beside the tabs of its lines (the folder in its tip).
  auto* file = new QLabel(this);
  file->setObjectName(QStringLiteral("importFile"));
  file->setTextInteractionFlags(Qt::TextSelectableByMouse);
  file->setToolTip(toQString(session_.path()));
  const QString name = toQString(session_.path().filename());
  file->setText(QStringLiteral("ファイル: ") +
                file->fontMetrics().elidedText(name, Qt::ElideMiddle, file->fontMetrics().horizontalAdvance(QString(36, QLatin1Char('0')))));

  // How the text is read.
  auto* reading = new QHBoxLayout;
  encoding_ = listCombo(this, "importEncoding", {"UTF-8", "UTF-8 (BOM付き)", "シフトJIS (CP932)", "西欧 (CP1252/Latin-1)"});
  separator_ = listCombo(this, "importSeparator", {"カンマ", "セミコロン", "タブ", "空白"});
  decimal_ = listCombo(this, "importDecimal", {"ピリオド (.)", "カンマ (,)"});
  headerRow_ = new QSpinBox(this);
  headerRow_->setObjectName(QStringLiteral("importHeaderRow"));
  headerRow_->setRange(0, std::max(1, session_.sampleLineCount()));
  headerRow_->setSpecialValueText(QStringLiteral("なし"));
  for (auto [label, widget] : {std::pair<const char*, QWidget*>{"文字コード", encoding_}, {"区切り", separator_},
                               {"小数点", decimal_}, {"見出しの行", headerRow_}}) {
    reading->addWidget(new QLabel(QString::fromUtf8(label), this));
    reading->addWidget(widget);
    reading->addSpacing(8);
  }
  // A long record: the part of it to read (from, to), a clock time or a
  // date and time; empty reads the whole file.
  windowFrom_ = numberEdit(this, "importWindowFrom", 19);
  windowTo_ = numberEdit(this, "importWindowTo", 19);
  for (QLineEdit* edit : {windowFrom_, windowTo_}) {
    edit->setToolTip(QStringLiteral("長い記録の読む範囲. hh:mm:ss か 2026/08/05 09:50:00 (空なら全部)."));
    connect(edit, &QLineEdit::editingFinished, this, [this] { windowChanged(); });
  }
  reading->addWidget(new QLabel(QStringLiteral("読む範囲"), this));
  reading->addWidget(windowFrom_);
  reading->addWidget(new QLabel(QStringLiteral("〜"), this));
  reading->addWidget(windowTo_);
  reading->addStretch();
  top->addLayout(reading);
  if (session_.textDecoded()) encoding_->setEnabled(false);  // UTF-16, read as such
  if (session_.isXml()) {
    // The lines of an XML export are made by its reader: nothing to choose.
    for (QWidget* w : {static_cast<QWidget*>(encoding_), static_cast<QWidget*>(separator_),
                       static_cast<QWidget*>(decimal_), static_cast<QWidget*>(headerRow_)})
      w->setEnabled(false);
    file->setText(file->text() + QStringLiteral("  (XML)"));
    file->setToolTip(file->toolTip() + QStringLiteral("\nXML: 表と元の行は XML から読んだ値です"));
  }
  connect(encoding_, &QComboBox::currentIndexChanged, this, [this] { layoutChanged(); });
  connect(separator_, &QComboBox::currentIndexChanged, this, [this] { layoutChanged(); });
  connect(decimal_, &QComboBox::currentIndexChanged, this, [this] { layoutChanged(); });
  connect(headerRow_, &QSpinBox::valueChanged, this, [this] { layoutChanged(); });

  // The first lines, raw and as a table.
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName(QStringLiteral("importTabs"));
  table_ = new QTableWidget(this);
  table_->setObjectName(QStringLiteral("importTable"));
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  raw_ = new QPlainTextEdit(this);
  raw_->setObjectName(QStringLiteral("importRawLines"));
  raw_->setReadOnly(true);
  raw_->setLineWrapMode(QPlainTextEdit::NoWrap);
  // The raw lines in a fixed-pitch face whose "." and "," differ plainly
  // (the decimal mark is read here); where the face found draws its point
  // under its digits (IPAGothic stands in for monospace on a Japanese
  // desktop), it is drawn without hinting. The table keeps the widgets'
  // font, chosen for that already.
  QFont preview(QStringLiteral("DejaVu Sans Mono"));
  preview.setStyleHint(QFont::Monospace);
  if (!QFontInfo(preview).fixedPitch()) preview = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (pointDropEm(preview) >= 0.01) preview.setHintingPreference(QFont::PreferNoHinting);
  raw_->setFont(preview);
  tabs->addTab(table_, QStringLiteral("表"));
  tabs->addTab(raw_, QStringLiteral("元の行"));
  tabs->setCornerWidget(file, Qt::TopRightCorner);
  // As tall as the columns beside it (the plot takes what is left), at
  // least six lines; about 45 characters wide.
  tabs->setMinimumHeight(150);
  tabs->setMinimumWidth(QFontMetrics(preview).horizontalAdvance(QString(45, QLatin1Char('0'))));
  tabs->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
  // The lines beside the columns chosen from them, and the reference beside
  // the barometer: the dialog fits a 1366 x 768 screen with its OK.
  auto* fileRow = new QHBoxLayout;
  fileRow->addWidget(tabs, 1);
  top->addLayout(fileRow);

  // The columns.
  auto* columnsBox = new QGroupBox(QStringLiteral("列"), this);
  auto* grid = new QGridLayout(columnsBox);
  dateTimeColumn_ = columnCombo("importDateTimeColumn");
  dateColumn_ = columnCombo("importDateColumn");
  timeColumn_ = columnCombo("importTimeColumn");
  millisColumn_ = columnCombo("importMillisColumn");
  elapsedColumn_ = columnCombo("importElapsedColumn");
  levelColumn_ = columnCombo("importLevelColumn");
  flowColumn_ = columnCombo("importFlowColumn");
  elapsedUnit_ = listCombo(this, "importElapsedUnit", {"秒", "分"});
  dateOrder_ = listCombo(this, "importDateOrder", {"年/月/日", "月/日/年", "日.月.年"});
  dateOrder_->setToolTip(QStringLiteral("日付の順序"));
  dateOrder_->setPlaceholderText(QStringLiteral("順序を選ぶ"));  // dates that fit both orders
  levelKind_ = listCombo(this, "importLevelKind", {"管口からの水位 h'", "センサー上の水位・圧力"});
  std::vector<std::string> levelUnits, flowUnits;
  for (int u = 0; u < kLevelUnitCount; ++u) levelUnits.push_back(levelUnitName(LevelUnit(u)));
  for (int u = 0; u < kFlowUnitCount; ++u) flowUnits.push_back(flowUnitName(FlowUnit(u)));
  levelUnit_ = listCombo(this, "importLevelUnit", levelUnits);
  flowUnit_ = listCombo(this, "importFlowUnit", flowUnits);
  for (QComboBox* combo : {elapsedUnit_, levelKind_, flowUnit_})
    connect(combo, &QComboBox::currentIndexChanged, this, [this] { columnsChanged(); });
  // An order picked is the engineer's: dates that fit both orders are answered
  // (the list is blank until then).
  connect(dateOrder_, &QComboBox::activated, this, [this](int index) {
    if (loading_ || index < 0) return;
    session_.setDateOrder(DateOrder(index));
    readRecord();
  });
  // A unit picked (even the one shown) is the engineer's: an unknown unit
  // the file named is answered.
  connect(levelUnit_, &QComboBox::activated, this, [this](int index) {
    if (loading_) return;
    session_.setLevelUnit(LevelUnit(std::max(0, index)));
    readRecord();
  });
  auto label = [this](const char* text) { return new QLabel(QString::fromUtf8(text), this); };
  // Two columns of label, list and unit.
  grid->addWidget(label("日付"), 0, 0);
  grid->addWidget(dateColumn_, 0, 1);
  grid->addWidget(dateOrder_, 0, 2);
  grid->addWidget(label("時刻"), 0, 3);
  grid->addWidget(timeColumn_, 0, 4);
  grid->addWidget(label("日時"), 1, 0);
  grid->addWidget(dateTimeColumn_, 1, 1);
  grid->addWidget(label("ミリ秒"), 1, 3);
  grid->addWidget(millisColumn_, 1, 4);
  grid->addWidget(label("経過時間"), 2, 0);
  grid->addWidget(elapsedColumn_, 2, 1);
  grid->addWidget(elapsedUnit_, 2, 2);
  grid->addWidget(label("流量"), 2, 3);
  grid->addWidget(flowColumn_, 2, 4);
  grid->addWidget(flowUnit_, 2, 5);
  grid->addWidget(label("水位"), 3, 0);
  grid->addWidget(levelColumn_, 3, 1);
  grid->addWidget(levelUnit_, 3, 2);
  grid->addWidget(levelKind_, 3, 3, 1, 3);
  levelMeaning_ = new QLabel(this);
  levelMeaning_->setObjectName(QStringLiteral("importLevelMeaning"));
  levelMeaning_->setWordWrap(true);
  // Room for its longest reasons: the box keeps its height.
  levelMeaning_->setMinimumHeight(2 * levelMeaning_->fontMetrics().lineSpacing());
  levelMeaning_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  grid->addWidget(levelMeaning_, 4, 0, 1, 6);
  grid->setRowStretch(5, 1);
  fileRow->addWidget(columnsBox);

  // The reference that turns a level over the sensor into h'.
  auto* referenceBox = new QGroupBox(QStringLiteral("h' への換算と気圧の補正（センサー上の水位・圧力のとき）"), this);
  referenceBox->setObjectName(QStringLiteral("importReference"));
  auto* referenceRows = new QVBoxLayout(referenceBox);
  auto* reference = new QHBoxLayout;
  auto* referenceAtRow = new QHBoxLayout;
  referenceRows->addLayout(reference);
  referenceRows->addLayout(referenceAtRow);
  bySensor_ = new QRadioButton(QStringLiteral("センサーの深さ（管口から）"), this);
  bySensor_->setObjectName(QStringLiteral("importBySensorDepth"));
  byDepthAt_ = new QRadioButton(QStringLiteral("ある時刻の管口からの水位 h': 時刻"), this);
  byDepthAt_->setObjectName(QStringLiteral("importByDepthAt"));
  sensorDepth_ = numberEdit(this, "importSensorDepth", 6);
  referenceAt_ = numberEdit(this, "importReferenceAt", 8);
  referenceDepth_ = numberEdit(this, "importReferenceDepth", 6);
  reference->addWidget(bySensor_);
  reference->addWidget(sensorDepth_);
  reference->addWidget(label("m"));
  reference->addStretch();
  referenceAt_->setMinimumWidth(referenceAt_->fontMetrics().horizontalAdvance(QStringLiteral("2026/08/05 09:50:00")) + 12);
  referenceAt_->setToolTip(QStringLiteral("hh:mm:ss. 記録が何日にもわたるときは 2026/08/05 09:50:00 のように日付も."));
  referenceAtRow->addWidget(byDepthAt_);
  referenceAtRow->addWidget(referenceAt_);
  referenceAtRow->addWidget(label("の水位"));
  referenceAtRow->addWidget(referenceDepth_);
  referenceAtRow->addWidget(label("m"));
  referenceAtRow->addStretch();
  // Where on the record that moment is, with its date (or why it is not).
  referenceMoment_ = new QLabel(this);
  referenceMoment_->setObjectName(QStringLiteral("importReferenceMoment"));
  // One line kept for it, shown or not: the dialog keeps its size.
  referenceMoment_->setFixedHeight(referenceMoment_->fontMetrics().lineSpacing());
  referenceMoment_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  referenceRows->addWidget(referenceMoment_);
  for (QRadioButton* radio : {bySensor_, byDepthAt_})
    connect(radio, &QRadioButton::toggled, this, [this] { referenceChanged(); });
  for (QLineEdit* edit : {sensorDepth_, referenceAt_, referenceDepth_})
    connect(edit, &QLineEdit::editingFinished, this, [this] { referenceChanged(); });
  // Typing into one way's fields chooses that way, and what is typed holds
  // at once (OK right after typing uses it).
  connect(sensorDepth_, &QLineEdit::textEdited, this, [this] {
    bySensor_->setChecked(true);
    referenceChanged();
  });
  for (QLineEdit* edit : {referenceAt_, referenceDepth_})
    connect(edit, &QLineEdit::textEdited, this, [this] {
      byDepthAt_->setChecked(true);
      referenceChanged();
    });
  // The reference, and beside it what k needs when the test lacks it.
  auto* airRow = new QHBoxLayout;
  airRow->addWidget(referenceBox, 1);
  top->addLayout(airRow);

  // The air pressure of a barometric logger, subtracted from an absolute level.
  auto* baro = new QHBoxLayout;
  referenceRows->addLayout(baro);
  auto* chooseBaro = new QPushButton(QStringLiteral("気圧のファイル..."), this);
  chooseBaro->setObjectName(QStringLiteral("importChooseBarometer"));
  chooseBaro->setAutoDefault(false);
  clearBarometer_ = new QPushButton(QStringLiteral("外す"), this);
  clearBarometer_->setObjectName(QStringLiteral("importClearBarometer"));
  clearBarometer_->setAutoDefault(false);
  barometer_ = new QLabel(this);
  barometer_->setObjectName(QStringLiteral("importBarometer"));
  barometer_->setWordWrap(true);
  connect(chooseBaro, &QPushButton::clicked, this, [this] { chooseBarometer(); });
  connect(clearBarometer_, &QPushButton::clicked, this, [this] {
    std::string error;
    session_.setBarometer({}, &error);
    refreshSummary();
  });
  baro->addWidget(label("気圧"));
  baro->addWidget(chooseBaro);
  baro->addWidget(clearBarometer_);
  baro->addWidget(barometer_, 1);

  // What k needs and the test lacks, asked here (setTarget): the method,
  // ho and the sizes.
  sizesBox_ = new QGroupBox(QStringLiteral("k に必要な見出し（試験にないもの）"), this);
  sizesBox_->setObjectName(QStringLiteral("importSizes"));
  auto* sizes = new QVBoxLayout(sizesBox_);
  auto* methodRow = new QHBoxLayout;
  auto* sizesRow = new QHBoxLayout;
  sizes->addLayout(methodRow);
  sizes->addLayout(sizesRow);
  std::vector<std::string> formulas(ImportTargetModel::formulaNames().begin(), ImportTargetModel::formulaNames().end());
  formula_ = listCombo(this, "importFormula", formulas);
  restLevel_ = numberEdit(this, "importRestLevel", 8);
  restLevel_->setToolTip(QStringLiteral("記録の試験前の静止水位から求めた値. 記録にないときは入力してください（符号のない数は地表より下）."));
  sectionLength_ = numberEdit(this, "importSectionLength", 6);
  boreDiameter_ = numberEdit(this, "importBoreDiameter", 6);
  equivalentDiameter_ = numberEdit(this, "importEquivalentDiameter", 6);
  methodRow->addWidget(label("計算式"));
  methodRow->addWidget(formula_);
  methodRow->addSpacing(12);
  methodRow->addWidget(label("平衡水位 ho"));
  methodRow->addWidget(restLevel_);
  methodRow->addWidget(label("GL.m"));
  methodRow->addStretch();
  sizesRow->addWidget(label("試験区間長さ L"));
  sizesRow->addWidget(sectionLength_);
  sizesRow->addWidget(label("m   孔径 D"));
  sizesRow->addWidget(boreDiameter_);
  sizesRow->addWidget(label("m   等価内径 de"));
  sizesRow->addWidget(equivalentDiameter_);
  sizesRow->addWidget(label("m"));
  sizesRow->addStretch();
  const std::pair<QLineEdit*, ImportTargetModel::Size> sizeEdits[] = {
      {sectionLength_, ImportTargetModel::Size::Length},
      {boreDiameter_, ImportTargetModel::Size::Bore},
      {equivalentDiameter_, ImportTargetModel::Size::EquivalentDiameter}};
  for (const auto& [edit, which] : sizeEdits)
    connect(edit, &QLineEdit::textEdited, this, [this, which = which](const QString& text) {
      target_.setSize(which, utf8(text.trimmed()));
      refreshSummary();
    });
  connect(restLevel_, &QLineEdit::textEdited, this, [this](const QString& text) {
    target_.typeRestLevel(utf8(text.trimmed()));
    refreshSummary();
  });
  connect(restLevel_, &QLineEdit::editingFinished, this, [this] {
    target_.restLevelLeft();
    restLevel_->setText(qtext(target_.restLevelShown(session_)));
    refreshSummary();
  });
  connect(formula_, &QComboBox::currentIndexChanged, this, [this] { formulaChosen(); });
  sizesBox_->hide();
  airRow->addWidget(sizesBox_, 1);

  // The start and the readings.
  auto* startBox = new QGroupBox(QStringLiteral("試験の開始と取り込む読み"), this);
  auto* startLayout = new QVBoxLayout(startBox);
  plot_ = new ImportPlot(session_, this);
  connect(plot_, &ImportPlot::startClicked, this, [this](std::size_t sample) { setStart(sample); });
  startLayout->addWidget(plot_, 1);
  auto* startRow = new QHBoxLayout;
  startTime_ = numberEdit(this, "importStartTime", 8);
  startTime_->setMinimumWidth(startTime_->fontMetrics().horizontalAdvance(QStringLiteral("2026/08/05 09:50:00")) + 12);
  startTime_->setToolTip(QStringLiteral("hh:mm:ss（時刻のない記録では経過秒）. 何日にもわたる記録では日付も."));
  connect(startTime_, &QLineEdit::editingFinished, this, [this] { startTyped(); });
  schedule_ = listCombo(this, "importSchedule", {"自動（120 以下なら全部、多ければ対数間隔）", "対数間隔", "一定間隔", "全部（120 まで）"});
  interval_ = new QDoubleSpinBox(this);
  interval_->setObjectName(QStringLiteral("importInterval"));
  interval_->setRange(0.1, 86400);
  interval_->setDecimals(1);
  interval_->setSuffix(QStringLiteral(" s"));
  connect(schedule_, &QComboBox::currentIndexChanged, this, [this] { scheduleChanged(); });
  connect(interval_, &QDoubleSpinBox::valueChanged, this, [this] { scheduleChanged(); });
  startRow->addWidget(label("開始時刻"));
  startRow->addWidget(startTime_);
  startRow->addSpacing(16);
  startRow->addWidget(label("読み"));
  startRow->addWidget(schedule_);
  startRow->addWidget(label("間隔"));
  startRow->addWidget(interval_);
  startRow->addStretch();
  startLayout->addLayout(startRow);
  // What was read, what OK gives and what the data contradict, in a
  // space of its own: the dialog keeps its size while it is filled (a
  // longer text scrolls).
  auto* messages = new QWidget(this);
  auto* messageLines = new QVBoxLayout(messages);
  messageLines->setContentsMargins(0, 0, 0, 0);
  summary_ = new QLabel(messages);
  summary_->setObjectName(QStringLiteral("importSummary"));
  outcome_ = new QLabel(messages);
  outcome_->setObjectName(QStringLiteral("importOutcome"));
  warnings_ = new QLabel(messages);
  warnings_->setObjectName(QStringLiteral("importWarnings"));
  warnings_->setStyleSheet(QStringLiteral("color: #c00000"));
  for (QLabel* text : {summary_, outcome_, warnings_}) {
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    messageLines->addWidget(text);
  }
  messageLines->addStretch();
  auto* messageArea = new QScrollArea(this);
  messageArea->setObjectName(QStringLiteral("importMessages"));
  messageArea->setWidget(messages);
  messageArea->setWidgetResizable(true);
  messageArea->setFrameShape(QFrame::NoFrame);
  messageArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  messageArea->setFixedHeight(4 * fontMetrics().lineSpacing() + 4);
  messageArea->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  startLayout->addWidget(messageArea);
  // ho, Sp, 試験年月日 and 試験方法 are the record's own: a test's typed
  // ones are replaced unless the engineer keeps them.
  keepHeadings_ = new QCheckBox(QStringLiteral("入力済みの ho・Sp・試験年月日・試験方法を残す"), this);
  keepHeadings_->setObjectName(QStringLiteral("importKeepHeadings"));
  keepHeadings_->setToolTip(QStringLiteral("外すと、記録から求めた値で置き換えます（s は記録の ho から求めます）. 空の見出しは、いつも記録から埋めます."));
  connect(keepHeadings_, &QCheckBox::toggled, this, [this](bool keep) {
    target_.setKeepTyped(keep);
    refreshSummary();
  });
  top->addWidget(startBox, 1);

  // Profiles, OK and ｷｬﾝｾﾙ.
  auto* bottom = new QHBoxLayout;
  profile_ = new QComboBox(this);
  profile_->setObjectName(QStringLiteral("importProfile"));
  profile_->setMinimumContentsLength(12);
  for (const std::string& name : profileNames(installFolder_)) profile_->addItem(qtext(name));
  auto* load = new QPushButton(QStringLiteral("読込"), this);
  load->setObjectName(QStringLiteral("importLoadProfile"));
  load->setAutoDefault(false);
  auto* save = new QPushButton(QStringLiteral("保存..."), this);
  save->setObjectName(QStringLiteral("importSaveProfile"));
  save->setAutoDefault(false);
  connect(load, &QPushButton::clicked, this, [this] { loadProfile(); });
  connect(save, &QPushButton::clicked, this, [this] { saveProfile(); });
  bottom->addWidget(label("プロファイル"));
  bottom->addWidget(profile_);
  bottom->addWidget(load);
  bottom->addWidget(save);
  bottom->addStretch();
  // What OK writes besides the readings, next to it.
  bottom->addWidget(keepHeadings_);
  bottom->addSpacing(8);
  auto [ok, cancel] = okCancelButtons(*this);
  bottom->addWidget(ok);
  bottom->addWidget(cancel);
  setTabOrder(save, keepHeadings_);
  setTabOrder(keepHeadings_, ok);
  top->addLayout(bottom);
}

void CImportDialog::loadFromSession() {
  loading_ = true;
  const ImportSettings& s = session_.settings();
  setListIndex(encoding_, int(s.layout.encoding));
  setListIndex(separator_, int(s.layout.separator));
  setListIndex(decimal_, int(s.layout.decimal));
  headerRow_->setValue(s.layout.headerRow + 1);

  QString raw;
  const auto lines = session_.rawLines(200);
  for (std::size_t i = 0; i < lines.size(); ++i) raw += QStringLiteral("%1: ").arg(i + 1, 3) + qtext(lines[i]) + '\n';
  raw_->setPlainText(raw);

  const auto names = session_.columnNames();
  const auto rows = session_.previewRows(100);
  table_->clear();
  table_->setColumnCount(static_cast<int>(names.size()));
  table_->setRowCount(static_cast<int>(rows.size()));
  QStringList headers, entries{QStringLiteral("（なし）")};
  for (std::size_t c = 0; c < names.size(); ++c) {
    headers << qtext(names[c]);
    entries << QStringLiteral("%1: ").arg(c + 1) + qtext(names[c]).left(40);
  }
  table_->setHorizontalHeaderLabels(headers);
  for (int c = 0; c < table_->columnCount(); ++c)
    if (QTableWidgetItem* header = table_->horizontalHeaderItem(c)) header->setToolTip(header->text());
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size() && c < names.size(); ++c)
      table_->setItem(int(r), int(c), new QTableWidgetItem(qtext(rows[r][c])));
  table_->resizeColumnsToContents();
  for (int c = 0; c < table_->columnCount(); ++c) table_->setColumnWidth(c, std::min(table_->columnWidth(c), 220));

  const Columns& col = s.columns;
  for (auto [combo, index] : {std::pair{dateTimeColumn_, col.dateTime}, {dateColumn_, col.date}, {timeColumn_, col.time},
                              {millisColumn_, col.millis}, {elapsedColumn_, col.elapsed}, {levelColumn_, col.level},
                              {flowColumn_, col.flow}}) {
    combo->clear();
    combo->addItems(entries);
    combo->setCurrentIndex(std::clamp(index + 1, 0, combo->count() - 1));
  }
  setListIndex(elapsedUnit_, int(col.elapsedUnit));
  setListIndex(dateOrder_, col.dateOrderUnknown ? -1 : int(col.dateOrder));
  setListIndex(levelKind_, int(col.levelKind));
  setListIndex(levelUnit_, int(col.levelUnit));
  for (QComboBox* combo : {dateTimeColumn_, dateColumn_, timeColumn_, millisColumn_, elapsedColumn_, levelColumn_,
                           flowColumn_}) {
    combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) + 24);
    combo->setToolTip(combo->currentText());
  }
  setListIndex(flowUnit_, int(col.flowUnit));

  const Reference& r = s.reference;
  bySensor_->setChecked(r.kind == ReferenceKind::SensorDepth);
  byDepthAt_->setChecked(r.kind != ReferenceKind::SensorDepth);
  sensorDepth_->setText(r.kind == ReferenceKind::SensorDepth ? qtext(cformat("%g", r.depth)) : QString());
  referenceDepth_->setText(r.kind == ReferenceKind::DepthAtTime ? qtext(cformat("%g", r.depth)) : QString());
  // A moment as it was typed: a number stays a number (never a clock).
  auto momentShown = [](const std::optional<Moment>& m) {
    if (!m) return QString();
    if (m->elapsed) return qtext(cformat("%g", m->seconds));
    return qtext((m->day ? dateText(*m->day) + " " : std::string()) + clockText(m->seconds, true));
  };
  referenceAt_->setText(r.kind == ReferenceKind::DepthAtTime && r.at >= 0 ? momentShown(r.moment()) : QString());
  const Window& w = session_.window();
  windowFrom_->setText(momentShown(w.from));
  windowTo_->setText(momentShown(w.to));
  setListIndex(schedule_, int(s.schedule.kind));
  interval_->setValue(s.schedule.interval);
  loading_ = false;
}

void CImportDialog::layoutChanged() {
  if (loading_) return;
  const Layout& l = session_.settings().layout;
  if (encoding_->currentIndex() != int(l.encoding)) session_.setEncoding(Encoding(encoding_->currentIndex()));
  if (separator_->currentIndex() != int(l.separator)) session_.setSeparator(Separator(separator_->currentIndex()));
  if (decimal_->currentIndex() != int(l.decimal)) session_.setDecimal(DecimalMark(decimal_->currentIndex()));
  if (headerRow_->value() - 1 != l.headerRow) session_.setHeaderRow(headerRow_->value() - 1);
  loadFromSession();
  readRecord();
}

void CImportDialog::columnsChanged() {
  if (loading_) return;
  Columns& c = session_.settings().columns;
  c.dateTime = dateTimeColumn_->currentIndex() - 1;
  c.date = dateColumn_->currentIndex() - 1;
  c.time = timeColumn_->currentIndex() - 1;
  c.millis = millisColumn_->currentIndex() - 1;
  c.elapsed = elapsedColumn_->currentIndex() - 1;
  c.level = levelColumn_->currentIndex() - 1;
  c.flow = session_.steady() ? flowColumn_->currentIndex() - 1 : -1;
  c.elapsedUnit = TimeUnit(std::max(0, elapsedUnit_->currentIndex()));
  c.levelKind = LevelKind(std::max(0, levelKind_->currentIndex()));
  c.flowUnit = FlowUnit(std::max(0, flowUnit_->currentIndex()));
  readRecord();
}

void CImportDialog::referenceChanged() {
  if (loading_) return;
  Reference& r = session_.settings().reference;
  r = Reference{};
  if (bySensor_->isChecked()) {
    if (const auto depth = parseNumber(utf8(sensorDepth_->text()), DecimalMark::Point))
      r = Reference{ReferenceKind::SensorDepth, *depth, -1};
  } else {
    const auto depth = parseNumber(utf8(referenceDepth_->text()), DecimalMark::Point);
    const auto at = parseMoment(utf8(referenceAt_->text()));
    if (depth && at) r = Reference{ReferenceKind::DepthAtTime, *depth, *at};
  }
  refreshSummary();
}

void CImportDialog::windowChanged() {
  if (loading_) return;
  Window window;
  for (const auto& [edit, bound] : {std::pair{windowFrom_, &window.from}, {windowTo_, &window.to}}) {
    if (edit->text().trimmed().isEmpty()) continue;
    *bound = parseMoment(utf8(edit->text()));
    if (!*bound) {
      messageSink().report("読む範囲は hh:mm:ss か 2026/08/05 09:50:00 で入力してください.");
      return;
    }
  }
  if (window == session_.window()) return;
  session_.setWindow(window);
  readRecord();
}

void CImportDialog::scheduleChanged() {
  if (loading_) return;
  session_.settings().schedule = Schedule{ScheduleKind(std::max(0, schedule_->currentIndex())), interval_->value()};
  interval_->setEnabled(session_.settings().schedule.kind == ScheduleKind::Interval);
  refreshSummary();
}

void CImportDialog::startTyped() {
  if (loading_ || !session_.series()) return;
  if (startTime_->text() == clockOrSeconds(*session_.series(), session_.timeOfDay(session_.start()))) return;
  const auto at = parseMoment(utf8(startTime_->text()));
  std::string error;
  if (!at || !session_.setStartAt(*at, &error))
    messageSink().report(at ? error : "開始時刻は hh:mm:ss で入力してください");
  refreshSummary();
}

void CImportDialog::setStart(std::size_t sample) {
  session_.setStart(sample);
  refreshSummary();
}

bool CImportDialog::readRecord() {
  std::string error;
  QProgressDialog progress(QStringLiteral("測定データを読んでいます..."), QStringLiteral("ｷｬﾝｾﾙ"), 0, 1000, this);
  progress.setObjectName(QStringLiteral("importProgress"));
  progress.setWindowTitle(QStringLiteral("測定データの取り込み"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(1000);
  progress.setAutoReset(false);
  readOk_ = session_.readAll(&error, [&](std::uintmax_t done, std::uintmax_t total) {
    progress.setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
    QCoreApplication::processEvents();
    return !progress.wasCanceled();
  });
  if (!readOk_) summary_->setText(qtext(error));
  refreshSummary();
  return readOk_;
}

void CImportDialog::refreshSummary() {
  interval_->setEnabled(session_.settings().schedule.kind == ScheduleKind::Interval);
  // The flow is read for the steady method only; de is the unsteady formulas'.
  flowColumn_->setEnabled(session_.steady());
  flowUnit_->setEnabled(session_.steady());
  equivalentDiameter_->setEnabled(!target_.steady());
  // The test as OK writes it, once: its ho, what k it gets and what it
  // contradicts. ho follows the record until typed (never rewritten under
  // the typing).
  const std::optional<TestRecord> written = target_.written(session_);
  if (!restLevel_->hasFocus())
    if (const QString shown = qtext(target_.restLevelShown(session_, written)); restLevel_->text() != shown)
      restLevel_->setText(shown);
  const bool overSensor = session_.settings().columns.levelKind == LevelKind::OverSensor;
  for (QWidget* w : {static_cast<QWidget*>(bySensor_), static_cast<QWidget*>(byDepthAt_),
                     static_cast<QWidget*>(sensorDepth_), static_cast<QWidget*>(referenceAt_),
                     static_cast<QWidget*>(referenceDepth_)})
    w->setEnabled(overSensor);
  plot_->update();
  const Columns& columns = session_.settings().columns;
  QString meaning = QStringLiteral("水位の列の意味: ") + qtext(session_.levelMeaning());
  if (!session_.levelReason().empty()) meaning += QStringLiteral("（推定: ") + qtext(session_.levelReason()) + QStringLiteral("）");
  if (!columns.unknownUnit.empty())
    meaning += QStringLiteral("\n単位「") + qtext(columns.unknownUnit) + QStringLiteral("」は分かりません. 単位を選んでください");
  levelMeaning_->setText(meaning);
  clearBarometer_->setEnabled(!session_.barometerPath().empty());
  QString baroText = session_.barometerPath().empty()
                         ? QStringLiteral("なし（絶対圧をセンサーの深さで換算するときに要ります）")
                         : QStringLiteral("気圧: ") + toQString(session_.barometerPath().filename());
  if (const auto drift = session_.pressureDriftKPaPerHour())
    baroText += QStringLiteral("  気圧の変化 %1 kPa/h").arg(qtext(cformat("%+.2f", *drift)));
  barometer_->setText(baroText);
  // The name is shown, the folder is here; without a file, why one is needed.
  barometer_->setToolTip(session_.barometerPath().empty()
                             ? QStringLiteral("絶対圧のロガーの値は大気圧 (約 10.3 m) を含みます: センサーの深さで換算するなら"
                                              "気圧のファイルが必要です (ある時刻の水位で換算すれば要りません).")
                             : toQString(session_.barometerPath()));
  warnings_->clear();
  warnings_->hide();
  const Series* series = session_.series();
  if (!series) {
    summary_->setStyleSheet(QStringLiteral("color: #c00000"));
    referenceMoment_->clear();
    outcome_->clear();
    return;
  }
  loading_ = true;
  startTime_->setText(clockOrSeconds(*series, series->time[session_.start()]));
  if (!series->hasClock) startTime_->setText(qtext(cformat("%g", series->time[session_.start()])));
  loading_ = false;
  const auto rows = session_.scheduled();
  static const char* const kScheduleNames[] = {"", "対数間隔", "一定間隔", "全部"};
  QString text = QStringLiteral("%1 行のデータ（%2 〜 %3）. 開始 %4 から %5 行を取り込みます（%6）.")
                     .arg(series->time.size())
                     .arg(clockOrSeconds(*series, series->time.front()), clockOrSeconds(*series, series->time.back()),
                          clockOrSeconds(*series, series->time[session_.start()]))
                     .arg(rows.size())
                     .arg(QString::fromUtf8(
                         kScheduleNames[int(effectiveSchedule(*series, session_.start(), session_.settings().schedule))]));
  if (!session_.steady() && !levelChanges(series->level))
    text += QStringLiteral("\n水位が変化していません（試験の開始が見つかりません）. グラフのクリックか開始時刻で開始を指定してください.");
  std::string error;
  const bool depthOk = session_.depths(&error).has_value();
  if (!depthOk) text += '\n' + qtext(error);
  std::string momentError;
  const std::string moment = session_.referenceMoment(&momentError);
  referenceMoment_->setText(moment.empty() ? QString() : QStringLiteral("基準: ") + qtext(moment) + QStringLiteral(" の水位"));
  const std::string report = session_.report();
  if (!report.empty()) text += '\n' + qtext(report).trimmed();
  summary_->setStyleSheet(depthOk ? QString() : QStringLiteral("color: #c00000"));
  summary_->setText(text);
  outcome_->setText(written ? qtext(ImportTargetModel::outcome(*written)) : QString());
  QString warned;
  for (const std::string& warning : target_.warnings(session_, written))
    warned += QStringLiteral("警告: ") + qtext(warning) + '\n';
  warnings_->setText(warned.trimmed());
  warnings_->setVisible(!warned.isEmpty());  // no empty line where there is none
}

void CImportDialog::saveProfile() {
  bool ok = false;
  const QString name = QInputDialog::getText(this, QStringLiteral("プロファイルの保存"), QStringLiteral("プロファイル名:"),
                                             QLineEdit::Normal, profile_->currentText(), &ok);
  if (!ok || name.trimmed().isEmpty()) return;
  std::string error;
  if (!logger::saveProfile(installFolder_, utf8(name.trimmed()), session_.settings(), &error)) {
    messageSink().report(error);
    return;
  }
  if (profile_->findText(name.trimmed()) < 0) profile_->addItem(name.trimmed());
  profile_->setCurrentText(name.trimmed());
}

void CImportDialog::loadProfile() {
  if (profile_->currentText().isEmpty()) return;
  std::string error;
  const auto profile = logger::loadProfile(installFolder_, utf8(profile_->currentText()), &error);
  if (!profile) {
    messageSink().report(error);
    return;
  }
  session_.applyProfile(*profile);
  loadFromSession();
  readRecord();
}

void CImportDialog::accept() {
  if (!session_.series()) {
    messageSink().report(utf8(summary_->text()));
    return;
  }
  std::string error;
  if (!session_.depths(&error)) {
    messageSink().report(error);
    return;
  }
  if (const std::string problem = target_.problem(); !problem.empty()) {
    messageSink().report(problem);
    return;
  }
  if (TestRecord record; !session_.apply(record, &error)) {
    messageSink().report(error);
    return;
  }
  // What the data contradict is asked before anything is written.
  const auto warnings = currentWarnings();
  if (!warnings.empty()) {
    std::string text;
    for (const std::string& warning : warnings) text += warning + "\n";
    if (!messageSink().askYesNo(text + "このまま取り込みますか？")) return;
  }
  if (property("tovAskBeforeReplace").toBool() && !messageSink().askYesNo(kReplaceQuestion)) return;
  QDialog::accept();
}

void CImportDialog::setTarget(const TestRecord& record, int digitsPermeability) {
  target_ = ImportTargetModel(record, digitsPermeability);
  target_.setKeepTyped(keepHeadings_->isChecked());
  const bool wasSteady = session_.steady();
  target_.proposeMethod(session_);
  sizesBox_->setVisible(target_.asks());
  loading_ = true;
  setListIndex(formula_, target_.formula());
  sectionLength_->setText(qtext(target_.size(ImportTargetModel::Size::Length)));
  boreDiameter_->setText(qtext(target_.size(ImportTargetModel::Size::Bore)));
  equivalentDiameter_->setText(qtext(target_.size(ImportTargetModel::Size::EquivalentDiameter)));
  restLevel_->clear();
  loading_ = false;
  if (session_.steady() != wasSteady) loadFromSession();
  // With the flow column the record is read again.
  if (readOk_ && !session_.series()) readRecord();
  refreshSummary();
}

void CImportDialog::formulaChosen() {
  if (loading_) return;
  const bool wasSteady = session_.steady();
  target_.setFormula(formula_->currentIndex(), session_);
  if (session_.steady() != wasSteady) loadFromSession();
  // A flow column to read, or one to choose (said where the summary is),
  // reads the record again.
  if (!session_.series() || (session_.steady() && session_.settings().columns.flow < 0)) readRecord();
  else refreshSummary();
}

std::vector<std::string> CImportDialog::currentWarnings() const {
  return target_.warnings(session_, target_.written(session_));
}

bool CImportDialog::writeInto(TestRecord& record) {
  std::string error;
  if (!target_.write(session_, record, &error)) {
    messageSink().report(error);
    return false;
  }
  return true;
}

void CImportDialog::chooseBarometer() {
  DialogFileChooser platform;
  FileChooser& chooser = gChooser ? *gChooser : platform;
  const auto picked = chooser.chooseOpenFile(this, {}, {QStringLiteral("すべてのファイル (*)")});
  if (!picked) return;
  std::string error;
  if (!session_.setBarometer(*picked, &error)) messageSink().report(error);
  refreshSummary();
}

// --- running it -------------------------------------------------------------------

void setImportFileChooser(FileChooser* chooser) { gChooser = chooser; }

namespace {

class LoggerDropFilter : public QObject {
public:
  LoggerDropFilter(QWidget& widget, std::function<void(const std::filesystem::path&)> act)
      : QObject(&widget), act_(std::move(act)) {}

protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::DragEnter) {
      auto* drag = static_cast<QDragEnterEvent*>(event);
      if (localFile(drag->mimeData())) drag->acceptProposedAction();
      return true;
    }
    if (event->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(event);
      if (const auto file = localFile(drop->mimeData())) {
        drop->acceptProposedAction();
        act_(*file);
      }
      return true;
    }
    return false;
  }

private:
  static std::optional<std::filesystem::path> localFile(const QMimeData* data) {
    if (!data) return std::nullopt;
    for (const QUrl& url : data->urls())
      if (url.isLocalFile()) return pathFromUtf8(url.toLocalFile().toStdString());
    return std::nullopt;
  }
  std::function<void(const std::filesystem::path&)> act_;
};

} // namespace

void acceptLoggerDrops(QWidget& widget, std::function<void(const std::filesystem::path&)> act) {
  widget.setAcceptDrops(true);
  widget.installEventFilter(new LoggerDropFilter(widget, std::move(act)));
}

bool isLoggerFile(const std::filesystem::path& file) {
  std::string extension = utf8Path(file.extension());
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension != ".tvd";
}

bool runImportEditor(QWidget* parent, TestRecord& record, const std::filesystem::path& file) {
  std::filesystem::path chosen = file;
  if (chosen.empty()) {
    DialogFileChooser platform;
    FileChooser& chooser = gChooser ? *gChooser : platform;
    const auto picked = chooser.chooseOpenFile(
        parent, {},
        {QStringLiteral("すべてのファイル (*)"),
         QStringLiteral("測定データ (*.csv *.txt *.dat *.tsv *.mon *.lev *.xle *.CSV *.TXT *.DAT *.TSV *.MON *.LEV *.XLE)")});
    if (!picked) return false;
    chosen = *picked;
  }
  ImportSession session(record.fieldInt(F_formulaKind) == 4);
  std::string error;
  if (!session.open(chosen, &error)) {
    messageSink().report(error);
    return false;
  }
  const std::filesystem::path folder = theSettings().installFolderPath();
  if (const auto remembered = recallLayout(folder, session.layoutKey())) session.applyProfile(*remembered);
  CImportDialog dialog(session, folder, parent);
  dialog.setProperty("tovAskBeforeReplace", record.countRows(C_time) > 0);
  dialog.setTarget(record, theSettings().display.digitsPermeability);
  dialog.readRecord();
  if (dialog.exec() != QDialog::Accepted) return false;
  TestRecord imported = record;
  if (!dialog.writeInto(imported)) return false;
  // The readings, the headings the file gave and the analysis they make.
  record = imported;
  rememberLayout(folder, session.layoutKey(), session.settings());
  return true;
}

} // namespace tov
