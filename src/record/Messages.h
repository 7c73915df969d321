#pragma once
// The system's messages by number, and the one interface through which the
// program's logic tells the user something or asks a Yes/No question.
// Logic never shows a box itself: the application installs a sink that
// shows message boxes, tests install a recording sink.
#include <deque>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace tov {

// Message numbers. The numbered texts keep their numbers; texts the program
// shows without a number have numbers of their own from 60000 on.
enum MessageId : int {
  IDS_DISCARD_CHANGES = 132,       // "データが変更されましたが、キャンセルしてよいのですか？"
  IDS_FOOTER_OFF_PAPER = 133,
  IDS_NO_IMPORT = 803,
  IDS_IMPORTED = 804,
  IDS_CANNOT_ADD = 901,
  IDS_MAX_ROWS = 902,
  IDS_NO_DATA_OR_BAD = 903,
  IDS_CANNOT_OVERWRITE = 904,
  IDS_OVERWRITE_OUT_OF_RANGE = 905,
  IDS_NO_SAME_VALUE = 907,         // "上書きできません、同じ %1 がありません."
  IDS_SAME_VALUE_EXISTS = 908,     // "同じ %1データがあります.\n修正なら上書きしてください."
  IDS_TOO_MUCH_DATA = 4001,
  IDS_SAVE_FAILED = 4005,          // "保存できませんでした"
  IDS_BAD_NUMBER = 4006,
  IDS_NO_DATA = 4007,
  IDS_BAD_SCALE = 4008,
  IDS_BAD_GEOMETRY = 4011,
  IDS_MISSING_INPUT = 4013,        // "未入力データがあります\n( %1 )"
  IDS_CANNOT_RUN = 4032,
  IDS_DEVICE_ERROR = 4090,         // "ハードウェア、デバイスエラー"
  IDS_FILE_NOT_FOUND = 32790,      // "ファイルが見つかりません\n( %1 )"
  IDS_GRID_TOO_SMALL = 32791,
  IDS_NOT_TOV_DATA = 32792,        // "透水試験「Tov」のデータではありません"
  // Unnumbered texts of the program.
  IDS_BAD_DRIVE = 60001,           // "ドライブ名が異常です"
  IDS_BAD_FOLDER_OR_DRIVE = 60002, // "フォルダ名またはドライブ名が異常です"
  IDS_BAD_EXTENSION = 60003,       // "拡張子を tvd(TVD)にして下さい"
  IDS_TOO_MANY_CSV = 60004,        // "too many csv"
  IDS_CANNOT_CREATE_FONT = 60005,  // "Can't create font"
  IDS_BAD_PIPE_VALUE = 60006,      // "パイプ(管)の値が異常です"
  IDS_REGISTER_PREFIX = 60007,     // "マスタファイルは\n"
  IDS_SAME_DATA = 60008,           // "同じデータがあります"
  // Texts for failures that have no numbered message.
  IDS_CANNOT_ENCODE = 61001,       // a character that the file's code page cannot hold
  IDS_BAD_ENCODING = 61002,        // bytes in a file that are not valid in its code page
  IDS_UNSAVABLE_TEXT = 61003,      // CR, LF, '"' or "$$" in a value
  IDS_WRITE_FAILED_DETAIL = 61004,
  IDS_ROW_TOO_LONG = 61005,        // a reading row longer than a file line may be
  IDS_CONFIRM_OVERWRITE = 61006,   // Save As onto an existing file the dialog did not ask about
  IDS_SAVE_CHANGES = 61007,        // the test has changes that were not saved
  // Nothing lost: exports, changes by others, locks and recovery.
  IDS_IMAGE_TOO_LARGE = 62500,     // "%1 dpi の %2 は大きすぎます…"
  IDS_CHANGED_ON_DISK = 62501,     // "ファイルは他で変更されています. 上書きしますか？"
  IDS_RELOAD_CHANGED = 62502,      // the open, unmodified test changed on disk
  IDS_LOCKED_BY_OTHER = 62503,     // another Tov has the test open
  IDS_RECOVERY_FOUND = 62504,      // a test that was not saved before the program ended
  IDS_READ_ONLY_SAVE = 62505,      // a test opened read-only is saved under another name
  IDS_RECOVERY_BASE_CHANGED = 62506, // a recovery whose test was saved by someone else since
  IDS_RECOVERY_NOT_WRITTEN = 62507,  // the recovery folder cannot be made or written
  IDS_OUTPUT_IS_INPUT = 62508,       // an output that is one of the inputs (%1 output, %2 input)
  IDS_OUTPUT_NAMED_AS_TEST = 62509,  // a PDF to be written under a test's name (.tvd)
  IDS_CANNOT_READ = 62510,           // a file that is there but may not be read
  IDS_OUTPUT_IS_OUTPUT = 63200,      // two outputs of one command are one file (%1, %2)
  IDS_RECOVERY_SET_ASIDE = 63201,    // a recovery file that cannot be read, kept under another name
  IDS_RECOVERY_BASE_DELETED = 63202, // a recovery whose test was deleted since
  IDS_RECOVERY_BASE_UNKNOWN = 63203, // a recovery whose record of the test's file is damaged
  IDS_DELETED_ON_DISK = 63204,       // Save of a test whose file was deleted meanwhile
  IDS_NO_WRITE_PERMISSION = 63205,   // Save of a test the user may not write
  IDS_CELL_NOT_FINITE = 63206,       // a workbook cell's number that is not finite (%1 file, %2 cell, %3 value)
  IDS_CELL_TOO_LONG = 63207,         // a workbook cell's text beyond 32,767 characters
  IDS_CELL_NOT_UTF8 = 63208,         // a workbook cell's bytes that are not UTF-8
  IDS_PDF_FILE_FOR_MANY = 63209,     // several tests to one PDF file without --combine
  IDS_SENSOR_ABOVE_TOP = 63210,      // a negative --sensor-depth
  IDS_OUTPUT_NAMED_TWICE = 63211,    // one name given to two outputs of one command
  IDS_TVD_STOPPED = 63212,           // a test file beyond what a test holds (%1 the file, %2 the line not read)
  IDS_TEST_TOO_LARGE = 63213,        // a save beyond what a test file may hold (%1 its bytes)
  IDS_RECOVERY_OLD_SET_ASIDE = 63214, // a recovery file of an earlier version, which cannot be told whole
  // The standard checks of the dialogs' fields.
  IDS_ENTER_INTEGER = 61010,       // "整数を入力してください。"
  IDS_ENTER_NUMBER = 61011,        // "数字を入力してください。"
  IDS_ENTER_INTEGER_RANGE = 61012, // "%1 から %2 までの整数を入力してください。"
  IDS_ENTER_AT_MOST_CHARS = 61013, // "%1 文字以内で入力してください。"
  // The readings editors.
  IDS_MISSING_LEVEL = 61020,       // "h'が未記入の行があります."
  IDS_MISSING_LEVEL_OR_FLOW = 61021, // "h'、Q が未記入の行があります."
  IDS_SAME_ELAPSED_TIME = 61022,   // "同じ経過時間tがあります.."
  IDS_TIME_NOT_A_NUMBER = 61023,   // a stored row whose t is not a number
  IDS_PASTE_PAST_LAST_ROW = 61024,
  IDS_PASTE_PAST_LAST_COLUMN = 61025,
  IDS_PASTE_BAD_CELLS = 61026,     // a paste refused, naming the first failing cells (%1: their lines)
  IDS_CELL_PROBLEM = 61027,        // "%1 行目 %2: %3" (row, column title, problem)
  IDS_CELL_NOT_A_NUMBER = 61028,
  IDS_CELL_OUT_OF_RANGE = 61029,
  IDS_CELL_BAD_EXPONENT = 61030,
  IDS_CELL_BAD_CLOCK = 61031,
  IDS_BAD_CELLS_ON_OK = 61032,     // OK with marked cells (%1: their lines)
  IDS_ADD_PENDING_READING = 61033, // OK while the entry fields hold a reading not added
  IDS_INSERT_ROW_LAST_FILLED = 61034,
  // The headings editor, the tester register, help and setup.
  IDS_BAD_LEVEL = 61200,           // "水位データが異常です"
  // A test file cut short (the fields read are still shown).
  IDS_TVD_NO_READINGS = 62700,     // no readings block (%1: the file)
  IDS_TVD_CUT_SHORT = 62701,       // ends inside a line (%1: the file)
  // Printing.
  IDS_LANDSCAPE_REFUSED = 63400,   // a print asked for on landscape paper
  // The unsteady analysis: the two points' order.
  IDS_POINTS_SWAPPED = 63000,      // point 1 after point 2 in time: swapped
  IDS_POINTS_SAME_TIME = 63001,    // points 1 and 2 at one time: no a, no k
  IDS_POINTS_SAME_ROW = 63002,     // a typed t that puts both points on one row: refused
  IDS_POINTS_RETAKEN = 63003,      // the headings changed the rows' s: points, a and k again (%1, %2 k before, after)
  // The logger import.
  IDS_XML_NOT_XLE = 63100,         // XML of a layout the import does not read
  IDS_XML_MALFORMED = 63101,       // XML that is not well formed (%1 line, %2 expat's reason)
  IDS_CLOCK_ON_DAYS = 63102,       // a clock time on more than one day (%1 clock, %2 count, %3 days, %4 example)
  IDS_MOMENT_NOT_IN_RECORD = 63103, // %1 moment, %2 and %3 the record's first and last
  IDS_RECORD_WITHOUT_DATES = 63104, // a date given for a record of clock times only
  IDS_TOO_MANY_ROWS = 63105,       // %1 the limit (10 000 rows), %2 first moment, %3 the moment where it stopped
  IDS_TOO_FEW_ROWS = 63106,        // %1 rows from the start, %2 rows needed
  IDS_AIR_DRIFT_EFFECT = 63107,    // %1 m/h, %2 kPa/h, %3 percent of k
  IDS_AIR_NOT_CHECKED = 63108,     // %1 minutes of quiet record
  IDS_LEVEL_ABOVE_TOP = 63109,     // %1 median h' (m)
  IDS_HO_FROM_TEMPLATE = 63110,    // %1 the template's ho
  IDS_PRESSURE_NEEDS_UNIT = 63111,
  IDS_NO_K_FROM_IMPORT = 63112,
  IDS_WINDOW_EMPTY = 63113,        // %1 from, %2 to, %3 and %4 the record's first and last
  IDS_WINDOW_CLOCK_ON_DAYS = 63114, // %1 clock, %2 days
  IDS_AIR_NO_DRIFT = 63115,        // %1 minutes, %2 kPa/h
  IDS_NO_EQUILIBRIUM = 63116,      // ho neither in the record nor in the test
  IDS_METHOD_AGAINST_RECORD = 63117, // %1 the typed method, %2 the record's direction
  IDS_ROWS_OUT_OF_TIME = 63118,    // rows far from the record's time, left out (%1 count, %2 line, %3 its moment)
  IDS_XML_TOO_DEEP = 63119,        // elements nested deeper than an .xle nests them (%1 line, %2 the limit)
  IDS_XML_TOKEN_TOO_LONG = 63120,  // one comment, tag or attribute beyond the limit (%1 line, %2 MB)
  IDS_XLE_CHANNEL_TWICE = 63121,   // %1 channel number, %2 and %3 the two headers' elements
  IDS_XLE_CHANNEL_UNDECLARED = 63122, // a sample's channel without a header (%1 element, %2 line)
  IDS_XLE_OFFSET_UNIT = 63123,     // %1 channel number, %2 the offset with its unit, %3 the channel's unit
  IDS_NUMBER_ON_CLOCK_RECORD = 63124, // a plain number given for a moment of a record of clock times (%1)
  IDS_WINDOW_REVERSED = 63125,     // %1 from after %2 to
  IDS_DATE_ORDER_UNKNOWN = 63126,  // %1 a date that fits both orders
};

// Whether the user wants to save, not to save, or to go back.
enum class Answer { Yes, No, Cancel };

// The text of a message, exactly as the program shows it ("" if unknown).
const std::string& messageText(int id);
// The text with "%1" replaced by arg.
std::string messageText(int id, std::string_view arg);
// The text with "%1", "%2" ... replaced by the arguments in order.
std::string messageText(int id, std::initializer_list<std::string_view> args);

// Text for a terminal: control characters (a terminal's escapes, CR, and
// LF unless the text's own lines are kept) shown as "\x1b" and the like, so a
// file name cannot move the cursor or fake a line; bytes that are not UTF-8
// (a name in CP932 from a Japanese Windows' zip) likewise, so the text is
// always valid UTF-8.
std::string escapedControls(std::string_view text, bool keepLineBreaks = true);
// Whether the text is well-formed UTF-8.
bool isValidUtf8(std::string_view text);
// A file's name as a message shows it: every control character escaped, a
// line break too, so that a name cannot split the message into fake lines.
std::string shownPath(const std::filesystem::path& path);

class MessageSink {
public:
  virtual ~MessageSink() = default;
  // Tells the user something (an information or error box).
  virtual void report(const std::string& text) = 0;
  // Asks a Yes/No question; true for Yes.
  virtual bool askYesNo(const std::string& text) = 0;
  // Asks Yes / No / Cancel. Where nobody can answer, the question is told
  // and the answer is Cancel, which leaves everything as it is.
  virtual Answer askYesNoCancel(const std::string& text) {
    report(text);
    return Answer::Cancel;
  }
  // The same question with buttons of its own ("上書き", "名前を付けて保存",
  // "キャンセル"): the first button answers Yes, the second No, the third
  // (and closing the box) Cancel.
  virtual Answer askThreeWay(const std::string& text, const std::string& /*yes*/, const std::string& /*no*/,
                             const std::string& /*cancel*/) {
    return askYesNoCancel(text);
  }
  // A Yes/No question whose buttons say what they do ("名前を付けて保存",
  // "キャンセル"); Yes is the default button. True for the first.
  virtual bool askTwoWay(const std::string& text, const std::string& /*yes*/, const std::string& /*no*/) {
    return askYesNo(text);
  }
};

// The sink the program's logic reports through. Before any sink is
// installed, messages go to standard error and questions are answered No.
MessageSink& messageSink();
// Installs a sink (nullptr restores the default); returns the previous one.
MessageSink* setMessageSink(MessageSink* sink);

inline void reportMessage(int id) { messageSink().report(messageText(id)); }
inline void reportMessage(int id, std::string_view arg) { messageSink().report(messageText(id, arg)); }

// A sink that records what was said and answers questions from a queue
// (No when the queue is empty). Used by tests and by the exporter.
class RecordingMessageSink : public MessageSink {
public:
  void report(const std::string& text) override { reported.push_back(text); }
  bool askYesNo(const std::string& text) override {
    asked.push_back(text);
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.pop_front();
    return a;
  }
  Answer askYesNoCancel(const std::string& text) override {
    asked.push_back(text);
    if (choices.empty()) return Answer::Cancel;
    Answer a = choices.front();
    choices.pop_front();
    return a;
  }
  std::vector<std::string> reported;
  std::vector<std::string> asked;
  std::deque<bool> answers;     // for askYesNo (No when empty)
  std::deque<Answer> choices;   // for askYesNoCancel (Cancel when empty)
};

// Installs a sink for the calling thread only, for the lifetime of the
// guard: what the logic says on that thread goes there rather than to the
// program's sink (a worker that reads many tests collects each test's
// messages itself).
class ThreadMessageSink {
public:
  explicit ThreadMessageSink(MessageSink& sink);
  ~ThreadMessageSink();
  ThreadMessageSink(const ThreadMessageSink&) = delete;
  ThreadMessageSink& operator=(const ThreadMessageSink&) = delete;
private:
  MessageSink* previous_;
};

// Installs a sink for the lifetime of the guard.
class ScopedMessageSink {
public:
  explicit ScopedMessageSink(MessageSink& sink) : previous_(setMessageSink(&sink)) {}
  ~ScopedMessageSink() { setMessageSink(previous_); }
  ScopedMessageSink(const ScopedMessageSink&) = delete;
  ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;
private:
  MessageSink* previous_;
};

} // namespace tov
