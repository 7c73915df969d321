// Printing from the view: every page one per sheet, and the graph page
// shown again afterwards.
#include <gtest/gtest.h>

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "app/FileChooser.h"
#include "files/Settings.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

class NoChooser : public FileChooser {
public:
  std::optional<std::filesystem::path> chooseOpenFile(QWidget*, const std::filesystem::path&, const QStringList&) override {
    return std::nullopt;
  }
  std::optional<std::filesystem::path> chooseSaveFile(QWidget*, const std::filesystem::path&, const QStringList&) override {
    return std::nullopt;
  }
};

int pdfPages(const std::filesystem::path& pdf) {
  QProcess process;
  process.start(QStringLiteral("pdfinfo"), {QString::fromStdString(pdf.string())});
  if (!process.waitForFinished(30000)) return -1;
  const QString out = QString::fromUtf8(process.readAllStandardOutput());
  const auto match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(out);
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

TEST(ViewPrinting, PrintsEveryPageAndShowsTheGraphPageAfterwards) {
  testing::TempDir root;
  testing::ScopedEnv env("TOV_ROOT", root.path().string());
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  theSettings().loadSettings(true);
  TestRecord record;
  record.set_pipeTopHeight("0.5");
  record.set_equilibriumLevel("-2.5");
  for (int row = 1; row <= 85; ++row) {
    record.setCell(row, C_time, cformat("%d", row * 10));
    record.setCell(row, C_pipeLevel, cformat("%.2f", 3.0 - row * 0.01));
  }
  record.deriveAllRows();
  NoChooser chooser;
  CTovDoc doc(record, chooser, nullptr);
  CTovView view(doc);
  view.OnInitialUpdate();
  theViewState().currentPage = 3;

  for (int pass = 0; pass < 2; ++pass) {
    const auto pdf = root.path() / cformat("pages%d.pdf", pass);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf.string()));
    view.printPages(printer);
    EXPECT_EQ(pdfPages(pdf), pageCount(record));
    EXPECT_EQ(theViewState().currentPage, 1);
    EXPECT_FALSE(theViewState().printingInProgress);
    // With fewer readings the next print has fewer pages.
    for (int row = 41; row <= 85; ++row) record.setCell(row, C_time, "");
  }
  EXPECT_EQ(pageCount(record), 3);
}

} // namespace
} // namespace tov
