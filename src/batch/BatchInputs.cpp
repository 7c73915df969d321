// Finding the tests of a batch among the files and folders given.
#include "batch/BatchInputs.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "files/Platform.h"
#include "record/CFormat.h"

namespace fs = std::filesystem;

namespace tov {

bool isTestFileName(const fs::path& path) {
  std::string ext = utf8Path(path.extension());
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext == ".tvd";
}

namespace {

// A folder's tests, sorted by their path below it (so a subfolder's tests
// follow the files that sort before it).
void collectFolder(const fs::path& folder, bool recursive, BatchInputs& out) {
  std::vector<fs::path> found;
  std::error_code ec;
  const auto options = fs::directory_options::skip_permission_denied;
  auto take = [&](const fs::directory_entry& entry) {
    std::error_code typeError;
    if (entry.is_regular_file(typeError) && isTestFileName(entry.path())) found.push_back(entry.path());
  };
  if (recursive) {
    for (fs::recursive_directory_iterator it(folder, options, ec), end; !ec && it != end; it.increment(ec)) take(*it);
  } else {
    for (fs::directory_iterator it(folder, options, ec), end; !ec && it != end; it.increment(ec)) take(*it);
  }
  if (ec) out.problems.push_back(utf8Path(folder) + ": " + ec.message());
  std::sort(found.begin(), found.end());
  if (found.empty() && !ec) out.problems.push_back(utf8Path(folder) + ": 試験データ (.tvd) がありません");
  out.tests.insert(out.tests.end(), found.begin(), found.end());
}

} // namespace

BatchInputs collectTests(const std::vector<fs::path>& inputs, bool recursive) {
  BatchInputs out;
  for (const fs::path& input : inputs) {
    std::error_code ec;
    if (fs::is_directory(input, ec)) collectFolder(input, recursive, out);
    else out.tests.push_back(input);  // a file that cannot be read is reported when it is read
  }
  return out;
}

std::vector<std::string> uniqueOutputNames(const std::vector<fs::path>& tests) {
  std::vector<std::string> names;
  std::set<std::string> used;
  for (const fs::path& test : tests) {
    std::string stem = utf8Path(test.stem());
    if (stem.empty()) stem = "test";
    std::string name = stem;
    for (int n = 2; used.count(name); ++n) name = stem + cformat(" (%d)", n);
    used.insert(name);
    names.push_back(name);
  }
  return names;
}

} // namespace tov
