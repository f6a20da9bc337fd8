#include "text/unitBooleanEvaluator.h"

#include "text/unitBooleanExpressions.h"

#include <clocale>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testFixtures.h"

namespace wardlark
{
namespace
{

// Variables: a=5, b=5, c=5, s="text", big=INT64_MAX, min=INT64_MIN, neg=-1, comma="1,5",
// empty="". Every call is recorded with its arguments.
class BooleanEvaluatorTest : public ::testing::Test
{
protected:
    struct TCall
    {
        std::string name;
        std::vector<std::string> arguments;
        void* context;
    };

    BooleanEvaluatorTest()
    {
        evaluator_.ShortCircuit = false;
        evaluator_.Context = this;
        evaluator_.OnVariable = [this](void* context, const std::string& name,
                                       const std::vector<std::string>& arguments, std::string& value, bool& handled)
        {
            calls_.push_back({name, arguments, context});
            static const std::pair<const char*, const char*> kVariables[] = {
                {"a", "5"},
                {"b", "5"},
                {"c", "5"},
                {"s", "text"},
                {"big", "9223372036854775807"},
                {"min", "-9223372036854775808"},
                {"neg", "-1"},
                {"comma", "1,5"},
                {"empty", ""},
                {"cpu.load", "85"},
                {"disk.free", "500"},
            };
            for (const auto& [known, known_value] : kVariables)
            {
                if (name == known)
                {
                    value = known_value;
                    handled = true;
                }
            }
        };
    }

    TBooleanEvaluator evaluator_;
    std::vector<TCall> calls_;
};

struct TValueCase
{
    const char* expression;
    const char* value;
};

TEST_F(BooleanEvaluatorTest, ValuesTable)
{
    const TValueCase cases[] = {
        {"1 + 2 * 3", "7"},
        {"2 * 3 * 4", "24"},
        {"(1 + 2) * 3", "9"},
        {"10 - 2 - 3", "5"},
        {"7 / 2", "3.5"},
        {"1 / 3", "0.333333333333333"},
        {"5 / 0", "0"},
        {"5.5 / 0.0", "0"},
        {"-3 + 1", "-2"},
        {"007", "7"},
        {"1.50", "1.5"},
        {"0.1 + 0.2", "0.3"},
        {"1e20 * 10", "1E21"},
        {"1 / 10000000", "1E-7"},
        {"\"1,5\" + 1", "2.5"},
        {"comma * 2", "3"},
        {"7 % 3", "1"},
        {"-7 % 3", "-1"},
        {"7.9 % 2.1", "1"},
        {"7.5 % 0.5", "0"}, // the divisor truncates to 0
        {"7 % 0", "0"},
        {"min % neg", "0"},
        {"big + 1", "-9223372036854775808"}, // 64-bit wrap-around
        {"big * 2", "-2"},
        {"\"ab\" + \"cd\"", "abcd"},
        {"\"abcd\" - \"bc\"", "ad"},
        {"\"abcbc\" - \"bc\"", "abc"},
        {"\"abcd\" - \"x\"", "abcd"},
        {"-\"abc\"", ""},
        {"s + 1", "text1"},
        {"\"abc\" * 2", "abc"}, // a text operand leaves the left value unchanged
        {"2 * \"abc\"", "2"},
        {"\"abc\" / 2", "abc"},
        {"1.0 = 1.00005", "1"},
        {"1.0 = 1.0002", ""},
        {"1.0 <> 1.00005", ""},
        {"1.0 <> 1.0002", "1"},
        {"1.0 < 1.00005", "1"}, // ordering comparisons are exact
        {"\"abc\" < \"abd\"", "1"},
        {"\"abc\" = \"ABC\"", ""},
        {"\"10\" > \"9\"", "1"},  // both integers
        {"\"10x\" > \"9x\"", ""}, // texts
        {"3 >= 3", "1"},
        {"3 <= 2", ""},
        {"\"b\" <= \"a\"", ""},
        {"a = b", "1"},
        {"a =", ""}, // compares a with the empty text
        {"(a =)", ""},
        {"empty =", "1"},
        {"0", "0"},
        {"not 0", ""},
        {"not \"\"", "1"},
        {"\"\" or \"\"", ""},
        {"1 = 1 and 0", "1"},
        {"1 = 2 or 2 = 2 and 3 = 4", ""}, // same precedence, left to right
        {"1 AND 1", "1"},
        {"not a = 6", "1"},
        {"", ""},
        {"  \t", ""},
        {"()", ""},
    };
    for (const TValueCase& c : cases)
    {
        evaluator_.Expression = c.expression;
        const bool result = evaluator_.Evaluate();
        EXPECT_EQ(evaluator_.ErrorCode(), 0) << c.expression << ": " << evaluator_.ErrorText();
        EXPECT_EQ(evaluator_.ErrorPosition(), -1) << c.expression;
        EXPECT_EQ(evaluator_.ResultValue(), c.value) << c.expression;
        EXPECT_EQ(result, !std::string(c.value).empty()) << c.expression;
        EXPECT_EQ(evaluator_.Result(), result) << c.expression;
    }
}

struct TValueErrorCase
{
    const char* expression;
    int code;
    int position;
};

TEST_F(BooleanEvaluatorTest, ErrorsTable)
{
    const TValueErrorCase cases[] = {
        {"a = b = c", kValueErrorOperationExpected, 7},
        {"1 2", kValueErrorOperationExpected, 3},
        {"1 ]", kValueErrorOperationExpected, 3},
        {"a (1)", kValueErrorOperationExpected, 3},
        {"\"abc", kValueErrorUnterminatedString, 2},
        {"1 + \"abc", kValueErrorUnterminatedString, 6},
        {"(1", kValueErrorParenthesisExpected, 3},
        {"((1) ", kValueErrorParenthesisExpected, 6},
        {"1)", kValueErrorUnexpectedParenthesis, 2},
        {")", kValueErrorUnexpectedParenthesis, 1},
        {"1 $", kValueErrorUnknownToken, 3},
        {"$", kValueErrorUnknownToken, 1},
        {"\xc3\xa9", kValueErrorUnknownToken, 1},
        {"nobody", kValueErrorUnknownToken, 1},
        {"nobody  ", kValueErrorUnknownToken, 1},
        {"nobody + 1", kValueErrorUnknownToken, 8},
        {"nobody[\"x\"] + 1", kValueErrorUnknownToken, 13},
        {"1 + *", kValueErrorUnexpectedToken, 5},
        {"not not 1", kValueErrorUnexpectedToken, 5},
        {"- - 1", kValueErrorUnexpectedToken, 3},
        {"[", kValueErrorUnexpectedToken, 1},
        {", 1", kValueErrorUnexpectedToken, 1},
        {"a[]", kValueErrorUnexpectedToken, 3},
        {"a[b", kValueErrorUnexpectedToken, 4},
        {"a[b c]", kValueErrorUnexpectedToken, 5},
        {"a[b,]", kValueErrorUnexpectedToken, 5},
        {"a[(b)]", kValueErrorUnexpectedToken, 3},
        {"a[and]", kValueErrorUnexpectedToken, 3},
    };
    for (const TValueErrorCase& c : cases)
    {
        evaluator_.Expression = c.expression;
        EXPECT_FALSE(evaluator_.Evaluate()) << c.expression;
        EXPECT_EQ(evaluator_.ErrorCode(), c.code) << c.expression;
        EXPECT_EQ(evaluator_.ErrorPosition(), c.position) << c.expression;
        EXPECT_EQ(evaluator_.ResultValue(), "") << c.expression;
    }
}

TEST_F(BooleanEvaluatorTest, PassesNamesAndArgumentsAsWritten)
{
    EXPECT_TRUE(evaluator_.Evaluate("cpu.load > 80"));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].name, "cpu.load");
    EXPECT_TRUE(calls_[0].arguments.empty());
    EXPECT_EQ(calls_[0].context, this);

    calls_.clear();
    EXPECT_TRUE(evaluator_.Evaluate("disk.free[\"C:\"] < 1000"));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].name, "disk.free");
    EXPECT_EQ(calls_[0].arguments, (std::vector<std::string>{"C:"}));

    // Argument names are not resolved and numbers stay as written.
    calls_.clear();
    evaluator_.Evaluate("disk.free[a, \"b c\", 1.50, a:b] = 500");
    EXPECT_EQ(evaluator_.ErrorCode(), 0);
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].arguments, (std::vector<std::string>{"a", "b c", "1.50", "a:b"}));

    // Numbers are never looked up.
    calls_.clear();
    evaluator_.Evaluate("1.5 + 2 + .5");
    EXPECT_EQ(evaluator_.ResultValue(), "4");
    EXPECT_TRUE(calls_.empty());
}

TEST_F(BooleanEvaluatorTest, ShortCircuitLeavesNamesUnresolved)
{
    evaluator_.ShortCircuit = true;
    EXPECT_FALSE(evaluator_.Evaluate("\"\" and (nobody + 1)"));
    EXPECT_EQ(evaluator_.ErrorCode(), 0);
    EXPECT_TRUE(evaluator_.Evaluate("1 or nobody"));
    EXPECT_EQ(evaluator_.ErrorCode(), 0);
    EXPECT_TRUE(calls_.empty());
    // The skip ends after one negation.
    EXPECT_TRUE(evaluator_.Evaluate("\"\" and nobody or a"));
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].name, "a");

    evaluator_.ShortCircuit = false;
    evaluator_.Evaluate("\"\" and nobody");
    EXPECT_EQ(evaluator_.ErrorCode(), kValueErrorUnknownToken);
}

TEST_F(BooleanEvaluatorTest, DeepNestingIsAnError)
{
    evaluator_.Expression = std::string(100000, '(') + "1";
    EXPECT_FALSE(evaluator_.Evaluate());
    EXPECT_EQ(evaluator_.ErrorCode(), kValueErrorTooDeep);
    EXPECT_EQ(evaluator_.ErrorPosition(), kMaxExpressionNesting + 1);

    evaluator_.Expression = std::string(kMaxExpressionNesting, '(') + "1" + std::string(kMaxExpressionNesting, ')');
    EXPECT_TRUE(evaluator_.Evaluate());
    EXPECT_EQ(evaluator_.ResultValue(), "1");
}

TEST(BooleanEvaluatorNoCallbackTest, UnknownNamesFail)
{
    TBooleanEvaluator evaluator("x > 1");
    EXPECT_FALSE(evaluator.Evaluate());
    EXPECT_EQ(evaluator.ErrorCode(), kValueErrorUnknownToken);
    EXPECT_EQ(evaluator.ErrorText(), "Unknown token");
    EXPECT_TRUE(evaluator.Evaluate("2 > 1"));
    EXPECT_EQ(evaluator.ErrorCode(), 0);
}

TEST(BooleanEvaluatorErrorTextTest, Table)
{
    const std::pair<int, const char*> cases[] = {
        {0, "OK"},
        {-1, "Unknown error"},
        {-2, "Unknown token"},
        {-3, "Unexpected token"},
        {-4, "Operation expected"},
        {-5, "Parenthesis expected"},
        {-6, "Unexpected parenthesis"},
        {-7, "Unterminated string"},
        {-8, "Expression nested too deeply"},
        {-9, "Undefined error"},
        {1, "Undefined error"},
    };
    for (const auto& [code, text] : cases)
    {
        EXPECT_EQ(ValueErrorText(code), text) << code;
    }
}

TEST(BooleanEvaluatorNumbersTest, IntegerForms)
{
    const std::pair<const char*, bool> cases[] = {
        {"42", true},
        {" 42", true},
        {"+5", true},
        {"-5", true},
        {"42 ", false},
        {"+-5", false},
        {"", false},
        {"-", false},
        {"4 2", false},
        {"1.0", false},
        {"0x10", false},
        {"9223372036854775807", true},
        {"9223372036854775808", false},
        {"-9223372036854775808", true},
    };
    for (const auto& [text, expected] : cases)
    {
        int64_t value = 0;
        EXPECT_EQ(ValueAsInteger(text, value), expected) << text;
    }
}

TEST(BooleanEvaluatorNumbersTest, DecimalForms)
{
    const std::pair<const char*, bool> cases[] = {
        {"1.5", true},  {"1,5", true},  {" -1.5 ", true}, {".5", true},     {"5.", true}, {"1e5", true},
        {"1E-5", true}, {"+2", true},   {"1.2.3", false}, {"1,2.3", false}, {".", false}, {"1e", false},
        {"inf", false}, {"nan", false}, {"0x1p3", false}, {"1e400", false}, {"", false},  {"1 5", false},
    };
    for (const auto& [text, expected] : cases)
    {
        double value = 0.0;
        EXPECT_EQ(ValueAsDecimal(text, value), expected) << text;
    }
    double value = 0.0;
    ASSERT_TRUE(ValueAsDecimal("-1,25", value));
    EXPECT_EQ(value, -1.25);
}

TEST(BooleanEvaluatorNumbersTest, GeneralFormat)
{
    const std::pair<double, const char*> cases[] = {
        {3.5, "3.5"},
        {-0.0, "0"},
        {1e20, "1E20"},
        {1e-7, "1E-7"},
        {0.0001, "0.0001"},
        {1e15, "1E15"},
        {123456789012345.0, "123456789012345"},
        {123456789012345678.0, "1.23456789012346E17"},
        {-2.5, "-2.5"},
    };
    for (const auto& [value, text] : cases)
    {
        EXPECT_EQ(FormatDecimal(value), text) << value;
    }
}

// The separator is "." whatever the C library's numeric locale says.
TEST(BooleanEvaluatorNumbersTest, IgnoresTheCLocale)
{
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    // scripts/setup.sh generates this locale.
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "de_DE.UTF-8 locale not installed";
    TBooleanEvaluator evaluator;
    const bool ok = evaluator.Evaluate("7 / 2 = 3.5");
    const std::string value = (evaluator.Evaluate("7 / 2"), evaluator.ResultValue());
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_TRUE(ok);
    EXPECT_EQ(value, "3.5");
}

// Inputs that once troubled the fuzzer (and hand-made hostile ones): the first byte holds the
// switches, the rest is the expression. Each must finish with a positioned error or none.
TEST(BooleanEvaluatorRegressionTest, ReplaysFuzzInputs)
{
    const std::filesystem::path folder =
        std::filesystem::path(WARDLARK_SOURCE_DIR) / "fuzz/regressions/ValueExpression";
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
    {
        const std::string input = test::ReadWholeFile(entry.path().string());
        if (input.empty())
        {
            continue;
        }
        TBooleanEvaluator evaluator(input.substr(1));
        evaluator.ShortCircuit = (input[0] & 1) != 0;
        evaluator.OnVariable =
            [](void*, const std::string&, const std::vector<std::string>&, std::string& value, bool& handled)
        {
            value = "9223372036854775807";
            handled = true;
        };
        evaluator.Evaluate();
        if (evaluator.ErrorCode() != 0)
        {
            EXPECT_GE(evaluator.ErrorPosition(), 1) << entry.path();
            EXPECT_LE(evaluator.ErrorPosition(), static_cast<int>(input.size())) << entry.path();
        }
    }
}

} // namespace
} // namespace wardlark
