// Rendering a test's pages to PNG images and to one PDF, the summary of a
// test, and the command line that asks for them.
#include "app/ExportJob.h"

#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cmath>
#include <cstdio>
#include <memory>
#include <system_error>

#include <sys/stat.h>

#include "analysis/Analysis.h"
#include "app/InterruptCleanup.h"
#include "app/QtSurface.h"
#include "app/TovApp.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"
#include "render/Page.h"
#include "render/Primitives.h"

namespace tov {

namespace {

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// A whole positive number, or nothing.
std::optional<int> parsePositiveInt(std::string_view text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  int value = toInt(text);
  if (value <= 0) return std::nullopt;
  return value;
}

// A plain decimal millimetre value such as 210 or 215.9.
std::optional<double> parseMillimetres(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int dots = 0;
  for (char c : text) {
    if (c == '.') ++dots;
    else if (c < '0' || c > '9') return std::nullopt;
  }
  if (dots > 1 || text == ".") return std::nullopt;
  double value = toDouble(text);
  if (value < 10.0 || value > 2000.0) return std::nullopt;
  return value;
}

QString qstr(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }
QString qpath(const std::filesystem::path& p) { return qstr(p.string()); }

// 0666 less the process's umask.
mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

void reportWriteFailure(const std::filesystem::path& path) {
  reportMessage(IDS_WRITE_FAILED_DETAIL, path.string());
}

void renderOn(QPainter& painter, const PageInputs& inputs, int page) {
  QtSurface surface(painter);
  renderPage(surface, inputs, page);
}

const char* formulaName(int kind) {
  switch (kind) {
    case 0: return "非定常法 近似式 (低透水層なし)";
    case 1: return "非定常法 基本式 (低透水層なし)";
    case 2: return "非定常法 近似式 (低透水層あり)";
    case 3: return "非定常法 基本式 (低透水層あり)";
    case 4: return "定常法";
    default: return "不明";
  }
}

std::string valueOrDash(const std::string& text) { return text.empty() ? std::string("-") : text; }

} // namespace

PaperSize a4Paper() { return {"A4", 210.0, 297.0}; }

PaperSize paperOf(const QPageLayout& layout) {
  const QSizeF size = layout.pageSize().size(QPageSize::Millimeter);
  const QString name = layout.pageSize().name();
  return {name.toStdString(), std::min(size.width(), size.height()), std::max(size.width(), size.height())};
}

bool paintPageRange(QPagedPaintDevice& device, const PageInputs& inputs, int first, int last,
                    const std::function<void(int page)>& beforePage) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  bool ok = true;
  for (int page = first; page <= last; ++page) {
    if (page > first && !device.newPage()) {
      ok = false;
      break;
    }
    if (beforePage) beforePage(page);
    renderOn(painter, inputs, page);
  }
  return painter.end() && ok;
}

std::optional<PaperSize> paperSizeByName(std::string_view name) {
  const std::string key = lowerAscii(name);
  if (key == "a4") return a4Paper();
  if (key == "a3") return PaperSize{"A3", 297.0, 420.0};
  if (key == "b4") return PaperSize{"B4", 257.0, 364.0};
  if (key == "b5") return PaperSize{"B5", 182.0, 257.0};
  if (key == "letter") return PaperSize{"Letter", 215.9, 279.4};
  const auto x = key.find('x');
  if (x == std::string::npos) return std::nullopt;
  const auto w = parseMillimetres(std::string_view(key).substr(0, x));
  const auto h = parseMillimetres(std::string_view(key).substr(x + 1));
  if (!w || !h) return std::nullopt;
  return PaperSize{std::string(name), *w, *h};
}

std::optional<CommandLineJob> parseCommandLine(const std::vector<std::string>& args, std::string* error) {
  auto fail = [&](std::string text) -> std::optional<CommandLineJob> {
    if (error) *error = std::move(text);
    return std::nullopt;
  };
  CommandLineJob job;
  bool haveKind = false;
  bool dpiGiven = false;
  std::vector<std::string> operands;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    auto setKind = [&](JobKind kind) {
      if (haveKind && job.kind != kind) return false;
      job.kind = kind;
      haveKind = true;
      return true;
    };
    if (a == "--help" || a == "-h") {
      if (!setKind(JobKind::Help)) return fail("--help は他の処理と同時に指定できません");
    } else if (a == "--version") {
      if (!setKind(JobKind::Version)) return fail("--version は他の処理と同時に指定できません");
    } else if (a == "--export-pdf" || a == "--export-png") {
      const JobKind kind = a == "--export-pdf" ? JobKind::ExportPdf : JobKind::ExportPng;
      if (haveKind) return fail("処理は一つだけ指定してください: " + a);
      setKind(kind);
      auto out = value();
      if (!out || out->empty()) return fail(a + " には出力先を指定してください");
      job.output = *out;
    } else if (a == "--summary") {
      if (haveKind) return fail("処理は一つだけ指定してください: " + a);
      setKind(JobKind::Summary);
    } else if (a == "--paper") {
      auto v = value();
      if (!v) return fail("--paper には用紙を指定してください (A4, A3, B4, B5, Letter, 幅x高さ)");
      auto paper = paperSizeByName(*v);
      if (!paper) return fail("用紙の指定が異常です: " + *v);
      job.paper = *paper;
    } else if (a == "--dpi") {
      auto v = value();
      auto dpi = v ? parsePositiveInt(*v) : std::nullopt;
      if (!dpi || *dpi < 10 || *dpi > 2400) return fail("--dpi には 10 から 2400 の整数を指定してください");
      job.dpi = *dpi;
      dpiGiven = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return fail("不明なオプションです: " + a);
    } else {
      operands.push_back(a);
    }
  }
  if (!haveKind) return fail("処理を指定してください (--export-pdf, --export-png, --summary)");
  if (job.kind == JobKind::Help || job.kind == JobKind::Version) return job;
  if (operands.empty()) return fail("試験データのファイル(.tvd)を指定してください");
  if (operands.size() > 1) return fail("試験データのファイルは一つだけ指定してください");
  if (dpiGiven && job.kind != JobKind::ExportPng) return fail("--dpi は --export-png にだけ指定できます");
  job.input = operands.front();
  return job;
}

const std::string& commandLineHelp() {
  static const std::string text =
      "使い方: tov [試験データ.tvd]                   画面で開く\n"
      "        tov --export-pdf OUT.pdf TEST.tvd [--paper 用紙]\n"
      "        tov --export-png OUTPREFIX TEST.tvd [--dpi N] [--paper 用紙]\n"
      "        tov --summary TEST.tvd\n"
      "\n"
      "  --export-pdf OUT.pdf   全ページを一つの PDF に書き出す (600 dpi)\n"
      "  --export-png PREFIX    各ページを PREFIX-1.png, PREFIX-2.png, ... に書き出す\n"
      "  --dpi N                PNG の解像度 (既定 150)\n"
      "  --paper 用紙           A4 (既定), A3, B4, B5, Letter, または 幅x高さ (mm, 例 210x297)\n"
      "  --summary              試験の概要 (調査名, 計算式, L, D, de, データ数, a, k, 近似直線, 推奨区間, k の幅, 検討事項, ページ数) を表示\n"
      "  --help                 この説明を表示\n"
      "  --version              版を表示\n"
      "\n"
      "設定とフォントはインストールフォルダ (TOV_ROOT の下) から読みます。画面は使いません。\n";
  return text;
}

const std::string& versionText() {
  static const std::string text = kVersionLine;
  return text;
}

QSize paperPixelSize(const PaperSize& paper, int dpi) {
  return {static_cast<int>(std::lround(paper.widthMm / 25.4 * dpi)),
          static_cast<int>(std::lround(paper.heightMm / 25.4 * dpi))};
}

QImage renderPageImage(const TestRecord& record, const Settings& settings, int page, const PaperSize& paper,
                       int dpi) {
  QImage image(paperPixelSize(paper, dpi), QImage::Format_RGB32);
  const int dotsPerMetre = static_cast<int>(std::lround(dpi / 0.0254));
  image.setDotsPerMeterX(dotsPerMetre);
  image.setDotsPerMeterY(dotsPerMetre);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  renderOn(painter, pageInputsFrom(record, settings, paper.wholeWidthMm()), page);
  painter.end();
  return image;
}

bool writePdf(const std::filesystem::path& output, const TestRecord& record, const Settings& settings,
              const PaperSize& paper, int dpi) {
  QSaveFile file(qpath(output));
  file.setDirectWriteFallback(false);
  if (!file.open(QIODevice::WriteOnly)) {
    reportWriteFailure(output);
    return false;
  }
  // The save file names its temporary itself: an interrupt removes the file
  // open on its descriptor.
  InterruptCleanup cleanup;
  cleanup.addOpenFile(file.handle());
  bool ok = true;
  {
    QPdfWriter writer(&file);
    writer.setResolution(dpi);
    writer.setCreator(qstr(versionText()));
    // The title as the page draws it: a field of any length gives a short one.
    writer.setTitle(qstr(std::string(drawnText(record.graphTitle()))));
    writer.setPageSize(QPageSize(QSizeF(paper.widthMm, paper.heightMm), QPageSize::Millimeter, qstr(paper.name),
                                 QPageSize::ExactMatch));
    writer.setPageOrientation(QPageLayout::Portrait);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    const PageInputs inputs = pageInputsFrom(record, settings, paper.wholeWidthMm());
    ok = paintPageRange(writer, inputs, 1, pageCount(record));
  }
  if (ok && file.error() != QFileDevice::NoError) ok = false;
  if (!ok) {
    file.cancelWriting();
    reportWriteFailure(output);
    return false;
  }
  if (!file.commit()) {
    reportWriteFailure(output);
    return false;
  }
  return true;
}

std::vector<std::filesystem::path> pngPagePaths(const std::string& prefix, int pages) {
  std::vector<std::filesystem::path> paths;
  for (int page = 1; page <= pages; ++page) paths.emplace_back(prefix + cformat("-%d.png", page));
  return paths;
}

bool writePngPages(const std::string& prefix, const TestRecord& record, const Settings& settings,
                   const PaperSize& paper, int dpi) {
  const auto paths = pngPagePaths(prefix, pageCount(record));
  InterruptCleanup cleanup;  // an interrupt removes the temporaries as well
  std::vector<std::unique_ptr<QTemporaryFile>> temporaries;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    auto temp = std::make_unique<QTemporaryFile>(qpath(paths[i]) + QStringLiteral(".XXXXXX"));
    if (!temp->open()) {
      reportWriteFailure(paths[i]);
      return false;  // the temporaries written so far go with their objects
    }
    cleanup.add(QFile::encodeName(temp->fileName()).toStdString());
    const QImage image = renderPageImage(record, settings, static_cast<int>(i) + 1, paper, dpi);
    if (!image.save(temp.get(), "PNG") || !temp->flush()) {
      reportWriteFailure(paths[i]);
      return false;
    }
    temp->close();
    // A temporary file is private to its owner; the page gets the mode a
    // newly created file gets, as the PDF does.
    ::chmod(QFile::encodeName(temp->fileName()).constData(), newFileMode());
    temporaries.push_back(std::move(temp));
  }
  for (std::size_t i = 0; i < paths.size(); ++i) {
    std::error_code ec;
    const std::filesystem::path from = temporaries[i]->fileName().toStdString();
    std::filesystem::rename(from, paths[i], ec);
    if (ec) {
      // Pages renamed already stay complete; the rest are removed.
      reportWriteFailure(paths[i]);
      return false;
    }
    temporaries[i]->setAutoRemove(false);
    cleanup.forget(from.string());
  }
  return true;
}

std::string summaryText(const TestRecord& record, const Settings& settings) {
  const int stored = record.fieldInt(F_formulaKind);
  const int kind = stored > 4 || stored < 0 ? 0 : stored;
  const int digits = settings.display.digitsPermeability;
  std::string out;
  auto line = [&out](const std::string& label, const std::string& value) { out += label + ": " + value + "\n"; };
  line("調査名", valueOrDash(record.surveyName()));
  line("試験方法", valueOrDash(record.testMethod()));
  line("計算式", cformat("%d %s", kind, formulaName(kind)));
  line("試験区間長さ L", valueOrDash(record.sectionLength()) + " m");
  line("試験区間孔径 D", valueOrDash(record.boreDiameter()) + " m");
  line("等価内径 de", valueOrDash(record.equivalentDiameter()) + " m");
  line("測定データ数", cformat("%d", record.countRows(C_time)));
  if (kind == Steady) {
    line("log(2L/D)", valueOrDash(record.gradientText()));
    line("定常時の流量 Qo", valueOrDash(record.steadyFlow()) + " m3/s");
    line("定常時の水位差 So", valueOrDash(record.steadyHeadDifference()) + " m");
  } else {
    line("勾配 a", valueOrDash(record.gradientText()) + " 1/s");
  }
  line("透水係数 k (記録)", valueOrDash(record.permeabilityText()) + " m/s");

  // k again from the stored gradient, flow and geometry, as confirming the
  // headings computes it.
  const auto k = permeabilityFromHeadings(record);
  line("透水係数 k (再計算)", k ? formatPermeability(*k, digits) + " m/s" : "(計算できません)");
  // How far k can be trusted: the fit of the chosen segment, the suggested
  // segment, the spread of k and the checks.
  const AnalysisReport report = analyseRecord(record, theAnalysisSettings());
  if (!report.steady) {
    if (report.segment && report.segment->usable)
      line("近似直線", cformat("a %g, ", report.segment->a) + fitCaption(*report.segment) +
                           (report.fittedK ? ", k " + formatPermeability(*report.fittedK, digits) + " m/s" : ""));
    line("推奨区間", report.suggestion.reason);
    line("k の幅", report.spread.text().substr(std::string("k の幅 ").size()));
  }
  if (report.checks.empty()) line("検討事項", "なし");
  for (const Check& check : report.checks) line("検討事項", check.text);
  line("ページ数", cformat("%d", pageCount(record)));
  return out;
}

int runJob(const CommandLineJob& job) {
  switch (job.kind) {
    case JobKind::Help:
      std::fputs(commandLineHelp().c_str(), stdout);
      return 0;
    case JobKind::Version:
      std::fputs((versionText() + "\n").c_str(), stdout);
      return 0;
    default:
      break;
  }
  TestRecord& record = theRecord();
  if (loadTestFile(job.input, record) != LoadStatus::Ok) return 1;
  Settings& settings = theSettings();
  settings.loadSettings(false);
  repairScalesForDrawing(record);
  switch (job.kind) {
    case JobKind::Summary: {
      const std::string text = summaryText(record, settings);
      std::fputs(text.c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    case JobKind::ExportPdf:
      return writePdf(job.output, record, settings, job.paper) ? 0 : 1;
    case JobKind::ExportPng:
      return writePngPages(job.output, record, settings, job.paper, job.dpi) ? 0 : 1;
    default:
      return 2;
  }
}

} // namespace tov
