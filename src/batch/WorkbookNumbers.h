#pragma once
// The workbook writer stores a number with 16 significant digits, so 0.086
// would be kept as 0.08599999999999999. The sheets of a finished workbook
// (.xlsx, a zip archive) are rewritten with each number in its shortest
// exact form and the archive put together again, re-deflated, with its
// checksums and offsets made anew. Only in builds that write workbooks.
#include <optional>
#include <string>

namespace tov {

// A sheet's XML with the value of every cell without a type (a number) in
// its shortest form; any other text stays byte for byte.
std::string shortestNumbers(const std::string& sheetXml);

// The archive again with every sheet's numbers in shortest form; nothing
// when it holds what this does not handle (ZIP64 records, data
// descriptors, a method other than stored or deflated, an entry that does
// not agree with its sizes).
std::optional<std::string> withShortestNumbers(const std::string& zip);

} // namespace tov
