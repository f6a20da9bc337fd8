#include "text/unitTmlErrors.h"

namespace wardlark
{

std::string TmlErrorText(int code)
{
    switch (code)
    {
    case kTmlUnknownError:
        return "Unknown error.";
    case kTmlOk:
        return "OK.";
    case kTmlCancelled:
        return "Cancelled by the user.";
    case kTmlUnterminatedBlock:
        return "Unterminated block.";
    case kTmlUnexpectedBlockEnd:
        return "Unexpected end of the block.";
    case kTmlBlockNameExpected:
        return "Block name is expected.";
    case kTmlBlockNameTooLong:
        return "Block name is too long (maximum 255 characters allowed).";
    case kTmlBlockExists:
        return "Block name already exists.";
    case kTmlBlockParamExpected:
        return "Parameter name or \"|\" are expected.";
    case kTmlUnterminatedVariable:
        return "Unterminated variable.";
    case kTmlUnexpectedVariableEnd:
        return "Unexpected end of the variable.";
    case kTmlVariableNameExpected:
        return "Variable name is expected.";
    case kTmlVariableNameTooLong:
        return "Variable name is too long (maximum 255 characters allowed).";
    case kTmlVariableParamExpected:
        return "Parameter name or \"}}\" are expected.";
    case kTmlBraceExpected:
        return "\"}\" character is expected.";
    case kTmlEqualsExpected:
        return "\"=\" character is expected.";
    case kTmlValueExpected:
        return "Parameter value is expected.";
    case kTmlUnterminatedString:
        return "Unterminated string value.";
    case kTmlValueTooLong:
        return "Parameter value is too long (maximum 255 characters allowed).";
    case kTmlAddBlockFailed:
        return "Error while adding a block.";
    case kTmlUnknownParameter:
        return "Unknown parameter.";
    case kTmlInvalidValue:
        return "Invalid parameter value.";
    case kTmlBooleanExpected:
        return "Boolean value is expected.";
    case kTmlOrdinalExpected:
        return "Ordinal value is expected.";
    case kTmlNoVarsSource:
        return "Vars source is not assigned.";
    case kTmlNoOutputStream:
        return "Output stream is not assigned.";
    case kTmlOutputLimit:
        return "Output size limit exceeded.";
    case kTmlStepLimit:
        return "Rendering step limit exceeded.";
    default:
        return "Undefined error code: " + std::to_string(code);
    }
}

ETmlError::ETmlError(int code, int position)
    : EWardlarkError(TmlErrorText(code) + " Position: " + std::to_string(position)), code_(code), position_(position)
{
}

} // namespace wardlark
