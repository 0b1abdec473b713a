#include <gtest/gtest.h>

#include <array>
#include <clocale>
#include <optional>
#include <string>
#include <tuple>

#include "core/helpers.h"
#include "support/fixture.h"

namespace zentor {

class Helpers : public test::ZentorTest {};

TEST_F(Helpers, ParsingFileNamesRangesCharCodesAndGraphShownMessages) {
  EXPECT_TRUE(FileExists(tempDir.path().toStdString()));  // folders count
  EXPECT_FALSE(FileExists(TempPath("nope")) || FileExists(""));
  EXPECT_FLOAT_EQ(ParseSingleOrWarn("2.5"), 2.5f);
  dialogs.ExpectMessage();
  EXPECT_EQ(ParseSingleOrWarn("x"), 0.0f);
  EXPECT_EQ(dialogs.calls().back().text, "Error: Input value is non numeric");
  EXPECT_EQ(dialogs.calls().back().title, "Zentor");
  dialogs.Clear();
  for (int i = 0; i < 6; ++i) dialogs.ExpectMessage();
  for (int k : {3, 6, 7, 1, 0, 5}) ShowGraphShownMessage(k);
  EXPECT_EQ(dialogs.MessageTexts(), (std::vector<std::string>{"FREQRESPSHOWN ", "FRACTOCTSHOWN ", "PSYCHOACOUSTICSHOWN ",
                                                             "NOISESHOWN ", "GraphShown = 0", "GraphShown = 5"}));

  const std::pair<const char*, float> numbers[] = {{"1,5", 1.5f},    {"1.5", 1.5f},   {"+1.5", 1.5f}, {"-0,25", -0.25f},
                                                   {"123", 123.0f}, {"1.5E3", 1500}, {"abc", 0},     {"", 0}};
  for (const auto& [text, value] : numbers) EXPECT_FLOAT_EQ(ParseLocaleNumber(text), value) << text;
  // Under a comma-decimal process locale nothing changes.
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") || std::setlocale(LC_ALL, "fr_FR.UTF-8")) {
    EXPECT_FLOAT_EQ(ParseLocaleNumber("1.5"), 1.5f);
    std::setlocale(LC_ALL, "C");
  }
  struct Split {
    const char* line;
    int fields;
    std::string a, b, c;
  };
  const Split splits[] = {{"1000.000  -3.250  0.000", 3, "1000.000", "-3.250", "0.000"},
                          {"5", -1, " ", " ", " "},
                          {"1000 0", 2, "1000", "0", " "},
                          {"  20\t1.5", 2, "20", "1.5", " "},
                          {"  ", -1, " ", " ", " "}};
  for (const Split& r : splits) {
    std::string a, b, c;
    EXPECT_EQ(SplitCalibrationLine(r.line, a, b, c), r.fields) << r.line;
    EXPECT_EQ(std::tuple(a, b, c), std::tuple(r.a, r.b, r.c)) << r.line;
  }
  // File names.
  EXPECT_EQ(GetFileNameStem("room.test.cfa"), "room.test");
  EXPECT_EQ(GetFileExtension("room.test.cfa"), "cfa");
  EXPECT_EQ(GetFileExtension("noext"), "noext");
  EXPECT_EQ(GetFileNameFromPath("C:\\a\\b.cfa"), "b.cfa");
  EXPECT_EQ(GetFileNameFromPath("a/b.cfa"), "b.cfa");
  EXPECT_EQ(GetFileNameFromPath("plain.cfa"), "plain.cfa");
  // Dotted folders never move where a file goes.
  EXPECT_EQ(GetFileNameStem("/data/a.b/x.y.cfa"), "/data/a.b/x.y");
  EXPECT_EQ(GetFileNameStem("/data/a.b/x"), "/data/a.b/x");
  EXPECT_EQ(GetFileExtension("/data/a.b/x"), "x");
  // A save replaces only an extension of a file the program knows; a name that is
  // only an extension is none.
  const std::pair<const char*, std::optional<std::string>> saves[] = {
      {"my.room.EQ", "my.room.EQ"},        {"my.room.eq", "my.room.EQ"},    {"seat1.v2", "seat1.v2.EQ"},
      {"/d/a.b/seat1.cfa", "/d/a.b/seat1.EQ"}, {"/d/a.b/seat1", "/d/a.b/seat1.EQ"}, {"seat1.", std::nullopt},
      {"a..", std::nullopt},               {"t.EQ ", std::nullopt},         {"a\\.EQ", "a\\.EQ"},
      {"d\\x", "d\\x.EQ"},
      {".EQ", std::nullopt},               {"/d/a.b/.eq", std::nullopt},    {"", std::nullopt},
      {"/d/a.b/", std::nullopt},           {"..", std::nullopt},            {"/d/.", std::nullopt}};
  for (const auto& [chosen, saved] : saves) EXPECT_EQ(SaveFileName(chosen, "EQ"), saved) << chosen;
  // Another spelling of the kind's extension stays as typed.
  EXPECT_EQ(SaveFileName("config.yaml", "yml"), "config.yaml");
  EXPECT_EQ(SaveFileName("shot.JPEG", "jpg"), "shot.JPEG");
  EXPECT_EQ(SaveFileName("config.yaml", "txt"), "config.txt");
  EXPECT_EQ(NoFileNameText("t.EQ "), "User Error: A file name may not end in a blank or a dot, as \"t.EQ \" does");
  EXPECT_EQ(NoFileNameText(".EQ"), "User Error: A file name is needed, not \".EQ\"");
  std::string d;
  EXPECT_EQ(CopyString(d, "abc"), "abc");
  EXPECT_EQ(d, "abc");

  const std::array<float, 5> x = {10, 20, 30, 40, 50};
  const std::array<float, 5> y = {1, -2, 7, 3, -9};
  EXPECT_EQ(GetFirstValueInRange(15, 45, x, y, 5), -2);
  EXPECT_EQ(GetFirstValueInRange(20, 20, x, y, 5), -2) << "bounds are inclusive";
  EXPECT_EQ(GetMaxValueInRange(15, 45, x, y, 5, -100), 7);
  EXPECT_EQ(GetMinValueInRange(15, 45, x, y, 5, 100), -2);
  EXPECT_EQ(GetMinValueInRange(10, 50, x, y, 5, 100), -9);
  // Nothing in range: 0, or the value given for that case.
  EXPECT_EQ(GetFirstValueInRange(0, 100, x, y, 0), 0);
  EXPECT_EQ(std::pair(GetMaxValueInRange(0, 100, x, y, 0, 5.5f), GetMinValueInRange(0, 100, x, y, 0, 5.5f)),
            std::pair(5.5f, 5.5f));
  EXPECT_EQ(GetFirstValueInRange(60, 70, x, y, 5), 0);
  // A count larger than the arrays is clamped to them.
  EXPECT_EQ(GetMinValueInRange(0, 1000, x, y, 2001, 100), -9);
  EXPECT_EQ(GetMaxValueInRange(0, 1000, x, y, -3, 1), 1);

  std::array<int32_t, 16> codes{};
  int32_t len = -1;
  StringToCharCodes("Way", codes, len);
  EXPECT_EQ(std::tuple(len, codes[1], codes[3]), std::tuple(3, 'W', 'y'));
  std::string back;
  CharCodesToString(back, codes, len);
  EXPECT_EQ(back, "Way");

  StringToCharCodes(std::string("ab\0cd", 5), codes, len);
  EXPECT_EQ(len, 2) << "a NUL after position 2 ends the text";

  std::array<int32_t, 4> small{};
  StringToCharCodes("a long name", small, len);
  EXPECT_EQ(len, 3) << "never writes past the array";
  CharCodesToString(back, small, 100);
  EXPECT_EQ(back, "a l");
}

}  // namespace zentor
