// Strict decimal number parsing for message fields and typed coordinates.
#include "feed/coord.h"

#include "geodesy/trigo.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace rizuzez {
namespace {

constexpr double PowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common field "-12.34567": sign, digits, one mark, no exponent. When the digits read as
// a whole number below 2^53 and there are at most 22 after the mark, both the number and the
// power of ten are exact doubles and their quotient is correctly rounded: the very double the
// general path gives. false leaves the text to the general path.
bool plainDecimal(std::string_view text, char decimalSeparator, double& value) {
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        ++i;
    }
    std::uint64_t mantissa = 0;
    int digits = 0, fraction = 0;
    bool mark = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 19) {
                return false;
            }
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
            fraction += mark;
        } else if ((c == '.' || c == decimalSeparator) && !mark) {
            mark = true;
        } else {
            return false;
        }
    }
    if (digits == 0 || mantissa > (std::uint64_t{1} << 53) || fraction > 22) {
        return false;
    }
    const double v = static_cast<double>(mantissa) / PowersOfTen[fraction];
    value = negative ? -v : v;
    return true;
}

} // namespace

double StrToCoord(std::string_view text, char decimalSeparator) {
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32) {
        ++b;
    }
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) {
        --e;
    }
    text = text.substr(b, e - b);
    if (text.empty() || text.size() > 400) {
        return InvalidValue;
    }
    if (double fast; plainDecimal(text, decimalSeparator, fast)) {
        return fast;
    }

    // Validate the grammar and build the text from_chars understands ('.' as the mark).
    char buf[512];
    std::size_t n = 0, i = 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    std::size_t digits = 0;
    bool mark = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            buf[n++] = c;
            ++digits;
        } else if ((c == '.' || c == decimalSeparator) && !mark) {
            mark = true;
            buf[n++] = '.';
        } else {
            break;
        }
    }
    if (digits == 0) {
        return InvalidValue;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        buf[n++] = 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            buf[n++] = text[i++];
        }
        std::size_t expDigits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            buf[n++] = text[i++];
            ++expDigits;
        }
        if (expDigits == 0) {
            return InvalidValue;
        }
    }
    if (i != text.size()) {
        return InvalidValue;
    }
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(buf, buf + n, value, std::chars_format::general);
    if (ptr != buf + n) {
        return InvalidValue;
    }
    if (ec == std::errc::result_out_of_range) {
        // Too large is a failure; too small to represent reads as zero.
        bool nonZeroMantissa = false;
        for (std::size_t k = 0; k < n && buf[k] != 'e'; ++k) {
            nonZeroMantissa |= buf[k] >= '1' && buf[k] <= '9';
        }
        std::size_t ePos = std::string_view(buf, n).find('e');
        const bool negativeExponent =
            ePos != std::string_view::npos && ePos + 1 < n && buf[ePos + 1] == '-';
        if (!nonZeroMantissa || negativeExponent) {
            value = 0.0;
        } else {
            return InvalidValue;
        }
    } else if (ec != std::errc{}) {
        return InvalidValue;
    }
    return negative ? -value : value;
}

} // namespace rizuzez
