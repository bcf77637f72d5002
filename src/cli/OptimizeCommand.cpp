// trimora-cli optimize FILE [options]: the per-file sequence of the run on one file, the result
// on standard output and the tag-check findings on standard error. Reads only; writes no file.
#include "cli/Commands.h"

#include "app/Platform.h"
#include "app/mFile.h"
#include "compress/Optimizer.h"
#include "tagcheck/SyntaxCheck.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: trimora-cli optimize FILE [--keep-tabs] [--keep-double-spaces] [--keep-empty-lines]\n"
    "       [--keep-comments] [--html-linebreaks] [--css-linebreaks] [--variables FILE]\n";

int Refuse(const std::string& message) {
  std::fprintf(stderr, "trimora-cli: %s\n", message.c_str());
  return 2;
}

}  // namespace

int Optimize(const Args& args) {
  trimora::Options opts;
  std::optional<fs::path> file, variablesFile;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--keep-tabs") opts.TrimTAB = false;
    else if (a == "--keep-double-spaces") opts.TrimDoubleSpace = false;
    else if (a == "--keep-empty-lines") opts.TrimEmptyLines = false;
    else if (a == "--keep-comments") opts.TrimAllComments = false;
    else if (a == "--html-linebreaks") opts.TrimLineBreaksHTML = true;
    else if (a == "--css-linebreaks") opts.TrimLineBreaksCSS = true;
    else if (a == "--variables") {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "trimora-cli: --variables needs a file\n%s", kUsage);
        return 2;
      }
      variablesFile = fs::path(args[++i]);
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      std::fprintf(stderr, "trimora-cli: unknown option \"%s\"\n%s", a.c_str(), kUsage);
      return 2;
    } else if (!file) {
      file = fs::path(a);
    } else {
      std::fprintf(stderr, "trimora-cli: optimize takes one file\n%s", kUsage);
      return 2;
    }
  }
  if (!file) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  platform::Platform& system = platform::System();
  auto raw = mFile::ReadFileBytes(*file);
  if (!raw) return Refuse("cannot read \"" + file->string() + "\"");
  const trimora::FileKind kind = mFile::KindOf(*file);
  if (kind == trimora::FileKind::Other)
    return Refuse("\"" + file->string() + "\" is not a page, style sheet or script the run rewrites");

  trimora::OptimizeEnv env;
  env.opts = opts;
  env.now = system.Now();
  if (variablesFile) {
    auto vars = mFile::ReadFileBytes(*variablesFile);
    if (!vars) return Refuse("cannot read the variables file \"" + variablesFile->string() + "\"");
    env.vars.text = std::move(*vars);
    env.vars.isBrixelProject = !env.vars.text.empty() && env.vars.text != mFile::kFailureMarker;
  }
  const auto dicts = SyntaxCheck::LoadDictionaries(system.ResourcesFolder());
  env.dicts = &dicts;

  const bool php = kind == trimora::FileKind::Html && mFile::isPHP(*file, system);
  const auto out = trimora::OptimizeText(std::move(*raw), kind, php, env);

  if (std::fwrite(out.text.data(), 1, out.text.size(), stdout) != out.text.size() || std::fflush(stdout) != 0)
    return Refuse("cannot write the result");
  const std::string path = mFile::GetExtraServerPathStr(fs::absolute(*file).parent_path(), fs::absolute(*file));
  for (const auto& u : out.unbalanced)
    std::fprintf(stderr, "%s\n", SyntaxCheck::FindingMessage(path, u).c_str());
  return 0;
}

}  // namespace cli
