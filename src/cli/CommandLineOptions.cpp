// The table of the command line, and --help and the manual page made from it.
#include "cli/CommandLineOptions.h"

#include <array>
#include <cctype>

namespace tov {

namespace {

using C = CommandKind;

// One row per option. A new option of a parser is a new row here (the test
// CommandLineManual.* fails until it is).
constexpr OptionDoc kOptions[] = {
    {"--", "", "", C::Window, "以降はファイル名 (\"-\" で始まる名前のファイルを開くとき)",
     "Ends the options: what follows is the test file, whose name may begin with \"-\"."},

    {"--export-pdf", "", "OUT.pdf|OUTDIR", C::Export,
     "全ページを一つの PDF に書き出す (600 dpi); 試験が複数なら OUTDIR に 名前.pdf",
     "Writes every page of the test (the graph page, then the data tables) into one PDF at 600 dpi. With several "
     "tests or a folder, OUTDIR is a folder (made when missing) that gets NAME.pdf for each test; with --combine, "
     "OUT.pdf holds them all. A name ending in .pdf is always one file, never a folder: several tests into it "
     "need --combine."},
    {"--export-png", "", "PREFIX|OUTDIR", C::Export,
     "各ページを PREFIX-1.png, PREFIX-2.png, ... に書き出す; 試験が複数なら OUTDIR に 名前-1.png, ...",
     "Writes each page to PREFIX-1.png, PREFIX-2.png, ...; a PREFIX that names a folder (ending in \"/\", or one "
     "that exists) names the pages after the test. With several tests or a folder, OUTDIR is a folder that gets "
     "NAME-1.png, ... for each test."},
    {"--dpi", "", "N", C::Export, "PNG の解像度 10〜2400 (既定 150)",
     "The resolution of the PNG pages, 10 to 2400 (150 when not given); only with --export-png."},
    {"--paper", "", "PAPER", C::Export, "用紙: A4 (既定), A3, B4, B5, Letter, または 幅x高さ (mm, 例 210x297)",
     "The paper: A4 (the default), A3, B4, B5 (JIS sizes), Letter, or WIDTHxHEIGHT in millimetres, each 10 to 2000 "
     "(for example 210x297); always portrait."},
    {"--summary", "", "", C::Export,
     "試験の概要 (調査名, 計算式, L, D, de, データ数, a, k, 近似直線, 推奨区間, k の幅, 検討事項, ページ数) を表示",
     "Prints a summary of one test: the survey name, the test method, the formula, L, D and de, the number of "
     "readings, a (steady: log(2L/D), Qo and So), k as recorded and computed again, the fitted line of the chosen "
     "rows, the suggested segment (推奨区間) with the spread of its k, the checks (検討事項) and the number of "
     "pages. A file cut short is read as far as it goes, and a first line \"読み込み: ...\" says so."},
    {"--summary-table", "", "TABLE", C::Export,
     "試験ごとに一行の一覧表 (.csv は BOM 付き UTF-8, .xlsx は Excel); --export-pdf/--export-png と同時にも",
     "Writes a table of the tests, one row each (the file, the headings, a, k as recorded and computed again, R², "
     "the suggested segment with its k and the 95 % interval of that k, the checks): TABLE.csv in UTF-8 with a "
     "byte-order mark, TABLE.xlsx as an Excel workbook. Alone, or in the same run as --export-pdf or --export-png."},
    {"--combine", "", "", C::Export, "全試験を一つの PDF に (試験ごとにしおり)",
     "With --export-pdf: every test into the one PDF OUT.pdf, each font embedded once and a bookmark per test."},
    {"--recursive", "", "", C::Export, "フォルダの下のフォルダの試験も",
     "A folder's subfolders are searched for tests too (a folder gives its .tvd files sorted by name)."},
    {"--cp932", "", "", C::Export, "CSV の一覧表を Shift_JIS (CP932) で書く",
     "The CSV table in Shift_JIS (CP932) instead of UTF-8, for older spreadsheets."},
    {"--threads", "", "N", C::Export, "同時に処理する試験の数 1〜64 (既定 CPU の数)",
     "How many tests are worked on at once, 1 to 64 (one per core when not given); the files are the same "
     "whatever the number."},
    {"--help", "-h", "", C::Export, "この説明を表示", "Prints the usage, the options and examples."},
    {"--version", "", "", C::Export, "版を表示", "Prints the version line, as the About box shows it."},

    {"--import-readings", "", "FILE", C::Import,
     "ロガーのファイル (CSV など; 文字コード, 区切り, 列は推定) から測定データを取り込む",
     "Reads a pressure or level logger's text export into the readings of a new test. The encoding, the "
     "separator, the decimal mark, the header and the columns are guessed as in the window's import."},
    {"--output", "", "NEW.tvd", C::Import, "書き出す新しい試験のファイル (必須)",
     "The new test file (needed); it may not be one of the inputs."},
    {"--profile", "", "NAME|FILE", C::Import, "取り込み設定 (インストールフォルダの ImportProfiles/名前.txt, またはファイル)",
     "The import settings of a named profile (ImportProfiles/NAME.txt in the install folder) or of a profile "
     "file, instead of the guesses."},
    {"--sensor-depth", "", "M", C::Import, "管口からセンサーまでの深さ (m, 0〜10000)",
     "The depth of the pressure sensor below the pipe top in metres, 0 to 10000 (a negative depth, a sensor above "
     "the pipe top, is refused): a level over the sensor becomes h' by it. Not with --reference-depth."},
    {"--reference-depth", "", "M", C::Import, "--at の時刻に測った管口からの水位 (m)",
     "A depth to water below the pipe top in metres, measured at the clock time --at (for example by tape before "
     "the test): a level over the sensor becomes h' by it."},
    {"--at", "", "[YYYY-MM-DDT]HH:MM:SS", C::Import, "--reference-depth を測った時刻 (記録が数日にわたるときは日付も)",
     "The moment of --reference-depth: a clock time, or a date and time such as 2026-08-05T09:50:00. A clock time "
     "that falls on several days of the record is refused; give the date."},
    {"--start", "", "[YYYY-MM-DDT]HH:MM:SS", C::Import, "試験開始 (t = 0) の時刻 (既定: 水位の急な変化)",
     "The clock time of the test's start (t = 0). Without it the start is found at the sudden change of the "
     "level, and a record without such a change is refused."},
    {"--into", "", "TEST.tvd", C::Import, "見出しと試験方法をこの試験から (解析は新しいデータのもの)",
     "Takes the headings that describe the borehole and the job (and the method) from that test (a template), "
     "never its levels nor its analysis: 平衡水位 ho, Sp, 試験年月日 and 試験方法 are the record's own whenever it "
     "gives them, and the chosen points, a and k are the new readings' own, set by their suggested segment."},
    {"--steady", "", "", C::Import, "定常法 (流量も取り込む)", "The steady method: the flow Q is read too."},
    {"--baro", "", "FILE", C::Import, "気圧ロガーのファイル (水位から気圧を差し引く)",
     "A barometric logger's export: its air pressure, taken to the level's times, is subtracted from an "
     "absolute-pressure level."},
    {"--level-unit", "", "UNIT", C::Import,
     "水位の単位 (ファイルにないとき): m, cm, mm, ft, in, mH2O, cmH2O, mmH2O, inH2O, ftH2O, MPa, kPa, Pa, hPa, mbar, "
     "bar, kgf/cm2, psi",
     "The level's unit where the file does not name it: m, cm, mm, ft, in, mH2O, cmH2O, mmH2O, inH2O, ftH2O, MPa, "
     "kPa, Pa, hPa, mbar, bar, kgf/cm2 or psi. A unit the file names but the program does not know is refused, never read as "
     "metres."},
    {"--level-meaning", "", "MEANING", C::Import,
     "水位の意味: below-top (管口からの水位 h'), above-sensor (センサー上の水位), pressure (センサー上の圧力)",
     "What the level column means, where the guess is wrong: below-top (the depth to water below the pipe top, "
     "h'), above-sensor (water over the sensor) or pressure (the pressure over the sensor, as a water column)."},
    {"--date-order", "", "ORDER", C::Import, "日付の順序: ymd (年/月/日), mdy (月/日/年), dmy (日/月/年)",
     "The order of the record's dates: ymd, mdy or dmy. Dates that fit both mdy and dmy (05/08/2026) in a file that "
     "names neither order are refused without it; dates that fit one order only follow it."},
    {"--from", "", "[YYYY-MM-DDT]HH:MM:SS", C::Import, "長い記録の読む範囲の始め",
     "Reads the record from this moment on (seconds for a record of elapsed times): a window of a long record, "
     "also one too long to read whole. A plain number on a record of clock times is refused, as is a --from after "
     "--to."},
    {"--to", "", "[YYYY-MM-DDT]HH:MM:SS", C::Import, "長い記録の読む範囲の終わり",
     "Reads the record up to this moment (seconds for a record of elapsed times)."},
    {"--accept-warnings", "", "", C::Import, "データと推定の食い違いがあっても書く",
     "Writes the test even when the data contradict a guess (s rising through the test, the first s far from Sp, "
     "no k); without it such a test is not written and the exit status is 1."},
};

constexpr FormDoc kForms[] = {
    {C::Window, "tov [--] [TEST.tvd]", "画面で開く (ファイルなしで新しい試験)"},
    {C::Export, "tov --export-pdf OUT.pdf TEST.tvd [--paper PAPER]", "全ページを一つの PDF に"},
    {C::Export, "tov --export-png PREFIX TEST.tvd [--dpi N] [--paper PAPER]", "各ページを PNG に"},
    {C::Export, "tov --summary TEST.tvd", "試験の概要を表示"},
    {C::Export,
     "tov --export-pdf OUTDIR|OUT.pdf [--combine] TEST.tvd|FOLDER... [--recursive] [--threads N] [--paper PAPER] "
     "[--summary-table TABLE]",
     "多数の試験を PDF に (試験ごと, または一つに)"},
    {C::Export,
     "tov --export-png OUTDIR TEST.tvd|FOLDER... [--dpi N] [--paper PAPER] [--recursive] [--threads N] "
     "[--summary-table TABLE]",
     "多数の試験を PNG に"},
    {C::Export, "tov --summary-table TABLE TEST.tvd|FOLDER... [--cp932] [--recursive] [--threads N]",
     "試験ごとに一行の一覧表"},
    {C::Import, "tov --import-readings FILE --output NEW.tvd", "ロガーのファイルから新しい試験を作る", true},
    {C::Export, "tov --help|-h|--version", ""},
};

constexpr ExampleDoc kExamples[] = {
    {C::Export, "tov --export-pdf report.pdf test.tvd --paper A3", "一つの試験の全ページを A3 の PDF に",
     "Every page of one test into a PDF on A3 paper."},
    {C::Export, "tov --export-png pages/ test.tvd --dpi 300", "各ページを 300 dpi の PNG に (pages/test-1.png, ...)",
     "Each page at 300 dpi into pages/test-1.png, pages/test-2.png, ..."},
    {C::Export, "tov --summary test.tvd", "試験の概要", "The summary of a test."},
    {C::Export, "tov --export-pdf report/pages.pdf --combine site/ --summary-table report/k.xlsx",
     "フォルダの全試験を一つの PDF (試験ごとにしおり) と Excel の一覧表に",
     "Every test of the folder site/ into one PDF, a bookmark per test, and their table into an Excel workbook."},
    {C::Export, "tov --export-pdf report/pdf site/ --recursive --threads 2",
     "下のフォルダの試験も, 試験ごとの PDF (report/pdf/名前.pdf) に, 二つずつ",
     "One PDF per test (report/pdf/NAME.pdf) of site/ and its subfolders, two tests at a time."},
    {C::Export, "tov --summary-table k.csv site/ --recursive --cp932", "一覧表だけを Shift_JIS (CP932) の CSV に",
     "The table alone, as CSV in Shift_JIS (CP932) for older spreadsheets."},
    {C::Import, "tov --import-readings logger.csv --output B1.tvd --into template.tvd --sensor-depth 5.2",
     "ロガーのファイルから B1.tvd を作る (見出しは template.tvd から, センサーは管口から 5.2 m)",
     "A logger's file into the new test B1.tvd, with the headings of template.tvd and the sensor 5.2 m below the "
     "pipe top."},
    {C::Import,
     "tov --import-readings logger.csv --output B2.tvd --reference-depth 2.00 --at 10:00:00 --baro baro.csv",
     "B2.tvd を作る (10:00:00 に測った管口からの水位 2.00 m を基準に, 気圧を差し引いて)",
     "A logger's file into B2.tvd with the depth to water 2.00 m measured at 10:00:00 as the reference, and the "
     "air pressure of a barometric logger subtracted."},
    {C::Window, "tov -- -B3.tvd", "\"-\" で始まる名前の試験を画面で開く",
     "Opens a test whose name begins with \"-\" in the window."},
};

bool oneOf(std::string_view set, char c) { return set.find(c) != std::string_view::npos; }

std::string optionHead(const OptionDoc& option) {
  std::string head(option.name);
  if (!option.alias.empty()) head += ", " + std::string(option.alias);
  if (!option.value.empty()) head += " " + std::string(option.value);
  return head;
}

// Whether text[at] begins an option: "-" after the start, a space, "(", "[",
// "|" or a quote, followed by "-" or a letter.
bool optionStartsAt(std::string_view text, std::size_t at) {
  if (text[at] != '-' || at + 1 >= text.size()) return false;
  if (at > 0 && !oneOf(" ([|\"", text[at - 1])) return false;
  const char next = text[at + 1];
  return next == '-' || std::isalpha(static_cast<unsigned char>(next));
}

std::size_t optionEnd(std::string_view text, std::size_t at) {
  std::size_t end = at;
  while (end < text.size() && (text[end] == '-' || std::isalnum(static_cast<unsigned char>(text[end])))) ++end;
  return end;
}

std::string escapedHyphens(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

// Prose for the manual: options in bold (with minus signs), backslashes
// escaped, a line never beginning with a control character.
std::string manualProse(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (optionStartsAt(text, i)) {
      const std::size_t end = optionEnd(text, i);
      out += "\\fB" + escapedHyphens(text.substr(i, end - i)) + "\\fR";
      i = end;
      continue;
    }
    out += text[i] == '\\' ? std::string("\\e") : std::string(1, text[i]);
    ++i;
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

// A command line's shape for the manual: the program and the options in
// bold, the placeholders in italics, brackets, bars and "..." upright.
std::string manualSyntax(std::string_view text) {
  std::string out;
  int depth = 0;  // inside brackets, the spaces do not break a line
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '[' || c == ']' || c == '|' || c == ',') {
      depth += c == '[' ? 1 : c == ']' ? -1 : 0;
      out += c == ' ' && depth > 0 ? std::string("\\ ") : std::string(1, c);
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < text.size() && !oneOf(" []|,", text[end])) ++end;
    std::string_view word = text.substr(i, end - i);
    std::string_view dots;
    if (word.size() > 3 && word.ends_with("...")) {
      dots = "...";
      word.remove_suffix(3);
    }
    if (word == "tov" || word.starts_with("-"))
      out += "\\fB" + escapedHyphens(word) + "\\fR";
    else
      out += "\\fI" + escapedHyphens(word) + "\\fR";
    out += dots;
    i = end;
  }
  return out;
}

std::string_view commandTitle(CommandKind kind) {
  switch (kind) {
    case C::Window: return "The window";
    case C::Export: return "Pages, summaries and tables (no window, no display needed)";
    case C::Import: return "Readings from a logger's file (no window, no display needed)";
  }
  return "";
}

std::string_view commandTitleJa(CommandKind kind) {
  switch (kind) {
    case C::Window: return "画面:";
    case C::Export: return "書き出し, 概要, 一覧表 (画面なし):";
    case C::Import: return "ロガーのファイルの取り込み (画面なし):";
  }
  return "";
}

constexpr std::array kCommands = {C::Window, C::Export, C::Import};

// A form's text broken into lines of at most width columns (the first
// starting at column first, the others indented to column next), between
// words and never inside brackets.
std::string wrappedForm(const std::string& text, std::size_t first, std::size_t next, std::size_t width) {
  std::string out;
  std::size_t column = first, depth = 0, word = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && (text[i] != ' ' || depth > 0)) {
      depth += text[i] == '[' ? 1 : 0;
      depth -= text[i] == ']' && depth > 0 ? 1 : 0;
      continue;
    }
    const std::string_view piece = std::string_view(text).substr(word, i - word);
    if (word > 0 && column + 1 + piece.size() > width) {
      out += "\n" + std::string(next, ' ');
      column = next;
    } else if (word > 0) {
      out += ' ';
      ++column;
    }
    out += piece;
    column += piece.size();
    word = i + 1;
  }
  return out;
}

void replaceMarker(std::string& page, std::string_view marker, const std::string& body) {
  const std::string line = ".\\\" tov:" + std::string(marker) + "\n";
  const std::size_t at = page.find(line);
  if (at != std::string::npos) page.replace(at, line.size(), body);
}

} // namespace

std::span<const OptionDoc> commandLineOptions() { return kOptions; }
std::span<const FormDoc> commandLineForms() { return kForms; }
std::span<const ExampleDoc> commandLineExamples() { return kExamples; }

const OptionDoc* findOption(std::string_view name) {
  for (const OptionDoc& option : kOptions)
    if (option.name == name || (!option.alias.empty() && option.alias == name)) return &option;
  return nullptr;
}

std::string formText(const FormDoc& form) {
  std::string text(form.text);
  if (!form.addOptions) return text;
  for (const OptionDoc& option : kOptions) {
    if (option.command != form.command) continue;
    // Named already (followed by a space, a bracket or the end)?
    bool named = false;
    for (std::size_t at = text.find(option.name); at != std::string::npos && !named;
         at = text.find(option.name, at + 1)) {
      const std::size_t end = at + option.name.size();
      named = optionStartsAt(text, at) && (end == text.size() || oneOf(" ]|", text[end]));
    }
    if (!named) text += " [" + std::string(option.name) + (option.value.empty() ? "" : " ") + std::string(option.value) + "]";
  }
  return text;
}

std::string helpText() {
  std::string out;
  for (const FormDoc& form : kForms) {
    out += (out.empty() ? "使い方: " : "        ") + wrappedForm(formText(form), 8, 12, 100) + "\n";
    if (!form.help.empty()) out += "            → " + std::string(form.help) + "\n";
  }
  for (CommandKind kind : kCommands) {
    out += "\n" + std::string(commandTitleJa(kind)) + "\n";
    for (const OptionDoc& option : kOptions) {
      if (option.command != kind) continue;
      const std::string head = "  " + optionHead(option);
      constexpr std::size_t kColumn = 28;
      out += head.size() < kColumn ? head + std::string(kColumn - head.size(), ' ')
                                   : head + "\n" + std::string(kColumn, ' ');
      out += std::string(option.help) + "\n";
    }
  }
  out += "\n例:\n";
  for (const ExampleDoc& example : kExamples)
    out += "  " + std::string(example.commandLine) + "\n      " + std::string(example.help) + "\n";
  out += "\n設定とフォントはインストールフォルダ (TOV_ROOT の下) から読みます。画面なしの処理は画面を使いません。\n";
  return out;
}

std::string manualPage(std::string_view templateText) {
  std::string page(templateText);
  // One form a paragraph, its continuation lines indented.
  std::string synopsis = ".ad l\n.in +4n\n";
  for (const FormDoc& form : kForms) synopsis += ".ti -4n\n" + manualSyntax(formText(form)) + "\n";
  synopsis += ".in\n.ad\n";
  replaceMarker(page, "synopsis", synopsis);

  std::string options;
  for (CommandKind kind : kCommands) {
    options += ".SS \"" + std::string(commandTitle(kind)) + "\"\n";
    for (const OptionDoc& option : kOptions)
      if (option.command == kind)
        options += ".TP\n" + manualSyntax(optionHead(option)) + "\n" + manualProse(option.manual) + "\n";
  }
  replaceMarker(page, "options", options);

  std::string examples;
  for (const ExampleDoc& example : kExamples)
    examples += ".PP\n" + manualProse(example.manual) + "\n.PP\n.RS 4\n.nf\n" +
                escapedHyphens(example.commandLine) + "\n.fi\n.RE\n";
  replaceMarker(page, "examples", examples);
  return page;
}

} // namespace tov
