#pragma once
// The decimal separator of the user's regional settings, for FormatFixed.
namespace velbrook {

// Reads the separator from the user's settings (the LC_NUMERIC of the
// environment: the decimal point that localeconv() would give under
// setlocale(LC_NUMERIC, "")) without touching the process's own locale, and
// sets it with SetDecimalSeparator; "." when none is set.
void ReadDecimalSeparatorFromLocale();

}  // namespace velbrook
