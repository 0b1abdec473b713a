// The text-box seam: numeric field validation and lines of multi-line boxes.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "platform/text_boxes.h"
#include "support/fixture.h"

namespace zentor {

class TextBoxes : public test::ZentorTest {};

QColor Background(const QLineEdit& e) { return e.palette().color(QPalette::Base); }

TEST_F(TextBoxes, ValidateNumericTextBoxAndTextBoxLines) {
  QLineEdit field;
  double value = -1;

  field.setText("anything");
  field.setEnabled(false);
  QColor before = Background(field);
  EXPECT_TRUE(ValidateNumericTextBox(&field, 0, 50, value));
  EXPECT_EQ(value, -1);
  EXPECT_EQ(Background(field), before);
  field.setEnabled(true);

  const QColor red(128, 0, 0);
  field.setText("50");
  EXPECT_TRUE(ValidateNumericTextBox(&field, 0, 50, value));
  EXPECT_EQ(value, 50);
  for (const auto& [typed, why] : {std::pair{"50.0001", "User Error: Input must be between 0 and 50"},
                                   {"abc", "User Error: Non Numeric Input"}}) {
    field.setText(typed);
    dialogs.Clear();
    dialogs.ExpectMessage();
    EXPECT_FALSE(ValidateNumericTextBox(&field, 0, 50, value));
    EXPECT_EQ(value, 50) << "a refused value leaves the output alone";
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_EQ(dialogs.calls()[0].text, why);
    EXPECT_EQ(dialogs.calls()[0].title, "Zentor Parametric");
    EXPECT_EQ(dialogs.calls()[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(Background(field), red);
  }
  QTest::keyClicks(&field, "x");  // the user edits the field
  EXPECT_EQ(Background(field), QColor(Qt::white));

  // The value taken is a Single, written back as one: at most 7 significant digits.
  for (const auto& [typed, shown] : {std::pair{"0.1", "0.1"}, {"0.05", "0.05"}, {"0.8", "0.8"},
                                     {"12.3456789", "12.34568"}, {" 3e1", "30"}}) {
    field.setText(typed);
    EXPECT_TRUE(ValidateNumericTextBox(&field, 0, 50, value));
    EXPECT_EQ(field.text().toStdString(), shown);
  }
  field.setText("0.1");
  EXPECT_TRUE(ValidateNumericTextBox(&field, 0, 50, value));
  EXPECT_EQ(value, static_cast<double>(0.1f));
  EXPECT_EQ(Background(field), QColor(Qt::white));

  field.setText("1E300");
  dialogs.ExpectMessage();
  EXPECT_FALSE(ValidateNumericTextBox(&field, -1e308, 1e308, value));
  EXPECT_EQ(dialogs.calls().back().text, "Error 7899");

  QPlainTextEdit box;
  std::string longLine(400, 'z');
  box.setPlainText(QString::fromStdString("first\nsecond\n" + longLine));
  EXPECT_EQ(GetTextBoxLine(&box, 1), "first");
  EXPECT_EQ(GetTextBoxLine(&box, 2), "second");
  EXPECT_EQ(GetTextBoxLine(&box, 3), longLine) << "no 255-character limit";
  EXPECT_EQ(GetTextBoxLine(&box, 4), "");
  EXPECT_EQ(GetTextBoxLine(&box, -1), "");
  field.setText("one line");
  EXPECT_EQ(GetTextBoxLine(&field, 5), "one line");
}

}  // namespace zentor
