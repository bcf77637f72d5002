#include "app/mError.h"

#include "app/Platform.h"
#include "compress/TextOps.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <typeinfo>

#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace mError {
namespace {

// Every stack the platform reports ends in its event loop; the log names that frame as the
// application's own.
constexpr std::string_view kRunLoopFrame = "QCoreApplication::exec";
constexpr std::string_view kAppRunLoopFrame = "Trimora::exec";

// One report's five entries stay together even when several threads report at once.
std::recursive_mutex gLogMutex;

std::string Demangle(const char* name) {
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
  return status == 0 && out ? std::string(out.get()) : std::string(name);
}

// The function name of one backtrace_symbols line, demangled when possible.
//   glibc: "./trimora(_ZN3foo3barEv+0x1c) [0x55...]"    macOS: "3   trimora   0x0... _ZN3foo3barEv + 28"
std::string FrameName(std::string_view line) {
  std::string symbol;
  const size_t open = line.find('(');
  if (open != std::string_view::npos) {
    const size_t end = line.find_first_of("+)", open + 1);
    if (end != std::string_view::npos) symbol = std::string(line.substr(open + 1, end - open - 1));
  } else {
    const size_t plus = line.rfind(" + ");
    if (plus != std::string_view::npos) {
      const size_t start = line.rfind(' ', plus - 1);
      if (start != std::string_view::npos) symbol = std::string(line.substr(start + 1, plus - start - 1));
    }
  }
  if (symbol.empty()) return std::string(line);
  return Demangle(symbol.c_str());
}

}  // namespace

std::string_view LogFileName() { return "Trimora.error"; }

void AppendToErrFIle(const platform::Platform& platform, std::string_view text) {
  std::string entry(text);
  txt::ReplaceAll(entry, kRunLoopFrame, kAppRunLoopFrame);
  entry += '\r';
  const auto file = platform.DesktopFolder() / std::string(LogFileName());
  std::lock_guard lock(gLogMutex);
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // One write per entry, so that entries of other processes never land inside it.
  const char* p = entry.data();
  size_t left = entry.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    p += n;
    left -= static_cast<size_t>(n);
  }
  ::close(fd);
}

void ReportException(const platform::Platform& platform, std::string_view typeName,
                     std::string_view message, const std::vector<std::string>& frames) {
  std::string stack;
  for (size_t i = 0; i < frames.size(); ++i) {
    if (i > 0) stack += '\n';
    stack += frames[i];
  }
  std::lock_guard lock(gLogMutex);
  AppendToErrFIle(platform, typeName);
  AppendToErrFIle(platform, "Mesage: " + std::string(message));
  AppendToErrFIle(platform, "< stack Info >");
  AppendToErrFIle(platform, stack);
  AppendToErrFIle(platform, "< stack Info End >");
}

void ReportException(const platform::Platform& platform, const std::exception& e) {
  ReportException(platform, TypeName(e), e.what(), CurrentStack());
}

void ReportUnknownException(const platform::Platform& platform) {
  ReportException(platform, "unknown exception", "", CurrentStack());
}

std::string TypeName(const std::exception& e) { return Demangle(typeid(e).name()); }

std::vector<std::string> CurrentStack() {
  void* addresses[64];
  const int n = ::backtrace(addresses, 64);
  std::vector<std::string> frames;
  std::unique_ptr<char*, void (*)(void*)> symbols(::backtrace_symbols(addresses, n), std::free);
  if (!symbols) return frames;
  // Frame 0 is this function.
  for (int i = 1; i < n; ++i) frames.push_back(FrameName(symbols.get()[i]));
  return frames;
}

}  // namespace mError
