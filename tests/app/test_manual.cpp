// The manual tells the whole truth: the options the command-line parsers
// take are the rows of the table of the command line, and --help and the
// manual page name every one of them and no other, with examples the
// parsers accept.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>

#include "cli/CommandLineOptions.h"
#include "cli/ExportJob.h"
#include "cli/Exporter.h"
#include "cli/ImportReadingsCommand.h"
#include "cli/WindowStart.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kBogus = "--no-such-option";

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> words(std::string_view line) {
  std::vector<std::string> out;
  std::istringstream in{std::string(line)};
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

// What the export parser says to the arguments ("" when it takes them).
std::string exportError(const std::vector<std::string>& args) {
  std::string error;
  return tov::parseCommandLine(args, &error) ? std::string() : error;
}

// What the import command says on standard error to the arguments. Each
// probe fails before reading or writing a file (the logger's file is missing).
std::string importError(std::vector<std::string> args) {
  args.insert(args.begin(), {"--import-readings", "/nonexistent/logger.csv"});
  ::testing::internal::CaptureStderr();
  tov::logger::runImportCommand(args, {});
  return ::testing::internal::GetCapturedStderr();
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The long options a text names (after "--" a letter; "--" alone too).
std::set<std::string> optionsNamedIn(const std::string& text) {
  static const std::regex option(R"((^|[\s(\[|"/])(--([a-z][a-z0-9-]*)?)(?=[\s,.;:)\]|"/]|$))");
  std::set<std::string> names;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
    names.insert((*it)[2].str());
  return names;
}

std::string manualPage() {
  return tov::manualPage(readText(fs::path(TOV_SOURCE_DIR) / "resources" / "tov.1.in"));
}

// The manual page as read: no font changes, minus signs as hyphens.
std::string manualText() {
  std::string text = replaced(manualPage(), "\\-", "-");
  return std::regex_replace(text, std::regex(R"(\\f[BIR])"), "");
}

} // namespace

// Every option a parser knows (an option's name written in its source) is
// in the table, and every row of the table is one its parser takes, with a
// value when the table gives it one and without when not.
TEST(CommandLineManual, TheTableHoldsEveryOptionTheParsersTake) {
  const fs::path src = fs::path(TOV_SOURCE_DIR) / "src";
  std::vector<fs::path> parsers = {src / "app" / "main.cpp"};
  for (const auto& entry : fs::directory_iterator(src / "cli"))
    if (entry.path().extension() == ".cpp" && entry.path().stem() != "CommandLineOptions") parsers.push_back(entry.path());
  static const std::regex literal(R"re("(--?[a-zA-Z][a-zA-Z0-9-]*|--)")re");
  for (const fs::path& file : parsers) {
    const std::string text = readText(file);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), literal); it != std::sregex_iterator(); ++it)
      EXPECT_NE(tov::findOption((*it)[1].str()), nullptr)
          << (*it)[1] << " (" << file.filename() << ") is missing from src/cli/CommandLineOptions.cpp";
  }

  const std::string unknownExport = exportError({kBogus});
  const std::string unknownImport = importError({kBogus});
  ASSERT_NE(unknownExport.find(kBogus), std::string::npos);
  ASSERT_NE(unknownImport.find(kBogus), std::string::npos);
  for (const tov::OptionDoc& row : tov::commandLineOptions()) {
    for (std::string_view spelling : {row.name, row.alias}) {
      if (spelling.empty()) continue;
      const std::string name(spelling);
      SCOPED_TRACE(name);
      // A switch is followed by the unknown option, which is then refused; an
      // option with a value takes it as its value.
      switch (row.command) {
        case tov::CommandKind::Window:
          EXPECT_EQ(tov::parseWindowArguments({name, "-odd.tvd"}, nullptr), std::optional<std::string>("-odd.tvd"));
          break;
        case tov::CommandKind::Export: {
          const std::string error = exportError({name, kBogus});
          EXPECT_NE(error, replaced(unknownExport, kBogus, name));
          EXPECT_EQ(error == unknownExport, row.value.empty()) << error;
          // And it runs without a window: "tov x.tvd --paper A4" is not a window start.
          std::vector<char*> argv = {const_cast<char*>("tov"), const_cast<char*>(name.c_str())};
          EXPECT_TRUE(tov::isCommandLineJob(2, argv.data()));
          break;
        }
        case tov::CommandKind::Import: {
          const std::string error = importError({name, kBogus});
          EXPECT_NE(error, replaced(unknownImport, kBogus, name));
          EXPECT_EQ(error == unknownImport, row.value.empty()) << error;
          break;
        }
      }
    }
  }
}

// --help and the manual page name every option of the table and no option
// that is not one, and their examples are command lines the parsers take.
TEST(CommandLineManual, HelpAndManualNameEveryOptionAndNoOther) {
  const std::string help = tov::commandLineHelp();
  const std::string page = manualPage();
  const std::string manual = manualText();
  std::set<std::string> table;
  for (const tov::OptionDoc& row : tov::commandLineOptions()) {
    table.insert(std::string(row.name));
    EXPECT_TRUE(optionsNamedIn(help).contains(std::string(row.name))) << row.name << " is not in --help";
    // In the manual, as an entry of OPTIONS.
    const std::string entry = ".TP\n\\fB" + replaced(std::string(row.name), "-", "\\-") + "\\fR";
    EXPECT_NE(page.find(entry), std::string::npos) << row.name << " has no entry in the manual page";
    if (!row.alias.empty()) {
      EXPECT_NE(help.find(", " + std::string(row.alias)), std::string::npos) << row.alias;
      EXPECT_NE(manual.find(", " + std::string(row.alias)), std::string::npos) << row.alias;
    }
  }
  for (const std::string& named : optionsNamedIn(help)) EXPECT_TRUE(table.contains(named)) << named << " in --help";
  for (const std::string& named : optionsNamedIn(manual)) EXPECT_TRUE(table.contains(named)) << named << " in the manual";
  EXPECT_EQ(manual.find(".\\\" tov:"), std::string::npos) << "a section of the manual page was not filled in";

  int examples[3] = {};
  for (const tov::ExampleDoc& example : tov::commandLineExamples()) {
    SCOPED_TRACE(std::string(example.commandLine));
    EXPECT_NE(help.find(std::string(example.commandLine)), std::string::npos);
    EXPECT_NE(manual.find(std::string(example.commandLine)), std::string::npos);
    std::vector<std::string> args = words(example.commandLine);
    ASSERT_EQ(args.front(), "tov");
    args.erase(args.begin());
    ++examples[static_cast<int>(example.command)];
    switch (example.command) {
      case tov::CommandKind::Window:
        EXPECT_TRUE(tov::parseWindowArguments(args, nullptr));
        break;
      case tov::CommandKind::Export:
        EXPECT_EQ(exportError(args), "");
        break;
      case tov::CommandKind::Import: {
        // Taken up to reading the files it names (which are not there).
        ASSERT_EQ(args.front(), "--import-readings");
        args.erase(args.begin(), args.begin() + 2);
        const std::string error = importError(args);
        const std::string noValue = importError({"--output"});
        for (const std::string& arg : args) {
          if (!arg.starts_with("--")) continue;
          EXPECT_NE(error, replaced(importError({kBogus}), kBogus, arg));
          EXPECT_NE(error, replaced(noValue, "--output", arg));
        }
        break;
      }
    }
  }
  // Examples of every command line, the batch and its table among them.
  EXPECT_TRUE(examples[0] && examples[1] >= 3 && examples[2]);
}
