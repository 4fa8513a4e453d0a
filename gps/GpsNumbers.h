// Decimal numbers of the GPS data in the one notation the system uses, whatever the
// process locale: parsing received and stored texts, and formatting coordinates.
#pragma once

#include <string>
#include <string_view>

namespace tarnhollow {

// Leading white space, an optional sign, then a decimal number (digits, a point, an
// exponent) up to the first character that cannot continue it. 0 when there is no
// number or it is not finite.
double ParseDecimalNumber(std::wstring_view text);

// At most 10 significant digits, no trailing zeros, no trailing point ("48.1173",
// "-11.51666667", "-0.5"); negative zero is written "0".
std::wstring FormatCoordinate(double value);

// Six decimals, as "%f" writes them ("11.516667").
std::string FormatSixDecimals(double value);

}  // namespace tarnhollow
