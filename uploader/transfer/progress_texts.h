#pragma once

#include <string>

// The texts the transfer thread writes while it sends.
namespace quenvara::transfer {

// "%.2f" with B, K, M or G in units of 1024: "1.00 K".
std::string sizeForm(double bytes);
// The file bar of a kind 4 file: "%s  / %s " (two blanks before the slash).
std::string fileBarText(double done, double total, bool kind4);
// The size part of the count display: kind 4 starts with "%s / %s " and
// uses "%s  / %s " after each chunk; kind 3 always "%s / %s ".
std::string sizeSummaryText(double done, double total, bool kind4, bool afterChunk);
// "%0.0lf%s" of a percentage and "%" (row bar), "%0.1lf %s" (overall bar).
std::string rowPercentText(double done, double total);
std::string overallPercentText(double done, double total);

}  // namespace quenvara::transfer
