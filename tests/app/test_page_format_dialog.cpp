// "ページ書式" through its menu command: the footer defaults from the paper,
// the prefix rules in the real boxes, the modified mark and the footer
// drawn where OK put it.
#include <QCheckBox>

#include "SettingsDialogFixture.h"

namespace tov {
namespace {

using PageFormatDialog = SettingsDialogTest;

TEST_F(PageFormatDialog, ANumberedFooterIsStoredMarkedAndDrawn) {
  theViewState().paperWidthMm = 210;
  theViewState().paperHeightMm = 297;
  runCommand(ID_PAGE_FORMAT, [](QDialog& dialog) {
    EXPECT_EQ(child<QLineEdit>(dialog, "footerTop")->text(), QStringLiteral("282"));
    EXPECT_TRUE(child<QCheckBox>(dialog, "footerCentred")->isChecked());
    EXPECT_FALSE(child<QLineEdit>(dialog, "footerLeft")->isEnabled());
    retype(child<QComboBox>(dialog, "graphPrefix"), QStringLiteral("("));
    retype(child<QLineEdit>(dialog, "graphNumber"), QStringLiteral("3"));
    EXPECT_EQ(child<QComboBox>(dialog, "graphSuffix")->currentText(), QStringLiteral(")"));
    child<QLineEdit>(dialog, "footerTop")->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(child<QLineEdit>(dialog, "graphSample")->text(), QStringLiteral("(3)"));
    click(dialog, "okButton");
  });
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(record.graphPagePrefix(), "(");
  EXPECT_EQ(record.graphPageSuffix(), ")");
  EXPECT_EQ(record.footerTop(), "282");
  EXPECT_EQ(record.footerCentred(), "1");
  EXPECT_TRUE(doc.isModified());
  const RecordingSurface page = drawnPage();
  const RecordedText* footer = page.findText("(3)");
  ASSERT_NE(footer, nullptr);
  EXPECT_NEAR(footer->at.x, 105 * 96 / 25.4, 1.0);
  EXPECT_NEAR(footer->at.y, 282 * 96 / 25.4, 1.0);
}

TEST_F(PageFormatDialog, CancelKeepsTheTestAndAFooterOffThePaperIsWarnedAbout) {
  record.set_footerTop("250");
  record.set_footerLeft("20");
  runCommand(ID_PAGE_FORMAT, [](QDialog& dialog) {
    EXPECT_TRUE(child<QLineEdit>(dialog, "footerLeft")->isEnabled());
    retype(child<QLineEdit>(dialog, "graphNumber"), QStringLiteral("7"));
    click(dialog, "cancelButton");
  });
  EXPECT_FALSE(doc.isModified());
  EXPECT_EQ(record.graphPageNumber(), "");

  theViewState().paperHeightMm = 280;
  runCommand(ID_PAGE_FORMAT, [](QDialog& dialog) {
    retype(child<QLineEdit>(dialog, "footerTop"), QStringLiteral("300"));
    click(dialog, "okButton");
  });
  EXPECT_EQ(sink.reported, std::vector<std::string>{"フッタ表示位置が用紙外の可能性があります \n( 300 mm)"});
  EXPECT_EQ(record.footerTop(), "300");
  EXPECT_TRUE(doc.isModified());
}

} // namespace
} // namespace tov
