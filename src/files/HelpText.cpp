#include "files/Settings.h"

namespace tov {

const std::string& shippedHelpText() {
  // resources/Help.txt, turned into a string literal when the build is
  // configured.
  static const std::string text =
#include "HelpText.inc"
      ;
  return text;
}

} // namespace tov
