#include "cli/ImportReadingsCommand.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Analysis.h"
#include "files/Platform.h"
#include "files/TvdFile.h"
#include "import/LoggerImport.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"

namespace tov::logger {

namespace fs = std::filesystem;

bool isImportCommand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (argv[i] && std::strcmp(argv[i], "--import-readings") == 0) return true;
  return false;
}

namespace {

int fail(const std::string& text) {
  std::fprintf(stderr, "tov: %s\n", text.c_str());
  return 1;
}

} // namespace

int runImportCommand(const std::vector<std::string>& args, const fs::path& installFolder) {
  std::map<std::string, std::string> options;
  bool steadyWanted = false, acceptWarnings = false;
  static const char* const kValued[] = {"--import-readings", "--output",     "--profile",   "--sensor-depth",
                                        "--reference-depth", "--at",         "--start",     "--into",
                                        "--baro",            "--level-unit", "--level-meaning",
                                        "--from",            "--to",         "--date-order"};
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--steady") { steadyWanted = true; continue; }
    if (args[i] == "--accept-warnings") { acceptWarnings = true; continue; }
    bool known = false;
    for (const char* option : kValued)
      if (args[i] == option) {
        if (i + 1 >= args.size()) return fail(args[i] + " の後に値がありません");
        options[args[i]] = args[i + 1];
        ++i;
        known = true;
      }
    if (!known) return fail("使えないオプションです: " + args[i]);
  }
  const auto has = [&](const char* o) { return options.count(o) > 0; };
  if (!has("--output")) return fail("--output NEW.tvd を指定してください");
  // A name that ends in a separator names a folder, whatever is there.
  if (const std::string& output = options["--output"]; output.ends_with('/') || output.ends_with('\\'))
    return fail("--output " + output + " はフォルダの名前です. 新しい試験のファイル名 (NEW.tvd) を指定してください");
  if (has("--sensor-depth") && (has("--reference-depth") || has("--at")))
    return fail("--sensor-depth と --reference-depth は一緒に使えません");
  if (has("--reference-depth") != has("--at")) return fail("--reference-depth と --at は一緒に指定してください");
  // A depth within the readings' range (the h' a reading can hold).
  const auto depthOption = [&](const char* option) -> std::optional<double> {
    const auto depth = parseNumber(options[option], DecimalMark::Point);
    if (!depth || std::abs(*depth) > kMaxReferenceDepth) return std::nullopt;
    return depth;
  };

  TestRecord record;
  if (has("--into")) {
    if (loadTestFile(pathFromUtf8(options["--into"]), record) != LoadStatus::Ok)
      return fail("試験のファイルを読めません: " + options["--into"]);
  }
  if (steadyWanted) record.set_formulaKind("4");
  const bool steady = record.fieldInt(F_formulaKind) == 4;

  ImportSession session(steady);
  std::string error;
  const std::string& input = options["--import-readings"];
  if (!session.open(pathFromUtf8(input), &error)) return fail(input + ": " + error);
  if (has("--profile")) {
    const auto profile = loadProfile(installFolder, options["--profile"], &error);
    if (!profile) return fail(error);
    session.applyProfile(*profile);
  }
  if (has("--level-unit")) {
    const auto unit = levelUnitFromToken(options["--level-unit"]);
    if (!unit)
      return fail("--level-unit は m, cm, mm, ft, in, mH2O, cmH2O, mmH2O, inH2O, ftH2O, MPa, kPa, Pa, hPa, mbar, bar, "
                  "kgf/cm2, psi のどれかで指定してください");
    session.setLevelUnit(*unit);
  }
  if (has("--date-order")) {
    const auto order = dateOrderFromName(options["--date-order"]);
    if (!order) return fail("--date-order は ymd, mdy, dmy のどれかで指定してください (" + options["--date-order"] + ")");
    session.setDateOrder(*order);
  }
  if (has("--level-meaning")) {
    const auto meaning = levelMeaningFromName(options["--level-meaning"]);
    if (!meaning) return fail("--level-meaning は below-top, above-sensor, pressure のどれかで指定してください");
    if (!session.setLevelMeaning(*meaning, &error)) return fail(error);
  }
  Window window;
  for (const auto& [option, bound] : {std::pair{"--from", &window.from}, {"--to", &window.to}})
    if (has(option)) {
      *bound = parseMoment(options[option]);
      if (!*bound)
        return fail(std::string(option) + " " + options[option] +
                    ": HH:MM:SS か 2026-08-05T09:50:00 (経過時間の記録では秒) で指定してください");
    }
  session.setWindow(window);
  Reference& reference = session.settings().reference;
  if (has("--sensor-depth")) {
    const auto depth = depthOption("--sensor-depth");
    if (!depth) return fail("--sensor-depth は 0〜10000 (m) の数値で指定してください");
    // The depth is below the pipe top: a negative one puts the sensor above it.
    if (*depth < 0) return fail(messageText(IDS_SENSOR_ABOVE_TOP, options["--sensor-depth"]));
    reference = Reference{ReferenceKind::SensorDepth, *depth, -1};
  }
  if (has("--reference-depth")) {
    const auto depth = depthOption("--reference-depth");
    const auto at = parseMoment(options["--at"]);
    if (!depth) return fail("--reference-depth " + options["--reference-depth"] + ": -10000〜10000 (m) の数値で指定してください");
    if (!at) return fail("--at " + options["--at"] + ": HH:MM:SS か 2026-08-05T09:50:00 で指定してください");
    reference = Reference{ReferenceKind::DepthAtTime, *depth, *at};
  }
  if (!session.readAll(&error)) return fail(input + ": " + error);
  if (has("--baro") && !session.setBarometer(pathFromUtf8(options["--baro"]), &error))
    return fail(options["--baro"] + ": " + error);
  const std::size_t samples = session.series()->time.size();
  if (has("--start")) {
    const auto at = parseMoment(options["--start"]);
    if (!at) return fail("--start " + options["--start"] + ": HH:MM:SS か 2026-08-05T09:50:00 で指定してください");
    if (!session.setStartAt(*at, &error)) return fail(error);
  } else if (!steady && samples < static_cast<std::size_t>(kLeastFitRows)) {
    return fail(input + ": " + messageText(IDS_TOO_FEW_ROWS, {std::to_string(samples), std::to_string(kLeastFitRows)}));
  } else if (!steady && !levelChanges(session.series()->level)) {
    return fail(input + ": 水位が変化していません（試験の開始が見つかりません）. --start で開始時刻を指定してください");
  }
  const TestRecord before = record;
  if (!session.apply(record, &error)) return fail(input + ": " + error);
  // ho, Sp, 試験年月日 and 試験方法 are this record's own whenever it gives
  // them: a template's levels belong to another borehole.
  const std::vector<std::string> filled = session.fillHeadings(record, true);
  if (!session.equilibriumFromRecord() && record.fieldIsNumber(F_equilibriumLevel))
    std::fprintf(stderr, "tov: %s\n", messageText(IDS_HO_FROM_TEMPLATE, record.equilibriumLevel()).c_str());
  // The template gives the headings only: the analysis is this record's own.
  setAnalysisBySuggestion(record, 2);
  const std::string report = session.report();
  if (!report.empty()) std::fprintf(stderr, "%s", report.c_str());
  const auto warnings = session.warnings(record, &before);
  for (const std::string& warning : warnings) std::fprintf(stderr, "tov: 警告: %s\n", warning.c_str());
  if (!warnings.empty() && !acceptWarnings)
    return fail("書きませんでした（確かめた上で書くには --accept-warnings を付けてください）");
  if (!saveTestFile(pathFromUtf8(options["--output"]), record)) return fail("保存できませんでした: " + options["--output"]);
  const Series& series = *session.series();
  std::printf("%d 行を %s に書きました（開始 %s）\n", record.countRows(C_time), options["--output"].c_str(),
              momentText(series, series.time[session.start()]).c_str());
  if (!filled.empty()) {
    std::string names;
    for (const std::string& name : filled) names += (names.empty() ? "" : "、") + name;
    std::printf("見出しに入れました: %s\n", names.c_str());
  }
  if (!record.permeabilityText().empty()) {
    if (record.fieldInt(F_formulaKind) == Steady)
      std::printf("k = %s m/s（解析点 %s 行）\n", record.permeabilityText().c_str(), record.point1Row().c_str());
    else
      std::printf("k = %s m/s（推奨区間 %s〜%s 行）\n", record.permeabilityText().c_str(), record.point1Row().c_str(),
                  record.point2Row().c_str());
  }
  return 0;
}

} // namespace tov::logger
