#pragma once

#include "support/unitErrors.h"

#include <string>

namespace wardlark
{

// Result codes of template compilation and rendering (TTmlInserter::ErrorCode).
enum TTmlErrorCode : int
{
    kTmlUnknownError = -1,
    kTmlOk = 0,
    kTmlCancelled = 1,
    kTmlUnterminatedBlock = 2,
    kTmlUnexpectedBlockEnd = 3,
    kTmlBlockNameExpected = 4,
    kTmlBlockNameTooLong = 5,
    kTmlBlockExists = 6,
    kTmlBlockParamExpected = 7,
    kTmlUnterminatedVariable = 8,
    kTmlUnexpectedVariableEnd = 9, // never raised; kept so that its text stays defined
    kTmlVariableNameExpected = 10,
    kTmlVariableNameTooLong = 11,
    kTmlVariableParamExpected = 12,
    kTmlBraceExpected = 13,
    kTmlEqualsExpected = 14,
    kTmlValueExpected = 15,
    kTmlUnterminatedString = 16,
    kTmlValueTooLong = 17, // never raised
    kTmlAddBlockFailed = 18,
    kTmlUnknownParameter = 19,
    kTmlInvalidValue = 20,
    kTmlBooleanExpected = 21,
    kTmlOrdinalExpected = 22, // never raised
    kTmlNoVarsSource = 23,
    kTmlNoOutputStream = 24,
    // Rendering stopped because the output, or the held-back whitespace, would exceed the
    // inserter's output limit.
    kTmlOutputLimit = 25,
    // Rendering stopped because it took more steps than the inserter's step limit allows
    // (deeply nested iteration can otherwise run for hours).
    kTmlStepLimit = 26,
};

// The fixed English text of a result code: "OK." for 0, "Unknown error." for -1 and
// "Undefined error code: " followed by the code in decimal for a code without a text.
std::string TmlErrorText(int code);

// What RenderTml raises when a template does not compile or does not render. The message is
// the code's text, " Position: " and the position in decimal ("Unterminated block. Position: 17").
class ETmlError : public EWardlarkError
{
public:
    ETmlError(int code, int position);

    int Code() const { return code_; }
    int Position() const { return position_; }

private:
    int code_;
    int position_;
};

} // namespace wardlark
