#pragma once
// The program's uses of stored files without a window: "--convert SRC [DST]" writes a stored
// file as the CSV the device window would write or in an open format (--format, or DST's
// ending .vcd or .sr; "--export FORMAT SRC [DST]" is the same with the format first), "--render
// SRC OUT.png|OUT.pdf" draws it as the window shows it. Plain functions that return an exit code and the message for standard error, so
// they run in tests without a process; main() only hands the arguments over.
#include <QSize>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <optional>

#include "measure/datafiles.h"
#include "measure/export_stored.h"

namespace tolv {

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 1;
inline constexpr int kExitBadUsage = 2;

inline constexpr int kRenderDefaultWidth = 1200;
inline constexpr int kRenderDefaultHeight = 700;
// Pictures beyond this edge length are refused as a slip of the keyboard (memory).
inline constexpr int kRenderMaxEdge = 16384;

struct HeadlessRequest {
  enum class Action { None, Convert, Render };
  Action action = Action::None;
  std::filesystem::path source;
  std::filesystem::path target;  // empty: next to the source (convert); "-": standard output
  bool targetNamed = false;      // the target was given, not made from the source's name
  // The open format of a conversion; none: the window's CSV.
  std::optional<ExportFormat> format;
  std::optional<char> decimal;   // --decimal
  std::optional<char> column;    // --separator
  QSize size{kRenderDefaultWidth, kRenderDefaultHeight};
  std::filesystem::path dataRoot;  // --data-root
  QString serial;  // --serial: the device of a stored file that does not name it
};

// Whether the arguments (after the program name) ask for --convert, --export, --render or
// --acquire (and not for --help or --version, which are answered first).
bool wantsHeadless(const QStringList& args);
// Whether they ask for --convert or --export alone (no --render, --acquire, --help or
// --version): the commands the program answers without loading the toolkit's windows.
bool wantsConvert(const QStringList& args);
// 0, or kExitBadUsage with the reason in `error`.
int parseHeadlessArguments(const QStringList& args, HeadlessRequest& out, QString& error);

// The separators CSV output uses: the request's, else the saved global settings under the
// data root, else the frame's initial ones. Also selects the saved language for the labels.
CsvStyle headlessCsvStyle(const HeadlessRequest& r);

// The line for standard error about a file: "\"FILE\": reason".
QString fileProblem(const std::filesystem::path& file, const QString& reason);
// Why an output could not be written, in words (the program's own codes are no system error
// numbers: 3 is a missing folder, not "No such process").
QString outputProblem(int rc);

// Sets `message` to what a conversion of the request's file could not take from it: damaged
// voltmeter readings left out, a serial neither its folder nor --serial names.
void noteConvertedFile(const HeadlessRequest& r, QString& message);

// Runs `write` on the request's output, for --convert, --export and --render alike. A DST or
// OUT the user named is written as named, replacing a file there (a pipe or device there is
// written into, see writeNamedOutput). A name made from the source's (no DST) never replaces
// anything, not even a file put there while the output was made: where its commit finds a file
// or a link under it, the output takes the first free "_1", "_2", ... before the extension, as
// the window's automatic names do, and `note` gets the line for standard error that says so.
int writeRequestOutput(const HeadlessRequest& r,
                       const std::function<int(const std::filesystem::path& file)>& write,
                       QString& note);
// Whether the request's output name was made from the source's.
bool madeOutputName(const HeadlessRequest& r);
// The line for standard error about a made name that was taken: empty when the output went to
// `made` itself.
QString movedOutputNote(const std::filesystem::path& made, const std::filesystem::path& written);
// Appends a line for standard error to those already there.
void addNote(QString& message, const QString& line);

// Each returns an exit code; `message` is the line for standard error (on success empty, or
// the conversion's note).
int runConvert(const HeadlessRequest& r, QString& message);
int runRender(const HeadlessRequest& r, QString& message);

// What every command without a window does first: signals end it as they end any command line
// tool (outputs are written under another name first), the data root, and the toolkit's notes
// kept off standard error.
void beginHeadlessProcess(const std::filesystem::path& dataRoot);

// Drawing a request's stored file as a whole step of a process (application object included).
using HeadlessRenderStep = int (*)(const HeadlessRequest& r, char** argv, QString& message);

// Whole process of --convert, --export and --render: parses, makes the application object the
// step needs (no display), runs it and prints the message. Without a render step, --render is
// refused: the lean program entry carries no drawing code.
int runHeadlessCommand(int argc, char** argv, HeadlessRenderStep render);

// The same for every command without a window, --acquire included. For main().
int headlessMain(int argc, char** argv);

}  // namespace tolv
