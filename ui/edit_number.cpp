#include "ui/edit_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace qf {

namespace {

// For a number too far out for a double (text[begin, end), the mantissa
// ending at mantissaEnd): true when it is too small (an underflow, read as
// 0), false when it is too large. The number's decimal magnitude is the
// mantissa's (digits before the point, or minus the zeros after it) plus
// the exponent; out of range, only its sign matters.
bool beyondRangeIsTiny(const std::string& text, size_t begin, size_t mantissaEnd, size_t end) {
    int64_t magnitude = 0;
    size_t k = begin;
    while (k < mantissaEnd && text[k] == '0') ++k;
    int64_t whole = 0;
    while (k < mantissaEnd && text[k] != '.') ++whole, ++k;
    if (whole > 0) {
        magnitude = whole;
    } else if (k < mantissaEnd) { // at the point: count the zeros after it
        ++k;
        while (k < mantissaEnd && text[k] == '0') --magnitude, ++k;
    }
    int64_t exponent = 0;
    bool exponentNegative = false;
    k = mantissaEnd + 1;
    if (k < end && (text[k] == '+' || text[k] == '-')) exponentNegative = text[k++] == '-';
    for (; k < end; ++k) exponent = std::min<int64_t>(exponent * 10 + (text[k] - '0'), 1 << 30);
    magnitude += exponentNegative ? -exponent : exponent;
    return magnitude <= 0;
}

} // namespace

double parseEditNumber(const std::string& text) {
    const std::string t = text.substr(0, kEditTextLimit);
    size_t i = 0;
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    // Only the plain decimal forms: digits, a point, digits, an exponent.
    size_t end = i;
    while (end < t.size() && t[end] >= '0' && t[end] <= '9') ++end;
    if (end < t.size() && t[end] == '.') {
        ++end;
        while (end < t.size() && t[end] >= '0' && t[end] <= '9') ++end;
    }
    const size_t mantissaEnd = end;
    if (end < t.size() && (t[end] == 'e' || t[end] == 'E')) {
        size_t e = end + 1;
        if (e < t.size() && (t[e] == '+' || t[e] == '-')) ++e;
        if (e < t.size() && t[e] >= '0' && t[e] <= '9') {
            while (e < t.size() && t[e] >= '0' && t[e] <= '9') ++e;
            end = e;
        }
    }
    double v = 0.0;
    const auto r = std::from_chars(t.data() + i, t.data() + end, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        v = beyondRangeIsTiny(t, i, mantissaEnd, end) ? 0.0 : HUGE_VAL;
    else if (r.ec != std::errc())
        v = 0.0;
    return negative ? -v : v;
}

std::string formatEditNumber(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace qf
