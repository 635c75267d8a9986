// The numbers of the dialog's edit boxes: read from what was typed, written
// as the dialog shows them.
#pragma once

#include <string>

namespace qf {

// The most of an edit box's text the dialog keeps and reads.
inline constexpr int kEditTextLimit = 256;

// Reads an edit box's text as a decimal real (leading blanks and a sign
// allowed, the rest after the number ignored); 0 when it holds no number.
// Independent of the process's locale.
double parseEditNumber(const std::string& text);
// A value as the dialog writes it into an edit box ("%g").
std::string formatEditNumber(double value);

} // namespace qf
