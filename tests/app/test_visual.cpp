// The pages of the sample tests as pictures, compared with reference images
// in tests/reference/ (rendered at 100 dpi on A4 with first-start settings).
// A page may differ from its reference in a few pixels, for font
// rasterisation; a failing page is written next to the build, under
// visual-actual/, with an image of the differences.
//
// TOV_UPDATE_REFERENCES=1 writes the current pictures as the references.
#include <QColor>
#include <QDir>
#include <QImage>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "cli/ExportJob.h"
#include "files/TvdFile.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDpi = 100;
constexpr int kGreyTolerance = 64;            // a pixel differs when its grey differs by more
constexpr double kDifferingFraction = 0.005;  // a page fails when more pixels than this differ

fs::path referenceFolder() { return fs::path(TOV_SOURCE_DIR) / "tests" / "reference"; }
fs::path actualFolder() { return fs::path(TOV_BINARY_DIR) / "visual-actual"; }
QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

bool updatingReferences() {
  const char* v = std::getenv("TOV_UPDATE_REFERENCES");
  return v && std::string(v) == "1";
}

struct Comparison {
  long differing = 0;
  QImage diff;  // differing pixels red on a faded copy of the reference
};

Comparison compare(const QImage& actual, const QImage& reference) {
  Comparison c;
  c.diff = QImage(actual.size(), QImage::Format_RGB32);
  for (int y = 0; y < actual.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
    const auto* r = reinterpret_cast<const QRgb*>(reference.constScanLine(y));
    auto* d = reinterpret_cast<QRgb*>(c.diff.scanLine(y));
    for (int x = 0; x < actual.width(); ++x) {
      const int ga = qGray(a[x]), gr = qGray(r[x]);
      if (std::abs(ga - gr) > kGreyTolerance) {
        ++c.differing;
        d[x] = qRgb(255, 0, 0);
      } else {
        const int faded = 255 - (255 - gr) / 4;
        d[x] = qRgb(faded, faded, faded);
      }
    }
  }
  return c;
}

// Pixels that are clearly red (the analysis points) and clearly dark.
struct InkCount {
  long red = 0;
  long dark = 0;
};
InkCount countInk(const QImage& image) {
  InkCount n;
  for (int y = 0; y < image.height(); ++y) {
    const auto* p = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) {
      if (qRed(p[x]) > 180 && qGreen(p[x]) < 90 && qBlue(p[x]) < 90) ++n.red;
      else if (qGray(p[x]) < 128) ++n.dark;
    }
  }
  return n;
}

class SamplePages : public ::testing::TestWithParam<const char*> {};

TEST_P(SamplePages, MatchTheirReferences) {
  const std::string name = GetParam();
  tov::testing::TempDir root;
  tov::testing::ScopedEnv env("TOV_ROOT", root.path().string());
  tov::RecordingMessageSink messages;
  tov::ScopedMessageSink scoped(messages);
  tov::TestRecord record;
  ASSERT_EQ(tov::loadTestFile(fs::path(TOV_SOURCE_DIR) / "samples" / (name + ".tvd"), record), tov::LoadStatus::Ok);
  tov::Settings settings(record);
  settings.loadSettings(false);
  tov::repairScalesForDrawing(record);

  const int pages = tov::pageCount(record);
  for (int page = 1; page <= pages; ++page) {
    SCOPED_TRACE("page " + std::to_string(page));
    const std::string file = name + "-" + std::to_string(page) + ".png";
    const QImage actual =
        tov::renderPageImage(record, settings, page, tov::a4Paper(), kDpi).convertToFormat(QImage::Format_RGB32);

    // Whatever the references say, a page is never blank, and only an
    // unsteady graph page shows the red analysis points.
    const InkCount ink = countInk(actual);
    EXPECT_GT(ink.dark, 2000) << "page " << page << " is nearly blank";
    if (page == 1 && name != "steady") EXPECT_GT(ink.red, 20) << "no red analysis points";
    else EXPECT_EQ(ink.red, 0) << "red ink where none belongs";

    const fs::path reference = referenceFolder() / file;
    if (updatingReferences()) {
      fs::create_directories(referenceFolder());
      ASSERT_TRUE(actual.save(q(reference), "PNG")) << reference;
      continue;
    }
    const QImage expected = QImage(q(reference)).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(expected.isNull()) << "no reference " << reference << " (run with TOV_UPDATE_REFERENCES=1)";
    const fs::path actualFile = actualFolder() / file;
    if (expected.size() != actual.size()) {
      fs::create_directories(actualFolder());
      actual.save(q(actualFile), "PNG");
      FAIL() << file << ": size " << actual.width() << "x" << actual.height() << ", reference "
             << expected.width() << "x" << expected.height() << "; actual written to " << actualFile;
    }
    const Comparison c = compare(actual, expected);
    const long allowed = static_cast<long>(kDifferingFraction * actual.width() * actual.height());
    if (c.differing > allowed) {
      fs::create_directories(actualFolder());
      actual.save(q(actualFile), "PNG");
      const fs::path diffFile = actualFolder() / (name + "-" + std::to_string(page) + "-diff.png");
      c.diff.save(q(diffFile), "PNG");
      ADD_FAILURE() << file << ": " << c.differing << " pixels differ from the reference (at most " << allowed
                    << " allowed); actual page written to " << actualFile << ", differences in red in " << diffFile;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, SamplePages, ::testing::Values("unsteady", "steady", "long"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
