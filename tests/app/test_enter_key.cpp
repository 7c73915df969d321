// The Enter-key filter where its rule must give way: an open drop-down
// list, an input method that is composing, and a widget that gives Enter a
// meaning of its own.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "dialogs/qt/EnterKeyFilter.h"

namespace tov {
namespace {

class EnterKeyFilterTest : public ::testing::Test {
protected:
  void SetUp() override {
    auto* layout = new QVBoxLayout(&dialog);
    for (QWidget* w : {static_cast<QWidget*>(first), static_cast<QWidget*>(own), static_cast<QWidget*>(combo),
                       static_cast<QWidget*>(ok)})
      layout->addWidget(w);
    own->setProperty(kOwnsEnterProperty, true);
    combo->addItems({QStringLiteral("x1"), QStringLiteral("E-1"), QStringLiteral("E-2")});
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    installEnterKeyFilter(dialog, [this] { return mode; });
    dialog.show();
    QApplication::setActiveWindow(&dialog);
  }

  int mode = 2;
  QDialog dialog;
  QLineEdit* first = new QLineEdit;
  QLineEdit* own = new QLineEdit;
  QComboBox* combo = new QComboBox;
  QPushButton* ok = new QPushButton(QStringLiteral("OK"));
};

TEST_F(EnterKeyFilterTest, OwnHandlingWinsOverTheSetting) {
  // A widget that owns Enter gets it under every setting.
  QSignalSpy ownReturn(own, &QLineEdit::returnPressed);
  own->setFocus();
  QTest::keyClick(own, Qt::Key_Return);
  EXPECT_EQ(ownReturn.count(), 1);

  // While the input method composes, Enter is its own; afterwards the
  // setting applies again.
  QSignalSpy firstReturn(first, &QLineEdit::returnPressed);
  first->setFocus();
  QInputMethodEvent composing(QStringLiteral("かんじ"), {});
  QCoreApplication::sendEvent(first, &composing);
  QTest::keyClick(first, Qt::Key_Return);
  EXPECT_EQ(firstReturn.count(), 1);
  QInputMethodEvent committed;
  committed.setCommitString(QStringLiteral("漢字"));
  QCoreApplication::sendEvent(first, &committed);
  QTest::keyClick(first, Qt::Key_Return);
  EXPECT_EQ(firstReturn.count(), 1);
  EXPECT_EQ(first->text(), QStringLiteral("漢字"));

  // An open drop-down list takes Enter as the choice, not as the dialog's.
  combo->setFocus();
  combo->showPopup();
  QAbstractItemView* list = combo->view();
  ASSERT_TRUE(list->isVisible());
  list->setCurrentIndex(combo->model()->index(2, 0));
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(combo->currentIndex(), 2);
  EXPECT_TRUE(dialog.isVisible());

  // Setting 1 moves on from the list box itself once it is closed.
  mode = 1;
  combo->setFocus();
  QTest::keyClick(combo, Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), ok);
  EXPECT_TRUE(dialog.isVisible());
}

} // namespace
} // namespace tov
