// The coordinate lock window: what it shows, the order and bounds of its checks,
// and when the limits in force change.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <string>
#include <vector>

#include "display/coord_lock.h"
#include "platform/forms.h"
#include "platform/text_boxes.h"
#include "support/fixture.h"

namespace zentor {
namespace {

const CoOrdLockLimitsRecord kStartUp{-5, 25, 16, 20000, 20, -50, 16, 20000, 75, -10};

bool Same(const CoOrdLockLimitsRecord& a, const CoOrdLockLimitsRecord& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

class Lock : public test::ZentorTest {
 protected:
  void SetUp() override {
    ZentorTest::SetUp();
    CoOrdLockLimits = kStartUp;
    form = Forms::Get<CoOrdLock>();
    form->show();
  }
  std::vector<QLineEdit*> Boxes() const {
    return {form->TimeStart,      form->TimeFinish,     form->FreqDomainStartFreq, form->FreqDomainFinishFreq,
            form->FreqHighLevel,  form->FreqLowLevel,   form->NoiseFreqStart,      form->NoiseFreqFinish,
            form->NoiseHighLevel, form->NoiseLowLevel};
  }
  void Type(QLineEdit* box, const char* text) {
    box->clear();
    QTest::keyClicks(box, text);
  }
  // OK with one message expected; its text.
  std::string OkRefused() {
    dialogs.ExpectMessage();
    QTest::mouseClick(form->OKBut, Qt::LeftButton);
    return dialogs.calls().empty() ? std::string() : dialogs.calls().back().text;
  }
  static bool Red(QLineEdit* box) { return box->palette().color(QPalette::Base) == QColor(kInvalidFieldRed, 0, 0); }

  CoOrdLock* form = nullptr;
};

TEST_F(Lock, ShowsTheLimitsInForce) {
  EXPECT_EQ(form->windowTitle(), "Coordinate Lock");
  std::vector<std::string> texts;
  for (QLineEdit* b : Boxes()) texts.push_back(b->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"-5", "25", "16", "20000", "20", "-50", "16", "20000", "75", "-10"}));
  std::vector<std::string> frames, labels;
  for (QGroupBox* g : form->findChildren<QGroupBox*>()) frames.push_back(g->title().toStdString());
  EXPECT_EQ(frames, (std::vector<std::string>{"Time Response", "Frequency Response", "Signal/Noise"}));
  for (QLabel* l : form->findChildren<QLabel*>()) labels.push_back(l->text().toStdString());
  EXPECT_EQ(labels, (std::vector<std::string>{" ms -", " ms", "Hz -", " Hz", " dB -", " dB", " Hz -", " dB -"}));
  EXPECT_TRUE(Same(form->CoOrdLockWorkCopy, kStartUp));
  EXPECT_EQ(form->findChild<QPushButton*>("OKBut"), form->OKBut);
}

TEST_F(Lock, AStartAboveTheFinishFailsFirstAndChangesNothing) {
  Type(form->TimeStart, "26");
  Type(form->NoiseLowLevel, "-99");  // also wrong, but checked later
  EXPECT_EQ(OkRefused(), "User Error: Input must be between -5 and 25");
  EXPECT_EQ(dialogs.MessageTexts().size(), 1u);
  EXPECT_TRUE(Same(CoOrdLockLimits, kStartUp));
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(Red(form->TimeStart));
  // Editing the box whitens it again.
  Type(form->TimeStart, "1");
  EXPECT_FALSE(Red(form->TimeStart));

  Type(form->TimeStart, "x");
  EXPECT_EQ(OkRefused(), "User Error: Non Numeric Input");
  EXPECT_TRUE(Same(CoOrdLockLimits, kStartUp));
}

TEST_F(Lock, BoundsComeFromTheWorkingCopyAsChecked) {
  // The start passes against the old finish, then the new finish must lie above it.
  Type(form->TimeStart, "20");
  Type(form->TimeFinish, "10");
  EXPECT_EQ(OkRefused(), "User Error: Input must be between 20 and 30");
  EXPECT_EQ(form->CoOrdLockWorkCopy.TimeStart, 20);  // kept though the OK failed
  EXPECT_EQ(form->CoOrdLockWorkCopy.TimeFinish, 25);
  EXPECT_TRUE(Same(CoOrdLockLimits, kStartUp));

  // The noise levels come before the frequency levels.
  Type(form->TimeFinish, "28");
  Type(form->FreqLowLevel, "-95");
  Type(form->NoiseHighLevel, "91");
  EXPECT_EQ(OkRefused(), "User Error: Input must be between -10 and 90");
  Type(form->NoiseHighLevel, "60");
  EXPECT_EQ(OkRefused(), "User Error: Input must be between -90 and 20");
  EXPECT_EQ(form->CoOrdLockWorkCopy.NoiseHighLevel, 60);
  EXPECT_TRUE(Same(CoOrdLockLimits, kStartUp));
}

TEST_F(Lock, TenValidValuesCommitAndTheWindowStays) {
  const char* typed[] = {"-2", "12.5", "20", "18000", "30", "-40", "25", "15000", "70", "-12"};
  const std::vector<QLineEdit*> boxes = Boxes();
  for (size_t i = 0; i < boxes.size(); ++i) Type(boxes[i], typed[i]);
  QTest::mouseClick(form->OKBut, Qt::LeftButton);
  EXPECT_TRUE(dialogs.calls().empty());
  const CoOrdLockLimitsRecord want{-2, 12.5f, 20, 18000, 30, -40, 25, 15000, 70, -12};
  EXPECT_TRUE(Same(CoOrdLockLimits, want));
  EXPECT_TRUE(form->isVisible());
}

TEST_F(Lock, EachOpeningStartsFromTheLimitsInForce) {
  Forms::Unload<CoOrdLock>();
  std::vector<float> seen;
  for (int i = 0; i < 2; ++i) {
    dialogs.ExpectModal([&](QDialog* d) {
      auto* lock = dynamic_cast<CoOrdLock*>(d);
      seen.push_back(lock->CoOrdLockWorkCopy.TimeStart);
      lock->TimeStart->setText("3");
      lock->TimeFinish->setText("99");
      dialogs.ExpectMessage();
      lock->OKBut_Click();  // the start passes into the working copy, the finish fails
      return 0;
    });
    ShowCoOrdLockWindow();
    EXPECT_FALSE(Forms::IsLoaded<CoOrdLock>());
  }
  EXPECT_EQ(seen, (std::vector<float>{-5, -5}));
  EXPECT_TRUE(Same(CoOrdLockLimits, kStartUp));
}

}  // namespace
}  // namespace zentor
