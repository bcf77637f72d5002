// Feeds arbitrary bytes through the per-file sequence with every option combination and file
// kind, and through the charset detection. The first two bytes choose options and kind.
#include "compress/Optimizer.h"
#include "compress/mEncodings.h"
#include "tagcheck/SyntaxCheck.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

const SyntaxCheck::Dictionaries& Dicts() {
  static const auto d = SyntaxCheck::LoadDictionaries(TRIMORA_RESOURCES_DIR);
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const uint8_t pick = data[1];
  trimora::OptimizeEnv env;
  env.opts.TrimTAB = flags & 1;
  env.opts.TrimDoubleSpace = flags & 2;
  env.opts.TrimEmptyLines = flags & 4;
  env.opts.TrimAllComments = flags & 8;
  env.opts.TrimLineBreaksHTML = flags & 16;
  env.opts.TrimLineBreaksCSS = flags & 32;
  env.opts.TrimBrixelComments = flags & 64;
  env.vars.isBrixelProject = flags & 128;
  env.vars.text = "Home;About us;#VARIABLE3#;#ISODATE#";
  env.now = QDateTime(QDate(2012, 3, 7), QTime(9, 5, 41));
  env.dicts = &Dicts();
  static const trimora::FileKind kinds[] = {trimora::FileKind::Html, trimora::FileKind::Css,
                                            trimora::FileKind::Script, trimora::FileKind::Html};
  std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  (void)mEncodings::CheckForEncoding(text);
  const auto out = trimora::OptimizeText(std::move(text), kinds[pick & 3], (pick & 4) != 0, env);
  // Nothing is ever added except line endings, date stamps and variable values.
  (void)out;
  return 0;
}
