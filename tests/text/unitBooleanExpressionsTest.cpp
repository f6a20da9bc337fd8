#include "text/unitBooleanExpressions.h"

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testFixtures.h"

namespace wardlark
{
namespace
{

// Tokens "t" and "T" are true, "f" and "F" false, everything else unknown. Records the calls.
class BooleanExpressionTest : public ::testing::Test
{
protected:
    BooleanExpressionTest()
    {
        expression_.OnToken = [this](const std::string& token, bool& known)
        {
            calls_.push_back(token);
            known = token == "t" || token == "T" || token == "f" || token == "F";
            return token == "t" || token == "T";
        };
    }

    TBooleanExpression expression_;
    std::vector<std::string> calls_;
};

struct TTokenCase
{
    const char* expression;
    bool result;
    int code;
    int position;
};

TEST_F(BooleanExpressionTest, EvaluatesTable)
{
    const TTokenCase cases[] = {
        {"t", true, 0, -1},
        {"f", false, 0, -1},
        {"t or f and f", false, 0, -1}, // same precedence, left to right: (t or f) and f
        {"f and f or t", true, 0, -1},
        {"not f", true, 0, -1},
        {"not (f or f)", true, 0, -1},
        {"(t and (f or t))", true, 0, -1},
        {"\"t\"", true, 0, -1},
        {" t \t\r\n", true, 0, -1},
        {"()", false, 0, -1},
        {"not ()", true, 0, -1},
        {"f or (t)and(t)", true, 0, -1},
        {"not not t", false, 2, 5},
        {"(t", true, 4, 3},
        {"((t)", true, 4, 5},
        {"t)", true, 5, 2},
        {")", false, 5, 1},
        {"t f", true, 3, 3},
        {"t(t)", true, 3, 2},
        {"and t", false, 2, 1},
        {"or t", false, 2, 1},
        {"t and", true, 2, 6},
        {"t and not", true, 2, 10},
        {"", false, 2, 1},
        {"   ", false, 2, 4},
        {"x", false, 1, 1},
        {"t and x", true, 1, 7},
        {"t AND t", true, 1, 3},  // operators are lower case only
        {"\"and\"", false, 1, 1}, // a quoted operator is an operand
        {"\"t", false, 6, 3},
        {"t or \"f", true, 6, 8},
    };
    for (const TTokenCase& c : cases)
    {
        expression_.Expression = c.expression;
        EXPECT_EQ(expression_.Evaluate(), c.result) << c.expression;
        EXPECT_EQ(expression_.Result(), c.result) << c.expression;
        EXPECT_EQ(expression_.ErrorCode(), c.code) << c.expression;
        EXPECT_EQ(expression_.ErrorPosition(), c.position) << c.expression;
    }
}

TEST_F(BooleanExpressionTest, ShortCircuitSkipsTheNextUnaryOnly)
{
    expression_.Expression = "f and x or t";
    EXPECT_TRUE(expression_.Evaluate());
    EXPECT_EQ(expression_.ErrorCode(), 0);
    EXPECT_EQ(calls_, (std::vector<std::string>{"f", "t"}));

    calls_.clear();
    expression_.Expression = "t or (x and y) and f";
    EXPECT_FALSE(expression_.Evaluate());
    EXPECT_EQ(expression_.ErrorCode(), 0);
    EXPECT_EQ(calls_, (std::vector<std::string>{"t", "f"}));
}

TEST_F(BooleanExpressionTest, WithoutShortCircuitEveryOperandIsAsked)
{
    expression_.ShortCircuit = false;
    expression_.Expression = "f and t";
    EXPECT_FALSE(expression_.Evaluate());
    EXPECT_EQ(calls_, (std::vector<std::string>{"f", "t"}));

    expression_.Expression = "f and x";
    expression_.Evaluate();
    EXPECT_EQ(expression_.ErrorCode(), kTokenErrorUnknownToken);
    EXPECT_EQ(expression_.ErrorPosition(), 7);
}

TEST_F(BooleanExpressionTest, QuotedTokensKeepBlanksAndParentheses)
{
    expression_.Expression = "\"a (b) c\" or t";
    expression_.Evaluate();
    EXPECT_EQ(expression_.ErrorCode(), kTokenErrorUnknownToken);
    EXPECT_EQ(expression_.ErrorPosition(), 1);
    EXPECT_EQ(calls_, (std::vector<std::string>{"a (b) c"}));
}

TEST_F(BooleanExpressionTest, ReuseStartsFromACleanState)
{
    expression_.Expression = "(t";
    expression_.Evaluate();
    ASSERT_EQ(expression_.ErrorCode(), kTokenErrorParenthesisExpected);
    expression_.Expression = "t";
    EXPECT_TRUE(expression_.Evaluate());
    EXPECT_EQ(expression_.ErrorCode(), 0);
    EXPECT_EQ(expression_.ErrorPosition(), -1);
}

TEST(BooleanExpressionNoCallbackTest, EveryOperandIsUnknown)
{
    TBooleanExpression expression("anything");
    EXPECT_FALSE(expression.Evaluate());
    EXPECT_EQ(expression.ErrorCode(), kTokenErrorUnknownToken);
    EXPECT_EQ(expression.ErrorText(), "Unknown token");
}

// Deep nesting must end in an error at the first parenthesis too many, not in a stack overflow.
TEST_F(BooleanExpressionTest, DeepNestingIsAnError)
{
    expression_.Expression = std::string(100000, '(') + "t";
    EXPECT_FALSE(expression_.Evaluate());
    EXPECT_EQ(expression_.ErrorCode(), kTokenErrorTooDeep);
    EXPECT_EQ(expression_.ErrorPosition(), kMaxExpressionNesting + 1);

    expression_.Expression = std::string(kMaxExpressionNesting, '(') + "t" + std::string(kMaxExpressionNesting, ')');
    EXPECT_TRUE(expression_.Evaluate());
    EXPECT_EQ(expression_.ErrorCode(), 0);

    expression_.Expression.clear();
    for (int i = 0; i < 50000; ++i)
    {
        expression_.Expression += "not (";
    }
    expression_.Evaluate();
    EXPECT_EQ(expression_.ErrorCode(), kTokenErrorTooDeep);
}

TEST(BooleanExpressionErrorTextTest, Table)
{
    const std::pair<int, const char*> cases[] = {
        {0, "OK"},
        {1, "Unknown token"},
        {2, "Unexpected token"},
        {3, "Operation expected"},
        {4, "Parenthesis expected"},
        {5, "Unexpected parenthesis"},
        {6, "Unterminated string"},
        {7, "Expression nested too deeply"},
        {-1, "Unknown error"},
        {8, "Undefined error"},
        {-2, "Undefined error"},
    };
    for (const auto& [code, text] : cases)
    {
        EXPECT_EQ(TokenErrorText(code), text) << code;
    }
}

struct TWrapperCase
{
    const char* text;
    const char* expression;
    bool result;
};

TEST(BooleanWrapperTest, MasksAgainstOneText)
{
    const TWrapperCase cases[] = {
        {"log.txt", "*.txt", true},
        {"log.txt", "*.txt and not *.doc", true},
        {"log.txt", "*.doc or log.???", true},
        {"log txt", "\"log txt\"", true},
        {"log.txt", "*.doc", false},
        {"", "*", false},
        // Malformed expressions give the value computed before the stop.
        {"log.txt", "*.txt *.doc", true},
        {"log.txt", "*.doc *.txt", false},
        {"log.txt", "and *.txt", false},
        {"log.txt", "(*.txt", true},
        {"log.txt", "*.txt and (", true},
    };
    for (const TWrapperCase& c : cases)
    {
        TBooleanWrapper wrapper;
        EXPECT_EQ(wrapper.Evaluate(c.text, c.expression), c.result) << c.text << " / " << c.expression;
    }
}

TEST(BooleanWrapperTest, ReportsTheErrorOfTheLastEvaluation)
{
    TBooleanWrapper wrapper;
    EXPECT_TRUE(wrapper.Evaluate("abc", "abc )"));
    EXPECT_EQ(wrapper.Expression().ErrorCode(), kTokenErrorUnexpectedParenthesis);
    EXPECT_EQ(wrapper.Expression().ErrorPosition(), 5);
    TBooleanWrapper copy = wrapper;
    EXPECT_FALSE(copy.Evaluate("abc", "x*"));
    EXPECT_EQ(copy.Expression().ErrorCode(), 0);
}

// Inputs that once troubled the fuzzer (and hand-made hostile ones): the first byte picks the
// mode, the rest is "text NUL expression". Each must finish with a positioned error or none.
TEST(BooleanExpressionRegressionTest, ReplaysFuzzInputs)
{
    const std::filesystem::path folder =
        std::filesystem::path(WARDLARK_SOURCE_DIR) / "fuzz/regressions/BooleanExpression";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        const std::string input = test::ReadWholeFile(entry.path().string());
        if (input.empty())
        {
            continue;
        }
        const std::string rest = input.substr(1);
        const size_t nul = rest.find('\0');
        const std::string text = nul == std::string::npos ? std::string() : rest.substr(0, nul);
        const std::string expression = nul == std::string::npos ? rest : rest.substr(nul + 1);
        TBooleanWrapper wrapper;
        wrapper.Evaluate(text, expression);
        const TBooleanExpression& e = wrapper.Expression();
        if (e.ErrorCode() != 0)
        {
            EXPECT_GE(e.ErrorPosition(), 1) << entry.path();
            EXPECT_LE(e.ErrorPosition(), static_cast<int>(expression.size()) + 1) << entry.path();
        }
    }
}

} // namespace
} // namespace wardlark
