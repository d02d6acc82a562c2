// Project file writer and reader.
#include "job/SaveProjectCls.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace vantrel {
namespace {

using test::TempDir;

TEST(ProjectWriter, EmptyListIsTwoLines) {
  EXPECT_EQ(WriteProjectText({}), "object TProjectSettings\r\nend\r\n");
}

TEST(ProjectWriter, ApostropheAndControlCharactersAreCodes) {
  EXPECT_EQ(WriteProjectText({"/video/part1.avi", "/d/Kids' party/part2.avi", "", "a\tb"}),
            "object TProjectSettings\r\n"
            "  Files.Strings = (\r\n"
            "    '/video/part1.avi'\r\n"
            "    '/d/Kids'#39' party/part2.avi'\r\n"
            "    ''\r\n"
            "    'a'#9'b')\r\n"
            "end\r\n");
}

TEST(ProjectWriter, LongPathsBreakEvery64Characters) {
  std::string p70 = "/" + std::string(69, 'x');
  EXPECT_EQ(WriteProjectText({p70}),
            "object TProjectSettings\r\n"
            "  Files.Strings = (\r\n"
            "    \r\n"
            "      '/" + std::string(63, 'x') + "' +\r\n"
            "      'xxxxxx')\r\n"
            "end\r\n");
  // Exactly 64: one line, no break before it.
  std::string p64(64, 'y');
  EXPECT_EQ(WriteProjectText({p64}), "object TProjectSettings\r\n  Files.Strings = (\r\n    '" + p64 + "')\r\nend\r\n");
  // A code counts as one character of the 64.
  std::string withCode = std::string(63, 'z') + "'" + "q";
  EXPECT_EQ(WriteProjectText({withCode}),
            "object TProjectSettings\r\n  Files.Strings = (\r\n    \r\n      '" + std::string(63, 'z') + "'#39 +\r\n"
            "      'q')\r\nend\r\n");
}

TEST(ProjectWriter, Utf8IsNeverSplitInsideACharacter) {
  // 63 ASCII characters, then a two-byte character across the 64th byte.
  std::string p = std::string(63, 'a') + "\xC3\xA9" + "bc";
  std::string t = WriteProjectText({p});
  EXPECT_NE(t.find("'" + std::string(63, 'a') + "' +\r\n      '\xC3\xA9" "bc'"), std::string::npos) << t;
  EXPECT_EQ(ReadProjectText(t), std::vector<std::string>{p});
}

TEST(ProjectReader, RoundTrips) {
  std::vector<std::string> files = {"/a.avi", "/b c/it's.avi", std::string(200, 'q'), "\x01\x1f", "/\xE6\x97\xA5/x.mpg", ""};
  EXPECT_EQ(ReadProjectText(WriteProjectText(files)), files);
  EXPECT_TRUE(ReadProjectText(WriteProjectText({})).empty());
}

TEST(ProjectReader, AcceptsTheNotationsVariants) {
  EXPECT_EQ(ReadProjectText("OBJECT TProjectSettings\n  Files.Strings = (\n 'a' )\nEND"), std::vector<std::string>{"a"});
  EXPECT_EQ(ReadProjectText("inline Proj: TProjectSettings [3]\r\n Name = 'P'\r\n Tag = -5\r\n"
                            " Files.Strings = ('x' + #39'y'\r\n 'z''q')\r\nend\r\n"),
            (std::vector<std::string>{"x'y", "z'q"}));
  EXPECT_EQ(ReadProjectText("inherited TProjectSettings\n Files.Strings = ('a')\nend"), std::vector<std::string>{"a"});
  EXPECT_TRUE(ReadProjectText("object TProjectSettings Files.Strings = () end").empty());
  EXPECT_EQ(ReadProjectText("object X\tFiles.Strings=(#65#66'C')end"), std::vector<std::string>{"ABC"});
}

class CorruptProject : public ::testing::TestWithParam<std::string> {};

TEST_P(CorruptProject, IsRefused) {
  try {
    ReadProjectText(GetParam());
    FAIL() << GetParam();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "The project file is corrupted");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CorruptProject,
    ::testing::Values(std::string(), std::string("\x00\x01\x02\xff", 4), "object TProjectSettings\r\n",
                      "object TProjectSettings\r\n  Caption = 'x'\r\nend\r\n",
                      "object TProjectSettings\r\n  object Inner: TThing\r\n  end\r\nend\r\n",
                      "object TProjectSettings\r\n  Files.Strings = 'a'\r\nend\r\n",
                      "object TProjectSettings\r\n  Files.Strings = (1)\r\nend\r\n",
                      "object TProjectSettings\r\n  Files.Strings = ('a\r\n')\r\nend\r\n",
                      "object TProjectSettings\r\n  Files.Strings = ('a",
                      "object TProjectSettings\r\n  Tag = 'x'\r\nend\r\n",
                      "object TProjectSettings\r\n  Name = 5\r\nend\r\n",
                      "object TProjectSettings\r\nend\r\nend\r\n", "thing TProjectSettings\r\nend\r\n",
                      "object TProjectSettings\r\n  Files.Strings = ('a' + )\r\nend\r\n",
                      "object TProjectSettings\r\n  Files.Strings = (#)\r\nend\r\n",
                      "object TProjectSettings\r\n  Files.Strings = (#99999999)\r\nend\r\n"));

TEST(ProjectFile, SaveLoadAndErrors) {
  TempDir dir;
  TProjectSettings p;
  p.Files = {"/x/1.avi", "/x/2.avi"};
  p.SaveToFile(dir.File("p.qmf"));
  TProjectSettings q;
  q.LoadFromFile(dir.File("p.qmf"));
  EXPECT_EQ(q.Files, p.Files);

  try {
    q.LoadFromFile(dir.File("none.qmf"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.File("none.qmf"));
  }
  test::WriteFileBytes(dir.File("bad.qmf"), test::Text("object TProjectSettings\r\n  Caption = 'x'\r\nend\r\n"));
  EXPECT_THROW(q.LoadFromFile(dir.File("bad.qmf")), Exception);
  EXPECT_EQ(q.Files, p.Files);  // unchanged
  try {
    p.SaveToFile(dir.File("no/folder/p.qmf"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir.File("no/folder/p.qmf"));
  }
}

TEST(ProjectFile, HugeAndNulFilesAreRefusedCleanly) {
  TempDir dir;
  std::string big = dir.File("big.qmf");
  ASSERT_EQ(truncate(big.c_str(), 0), -1);  // does not exist yet
  test::WriteFileBytes(big, {});
  ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(kMaxProjectFileSize) + 1), 0);
  TProjectSettings p;
  EXPECT_THROW(p.LoadFromFile(big), Exception);
  std::string line = "object TProjectSettings\r\n  Files.Strings = ('" + std::string(10 << 20, 'a') + "')\r\nend\r\n";
  EXPECT_EQ(ReadProjectText(line).at(0).size(), static_cast<size_t>(10 << 20));
  // NUL bytes between tokens are white space; a NUL inside a path (raw or
  // as #0) would name another file when opened, so the project is refused.
  std::string spaced = std::string("object TProjectSettings\0\r\n  Files.Strings = ('ab')\r\nend\r\n", 57);
  EXPECT_EQ(ReadProjectText(spaced).at(0), "ab");
  for (std::string nul : {"object TProjectSettings\r\n  Files.Strings = ('a" + std::string(1, '\0') + "b')\r\nend\r\n",
                          std::string("object TProjectSettings\r\n  Files.Strings = ('a'#0'b')\r\nend\r\n")})
    EXPECT_THROW(ReadProjectText(nul), Exception);
}

}  // namespace
}  // namespace vantrel
