#pragma once
// The analysis dialogs without their widgets: the engineer picks the
// reading rows the analysis is made from (two points of the log s - t line
// for the unsteady method, one steady point for the steady method), has a
// and k (or log(2L/D) and k) recomputed from them, and sets the scales of
// the two graphs of the printed page. Two small previews plot the readings
// with the chosen rows highlighted and the cursor row in red.
//
// The dialogs show the analysis fields of the test record in their edits;
// the model holds those texts by field number (fields 36 to 63 and 65) and
// works on a copy of the record, whose readings and geometry it never
// changes. storeAnalysis writes the fields back on OK.
//
// Rows are numbered from 1. The widget half forwards every event to an
// operation below and then shows the state it reads back.
#include <array>
#include <map>
#include <optional>
#include <set>
#include <vector>
#include <string>

#include "analysis/Analysis.h"
#include "record/TestRecord.h"
#include "render/Surface.h"

namespace tov {

enum class AnalysisMethod { Unsteady, Steady };

// The two previews: the first graph of the page (log s - t, or Q - t for
// the steady method) and the h - t graph.
enum class PreviewGraph { First, Second };

// The axis end values shown beside a preview.
struct PreviewLabels {
  std::string timeFrom, timeTo, valueFrom, valueTo;
  bool operator==(const PreviewLabels&) const = default;
};

// A preview's axes as numbers (the value axis of the log s - t preview in s,
// not in log s).
struct AxisRange {
  double timeFrom = 0, timeTo = 1, valueFrom = 0, valueTo = 1;
};

class AnalysisModel {
public:
  static constexpr int kRows = kRowCount;
  // The preview circles: radius and pen width in pixels.
  static constexpr int kPointRadius = 3;
  static constexpr int kPointPen = 2;
  // The cursor: a ring around the point, so a chosen point under it stays
  // seen. Points keep this far from the area's edges, so those at the axis
  // ends are drawn whole.
  static constexpr int kCursorRadius = kPointRadius + 3;
  static constexpr int kInset = kPointRadius + kPointPen;
  // The unsteady log s - t preview, when at least kLeastResidualsHeight
  // pixels high, keeps its lowest kResidualStrip pixels for the residuals.
  static constexpr int kResidualStrip = 50;
  static constexpr int kLeastResidualsHeight = 160;

  virtual ~AnalysisModel() = default;
  AnalysisMethod method() const { return method_; }

  // Opening: the dialog's fields, the readings and the geometry from the
  // record; the counts (message 4013 when rows with a t lack what the
  // analysis needs); the point rows; the scales checked without a message.
  // k is formatted with the digits-of-k setting.
  void openAnalysis(const TestRecord& record, int digitsPermeability);

  // The text of an edit, by the record field it shows.
  const std::string& text(int field) const { return working_.field(field); }
  virtual void setText(int field, std::string text);

  // Leading rows with a numeric t, and leading rows with everything the
  // analysis needs; only rows 1 .. completeRows can be chosen.
  int timeRows() const { return timeRows_; }
  int completeRows() const { return completeRows_; }
  // The active point (1 or 2; always 1 for the steady method), the chosen
  // and highlighted rows of point 1 and 2, and the cursor row (0: none).
  int activePoint() const { return active_; }
  int chosenRow(int point) const { return chosen_[index(point)]; }
  int highlightedRow(int point) const { return highlighted_[index(point)]; }
  int cursorRow() const { return cursor_; }

  // "←" (-1) and "→" (+1): the cursor moves one row within 1 ..
  // completeRows, the previews are redrawn, and the active point takes the
  // cursor row (its edits are refilled from the readings).
  void moveCursor(int step);
  // "グラフ描画": the highlighted rows follow the chosen rows, the previews
  // are redrawn without a cursor, then the cursor returns to the active
  // point's row.
  void drawGraph();
  // The axis pairs of both graphs: an unusable pair is reset to its
  // defaults (texts and numbers), the labels follow the texts. Reports
  // 4008 once when something was reset and a message is wanted. False
  // when something was reset.
  virtual bool validateScales(bool showMessage) = 0;
  // Checks the scales (with the message) and takes what the previews show:
  // the readings with the highlighted rows and the cursor.
  bool redrawPreviews() { return redrawPreviews(cursor_); }
  // "計算更新". At the first analysis of a test whose scales are still
  // empty or the defaults, the scales are taken from the data as well.
  virtual void recomputePermeability() = 0;
  // "自動目盛り": the scales of both graphs from the readings; the previews
  // are redrawn.
  void applyAutoScales();
  // The straightness threshold and band of our settings file.
  void setAnalysisSettings(const AnalysisSettings& settings) { settings_ = settings; }
  const AnalysisSettings& analysisSettings() const { return settings_; }
  // "検討事項": the checks of the test with the chosen rows, one text each.
  virtual std::vector<std::string> checkTexts() const = 0;
  // OK: the chosen rows and every field of the dialog into the record.
  // What is still as the dialog opened it is left as the record holds it
  // (point texts refilled from the readings, scales reset for the previews,
  // a radio code "" shown as 0), so OK without a change changes nothing;
  // the points are written together when a row, a or k changed.
  virtual void storeAnalysis(TestRecord& record) const = 0;

  // The focus left a field's edit. A scale range edit makes a redraw due;
  // a grid spacing edit of the steady dialog is checked. The work is done
  // by runPendingChecks, once the focus has settled.
  virtual void fieldLeft(int field);
  bool redrawPending() const { return redrawPending_; }
  // Runs what the edits that were left made due; false when a value was
  // found unusable and replaced (and reported).
  bool runPendingChecks();

  // Draws a preview, as last redrawn, into an area of width x height
  // pixels (nothing before the first redraw). The caller fills the area.
  void drawPreview(Surface& surface, PreviewGraph graph, int width, int height) const;
  const PreviewLabels& previewLabels(PreviewGraph graph) const { return labels_[graphIndex(graph)]; }
  const AxisRange& axisRange(PreviewGraph graph) const { return ranges_[graphIndex(graph)]; }

protected:
  explicit AnalysisModel(AnalysisMethod method) : method_(method) {}

  // What a row needs to be complete.
  virtual bool rowComplete(int row) const = 0;
  // The name in message 4013.
  virtual const char* missingValueName() const = 0;
  // The point rows and the method's own fields, after the counts.
  virtual void openFields() = 0;
  // What opening does beyond showing the record, once the fields as opened
  // are kept (so that OK stores it).
  virtual void afterOpening() {}
  // A point's edits from a reading row.
  virtual void fillPointEdits(int point, int row) = 0;
  // Grid checks of the steady dialog (false: replaced and reported).
  virtual bool checkGridSpacing(int) { return true; }
  virtual bool isScaleRangeField(int field) const = 0;
  virtual bool isGridField(int) const { return false; }
  // What the previews show: taken at each redraw.
  struct Shown {
    bool drawn = false;
    std::array<int, 2> highlighted{};
    int cursor = 0;
    std::array<AxisRange, 2> ranges{};
  };
  // The circles of one preview.
  virtual void drawPoints(Surface& surface, PreviewGraph graph, const Shown& shown, int width,
                          int height) const = 0;

  static std::size_t index(int point) { return point == 2 ? 1 : 0; }
  static std::size_t graphIndex(PreviewGraph graph) { return graph == PreviewGraph::Second ? 1 : 0; }
  bool redrawPreviews(int shownCursor);
  // (t, value) in an area: x from kInset pixels at the time axis start to
  // the width less kInset at its end, y upwards from kInset pixels above the
  // bottom edge at the value axis start to kInset below the top at its end.
  static DevicePoint mapToArea(const AxisRange& range, double t, double value, int width, int height);
  // A time axis' from text as its label shows it (" 0" for "0").
  static std::string timeLabel(const std::string& from);
  // Resets a pair when it fails; true when it was reset.
  bool checkPair(int fromField, int toField, bool fails, const char* fromReset, const char* toReset);
  // The scale texts from the data into the edits.
  virtual void takeScales(const std::map<int, std::string>& texts);
  // Auto scales when the scales are still the defaults.
  void autoScalesAtFirstAnalysis();
  // Writes a field whose text changed since opening.
  void storeIfChanged(TestRecord& record, int field) const;
  // A chosen row, a or k differs from opening.
  bool pointsChanged() const;
  // Writes a radio code when it changed, or when the record holds a code
  // the dialog had to read as another ("7" shown as 0).
  static void storeCode(TestRecord& record, int field, int value, int opened);

  AnalysisMethod method_;
  TestRecord working_;
  int digits_ = 2;
  int timeRows_ = 0;
  int completeRows_ = 0;
  std::array<int, 2> chosen_{};
  std::array<int, 2> highlighted_{};
  int active_ = 1;
  int cursor_ = 0;
  bool redrawPending_ = false;
  // A scale was typed in this dialog (推奨区間 then keeps the scales);
  // "自動目盛り" makes them automatic again.
  bool scalesTyped_ = false;
  bool takingScales_ = false;
  std::set<int> pendingGrids_;
  std::array<AxisRange, 2> ranges_{};
  std::array<PreviewLabels, 2> labels_{};
  Shown shown_;
  AnalysisSettings settings_;
  // The dialog's fields and rows as opened.
  TestRecord opened_;
  std::array<int, 2> openedChosen_{};
};

// The unsteady dialog "解析/目盛り  〔非定常法〕 ".
class UnsteadyAnalysisModel : public AnalysisModel {
public:
  UnsteadyAnalysisModel() : AnalysisModel(AnalysisMethod::Unsteady) {}

  // The radio groups and the check box, by their fields: the label set of
  // the log s axis (50: 0 "1", 1 "1,2,5", 2 "1-9"), its grid 2 set (52: 0
  // "1" .. 3 "1-8", 4 "無し") and grid 2 only at grid 1 values 1 to 5 (65).
  int choice(int field) const;
  void setChoice(int field, int value);

  // Radio "1" / "2": the active point; the cursor goes to its row, the
  // other point's highlight follows its chosen row, the previews are
  // redrawn.
  void selectPoint(int point);

  bool validateScales(bool showMessage) override;
  void recomputePermeability() override;
  void storeAnalysis(TestRecord& record) const override;
  std::vector<std::string> checkTexts() const override;

  // The line fit over the chosen rows, the band, the suggestion, the
  // spread of k and the checks, as the analysis module gives them for the
  // dialog's state (the chosen rows as points 1 and 2).
  AnalysisReport analysis() const;
  // "近似直線 a .. k .. R² .. (n ..) 2点との差 .. %".
  std::string fitText() const;
  // The band and whether the chosen segment lies in it.
  std::string bandText() const;
  // "推奨区間": the analysis module's applySuggestion on the dialog's
  // record (points 1 and 2 on the suggested segment's fitted line, a and
  // k; without a segment a and k are emptied), the scales set as 自動目盛り
  // sets them where the points would lie outside, unless a scale was typed
  // here; the reason is kept for the dialog.
  void applySuggestion();
  const std::string& suggestionText() const { return suggestionText_; }
  // "区間の取り方による k の幅 .." and the k of the rows inside the band.
  std::string spreadText() const;
  // "照合: 標準曲線 CBP k .. (n ..)", a line per type curve.
  std::string typeCurvesText() const;

  // The ho the points' s are taken with: the written one, or the record's
  // own where the analysis finds the written one off. The dialog opens with
  // the ho the points are of (the record's own for new points); 推奨区間
  // takes the record's own. Switching takes both points' s again (the
  // line's where they were on the fitted line) with a and k.
  bool recordRestAvailable() const { return !ownRest_.empty(); }
  bool recordRest() const { return source_ == RestSource::Record; }
  void setRecordRest(bool on);
  // "s の ho: .." (empty where the record gives no ho of its own), and what
  // opening did to points of an ho the test no longer has.
  std::string restText() const;

  // A typed point t takes the nearest complete row (its t and s readings);
  // a typed s, or a t that is no number, is refused: the row's readings
  // come back. A t on the other point's row is refused (message 63002); one
  // past the other point's swaps the points (63000). Done when the focus
  // leaves the edit.
  void setText(int field, std::string text) override;
  void fieldLeft(int field) override;

protected:
  bool rowComplete(int row) const override;
  const char* missingValueName() const override { return "h'"; }
  void openFields() override;
  void afterOpening() override;
  void fillPointEdits(int point, int row) override;
  bool isScaleRangeField(int field) const override;
  void drawPoints(Surface& surface, PreviewGraph graph, const Shown& shown, int width, int height) const override;

private:
  // Point 1 after point 2 in time: they change places (message 63000).
  bool orderPoints();
  // The s of a complete row of the ho in use.
  double shownHead(int row) const;
  // a and k from the points' edits, without a word; both emptied where
  // they give none.
  void gradientFromPoints();
  int labelSet_ = 0;
  int grid2Set_ = 0;
  int grid2WhenSmall_ = 0;
  std::array<int, 3> openedChoices_{};
  std::string suggestionText_;
  int typedPoint_ = 0;  // the point whose t or s was typed (0: none)
  // The s of the record's own rest level (empty where the written ho is
  // not off), its level as text, the ho in use.
  std::vector<Sample> ownRest_;
  std::string ownLevel_;
  RestSource source_ = RestSource::Written;
  // Points of an earlier ho, taken again at opening: that ho and their k.
  std::optional<double> formerLevel_;
  std::string formerK_;
  // The last analysis and the record and settings it was made of: one
  // refresh of the dialog asks for several of its texts.
  mutable std::optional<TestRecord> analysedRecord_;
  mutable AnalysisSettings analysedSettings_;
  mutable AnalysisReport analysed_;
};

// The steady dialog "解析/目盛り  〔定常法〕".
//
// The Q axis values are typed as a mantissa with an exponent picked from
// "x1" (none) and "E-1" .. "E-8". The mantissas are the texts of fields 48
// (from), 49 (to) and 50 (step); the Q grid spacings (51, 52) are mantissas
// in the exponent of the step.
class SteadyAnalysisModel : public AnalysisModel {
public:
  SteadyAnalysisModel() : AnalysisModel(AnalysisMethod::Steady) {}

  static const std::array<const char*, 9>& exponentChoices();
  // The picker of a Q field (48, 49 or 50); fields 51 and 52 show the
  // step's.
  const std::string& exponent(int field) const;
  void setExponent(int field, std::string text);
  // The time axis of the first graph also serves the h - t graph: setting
  // 43, 44 or 45 sets 53, 54 or 55 as well (and OK stores them so, the
  // page's h - t graph being drawn from 53 to 55).
  // A typed point t takes the nearest complete row (its t, h, Q and s); a
  // typed h, Q or s, or a t that is no number, is refused: the row's
  // readings come back. Done when the focus leaves the edit, and before
  // 計算更新, so that k is always of the row whose t is shown.
  void setText(int field, std::string text) override;
  void fieldLeft(int field) override;
  // Home, End, a click on a preview: the cursor, and the point with it, to
  // a row (within 1 .. completeRows); the previews are redrawn.
  void moveCursorTo(int row);
  // The complete row whose circle is nearest (x, y) in a preview of width
  // x height pixels as last redrawn; 0 before the first redraw.
  int rowAt(PreviewGraph graph, int x, int y, int width, int height) const;
  // "推奨点": the point to the row suggestSteadyPoint (analysis module)
  // gives, and k from it; without one the point stays and the text says
  // why.
  void applySuggestion();
  const std::string& suggestionText() const { return suggestionText_; }

  bool validateScales(bool showMessage) override;
  void recomputePermeability() override;
  void storeAnalysis(TestRecord& record) const override;
  std::vector<std::string> checkTexts() const override;
  // A time grid (46, 47) or Q grid (51, 52) giving more than 200 intervals
  // over its axis is replaced by the axis end value (message 32791).
  bool checkGridSpacing(int field) override;

  // A Q text split for its edit and picker: the mantissa and "E-n" when the
  // exponent is one the picker offers, else the whole text and "x1".
  struct SplitFlow {
    std::string mantissa;
    std::string exponent;
  };
  static SplitFlow splitAxisFlow(const std::string& text);
  // A Q grid spacing as a mantissa in the step's exponent.
  static std::string gridMantissa(const std::string& text, const std::string& stepExponent);

protected:
  bool rowComplete(int row) const override;
  const char* missingValueName() const override { return "h'またはQ"; }
  void takeScales(const std::map<int, std::string>& texts) override;
  void openFields() override;
  void fillPointEdits(int point, int row) override;
  bool isScaleRangeField(int field) const override;
  bool isGridField(int field) const override;
  void drawPoints(Surface& surface, PreviewGraph graph, const Shown& shown, int width, int height) const override;

private:
  // A mantissa with its exponent: the text the record holds.
  static std::string joined(const std::string& mantissa, const std::string& exponent);
  // The value of a Q field with its exponent applied.
  double flowValue(int field) const;
  // The value of a Q field in units of the step's exponent.
  double inStepUnits(int field) const;
  // The typed point edit waiting for its row (0: none).
  void settleTypedPoint();
  std::array<std::string, 3> exponents_{"x1", "x1", "x1"};
  int typedField_ = 0;
  // The time axis was typed or taken from the data here: OK stores its
  // copies for the h - t graph too.
  bool timeAxisSet_ = false;
  std::string suggestionText_;
  // The row the k in the dialog was computed from (0: k not computed
  // here). OK then writes its Q, h and s as Qo, hs and So, so that the page
  // prints the Qo and So its k comes from.
  int permeabilityRow_ = 0;
  // The Q texts as opened: a value the dialog leaves unchanged is stored in
  // its own spelling.
  std::array<std::string, 5> openedFlowTexts_{};
};

} // namespace tov
