#pragma once
// The process-wide table of numbered, language-dependent texts (captions, hints, messages)
// and its language file "VX_Language.TXT" in the data root folder.
//
// Ids run from 1 to 310, and on to kLastTextId for texts the program added later; every id
// has a German (slot 0), an English (slot 1) and a third-language (slot 2) text. Added ids are
// handed out in blocks: an id its block left unused reads "… is undefined", and that
// placeholder, once in a language file, never hides a text a later build gives it. Everything
// runs on the user-interface thread; the table is filled with the built-in texts on first use,
// so lookups never see an empty table.
#include <QString>
#include <filesystem>
#include <span>
#include <string_view>

namespace tolv {

inline constexpr int kTextCount = 310;          // ids 1 .. kTextCount: the original table
inline constexpr int kLastTextId = 438;         // added texts: kTextCount + 1 .. kLastTextId
// Texts added for captions and hints that were in one language only, named so that a
// renumbering moves every use with them.
inline constexpr int kTextPrintScopeHint = 348;
inline constexpr int kTextStdSizeHint = 349;
inline constexpr int kTextSingleShotHint = 350;
inline constexpr int kTextOverlapHint = 351;
inline constexpr int kTextAutoSaveOff = 352;
inline constexpr int kTextAutoSaveCsvHint = 353;
inline constexpr int kTextAutoSaveBinHint = 354;
inline constexpr int kTextPlotModeGroup = 355;
inline constexpr int kTextQueueHint = 356;
inline constexpr int kTextCountIntervalHint = 357;
inline constexpr int kTextAuxDividerHint = 358;
inline constexpr int kTextUncoverDebugHint = 359;
inline constexpr int kTextCounterBox = 360;
inline constexpr int kTextIntegrationThreshold = 361;
inline constexpr int kTextPlotOptions = 362;
inline constexpr int kTextDrawPower = 363;
inline constexpr int kTextDrawEnergy = 364;
inline constexpr int kTextScaleStart = 365;
inline constexpr int kTextScaleEnd = 366;
inline constexpr int kTextEvaluationComment = 367;
inline constexpr int kTextLoggerDrawnAtEnd = 368;

// Texts of the stop and sample-time notes.
inline constexpr int kTextStopping = 369;         // PN_Running while a stop waits for the record
inline constexpr int kTextStoppingHint = 370;     // its hint
// PN_Running while a stop waits for the record and a START pressed meanwhile waits for the
// stop's end, its hint, and the hint of STOP that takes that start back.
inline constexpr int kTextRestarting = 413;
inline constexpr int kTextRestartingHint = 414;
inline constexpr int kTextRestartTakenBackHint = 415;
// STOP's hint when the device has gone quiet on the stop: the press writes it again.
inline constexpr int kTextStopAgainHint = 416;
inline constexpr int kTextSampleTimeTaken = 371;  // the device took another sample time

// Texts of the export dialogs: the formats a target dialog offers, and a file none is for.
inline constexpr int kTextSigrokSession = 372;
inline constexpr int kTextValueChangeDump = 373;
inline constexpr int kTextPlainCsv = 374;
inline constexpr int kTextUnknownFileKind = 375;

// Texts of the about window and the labels of the version box.
inline constexpr int kTextAboutTitle = 376;
inline constexpr int kTextAboutLine = 377;      // what the program is
inline constexpr int kTextAboutClose = 378;     // a click closes the window
inline constexpr int kTextVersionProduct = 379;
inline constexpr int kTextVersionInternal = 380;
inline constexpr int kTextVersionFile = 381;
inline constexpr int kTextVersionCompany = 382;
inline constexpr int kTextVersionCopyright = 383;
inline constexpr int kTextVersionVersion = 384;
inline constexpr int kTextVersionComments = 385;

// Texts of a device that sits multi-device cycles out for a run of its own: the status grid's
// cell and hint, and the notice's lines (the serials first; a text holds no line break, so the
// notice joins its lines).
inline constexpr int kTextMultiBusy = 386;
inline constexpr int kTextMultiBusyHint = 387;
inline constexpr int kTextMultiBusyWho = 388;
inline constexpr int kTextMultiBusyRunEnded = 389;
inline constexpr int kTextMultiBusyLeftOut = 390;
// Why a device gave no record to a multi-device cycle (the status grid's cell and its hint),
// beside "missing" (313 / 314) when nothing more is known.
inline constexpr int kTextMultiNoTrigger = 398;
inline constexpr int kTextMultiNoTriggerHint = 399;
inline constexpr int kTextMultiStopped = 400;
inline constexpr int kTextMultiStoppedHint = 401;
inline constexpr int kTextMultiTransferring = 402;
inline constexpr int kTextMultiTransferringHint = 403;
// Captions of the smallest and largest interval in the multi-device window's statistics.
inline constexpr int kTextIntervalMin = 404;
inline constexpr int kTextIntervalMax = 405;
// A device window's RUN and single-shot box while a multi-device run measures with its device.
inline constexpr int kTextHeldByMultiRun = 407;
// What a change of the multi-device window's active devices did beyond the list: the run it
// ended, and the devices it switched from another mode to the scope (their serials follow).
inline constexpr int kTextMultiRunEndedByChange = 408;
inline constexpr int kTextMultiSwitchedToScope = 409;

// Texts of loading a settings file: a file that is no settings image, and values replaced.
inline constexpr int kTextSettingsNoImage = 391;
inline constexpr int kTextSettingsReplaced = 392;

// Status-line texts of a device window: a scope run asking more samples than the scope's memory
// keeps, the samples a logger run has brought so far, settings not stored at closing, and a run
// the device's disconnection ended.
inline constexpr int kTextScopeDepthCut = 393;
// Its addition when the trigger point lies at or after the last sample kept.
inline constexpr int kTextScopeTriggerCut = 406;
inline constexpr int kTextLoggerReceived = 394;
inline constexpr int kTextSettingsNotStored = 395;
inline constexpr int kTextRunEndedByLoss = 396;
// A settings set whose text files could not be read, loaded from its binary image.
inline constexpr int kTextSettingsFromImage = 397;
// The start of a record whose bytes may begin with the rest of the record before.
inline constexpr int kTextRecordHeadInDoubt = 410;
// A multi-device run's own file of one device that could not be written (%1 its name, %2 why);
// the record stays in the merged data file.
inline constexpr int kTextMultiDeviceFileFailed = 411;

// Stored files picked to be shown: a text header that cannot be read (%1 its name, %2 why), a
// file that is no intermediate file (%1 its name, %2 one of the kinds after it), and an
// intermediate file of another family (%1 its name, %2 its family, %3 the family asked for).
inline constexpr int kTextHeaderDamaged = 420;
inline constexpr int kTextNotIntermediate = 421;
inline constexpr int kTextKindScopeVxd = 422;
inline constexpr int kTextKindLogicVxd = 423;
inline constexpr int kTextKindTable = 424;
inline constexpr int kTextKindOther = 425;
inline constexpr int kTextOtherFamily = 426;
// Status line: automatic binary saving chosen in a mode without a binary file (%1 the mode).
inline constexpr int kTextNoBinFile = 427;
// A picked .VXD whose kind cannot be told (empty, cut before its header); a missing text header
// (%1 its name).
inline constexpr int kTextKindBinary = 428;
inline constexpr int kTextHeaderMissing = 429;
// A stored file drawn only in part or not at all, and a table not written (%1 the file, %2
// why).
inline constexpr int kTextShownInPart = 430;
inline constexpr int kTextCannotShow = 431;
inline constexpr int kTextNotWritten = 432;
// Status line after the device is back: the run the disconnection ended, whose record in
// flight was discarded (%1 of %2 bytes).
inline constexpr int kTextRunEndedRecordCut = 433;
// Multi-device window: a data file loaded while a run goes on (%1 the file); the collecting
// time a run changed (%1 before, %2 now), and where it comes from (%1 device, %2 samples, %3
// record time, %4 transfer time, %5 the margin added).
inline constexpr int kTextMultiLoadedDuringRun = 436;
inline constexpr int kTextMultiCollectTimeChanged = 437;
inline constexpr int kTextMultiCollectTimeSource = 438;

inline constexpr int kTextLookupMax = 255;      // a lookup delivers at most this many characters
inline constexpr int kHintLineColumns = 40;     // wrapped lookup: column of the line-break rule
inline constexpr int kThirdLanguageDots = 130;  // placeholder of slot 2: id followed by dots

inline constexpr int kLanguageGerman = 0;
inline constexpr int kLanguageEnglish = 1;
inline constexpr int kLanguageThird = 2;  // code "LX"; texts only from the language file

// Result codes of the language file.
inline constexpr int kErrLanguageFileDamaged = -235;  // wrong id sequence, missing or bad lines
inline constexpr int kErrFileNotFound = 2;
inline constexpr int kErrFolderMissing = 3;
inline constexpr int kErrAccessDenied = 5;
inline constexpr int kErrWriteFailed = 101;

inline constexpr const char* kLanguageFileName = "VX_Language.TXT";

// Process-wide language index: 0 German (initial), 1 English, 2 third language.
// Values outside 0..2 select German, as an unknown language code does.
int languageIndex();
void setLanguageIndex(int index);

// Text of the current language, cut to 255 characters; empty for an id outside
// 1..kLastTextId.
QString text(int id);
// The same text broken into hint lines (see wrapHint), cut to 255 characters.
QString wrappedText(int id);
// Text of a given slot (0, 1, 2) without the 255-character cut; empty for bad arguments.
QString tableText(int id, int language);

// Line-break rule of hints: "~" is a forced break; a stretch without "~" is broken at the
// first blank at or after column 40 (the blank stays at the line's end). Lines are joined
// with CR LF; the result is cut to 255 characters.
QString wrapHint(const QString& text);

// Sets every entry to its default placeholders, then the built-in German and English texts,
// and the language index to 0.
void fillBuiltInTexts();

std::filesystem::path languageFilePath(const std::filesystem::path& dataRoot);

// Reads "VX_Language.TXT" in dataRoot into the table. Ids 1..310 must all be there; the
// added ids may follow in order (a file of an earlier version ends after 310, and whatever
// follows that is not the next id is left alone). Returns 0, kErrFolderMissing,
// kErrFileNotFound or kErrAccessDenied when it cannot be opened, or kErrLanguageFileDamaged when an
// id line is missing or not the expected id, a length line is missing or not a number, or a text
// line is missing. Entries read before a failure stay in the table.
int loadLanguageFile(const std::filesystem::path& dataRoot);

// Writes the table, ids 1..kLastTextId, to "VX_Language.TXT" in dataRoot (UTF-8, CR LF),
// keeping an existing file under the first free "_k" name first. Texts longer than L (the
// longer of German and English) are cut, in the file and in the table. Returns 0 or an output
// error code (kErrFolderMissing, kErrAccessDenied, kErrWriteFailed); a failed rename does not
// stop it.
int writeLanguageFile(const std::filesystem::path& dataRoot);

// Start-up: loads the file; when that fails for any reason, fills the built-in texts and
// writes a new file (the old one is kept aside). A file of an earlier version, ending before
// kLastTextId, is used and written again with the ids added since. Returns the load result (0
// when the file was used); *writeResult, when given, receives the result of the write (0 when
// nothing had to be written).
int loadTextsAtStart(const std::filesystem::path& dataRoot, int* writeResult = nullptr);

// Decodes one line of a language file: UTF-8 when the bytes are valid UTF-8, otherwise
// Windows-1252, so files saved by older editors keep their umlauts. (The loader drops a byte
// order mark at the start of the file.)
QString decodeLanguageFileLine(std::string_view bytes);

namespace detail {
struct BuiltInText {
  int id;
  const char* german;   // UTF-8
  const char* english;  // UTF-8
};
std::span<const BuiltInText> builtInTexts1();
std::span<const BuiltInText> builtInTexts2();
std::span<const BuiltInText> builtInTexts3();
}  // namespace detail

}  // namespace tolv
