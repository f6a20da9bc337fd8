#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wardlark
{

// Value expressions: a small typed language over texts with numbers, strings, variables with
// arguments, arithmetic, comparisons and "and"/"or"/"not". From the loosest binding to the
// tightest:
//   expression := negation { ("and" | "or") negation }        same precedence, left to right
//   negation   := ["not"] comparison
//   comparison := sum [ ("=" | "<>" | "<" | "<=" | ">" | ">=") sum ]
//   sum        := ["-"] term { ("+" | "-") term }
//   term       := primary { ("*" | "/" | "%") primary }
//   primary    := string | name [ "[" argument { "," argument } "]" ] | "(" expression ")"
// Every value is a text; a value is true when it is not empty, and comparisons and the logical
// operators give "1" or "". A name that reads as a number is that number; every other name is
// resolved by OnVariable. Numbers are written with "." as the decimal separator ("," is read as
// one too); the program's numeric format never depends on the C locale.

// Error codes of TBooleanEvaluator::ErrorCode().
inline constexpr int kValueErrorNone = 0;
inline constexpr int kValueErrorUnknown = -1;
inline constexpr int kValueErrorUnknownToken = -2;
inline constexpr int kValueErrorUnexpectedToken = -3;
inline constexpr int kValueErrorOperationExpected = -4;
inline constexpr int kValueErrorParenthesisExpected = -5;
inline constexpr int kValueErrorUnexpectedParenthesis = -6;
inline constexpr int kValueErrorUnterminatedString = -7;
// Parentheses nested deeper than kMaxExpressionNesting (unitBooleanExpressions.h).
inline constexpr int kValueErrorTooDeep = -8;

// The text of a value-expression error code: 0 "OK", -2 "Unknown token", -3 "Unexpected
// token", -4 "Operation expected", -5 "Parenthesis expected", -6 "Unexpected parenthesis",
// -7 "Unterminated string", -8 "Expression nested too deeply", -1 "Unknown error", any other
// "Undefined error".
std::string ValueErrorText(int code);

// Number forms shared with the callers that format values for these expressions.
// True, with the value in `value`, when `text` is a signed 64-bit whole number in decimal
// (optional leading blanks and tabs, optional sign, digits, nothing after them).
bool ValueAsInteger(std::string_view text, int64_t& value) noexcept;
// True, with the value in `value`, when `text` is a finite floating-point number once every ","
// is read as "." (optional leading and trailing blanks, optional sign, digits with at most one
// separator, optional exponent "e"/"E" with optional sign).
bool ValueAsDecimal(std::string_view text, double& value) noexcept;
// `value` in the general format: the shortest form with at most 15 significant digits, "." as
// the separator, an exponent ("1E20", "1E-7") only where the plain form would need more digits.
std::string FormatDecimal(double value);

// Thread safety: one object per thread at a time; distinct objects are independent.
class TBooleanEvaluator
{
public:
    // Resolves one variable: `context` is the evaluator's Context, `name` the name as written,
    // `arguments` the texts written in brackets after it (string arguments without their
    // quotes; empty when there are none). Sets `value` and `handled`; when `handled` stays false
    // the evaluation fails with "Unknown token". Exceptions thrown by the callback are not
    // caught: they leave Evaluate() and the evaluator must be evaluated afresh before its
    // results are read.
    using TVariableEvent =
        std::function<void(void* context, const std::string& name, const std::vector<std::string>& arguments,
                           std::string& value, bool& handled)>;

    TBooleanEvaluator() = default;
    explicit TBooleanEvaluator(std::string expression) : Expression(std::move(expression)) {}

    // The expression text; read by Evaluate().
    std::string Expression;
    // The variable callback; without one every name that is not a number is an unknown token.
    TVariableEvent OnVariable;
    // Handed back to OnVariable untouched.
    void* Context = nullptr;
    // When true, the negation after an "and" whose left value is empty (or an "or" whose left
    // value is not) is evaluated without resolving its names: they count as empty.
    bool ShortCircuit = true;

    // Evaluates Expression from a clean state. On success ErrorCode() is 0, ErrorPosition() -1,
    // ResultValue() the final value and Result() true when it is not empty. On failure
    // ErrorCode() holds the error, ErrorPosition() its 1-based character position,
    // ResultValue() is empty and Result() false. Returns Result().
    bool Evaluate();
    // Sets Expression to `expression`, then as Evaluate().
    bool Evaluate(std::string_view expression);

    const std::string& ResultValue() const { return resultValue_; }
    bool Result() const { return result_; }
    int ErrorCode() const { return errorCode_; }
    int ErrorPosition() const { return errorPosition_; }
    // ValueErrorText(ErrorCode()).
    std::string ErrorText() const { return ValueErrorText(errorCode_); }

private:
    enum class TTokenKind
    {
        OpenParen,
        CloseParen,
        OpenBracket,
        CloseBracket,
        Comma,
        And,
        Or,
        Not,
        Equal,
        NotEqual,
        Less,
        LessEqual,
        Greater,
        GreaterEqual,
        String,
        Name,
        Plus,
        Minus,
        Multiply,
        Divide,
        Modulo,
        End
    };

    void NextToken();
    std::string ParseExpression();
    std::string ParseNegation();
    std::string ParseComparison();
    std::string ParseSum();
    std::string ParseTerm();
    std::string ParsePrimary();
    std::string ResolveName(size_t nameStart);
    std::string TokenText() const;
    std::string StringTokenValue() const;
    bool Failed() const { return errorCode_ != kValueErrorNone; }
    void Fail(int code, size_t offset);

    std::string resultValue_;
    bool result_ = false;
    int errorCode_ = kValueErrorNone;
    int errorPosition_ = -1;
    // Scanning state, 0-based offsets into Expression; the current token is
    // Expression[tokenFirst_, tokenLast_).
    size_t position_ = 0;
    int parenDepth_ = 0;
    TTokenKind token_ = TTokenKind::End;
    size_t tokenFirst_ = 0;
    size_t tokenLast_ = 0;
    bool skipping_ = false;
    // The variable being read.
    std::string variableName_;
    std::vector<std::string> variableArguments_;
};

} // namespace wardlark
