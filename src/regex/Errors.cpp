// Message catalogue of bad_regexpr.
#include "regex/Regex.h"

namespace regex {

const char* ErrorMessage(ErrorCode code) noexcept {
  switch (code) {
    case ErrorCode::NoError: return "no error";
    case ErrorCode::QuantifierNotExpected: return "quantifier not expected";
    case ErrorCode::RepeatRangeReversed: return "Can't do {n, m} with n > m";
    case ErrorCode::SubexpressionNotQuantifiable:
      return "sub-expression cannot be quantified";
    case ErrorCode::RecursionNotQuantifiable:
      return "recursion sub-expression cannot be quantified";
    case ErrorCode::LookaheadNotQuantifiable:
      return "look-ahead assertion cannot be quantified";
    case ErrorCode::MismatchedParenthesis: return "mismatched parenthesis";
    case ErrorCode::BadExtension: return "bad extension sequence";
    case ErrorCode::UnterminatedComment: return "Expecting end of comment";
    case ErrorCode::TooManyConditionalAlternates:
      return "Too many alternates in conditional subexpression";
    case ErrorCode::NonexistentGroup: return "reference to nonexistent group";
    case ErrorCode::InvalidSetRange:
      return "invalid range specified in character set";
    case ErrorCode::UnterminatedSet: return "expecting end of character set";
    case ErrorCode::IncompleteControlEscape:
      return "incomplete escape sequence \\c";
    case ErrorCode::QuoteMetaNotOn:
      return "quotemeta turned off, but was never turned on";
    case ErrorCode::IllFormed: return "ill-formed regular expression";
    case ErrorCode::SubstitutionEscapeExpected:
      return "expecting escape sequence in substitution string";
    case ErrorCode::SubstitutionInvalidBackref:
      return "invalid backreference in substitution";
  }
  return "ill-formed regular expression";
}

bad_regexpr::bad_regexpr(ErrorCode code)
    : std::runtime_error(ErrorMessage(code)), code_(code) {}

}  // namespace regex
