#pragma once
// The information text is 8-bit: tag fields are in Shift_JIS (the code page
// SPC tags were written in), the rest ASCII. The bytes stay unchanged in the
// model; only the displayed text is decoded.

#include <QString>
#include <string_view>

QString decodeShiftJis(std::string_view bytes);
