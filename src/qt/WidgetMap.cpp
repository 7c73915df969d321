#include "qt/WidgetMap.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QSaveFile>
#include <QScreen>
#include <QSet>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

#include <map>

namespace tov {

namespace {

// A paint engine that keeps the texts drawn with it, at their baselines in
// the device's coordinates, and draws nothing.
class TextTapEngine final : public QPaintEngine {
public:
  TextTapEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  void updateState(const QPaintEngineState& state) override {
    if (state.state() & QPaintEngine::DirtyTransform) transform_ = state.transform();
  }
  void drawTextItem(const QPointF& at, const QTextItem& item) override {
    const QPointF p = transform_.map(at);
    texts.append(QJsonObject{{"text", item.text()}, {"x", qRound(p.x())}, {"y", qRound(p.y())}});
  }
  void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
  void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
  void drawPath(const QPainterPath&) override {}
  void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
  Type type() const override { return QPaintEngine::User; }

  QJsonArray texts;

private:
  QTransform transform_;
};

// A device the size and resolution of a widget, painted with the engine above.
class TextTapDevice final : public QPaintDevice {
public:
  explicit TextTapDevice(const QWidget& widget) : widget_(widget) {}
  QPaintEngine* paintEngine() const override { return &engine_; }
  QJsonArray texts() const { return engine_.texts; }

protected:
  int metric(PaintDeviceMetric metric) const override {
    switch (metric) {
    case PdmWidth: return widget_.width();
    case PdmHeight: return widget_.height();
    case PdmWidthMM: return widget_.widthMM();
    case PdmHeightMM: return widget_.heightMM();
    case PdmNumColors: return widget_.colorCount();
    case PdmDepth: return widget_.depth();
    case PdmDpiX: return widget_.logicalDpiX();
    case PdmDpiY: return widget_.logicalDpiY();
    case PdmPhysicalDpiX: return widget_.physicalDpiX();
    case PdmPhysicalDpiY: return widget_.physicalDpiY();
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
    }
    return 0;
  }

private:
  const QWidget& widget_;
  mutable TextTapEngine engine_;
};

QJsonObject rectObject(const QRect& r) {
  return QJsonObject{{"x", r.x()}, {"y", r.y()}, {"w", r.width()}, {"h", r.height()}};
}

// A plot of a dialog (a widget of its own painting, without children) or a
// label that wraps: the texts it paints are written with it.
bool paintsTexts(const QWidget& w) {
  if (auto* label = qobject_cast<const QLabel*>(&w)) return label->wordWrap();
  const QByteArray kind = w.metaObject()->className();
  if (kind != "QWidget" && kind.startsWith('Q')) return false;
  if (!qobject_cast<QDialog*>(w.window())) return false;  // the page is checked from its exports
  for (const QObject* child : w.children())
    if (child->isWidgetType()) return false;
  return true;
}

class WidgetMap final : public QObject {
public:
  WidgetMap(QString path, QObject* parent) : QObject(parent), path_(std::move(path)) {
    timer_.setSingleShot(true);
    timer_.setInterval(40);
    connect(&timer_, &QTimer::timeout, this, [this] { write(); });
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (rendering_) return false;
    switch (event->type()) {
    case QEvent::Paint:
      dirty_.insert(watched);
      [[fallthrough]];
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::LayoutRequest:
    case QEvent::FocusIn:
    case QEvent::WindowActivate:
    case QEvent::EnabledChange:
    case QEvent::WindowTitleChange:
    case QEvent::ModifiedChange:
      if (!timer_.isActive()) timer_.start();
      break;
    default: break;
    }
    return false;
  }

private:
  void write() {
    QByteArray body;
    std::map<const QObject*, QJsonArray> drawn;
    for (QWidget* top : QApplication::topLevelWidgets())
      if (top->isVisible()) describeTree(*top, body, drawn);
    drawn_ = std::move(drawn);
    dirty_.clear();
    if (body == written_) return;
    written_ = body;
    auto name = [](const QWidget* w) { return w ? w->objectName() : QString(); };
    const QWidget* focus = QApplication::focusWidget();
    QJsonObject head{{"seq", ++seq_},
                     {"active", name(QApplication::activeWindow())},
                     {"modal", name(QApplication::activeModalWidget())},
                     {"focus", name(focus)},
                     {"focusWindow", focus ? name(focus->window()) : QString()}};
    if (const QScreen* screen = QGuiApplication::primaryScreen()) head["screen"] = rectObject(screen->geometry());
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(QJsonDocument(head).toJson(QJsonDocument::Compact) + '\n' + body);
    file.commit();
  }

  void describeTree(QWidget& w, QByteArray& out, std::map<const QObject*, QJsonArray>& drawn) {
    if (!w.objectName().isEmpty() || w.isWindow() || qobject_cast<QAbstractButton*>(&w))
      out += QJsonDocument(describe(w, drawn)).toJson(QJsonDocument::Compact) + '\n';
    if (auto* bar = qobject_cast<QMenuBar*>(&w)) describeActions(w, bar->actions(), out);
    if (auto* menu = qobject_cast<QMenu*>(&w)) describeActions(w, menu->actions(), out);
    for (QObject* child : w.children())
      if (auto* widget = qobject_cast<QWidget*>(child); widget && widget->isVisible() && !widget->isWindow())
        describeTree(*widget, out, drawn);
  }

  QJsonObject describe(QWidget& w, std::map<const QObject*, QJsonArray>& drawn) {
    QJsonObject o = rectObject(QRect(w.mapToGlobal(QPoint(0, 0)), w.size()));
    o["window"] = w.window()->objectName();
    o["name"] = w.objectName();
    o["class"] = QString::fromLatin1(w.metaObject()->className());
    if (!w.isEnabled()) o["enabled"] = false;
    if (w.hasFocus()) o["focus"] = true;
    if (w.isWindow()) {
    // As the title bar shows it: the placeholder a mark of the changes, or nothing.
    QString title = w.windowTitle();
    o["title"] = title.replace(QStringLiteral("[*]"), w.isWindowModified() ? QStringLiteral("*") : QString());
  }
    if (auto* edit = qobject_cast<QLineEdit*>(&w)) {
      o["text"] = edit->text();
      if (edit->isReadOnly()) o["readOnly"] = true;
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(&w)) {
      o["text"] = spin->text();
    } else if (auto* combo = qobject_cast<QComboBox*>(&w)) {
      o["text"] = combo->currentText();
      o["current"] = combo->currentIndex();
      QJsonArray items;
      for (int i = 0; i < combo->count() && i < 100; ++i) items.append(combo->itemText(i));
      o["items"] = items;
    } else if (auto* button = qobject_cast<QAbstractButton*>(&w)) {
      o["text"] = button->text();
      if (button->isCheckable()) o["checked"] = button->isChecked();
    } else if (auto* label = qobject_cast<QLabel*>(&w)) {
      o["text"] = label->text();
      const QRect shown = w.style()->itemTextRect(label->fontMetrics(), label->contentsRect(), label->alignment(),
                                                  label->isEnabled(), label->text());
      o["textRect"] = rectObject(shown.translated(w.mapToGlobal(QPoint(0, 0))));
    } else if (auto* list = qobject_cast<QListWidget*>(&w)) {
      o["count"] = list->count();
      if (QListWidgetItem* current = list->currentItem()) o["current"] = current->text();
      if (QListWidgetItem* top = list->itemAt(QPoint(2, 2))) o["top"] = top->text();
      if (list->count() <= 100) {
        QJsonArray items;
        for (int i = 0; i < list->count(); ++i) items.append(list->item(i)->text());
        o["items"] = items;
      }
    } else if (auto* table = qobject_cast<QTableView*>(&w); table && table->model()) {
      // The rows that hold anything, each with its number (from 1).
      const QAbstractItemModel& model = *table->model();
      QJsonArray rows;
      for (int r = 0; r < model.rowCount() && r < 1000; ++r) {
        QJsonArray cells;
        bool any = false;
        for (int c = 0; c < model.columnCount(); ++c) {
          const QString text = model.index(r, c).data().toString();
          any = any || !text.isEmpty();
          cells.append(text);
        }
        if (any) rows.append(QJsonArray{r + 1, cells});
      }
      o["rows"] = rows;
    } else if (auto* tabs = qobject_cast<QTabWidget*>(&w)) {
      o["text"] = tabs->tabText(tabs->currentIndex());
    } else if (auto* group = qobject_cast<QGroupBox*>(&w)) {
      o["text"] = group->title();
      if (group->isCheckable()) o["checked"] = group->isChecked();
    }
    if (paintsTexts(w)) {
      const auto kept = drawn_.find(&w);
      if (kept != drawn_.end() && !dirty_.contains(&w)) {
        drawn[&w] = kept->second;
      } else {
        TextTapDevice device(w);
        rendering_ = true;
        w.render(&device, QPoint(), QRegion(), QWidget::RenderFlags());
        rendering_ = false;
        drawn[&w] = device.texts();
      }
      o["drawn"] = drawn[&w];
    }
    return o;
  }

  static void describeActions(QWidget& owner, const QList<QAction*>& actions, QByteArray& out) {
    auto* bar = qobject_cast<QMenuBar*>(&owner);
    auto* menu = qobject_cast<QMenu*>(&owner);
    for (QAction* action : actions) {
      if (!action->isVisible() || action->isSeparator()) continue;
      const QRect r = bar ? bar->actionGeometry(action) : menu->actionGeometry(action);
      if (r.isEmpty()) continue;
      QJsonObject o = rectObject(QRect(owner.mapToGlobal(r.topLeft()), r.size()));
      o["window"] = owner.window()->objectName();
      o["name"] = action->menu() ? action->menu()->objectName() : action->objectName();
      o["class"] = QStringLiteral("QAction");
      o["text"] = action->text();
      if (!action->isEnabled()) o["enabled"] = false;
      if (action->isCheckable()) o["checked"] = action->isChecked();
      out += QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    }
  }

  QString path_;
  QTimer timer_;
  QByteArray written_;
  qint64 seq_ = 0;
  bool rendering_ = false;
  // Widgets painted since the last write (their texts are taken again), and
  // the texts each painted then.
  QSet<const QObject*> dirty_;
  std::map<const QObject*, QJsonArray> drawn_;
};

} // namespace

void installWidgetMapIfAsked(QApplication& application) {
  const QString path = qEnvironmentVariable("TOV_WIDGET_MAP");
  if (path.isEmpty()) return;
  application.installEventFilter(new WidgetMap(path, &application));
}

} // namespace tov
