// Conversion of coordinate and altitude texts to numbers, whatever the locale.
#pragma once

#include <string_view>

namespace rizuzez {

// Plain decimal text (blanks around it, optional sign, digits with one decimal mark, optional
// exponent) to a number. Every "." counts as the locale's decimal separator, so "52.5" is read
// on every desktop and "52,5" too where the separator is ",". Anything else (hex, inf, nan,
// thousands separators, out-of-range values) gives InvalidValue.
double StrToCoord(std::string_view text, char decimalSeparator = '.');

} // namespace rizuzez
