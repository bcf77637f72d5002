// The error log: failures that nothing else handled, appended to "Trimora.error" on the
// user's Desktop. Nothing is ever shown; an entry that cannot be written is lost silently.
#pragma once

#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace platform { class Platform; }

namespace mError {

// The log file: "Trimora.error" in the Desktop folder.
std::string_view LogFileName();

// Appends one entry: `text` with the run-loop frame name rewritten to the application's own,
// followed by one carriage return, in a single write. Safe to call from any thread.
void AppendToErrFIle(const platform::Platform& platform, std::string_view text);

// The five-entry exception report, written as one uninterrupted group:
//   type name, "Mesage: " + message, "< stack Info >", the frames joined by "\n",
//   "< stack Info End >".
void ReportException(const platform::Platform& platform, std::string_view typeName,
                     std::string_view message, const std::vector<std::string>& frames);
// The same for a caught exception; the frames are those of the calling thread.
void ReportException(const platform::Platform& platform, const std::exception& e);
// For catch (...): type "unknown exception", empty message.
void ReportUnknownException(const platform::Platform& platform);

// Helpers for callers that report later or elsewhere.
std::string TypeName(const std::exception& e);  // demangled: "std::runtime_error"
std::vector<std::string> CurrentStack();        // frame names of the calling thread

}  // namespace mError
