// What the window and its dialogs tell without being asked: F1 opens the
// help at the section of the dialog in use, and a test opened read-only
// (locked by another program, or one its user may not write) says so in
// the title and the status bar; and the locale the window sets
// is one that exists.
#include <QLabel>
#include <QListWidget>
#include <QStatusBar>

#include "SettingsDialogFixture.h"
#include "app/CTovApp.h"
#include "dialogs/qt/CHelpDialog.h"
#include "files/LockFile.h"

namespace tov {
namespace {

// Every dialog has a section of its own, headed by the dialog's title; four
// of them once opened the general menu section.
TEST_F(SettingsDialogTest, F1OpensTheHelpAtTheSectionOfTheOpenDialog) {
  const struct { int command; const char* heading; } rows[] = {
      {ID_HEADINGS, "■ 見出し（データ → 見出し）"},
      {ID_UNSTEADY_READINGS, "■ 非定常法 測定データ、定常法 測定データ（測定データの入力）"},
      {ID_ANALYSIS, "■ 解析/目盛り（直線の当てはまり、推奨区間、k の幅、検討事項）"},
      {ID_PAGE_FORMAT, "■ ページ書式（データ → ページ設定）"},
      {ID_STYLE_DIGITS, "■ 様式/桁数（設定 → 様式・桁数）"},
      {ID_LINES_MARGINS, "■ 線種/マージン/社名（設定 → 線種・マージン）"},
      {ID_FONTS, "■ フォント（設定 → フォント）"},
      {ID_ENTER_KEY, "■ キーの動作（設定 → キーの動作）"},
      {ID_TESTER_REGISTER, "■ マスタファイル 試験者（設定 → 登録 試験者）"},
      {ID_SETUP, "■ セットアップ（設定ファイルの場所）"},
  };
  record.setCell(1, C_time, "0");
  record.setCell(1, C_pipeLevel, "1.0");
  for (const auto& r : rows) {
    SCOPED_TRACE(r.heading);
    QString shown, title;
    runCommand(r.command, [&](QDialog& d) {
      // The title without the method in brackets: "解析/目盛り  〔非定常法〕 ".
      title = d.windowTitle().section(QChar(0x3014), 0, 0).trimmed();
      QTimer::singleShot(0, [&] {
        auto* help = qobject_cast<CHelpDialog*>(QApplication::activeModalWidget());
        if (!help) return;
        const QListWidget* text = help->findChild<QListWidget*>(QStringLiteral("helpText"));
        if (text && text->currentItem()) shown = text->currentItem()->text();
        help->accept();
      });
      QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &d;
      QTest::keyClick(focus, Qt::Key_F1);
      EXPECT_TRUE(d.isVisible()) << "the dialog stays open under the help";
    });
    EXPECT_EQ(shown.toStdString(), r.heading);
    EXPECT_TRUE(shown.contains(title)) << title.toStdString();
  }
}

TEST_F(SettingsDialogTest, ATestOpenedReadOnlySaysSoInTheTitleAndStatusBar) {
  const std::filesystem::path test = root / "t.tvd";
  std::filesystem::copy_file(std::filesystem::path(TOV_SOURCE_DIR) / "samples" / "unsteady.tvd", test);
  auto* indicator = frame.findChild<QLabel*>(QStringLiteral("readOnlyIndicator"));
  ASSERT_NE(indicator, nullptr);
  // Locked by another program, or a file this user may not write (as
  // nobody when the tests run as root, who may write anything).
  const struct { bool locked; bool mayNotWrite; bool readOnly; } rows[] = {
      {true, false, true}, {false, false, false}, {false, true, true}};
  namespace fs = std::filesystem;
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.locked) + std::to_string(r.mayNotWrite));
    if (r.locked) testing::writeBytes(lockPathFor(test), lockText({"other", "another-host", 1, "x"}));
    if (r.mayNotWrite) {
      fs::permissions(root.path(), fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
      fs::permissions(test, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }
    sink.choices = {Answer::Yes};  // 読み取り専用で開く
    auto opened = [&] {
      if (!doc.openDocumentFile(test)) return std::string("not opened");
      return std::to_string(doc.isReadOnly()) + std::to_string(frame.windowTitle().contains(QStringLiteral("読み取り専用"))) +
             std::to_string(indicator->isVisibleTo(frame.statusBar()));
    };
    const std::string expected = r.readOnly ? "111" : "000";
#ifndef _WIN32
    EXPECT_EQ(r.mayNotWrite ? testing::asOrdinaryUser(opened) : opened(), expected);
#else
    if (!r.mayNotWrite) EXPECT_EQ(opened(), expected);
#endif
    doc.onNewDocument();
    std::filesystem::remove(lockPathFor(test));
  }
}

// Setting ja_JP.UTF-8 where it is not installed left the C library in the
// plain C locale (and Qt warning); C.UTF-8 is there on every system.
TEST(WindowLocale, IsJapaneseOnlyWhereThatLocaleExists) {
  const struct { const char* current; bool japaneseInstalled; const char* set; } rows[] = {
      {"", true, "ja_JP.UTF-8"},       {"en_US.UTF-8", true, "ja_JP.UTF-8"}, {"ja_JP.UTF-8", true, ""},
      {"", false, "C.UTF-8"},          {"en_US.UTF-8", false, "C.UTF-8"},    {"ja_JP.UTF-8", false, "C.UTF-8"},
      {"ja_JP.eucJP", true, ""},
  };
  for (const auto& r : rows) {
    auto exists = [&](const std::string& name) { return name == "C.UTF-8" || (r.japaneseInstalled && name.starts_with("ja")); };
    EXPECT_EQ(systemLocaleFor(r.current, exists), r.set) << r.current << " " << r.japaneseInstalled;
  }
}

} // namespace
} // namespace tov
