// The path test shared by the address-bar hook and the reader of the title handoff.
#include <gtest/gtest.h>

#include <string>

#include "hooklib/pathtest.h"
#include "heaptext.h"

namespace {

// The test must never look past the terminator.
int PathTextExact(const std::string& text)
{
    return IsPathText(HeapText(text).get());
}

TEST(IsPathText, DriveFormPasses)
{
    EXPECT_EQ(1, PathTextExact("C:\\Windows"));
    EXPECT_EQ(1, PathTextExact("C:\\"));
    EXPECT_EQ(1, PathTextExact("z:\\a b\\c"));
}

TEST(IsPathText, FirstCharacterOfTheDriveFormIsNotExamined)
{
    EXPECT_EQ(1, PathTextExact("1:\\"));
    EXPECT_EQ(1, PathTextExact("?:\\x"));
    EXPECT_EQ(1, PathTextExact("::\\"));
    EXPECT_EQ(1, PathTextExact("\\:\\"));
}

TEST(IsPathText, UncFormPasses)
{
    EXPECT_EQ(1, PathTextExact("\\\\server\\share"));
    EXPECT_EQ(1, PathTextExact("\\\\"));
    EXPECT_EQ(1, PathTextExact("\\\\\\"));
}

TEST(IsPathText, ShortTextsNeverPass)
{
    EXPECT_EQ(0, PathTextExact(""));
    EXPECT_EQ(0, PathTextExact("C"));
    EXPECT_EQ(0, PathTextExact("\\"));
    EXPECT_EQ(0, PathTextExact(":"));
    EXPECT_EQ(0, PathTextExact("C:"));
}

TEST(IsPathText, OtherFormsFail)
{
    EXPECT_EQ(0, PathTextExact("C:Windows"));
    EXPECT_EQ(0, PathTextExact("C:/Windows"));
    EXPECT_EQ(0, PathTextExact("\\server\\share"));
    EXPECT_EQ(0, PathTextExact("/\\server"));
    EXPECT_EQ(0, PathTextExact("CC:\\"));
    EXPECT_EQ(0, PathTextExact(" C:\\"));
    EXPECT_EQ(0, PathTextExact("Trailkeeper"));  // the main window's title at rest
    EXPECT_EQ(0, PathTextExact("My Computer"));
    EXPECT_EQ(0, PathTextExact("http://example"));
}

TEST(IsPathText, ShiftJisTrailByteIsNoBackslash)
{
    // 表\ (0x95 0x5C 0x5C): the first 0x5C belongs to 表, so this is no UNC text.
    EXPECT_EQ(0, PathTextExact("\x95\x5C\\"));
    // ソ (0x83 0x5C) alone.
    EXPECT_EQ(0, PathTextExact("\x83\x5C"));
    // \表 (0x5C 0x95 0x5C): only one leading backslash.
    EXPECT_EQ(0, PathTextExact("\\\x95\x5C"));
    // C:\表 and \\表\ソ: Japanese folder names in both forms pass.
    EXPECT_EQ(1, PathTextExact("C:\\\x95\x5C"));
    EXPECT_EQ(1, PathTextExact("\\\\\x95\x5C\\\x83\x5C"));
}

TEST(IsPathText, LongTextsAreJudgedByTheirFirstCharacters)
{
    EXPECT_EQ(1, PathTextExact("C:\\" + std::string(252, 'a')));  // 255 characters
    EXPECT_EQ(1, PathTextExact("C:\\" + std::string(253, 'a')));  // 256 characters
    EXPECT_EQ(1, PathTextExact("\\\\" + std::string(300, 's')));
    EXPECT_EQ(0, PathTextExact(std::string(256, 'a')));
}

}  // namespace
