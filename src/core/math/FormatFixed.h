#pragma once
// The fixed-point text of the report's number fields, formed exactly from the
// binary value (128-bit integer arithmetic below 1e17).
#include <string>

// The value with exactly `decimals` decimals, rounded half up on the first dropped
// digit of its 17-decimal (below 10) or 18-significant-digit decimal string, a
// minus sign for every negative value, padded on the left to `width` (never cut).
// "Nan", "+Inf", "-Inf" padded likewise; magnitudes of 1E36 and more in the
// scientific form " d.ddddE+dddd" with width - 8 significant digits (2..18).
std::string FormatFixed(double value, int width, int decimals);
// The same text appended to `out`.
void AppendFormatFixed(std::string& out, double value, int width, int decimals);
// The same text as a column of a table: a text that fills its width or overflows
// it (it is never cut) gets one blank before it, so that it never runs into what
// stands before it. A text shorter than the width is FormatFixed's exactly.
void AppendFormatColumn(std::string& out, double value, int width, int decimals);
