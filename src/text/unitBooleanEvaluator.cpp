#include "text/unitBooleanEvaluator.h"

#include "text/unitBooleanExpressions.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <new>

namespace wardlark
{

namespace
{

bool IsSeparator(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

bool IsNameStart(char c)
{
    return c == '.' || c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool EndsName(char c)
{
    switch (c)
    {
    case '\t':
    case '\n':
    case '\r':
    case ' ':
    case '"':
    case '%':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case '-':
    case '/':
    case '<':
    case '=':
    case '>':
    case '[':
    case ']':
        return true;
    default:
        return false;
    }
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Two's-complement wrap-around instead of undefined overflow.
int64_t WrapAdd(int64_t a, int64_t b)
{
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}

int64_t WrapSub(int64_t a, int64_t b)
{
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

int64_t WrapMul(int64_t a, int64_t b)
{
    return static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b));
}

// The remainder without the one quotient that does not fit (INT64_MIN % -1 traps on x86).
int64_t SafeRemainder(int64_t a, int64_t b)
{
    return b == -1 ? 0 : a % b;
}

bool FitsInt64(double value)
{
    return value >= -9223372036854775808.0 && value < 9223372036854775808.0;
}

// The running value of a sum counts as 0 while it is empty.
bool SumOperandAsInteger(const std::string& text, int64_t& value)
{
    if (text.empty())
    {
        value = 0;
        return true;
    }
    return ValueAsInteger(text, value);
}

bool SumOperandAsDecimal(const std::string& text, double& value)
{
    if (text.empty())
    {
        value = 0.0;
        return true;
    }
    return ValueAsDecimal(text, value);
}

std::string Bool(bool value)
{
    return value ? "1" : "";
}

} // namespace

std::string ValueErrorText(int code)
{
    switch (code)
    {
    case kValueErrorNone:
        return "OK";
    case kValueErrorUnknownToken:
        return "Unknown token";
    case kValueErrorUnexpectedToken:
        return "Unexpected token";
    case kValueErrorOperationExpected:
        return "Operation expected";
    case kValueErrorParenthesisExpected:
        return "Parenthesis expected";
    case kValueErrorUnexpectedParenthesis:
        return "Unexpected parenthesis";
    case kValueErrorUnterminatedString:
        return "Unterminated string";
    case kValueErrorTooDeep:
        return "Expression nested too deeply";
    case kValueErrorUnknown:
        return "Unknown error";
    default:
        return "Undefined error";
    }
}

bool ValueAsInteger(std::string_view text, int64_t& value) noexcept
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
    {
        ++i;
    }
    if (i < text.size() && text[i] == '+')
    {
        ++i;
        // from_chars would accept a second sign after the "+".
        if (i >= text.size() || !IsDigit(text[i]))
        {
            return false;
        }
    }
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    int64_t parsed = 0;
    const auto [end, ec] = std::from_chars(first, last, parsed, 10);
    if (ec != std::errc() || end != last)
    {
        return false;
    }
    value = parsed;
    return true;
}

bool ValueAsDecimal(std::string_view text, double& value) noexcept
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && (text[first] == ' ' || text[first] == '\t'))
    {
        ++first;
    }
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
    {
        --last;
    }
    // Checked by hand so that from_chars sees only plain decimal notation (no "inf", "nan" or
    // hexadecimal forms), with "," read as the separator.
    size_t i = first;
    if (i < last && (text[i] == '+' || text[i] == '-'))
    {
        ++i;
    }
    const size_t mantissaFirst = i;
    size_t digits = 0;
    size_t separator = std::string_view::npos;
    for (; i < last; ++i)
    {
        if (IsDigit(text[i]))
        {
            ++digits;
        }
        else if ((text[i] == '.' || text[i] == ',') && separator == std::string_view::npos)
        {
            separator = i;
        }
        else
        {
            break;
        }
    }
    if (digits == 0)
    {
        return false;
    }
    if (i < last && (text[i] == 'e' || text[i] == 'E'))
    {
        ++i;
        if (i < last && (text[i] == '+' || text[i] == '-'))
        {
            ++i;
        }
        const size_t exponentFirst = i;
        while (i < last && IsDigit(text[i]))
        {
            ++i;
        }
        if (i == exponentFirst)
        {
            return false;
        }
    }
    if (i != last)
    {
        return false;
    }
    try
    {
        // from_chars accepts neither a leading "+" nor ",".
        std::string plain(text.substr(mantissaFirst, last - mantissaFirst));
        if (separator != std::string_view::npos)
        {
            plain[separator - mantissaFirst] = '.';
        }
        if (text[first] == '-')
        {
            plain.insert(plain.begin(), '-');
        }
        double parsed = 0.0;
        const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), parsed);
        if (ec != std::errc() || end != plain.data() + plain.size() || !std::isfinite(parsed))
        {
            return false;
        }
        value = parsed;
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

std::string FormatDecimal(double value)
{
    if (value == 0.0)
    {
        return "0"; // also for -0
    }
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::general, 15);
    if (ec != std::errc())
    {
        return "0";
    }
    std::string text(buffer, end);
    // "1e+20" becomes "1E20" and "1e-07" becomes "1E-7".
    const size_t e = text.find('e');
    if (e != std::string::npos)
    {
        std::string exponent = text.substr(e + 1);
        std::string sign;
        if (!exponent.empty() && (exponent[0] == '+' || exponent[0] == '-'))
        {
            if (exponent[0] == '-')
            {
                sign = "-";
            }
            exponent.erase(0, 1);
        }
        const size_t nonZero = exponent.find_first_not_of('0');
        exponent = nonZero == std::string::npos ? "0" : exponent.substr(nonZero);
        text = text.substr(0, e) + "E" + sign + exponent;
    }
    return text;
}

bool TBooleanEvaluator::Evaluate(std::string_view expression)
{
    Expression.assign(expression);
    return Evaluate();
}

bool TBooleanEvaluator::Evaluate()
{
    resultValue_.clear();
    result_ = false;
    errorCode_ = kValueErrorNone;
    errorPosition_ = -1;
    position_ = 0;
    parenDepth_ = 0;
    token_ = TTokenKind::End;
    tokenFirst_ = 0;
    tokenLast_ = 0;
    skipping_ = false;
    variableName_.clear();
    variableArguments_.clear();

    NextToken();
    std::string value;
    if (!Failed())
    {
        // A ")" at the outermost level fails in NextToken, so the expression stops only at the
        // end or at an error.
        value = ParseExpression();
    }
    if (!Failed())
    {
        resultValue_ = std::move(value);
        result_ = !resultValue_.empty();
    }
    return result_;
}

void TBooleanEvaluator::Fail(int code, size_t offset)
{
    if (!Failed())
    {
        errorCode_ = code;
        errorPosition_ = static_cast<int>(offset + 1);
    }
    token_ = TTokenKind::End;
}

std::string TBooleanEvaluator::TokenText() const
{
    return Expression.substr(tokenFirst_, tokenLast_ - tokenFirst_);
}

std::string TBooleanEvaluator::StringTokenValue() const
{
    return Expression.substr(tokenFirst_ + 1, tokenLast_ - tokenFirst_ - 2);
}

void TBooleanEvaluator::NextToken()
{
    const std::string& text = Expression;
    while (position_ < text.size() && IsSeparator(text[position_]))
    {
        ++position_;
    }
    tokenFirst_ = position_;
    tokenLast_ = position_;
    if (position_ >= text.size())
    {
        token_ = TTokenKind::End;
        return;
    }
    const char c = text[position_];
    const char next = position_ + 1 < text.size() ? text[position_ + 1] : '\0';
    size_t length = 1;
    switch (c)
    {
    case '(':
        token_ = TTokenKind::OpenParen;
        ++parenDepth_;
        break;
    case ')':
        token_ = TTokenKind::CloseParen;
        --parenDepth_;
        break;
    case '[':
        token_ = TTokenKind::OpenBracket;
        break;
    case ']':
        token_ = TTokenKind::CloseBracket;
        break;
    case ',':
        token_ = TTokenKind::Comma;
        break;
    case '=':
        token_ = TTokenKind::Equal;
        break;
    case '+':
        token_ = TTokenKind::Plus;
        break;
    case '-':
        token_ = TTokenKind::Minus;
        break;
    case '*':
        token_ = TTokenKind::Multiply;
        break;
    case '/':
        token_ = TTokenKind::Divide;
        break;
    case '%':
        token_ = TTokenKind::Modulo;
        break;
    case '<':
        if (next == '>')
        {
            token_ = TTokenKind::NotEqual;
            length = 2;
        }
        else if (next == '=')
        {
            token_ = TTokenKind::LessEqual;
            length = 2;
        }
        else
        {
            token_ = TTokenKind::Less;
        }
        break;
    case '>':
        if (next == '=')
        {
            token_ = TTokenKind::GreaterEqual;
            length = 2;
        }
        else
        {
            token_ = TTokenKind::Greater;
        }
        break;
    case '"':
    {
        const size_t close = text.find('"', position_ + 1);
        if (close == std::string::npos)
        {
            Fail(kValueErrorUnterminatedString, position_ + 1);
            return;
        }
        token_ = TTokenKind::String;
        length = close + 1 - position_;
        break;
    }
    default:
        if (!IsNameStart(c))
        {
            Fail(kValueErrorUnknownToken, position_);
            return;
        }
        while (position_ + length < text.size() && !EndsName(text[position_ + length]))
        {
            ++length;
        }
        token_ = TTokenKind::Name;
        if (length <= 3)
        {
            std::string word = text.substr(position_, length);
            for (char& ch : word)
            {
                if (ch >= 'A' && ch <= 'Z')
                {
                    ch = static_cast<char>(ch - 'A' + 'a');
                }
            }
            if (word == "and")
            {
                token_ = TTokenKind::And;
            }
            else if (word == "or")
            {
                token_ = TTokenKind::Or;
            }
            else if (word == "not")
            {
                token_ = TTokenKind::Not;
            }
        }
        break;
    }
    position_ += length;
    tokenLast_ = position_;
    if (token_ == TTokenKind::CloseParen && parenDepth_ < 0)
    {
        Fail(kValueErrorUnexpectedParenthesis, tokenFirst_);
    }
    // Each open parenthesis is one level of recursion in the parser; bounding it here keeps
    // hostile input from exhausting the stack.
    else if (token_ == TTokenKind::OpenParen && parenDepth_ > kMaxExpressionNesting)
    {
        Fail(kValueErrorTooDeep, tokenFirst_);
    }
}

std::string TBooleanEvaluator::ParseExpression()
{
    std::string value = ParseNegation();
    while (!Failed())
    {
        if (token_ == TTokenKind::And || token_ == TTokenKind::Or)
        {
            const bool isAnd = token_ == TTokenKind::And;
            const bool saved = skipping_;
            if (ShortCircuit && (isAnd ? value.empty() : !value.empty()))
            {
                skipping_ = true;
            }
            NextToken();
            const std::string right = Failed() ? std::string() : ParseNegation();
            skipping_ = saved;
            if (Failed())
            {
                break;
            }
            value = isAnd ? Bool(!value.empty() && !right.empty()) : Bool(!value.empty() || !right.empty());
        }
        else if (token_ == TTokenKind::CloseParen || token_ == TTokenKind::End)
        {
            break;
        }
        else
        {
            Fail(kValueErrorOperationExpected, tokenFirst_);
        }
    }
    return value;
}

std::string TBooleanEvaluator::ParseNegation()
{
    if (token_ != TTokenKind::Not)
    {
        return ParseComparison();
    }
    NextToken();
    if (Failed())
    {
        return {};
    }
    const std::string value = ParseComparison();
    return Bool(value.empty());
}

std::string TBooleanEvaluator::ParseComparison()
{
    std::string left = ParseSum();
    if (Failed())
    {
        return left;
    }
    const TTokenKind op = token_;
    if (op != TTokenKind::Equal && op != TTokenKind::NotEqual && op != TTokenKind::Less &&
        op != TTokenKind::LessEqual && op != TTokenKind::Greater && op != TTokenKind::GreaterEqual)
    {
        return left;
    }
    NextToken();
    if (Failed())
    {
        return {};
    }
    const std::string right = ParseSum();
    if (Failed())
    {
        return {};
    }

    int order = 0; // <0, 0, >0 as left is below, equal to or above right
    bool nearlyEqual = false;
    int64_t a = 0;
    int64_t b = 0;
    double x = 0.0;
    double y = 0.0;
    if (ValueAsInteger(left, a) && ValueAsInteger(right, b))
    {
        order = a < b ? -1 : (a > b ? 1 : 0);
        nearlyEqual = order == 0;
    }
    else if (ValueAsDecimal(left, x) && ValueAsDecimal(right, y))
    {
        order = x < y ? -1 : (x > y ? 1 : 0);
        nearlyEqual = std::fabs(x - y) <= 0.0001;
    }
    else
    {
        order = left.compare(right);
        nearlyEqual = order == 0;
    }
    switch (op)
    {
    case TTokenKind::Equal:
        return Bool(nearlyEqual);
    case TTokenKind::NotEqual:
        return Bool(!nearlyEqual);
    case TTokenKind::Less:
        return Bool(order < 0);
    case TTokenKind::LessEqual:
        return Bool(order <= 0);
    case TTokenKind::Greater:
        return Bool(order > 0);
    default:
        return Bool(order >= 0);
    }
}

std::string TBooleanEvaluator::ParseSum()
{
    bool subtract = false;
    if (token_ == TTokenKind::Minus)
    {
        subtract = true;
        NextToken();
        if (Failed())
        {
            return {};
        }
    }
    std::string value;
    while (true)
    {
        const std::string right = ParseTerm();
        if (Failed())
        {
            return {};
        }
        int64_t a = 0;
        int64_t b = 0;
        double x = 0.0;
        double y = 0.0;
        if (SumOperandAsInteger(value, a) && ValueAsInteger(right, b))
        {
            value = std::to_string(subtract ? WrapSub(a, b) : WrapAdd(a, b));
        }
        else if (SumOperandAsDecimal(value, x) && ValueAsDecimal(right, y))
        {
            value = FormatDecimal(subtract ? x - y : x + y);
        }
        else if (!subtract)
        {
            value += right;
        }
        else
        {
            const size_t found = value.find(right);
            if (found != std::string::npos)
            {
                value.erase(found, right.size());
            }
        }
        if (token_ != TTokenKind::Plus && token_ != TTokenKind::Minus)
        {
            return value;
        }
        subtract = token_ == TTokenKind::Minus;
        NextToken();
        if (Failed())
        {
            return {};
        }
    }
}

std::string TBooleanEvaluator::ParseTerm()
{
    std::string value = ParsePrimary();
    while (!Failed() &&
           (token_ == TTokenKind::Multiply || token_ == TTokenKind::Divide || token_ == TTokenKind::Modulo))
    {
        const TTokenKind op = token_;
        NextToken();
        if (Failed())
        {
            return {};
        }
        const std::string right = ParsePrimary();
        if (Failed())
        {
            return {};
        }
        int64_t a = 0;
        int64_t b = 0;
        double x = 0.0;
        double y = 0.0;
        if (ValueAsInteger(value, a) && ValueAsInteger(right, b))
        {
            if (op == TTokenKind::Multiply)
            {
                value = std::to_string(WrapMul(a, b));
            }
            else if (b == 0)
            {
                value = "0";
            }
            else if (op == TTokenKind::Divide)
            {
                value = FormatDecimal(static_cast<double>(a) / static_cast<double>(b));
            }
            else
            {
                value = std::to_string(SafeRemainder(a, b));
            }
        }
        else if (ValueAsDecimal(value, x) && ValueAsDecimal(right, y))
        {
            if (op == TTokenKind::Multiply)
            {
                value = FormatDecimal(x * y);
            }
            else if (op == TTokenKind::Divide)
            {
                value = y == 0.0 ? "0" : FormatDecimal(x / y);
            }
            else
            {
                const double tx = std::trunc(x);
                const double ty = std::trunc(y);
                if (ty == 0.0)
                {
                    value = "0";
                }
                else if (FitsInt64(tx) && FitsInt64(ty))
                {
                    value = std::to_string(SafeRemainder(static_cast<int64_t>(tx), static_cast<int64_t>(ty)));
                }
                else
                {
                    // Beyond 64 bits the truncated values are whole doubles, whose remainder
                    // fmod computes exactly.
                    value = FormatDecimal(std::fmod(tx, ty));
                }
            }
        }
        // Otherwise the left value stays as it is.
    }
    return value;
}

std::string TBooleanEvaluator::ParsePrimary()
{
    switch (token_)
    {
    case TTokenKind::String:
    {
        std::string value = StringTokenValue();
        NextToken();
        return Failed() ? std::string() : value;
    }
    case TTokenKind::Name:
    {
        const size_t nameStart = tokenFirst_;
        variableName_ = TokenText();
        variableArguments_.clear();
        NextToken();
        if (Failed())
        {
            return {};
        }
        if (token_ == TTokenKind::OpenBracket)
        {
            while (true)
            {
                NextToken();
                if (Failed())
                {
                    return {};
                }
                if (token_ == TTokenKind::String)
                {
                    variableArguments_.push_back(StringTokenValue());
                }
                else if (token_ == TTokenKind::Name)
                {
                    variableArguments_.push_back(TokenText());
                }
                else
                {
                    Fail(kValueErrorUnexpectedToken, tokenFirst_);
                    return {};
                }
                NextToken();
                if (Failed())
                {
                    return {};
                }
                if (token_ == TTokenKind::CloseBracket)
                {
                    NextToken();
                    if (Failed())
                    {
                        return {};
                    }
                    break;
                }
                if (token_ != TTokenKind::Comma)
                {
                    Fail(kValueErrorUnexpectedToken, tokenFirst_);
                    return {};
                }
            }
        }
        return ResolveName(nameStart);
    }
    case TTokenKind::OpenParen:
    {
        NextToken();
        if (Failed())
        {
            return {};
        }
        std::string value = ParseExpression();
        if (Failed())
        {
            return {};
        }
        if (token_ != TTokenKind::CloseParen)
        {
            Fail(kValueErrorParenthesisExpected, Expression.size());
            return {};
        }
        NextToken();
        return Failed() ? std::string() : value;
    }
    case TTokenKind::CloseParen:
    case TTokenKind::End:
        // A missing operand reads as the empty value ("a =" compares a with "").
        return {};
    default:
        Fail(kValueErrorUnexpectedToken, tokenFirst_);
        return {};
    }
}

std::string TBooleanEvaluator::ResolveName(size_t nameStart)
{
    if (skipping_)
    {
        return {};
    }
    int64_t integer = 0;
    double decimal = 0.0;
    if (ValueAsInteger(variableName_, integer) || ValueAsDecimal(variableName_, decimal))
    {
        return variableName_;
    }
    std::string value;
    bool handled = false;
    if (OnVariable)
    {
        OnVariable(Context, variableName_, variableArguments_, value, handled);
    }
    if (!handled)
    {
        // Reported where the scan stands: at the token after the name, or at the name itself
        // when nothing follows it.
        Fail(kValueErrorUnknownToken, token_ == TTokenKind::End ? nameStart : tokenFirst_);
        return {};
    }
    return value;
}

} // namespace wardlark
