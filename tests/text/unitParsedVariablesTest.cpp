#include "text/unitParsedVariables.h"

#include "config/unitOptionsList.h"
#include "support/unitFileStream.h"
#include "testFixtures.h"
#include "text/unitBooleanEvaluator.h"
#include "text/unitContentParser.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace wardlark
{
namespace
{

TEST(ParsedVariablesTest, FileNameUsesLowerCaseUin)
{
    EXPECT_EQ(VarsFileName("/data/", "AB12-Cd"), "/data/vars/ab12-cd.dat");
}

TEST(ParsedVariablesTest, PreviousValuesAreAddedOnlyWhereMissing)
{
    TOptionsList variables;
    variables.SetText("_count=5\r\ncount=7\r\nnew=a%25b");
    AddPreviousValues(variables);
    EXPECT_EQ(variables.Text(), "_count=5\r\ncount=7\r\nnew=a%25b\r\n_new=a%25b");
}

TEST(ParsedVariablesTest, SavedFileHoldsPreviousValuesWithCrLf)
{
    test::TTempFolder folder;
    const std::string path = VarsFileName(folder.Path() + "data/", "M1");
    TOptionsList variables;
    variables.SetText("_old=1\r\nvalue=x y\r\nline=a%0D%0Ab");
    ShiftToPreviousValues(variables);
    ASSERT_EQ(SaveParsedVariables(path, variables), kVarsSaved);
    EXPECT_EQ(test::ReadWholeFile(path), "_value=x y\r\n_line=a%0D%0Ab\r\n");

    TOptionsList loaded;
    loaded.WriteString("stale", "1");
    ASSERT_TRUE(LoadParsedVariables(path, loaded));
    EXPECT_EQ(loaded.ReadString("_line"), "a\r\nb");
    EXPECT_FALSE(loaded.HasName("stale"));
}

TEST(ParsedVariablesTest, FileErrorsAreReportedNotThrown)
{
    test::TTempFolder folder;
    TOptionsList variables;
    variables.WriteString("stale", "1");
    // A missing file is no error and gives an empty list.
    EXPECT_TRUE(LoadParsedVariables(folder.File("missing.dat"), variables));
    EXPECT_EQ(variables.Count(), 0);

    // A file that another writer holds locked cannot be read.
    const std::string path = VarsFileName(folder.Path(), "m");
    variables.WriteString("_x", "1");
    ASSERT_EQ(SaveParsedVariables(path, variables), kVarsSaved);
    {
        TFileStream writer(path, TFileMode::ReadWrite);
        EXPECT_FALSE(LoadParsedVariables(path, variables));
        EXPECT_EQ(variables.Count(), 0);
    }

    // A folder where the file should be cannot be replaced.
    ASSERT_EQ(mkdir(folder.File("vars/d.dat").c_str(), 0700), 0);
    variables.WriteString("_x", "1");
    EXPECT_EQ(SaveParsedVariables(folder.File("vars/d.dat"), variables), kVarsNotWritten);

    // A file where the folder should be.
    test::WriteWholeFile(folder.File("blocked"), "x");
    EXPECT_EQ(SaveParsedVariables(folder.File("blocked/vars/m.dat"), variables), kVarsFolderNotCreated);
}

// Two checks in a row as the content checks run them: load, parse, add previous values,
// evaluate, shift and save.
TEST(ParsedVariablesTest, CriteriaCompareWithTheValueOfThePreviousCheck)
{
    test::TTempFolder folder;
    const std::string path = VarsFileName(folder.Path(), "Monitor");
    const auto check = [&](const std::string& content)
    {
        TOptionsList variables;
        EXPECT_TRUE(LoadParsedVariables(path, variables));
        EXPECT_GT(ParseContent(content, content, PrepareTemplate("Count: {{count}};"), nullptr, 1, variables), 0);
        AddPreviousValues(variables);
        TBooleanEvaluator evaluator;
        const bool result = EvaluateSuccessCriteria(evaluator, "count > _count", variables);
        EXPECT_EQ(evaluator.ErrorCode(), kValueErrorNone);
        ShiftToPreviousValues(variables);
        EXPECT_EQ(SaveParsedVariables(path, variables), kVarsSaved);
        return result;
    };
    EXPECT_FALSE(check("count: 10;")); // first check: compared with itself
    EXPECT_TRUE(check("count: 12;"));
    EXPECT_FALSE(check("count: 11;"));
    EXPECT_EQ(test::ReadWholeFile(path), "_count=11\r\n");
}

TEST(ParsedVariablesTest, UnknownNamesInCriteriaAreEmpty)
{
    TOptionsList variables;
    variables.WriteString("a", "1");
    TBooleanEvaluator evaluator;
    EXPECT_TRUE(EvaluateSuccessCriteria(evaluator, "a = 1 and missing = \"\"", variables));
    EXPECT_FALSE(EvaluateSuccessCriteria(evaluator, "a = 1 and (", variables));
    EXPECT_EQ(evaluator.ErrorCode(), kValueErrorParenthesisExpected);
}

} // namespace
} // namespace wardlark
