#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <random>

#include "platform/Collation.h"
#include "platform/System.h"
#include "support/TempDirectory.h"

namespace tabshift::platform {
namespace {

int Sign(int value) {
  return (value > 0) - (value < 0);
}

std::vector<std::string> SampleWords() {
  return {"apple",     "Apple", "APPLE", "b",        "B",     "co-op", "coop", "",  "a b", "ab",
          "\xE9t\xE9", "ete",   "fa",    "\xC4pfel", "zebra", "Zebra", "10",   "9", "a"};
}

std::vector<std::string> Sorted(std::vector<std::string> words, bool ignore_case) {
  std::stable_sort(words.begin(), words.end(), [&](const std::string& l, const std::string& r) {
    return CompareAnsi(l, r, ignore_case) < 0;
  });
  return words;
}

TEST(CollationTest, CaseAwareIsATotalOrder) {
  std::mt19937 random(7);
  std::vector<std::string> words = SampleWords();
  for (int i = 0; i < 200; ++i) {
    std::string word;
    const int length = static_cast<int>(random() % 4);
    for (int j = 0; j < length; ++j) word += "aAbB-\xE9\xC9 "[random() % 8];
    words.push_back(word);
  }
  for (const std::string& a : words) {
    for (const std::string& b : words) {
      const int ab = Sign(CompareAnsi(a, b, false));
      EXPECT_EQ(ab, -Sign(CompareAnsi(b, a, false))) << a << " / " << b;
      EXPECT_EQ(ab == 0, a == b) << a << " / " << b;
    }
  }
  const std::vector<std::string> sorted = Sorted(words, false);
  for (size_t i = 1; i < sorted.size(); ++i) {
    EXPECT_LE(CompareAnsi(sorted[i - 1], sorted[i], false), 0);
    EXPECT_LE(CompareAnsi(sorted[0], sorted[i], false), 0);
  }
}

TEST(CollationTest, LettersBeforeCaseAndPunctuationCounts) {
  EXPECT_LT(CompareAnsi("a", "B", false), 0);  // unlike byte order
  EXPECT_LT(CompareAnsi("apple", "Apple", false), 0);
  EXPECT_NE(CompareAnsi("co-op", "coop", false), 0);
  EXPECT_NE(CompareAnsi("co-op", "coop", true), 0);
  EXPECT_LT(CompareAnsi("", "a", false), 0);
  EXPECT_LT(CompareAnsi("10", "9", false), 0);
}

TEST(CollationTest, IgnoreCaseEqualsOnlyCaseVariants) {
  EXPECT_EQ(CompareAnsi("apple", "APPLE", true), 0);
  EXPECT_EQ(CompareAnsi("\xE9t\xE9", "\xC9T\xC9", true), 0);  // accented capitals too
  EXPECT_NE(CompareAnsi("\xE9t\xE9", "ete", true), 0);        // accents still count
  EXPECT_LT(CompareAnsi("apple", "BANANA", true), 0);
}

TEST(CollationTest, EightBitTextUsesTheCodePage) {
  EXPECT_EQ(AnsiCodePage(), "windows-1252");
  EXPECT_EQ(AnsiToWide("\xE9\x80"), u"\u00E9\u20AC");
  EXPECT_EQ(WideToAnsi(u"\u00E9\u20AC\u4E00"), "\xE9\x80?");
  EXPECT_LT(CompareAnsi("e", "\xE9", false), 0);
  EXPECT_LT(CompareAnsi("\xE9", "f", false), 0);
  EXPECT_EQ(Sign(CompareAnsi("\xE9t\xE9", "ete", false)),
            Sign(CompareWide(u"\u00E9t\u00E9", u"ete", false)));
}

TEST(CollationTest, LongTextComparesBeyondTheShortBuffer) {
  const std::string left(1000, 'a');
  std::string right = left;
  right[999] = 'b';
  EXPECT_LT(CompareAnsi(left, right, false), 0);
}

// Writes the sorted sample to the file named by COLLATION_OUTPUT; run by the tests below in a
// new process, so nothing is inherited from this one's collator.
TEST(CollationChild, WriteSortedSample) {
  const char* output = std::getenv("COLLATION_OUTPUT");
  if (output == nullptr) GTEST_SKIP() << "run as a child process only";
  std::string text = CollationLocale() + "\n";
  for (const std::string& word : Sorted(SampleWords(), false)) text += word + "\n";
  tabshift::testing::WriteWholeFile(output, text);
}

std::string SortInNewProcess(const std::string& locale) {
  tabshift::testing::TempDirectory directory;
  const std::string output = directory.File("sorted.txt");
  const std::string program = ExecutablePath();
  const pid_t child = fork();
  if (child == 0) {
    setenv("COLLATION_OUTPUT", output.c_str(), 1);
    unsetenv("LC_COLLATE");
    unsetenv("LANG");
    if (locale.empty()) {
      unsetenv("LC_ALL");
    } else {
      setenv("LC_ALL", locale.c_str(), 1);
    }
    execl(program.c_str(), program.c_str(), "--gtest_filter=CollationChild.*", nullptr);
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return tabshift::testing::ReadWholeFile(output);
}

TEST(CollationTest, NewProcessSortsTheSameWay) {
  std::string expected = CollationLocale() + "\n";
  for (const std::string& word : Sorted(SampleWords(), false)) expected += word + "\n";
  const char* all = std::getenv("LC_ALL");
  const char* collate = std::getenv("LC_COLLATE");
  const char* lang = std::getenv("LANG");
  const char* in_force = all && *all ? all : collate && *collate ? collate : lang ? lang : "";
  EXPECT_EQ(SortInNewProcess(in_force), expected);
}

TEST(CollationTest, FollowsTheLocaleOfTheEnvironment) {
  const std::string root = SortInNewProcess("C");
  const std::string swedish = SortInNewProcess("sv_SE.UTF-8");
  EXPECT_EQ(root.substr(0, root.find('\n')), "root");
  EXPECT_EQ(swedish.substr(0, swedish.find('\n')), "sv_SE");
  // Swedish sorts A with diaeresis after Z; the root collation next to A.
  EXPECT_LT(root.find("\xC4pfel"), root.find("zebra"));
  EXPECT_GT(swedish.find("\xC4pfel"), swedish.find("Zebra"));
}

}  // namespace
}  // namespace tabshift::platform
