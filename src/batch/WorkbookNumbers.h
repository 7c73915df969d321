#pragma once
// The workbook writer stores a number with 16 significant digits, so 0.086
// would be kept as 0.08599999999999999, and 1.0946299933262814e-18 as
// 1.094629993326281E-18 (another number). The sheets of a finished workbook
// (.xlsx, a zip archive) are rewritten with each number in its shortest
// exact form and the archive put together again, re-deflated, with its
// checksums and offsets made anew. Only in builds that write workbooks.
#include <map>
#include <optional>
#include <string>

namespace tov {

// The numbers written, by cell ("C2"): the writer keeps 16 significant
// digits, and a double may need 17 to be itself again.
using ExactNumbers = std::map<std::string, double>;

// A sheet's XML with the value of every cell without a type (a number) in
// its shortest form, of the exact number where `exact` holds the cell; any
// other text stays byte for byte.
std::string shortestNumbers(const std::string& sheetXml, const ExactNumbers& exact = {});

// The archive again with every sheet's numbers in shortest form (the exact
// numbers are those of the first sheet); nothing when it holds what this
// does not handle (ZIP64 records, data descriptors, a method other than
// stored or deflated, an entry that does not agree with its sizes).
std::optional<std::string> withShortestNumbers(const std::string& zip, const ExactNumbers& exact = {});

} // namespace tov
