#pragma once
// What a result code means, in words for the user: the program's own codes (2 file not found,
// 3 folder missing, 5 access denied, 9210, 9220, the file-name and picture codes) and the file
// system's error numbers the writers pass on. The program's codes are never handed to the C
// library's strerror, which reads 3 as "No such process".
#include <QString>

namespace tolv {

// Where the code came from: reading a file, or writing one (2 then means the folder is missing).
enum class ResultContext { Reading, Writing };

// German for language 0, English otherwise; "error N" for a code nobody names.
QString resultText(int rc, int language, ResultContext context = ResultContext::Reading);
// For a message that shows the number itself ("error %1"): the number and its words,
// "13: access denied", or the number alone for a code nobody names and in a language other
// than German (0) or English (1), which has no words for it here.
QString codeWithWords(int rc, int language, ResultContext context = ResultContext::Reading);

}  // namespace tolv
