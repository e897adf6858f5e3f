// Strict decimal number parsing for message fields and typed coordinates.
#include "feed/coord.h"

#include "geodesy/trigo.h"

#include <charconv>
#include <string>

namespace rizuzez {

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
        const bool negativeExponent = ePos != std::string_view::npos && ePos + 1 < n && buf[ePos + 1] == '-';
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
