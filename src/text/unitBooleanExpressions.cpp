#include "text/unitBooleanExpressions.h"

#include "text/unitMasks.h"

namespace wardlark
{

namespace
{

bool IsSeparator(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

} // namespace

std::string TokenErrorText(int code)
{
    switch (code)
    {
    case kTokenErrorNone:
        return "OK";
    case kTokenErrorUnknownToken:
        return "Unknown token";
    case kTokenErrorUnexpectedToken:
        return "Unexpected token";
    case kTokenErrorOperationExpected:
        return "Operation expected";
    case kTokenErrorParenthesisExpected:
        return "Parenthesis expected";
    case kTokenErrorUnexpectedParenthesis:
        return "Unexpected parenthesis";
    case kTokenErrorUnterminatedString:
        return "Unterminated string";
    case kTokenErrorTooDeep:
        return "Expression nested too deeply";
    case kTokenErrorUnknown:
        return "Unknown error";
    default:
        return "Undefined error";
    }
}

bool TBooleanExpression::Evaluate()
{
    result_ = false;
    errorCode_ = kTokenErrorNone;
    errorPosition_ = -1;
    position_ = 0;
    parenDepth_ = 0;
    token_ = TTokenKind::End;
    tokenStart_ = 0;
    operandValue_ = false;
    skipping_ = false;

    NextToken();
    if (!Failed())
    {
        // A ")" at the outermost level fails in NextToken, so the expression can only stop at the
        // end or at an error.
        result_ = ParseExpression();
    }
    return result_;
}

void TBooleanExpression::Fail(int code, size_t offset)
{
    if (!Failed())
    {
        errorCode_ = code;
        errorPosition_ = static_cast<int>(offset + 1);
    }
    token_ = TTokenKind::End;
}

void TBooleanExpression::NextToken()
{
    const std::string& text = Expression;
    while (position_ < text.size() && IsSeparator(text[position_]))
    {
        ++position_;
    }
    tokenStart_ = position_;
    if (position_ >= text.size())
    {
        token_ = TTokenKind::End;
        return;
    }
    const char c = text[position_];
    if (c == '(')
    {
        ++position_;
        ++parenDepth_;
        token_ = TTokenKind::OpenParen;
        // Each open parenthesis is one level of recursion in the parser; bounding it here keeps
        // hostile input from exhausting the stack.
        if (parenDepth_ > kMaxExpressionNesting)
        {
            Fail(kTokenErrorTooDeep, tokenStart_);
        }
        return;
    }
    if (c == ')')
    {
        ++position_;
        --parenDepth_;
        token_ = TTokenKind::CloseParen;
        if (parenDepth_ < 0)
        {
            Fail(kTokenErrorUnexpectedParenthesis, tokenStart_);
        }
        return;
    }

    std::string word;
    bool quoted = false;
    if (c == '"')
    {
        const size_t close = text.find('"', position_ + 1);
        if (close == std::string::npos)
        {
            Fail(kTokenErrorUnterminatedString, text.size());
            return;
        }
        word = text.substr(position_ + 1, close - position_ - 1);
        position_ = close + 1;
        quoted = true;
    }
    else
    {
        size_t end = position_;
        while (end < text.size() && !IsSeparator(text[end]) && text[end] != '"' && text[end] != '(' && text[end] != ')')
        {
            ++end;
        }
        word = text.substr(position_, end - position_);
        position_ = end;
    }

    if (!quoted)
    {
        if (word == "and")
        {
            token_ = TTokenKind::And;
            return;
        }
        if (word == "or")
        {
            token_ = TTokenKind::Or;
            return;
        }
        if (word == "not")
        {
            token_ = TTokenKind::Not;
            return;
        }
    }

    token_ = TTokenKind::Operand;
    operandValue_ = false;
    if (skipping_)
    {
        return;
    }
    bool known = false;
    if (OnToken)
    {
        operandValue_ = OnToken(word, known);
    }
    if (!known)
    {
        operandValue_ = false;
        Fail(kTokenErrorUnknownToken, tokenStart_);
    }
}

// Returns the value of the operators completed so far even when it stops at an error, so that
// callers that ignore the error code get the value computed before the stop.
bool TBooleanExpression::ParseExpression()
{
    bool value = ParseUnary();
    while (!Failed())
    {
        if (token_ == TTokenKind::And || token_ == TTokenKind::Or)
        {
            const bool isAnd = token_ == TTokenKind::And;
            const bool saved = skipping_;
            if (ShortCircuit && (isAnd ? !value : value))
            {
                skipping_ = true;
            }
            NextToken();
            const bool right = Failed() ? false : ParseUnary();
            skipping_ = saved;
            if (Failed())
            {
                break;
            }
            value = isAnd ? (value && right) : (value || right);
        }
        else if (token_ == TTokenKind::CloseParen || token_ == TTokenKind::End)
        {
            break;
        }
        else
        {
            Fail(kTokenErrorOperationExpected, tokenStart_);
        }
    }
    return value;
}

bool TBooleanExpression::ParseUnary()
{
    if (token_ != TTokenKind::Not)
    {
        return ParsePrimary();
    }
    NextToken();
    if (Failed())
    {
        return false;
    }
    if (token_ == TTokenKind::Not)
    {
        Fail(kTokenErrorUnexpectedToken, tokenStart_);
        return false;
    }
    const bool value = ParsePrimary();
    return Failed() ? value : !value;
}

bool TBooleanExpression::ParsePrimary()
{
    switch (token_)
    {
    case TTokenKind::Operand:
    {
        const bool value = operandValue_;
        NextToken();
        return value;
    }
    case TTokenKind::OpenParen:
    {
        NextToken();
        if (Failed())
        {
            return false;
        }
        const bool value = ParseExpression();
        if (Failed())
        {
            return value;
        }
        if (token_ != TTokenKind::CloseParen)
        {
            Fail(kTokenErrorParenthesisExpected, Expression.size());
            return value;
        }
        NextToken();
        return value;
    }
    case TTokenKind::CloseParen:
        // A false operand; the caller then takes the ")" as the closing parenthesis.
        return false;
    default:
        Fail(kTokenErrorUnexpectedToken, tokenStart_);
        return false;
    }
}

TBooleanWrapper::TBooleanWrapper() = default;

bool TBooleanWrapper::Evaluate(std::string_view text, std::string_view expression)
{
    text_.assign(text);
    expression_.Expression.assign(expression);
    // Bound on every call rather than in the constructor, so that a copied wrapper never calls
    // back into the object it was copied from.
    expression_.OnToken = [this](const std::string& token, bool& known)
    {
        known = true;
        return MatchesMask(text_, token);
    };
    return expression_.Evaluate();
}

} // namespace wardlark
