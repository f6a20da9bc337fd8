#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace wardlark
{

// Token expressions: "and", "or", "not" and parentheses over tokens whose truth the caller
// decides. A token is a bare word (a run of bytes up to whitespace, '"', '(' or ')') or a quoted
// token ('"', anything up to the next '"', no escapes). The bare words "and", "or" and "not"
// (case-sensitive) are the operators; every other token is an operand. "and" and "or" have the
// same precedence and apply from left to right: "a or b and c" is "(a or b) and c". "not" may
// not be doubled. "()" is false.

// Error codes of TBooleanExpression::ErrorCode().
inline constexpr int kTokenErrorNone = 0;
inline constexpr int kTokenErrorUnknownToken = 1;
inline constexpr int kTokenErrorUnexpectedToken = 2;
inline constexpr int kTokenErrorOperationExpected = 3;
inline constexpr int kTokenErrorParenthesisExpected = 4;
inline constexpr int kTokenErrorUnexpectedParenthesis = 5;
inline constexpr int kTokenErrorUnterminatedString = 6;
// Parentheses nested deeper than kMaxExpressionNesting.
inline constexpr int kTokenErrorTooDeep = 7;
inline constexpr int kTokenErrorUnknown = -1;

// Deepest parenthesis nesting either expression language accepts; one more "(" is an error at
// its position, so that hostile input cannot exhaust the stack.
inline constexpr int kMaxExpressionNesting = 256;

// The text of a token-expression error code: 0 "OK", 1 "Unknown token", 2 "Unexpected token",
// 3 "Operation expected", 4 "Parenthesis expected", 5 "Unexpected parenthesis",
// 6 "Unterminated string", 7 "Expression nested too deeply", -1 "Unknown error", any other
// "Undefined error".
std::string TokenErrorText(int code);

// Thread safety: one object per thread at a time; distinct objects are independent.
class TBooleanExpression
{
public:
    // Called for each operand token that is evaluated: returns the token's truth and sets
    // `known` to true when the token means something to the caller. An operand whose `known`
    // stays false is the error "Unknown token". Exceptions thrown by the callback are not
    // caught: they leave Evaluate(), and the results are undefined until the next Evaluate().
    using TTokenEvent = std::function<bool(const std::string& token, bool& known)>;

    TBooleanExpression() = default;
    explicit TBooleanExpression(std::string expression) : Expression(std::move(expression)) {}

    // The expression text; read by Evaluate().
    std::string Expression;
    // The token callback; without one every operand is an unknown token.
    TTokenEvent OnToken;
    // When true, the unary after an "and" whose left side is false (or an "or" whose left side
    // is true) is parsed without calling OnToken: its operands count as false and unknown
    // tokens in it are no error.
    bool ShortCircuit = true;

    // Evaluates Expression from a clean state. Afterwards Result() holds the truth, and
    // ErrorCode() is 0 with ErrorPosition() -1; or ErrorCode() holds an error, ErrorPosition() its
    // 1-based character position (the start of the offending token; the length of the text + 1
    // for "Parenthesis expected" and "Unterminated string"), and Result() the value of the
    // operators completed before the error (false when none was). Returns Result().
    bool Evaluate();

    bool Result() const { return result_; }
    int ErrorCode() const { return errorCode_; }
    int ErrorPosition() const { return errorPosition_; }
    // TokenErrorText(ErrorCode()).
    std::string ErrorText() const { return TokenErrorText(errorCode_); }

private:
    enum class TTokenKind
    {
        Operand,
        OpenParen,
        CloseParen,
        End,
        And,
        Or,
        Not
    };

    void NextToken();
    bool ParseExpression();
    bool ParseUnary();
    bool ParsePrimary();
    bool Failed() const { return errorCode_ != kTokenErrorNone; }
    void Fail(int code, size_t offset);

    bool result_ = false;
    int errorCode_ = kTokenErrorNone;
    int errorPosition_ = -1;
    // Scanning state, 0-based offsets into Expression.
    size_t position_ = 0;
    int parenDepth_ = 0;
    TTokenKind token_ = TTokenKind::End;
    size_t tokenStart_ = 0;
    bool operandValue_ = false;
    bool skipping_ = false;
};

// Mask expressions: token expressions whose operands are masks (see MatchesMask) tested against
// one text; every operand is known.
//
// Thread safety: one object per thread at a time.
class TBooleanWrapper
{
public:
    TBooleanWrapper();

    // Sets the text and evaluates `expression` over it. Returns the expression's result without
    // looking at the error code: a malformed expression gives the value computed before the
    // evaluation stopped (false when it stopped before the first operand). Never throws apart
    // from std::bad_alloc.
    bool Evaluate(std::string_view text, std::string_view expression);

    // The error of the last Evaluate(), for callers that want to report it.
    const TBooleanExpression& Expression() const { return expression_; }

private:
    TBooleanExpression expression_;
    std::string text_;
};

} // namespace wardlark
