#pragma once
// The one table of the program's command line: every option each command
// takes, the forms of the command line and worked examples. `tov --help` is
// printed from it and the manual page tov(1) is made from it when the
// program is built (tov_manpage), so neither can name an option the other
// lacks. The parsers (ExportJob, ImportReadingsCommand, WindowStart) keep
// their own rules; a test holds them to this table. Qt-free.
#include <span>
#include <string>
#include <string_view>

namespace tov {

// Which command line takes an option.
enum class CommandKind {
  Window,  // tov [TEST.tvd]: the window
  Export,  // pages, summaries, the batch and its table (ExportJob)
  Import,  // tov --import-readings (ImportReadingsCommand)
};

struct OptionDoc {
  std::string_view name;     // "--export-pdf"
  std::string_view alias;    // another spelling ("-h"), or empty
  std::string_view value;    // the value's placeholder ("OUT.pdf|OUTDIR"), empty for a switch
  CommandKind command;
  std::string_view help;     // the line of --help (Japanese)
  std::string_view manual;   // the paragraph of the manual page (English; options written as --name)
};

// A form of the command line, as the usage and the manual's synopsis show
// it. With addOptions, the options of its command that the text does not
// name are added after it, each in brackets.
struct FormDoc {
  CommandKind command;
  std::string_view text;     // "tov --summary TEST.tvd"
  std::string_view help;     // what it does, for --help (may be empty)
  bool addOptions = false;
};

struct ExampleDoc {
  CommandKind command;
  std::string_view commandLine;  // "tov --summary-table k.csv site/ --recursive --cp932" (no quotes)
  std::string_view help;         // what it does (Japanese)
  std::string_view manual;       // what it does (English)
};

std::span<const OptionDoc> commandLineOptions();
std::span<const FormDoc> commandLineForms();
std::span<const ExampleDoc> commandLineExamples();

// The option of that name or alias, or nullptr.
const OptionDoc* findOption(std::string_view name);

// A form's whole text (with its added options).
std::string formText(const FormDoc& form);

// The text --help prints.
std::string helpText();

// The manual page: the template (roff) with its lines ".\" tov:synopsis",
// ".\" tov:options" and ".\" tov:examples" replaced by those sections' bodies.
std::string manualPage(std::string_view templateText);

} // namespace tov
