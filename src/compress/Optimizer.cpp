#include "compress/Optimizer.h"

#include "compress/CssPasses.h"
#include "compress/MarkupPasses.h"
#include "compress/SharedPasses.h"
#include "compress/StripCode.h"
#include "compress/TextOps.h"
#include "compress/mEncodings.h"

#include <stdexcept>

namespace trimora {
namespace {

// Whether the page contains `pat` (ASCII, starting with '<'), as txt::Contains answers. A closing
// tag usually stands near the end, so the last few kilobytes are looked at first.
bool ContainsNearEnd(std::string_view page, std::string_view pat, bool sjis) {
  constexpr size_t kTail = 4096;
  if (page.size() < pat.size()) return false;
  const size_t stop = page.size() > kTail ? page.size() - kTail : 0;
  for (size_t i = page.size() - pat.size() + 1; i-- > stop;) {
    if (page[i] == '<' && txt::MatchAt(page, i, pat) && !(sjis && txt::IsShiftJisTrail(page, i))) return true;
  }
  return stop > 0 && txt::Find(page.substr(0, stop + pat.size() - 1), pat, 0, sjis) != txt::npos;
}

// The tag check of a complete page: the HTML5 dictionary for a page declaring
// "<!DOCTYPE html>", the HTML one otherwise.
std::vector<SyntaxCheck::Unbalanced> CheckTags(const std::string& page, const OptimizeEnv& env, bool sjis) {
  if (!env.dicts) return {};
  if (!txt::Contains(page, "<html", sjis) || !txt::Contains(page, "<body", sjis) ||
      !ContainsNearEnd(page, "</html", sjis))
    return {};
  if (txt::Contains(page, "<!DOCTYPE html>", sjis))
    return SyntaxCheck::CheckUnbalancedTagsHTML5(page, env.dicts->html5);
  return SyntaxCheck::CheckUnbalancedHTMLTags(page, env.dicts->html);
}

}  // namespace

Optimized OptimizeText(std::string text, FileKind kind, bool phpDisplayName, const OptimizeEnv& env) {
  if (kind == FileKind::Other) return {std::move(text), {}};
  const Options& o = env.opts;
  const bool html = kind == FileKind::Html;
  const bool css = kind == FileKind::Css;
  const bool script = kind == FileKind::Script;
  // Pages proper: HTML-kind files whose display name does not mark them as PHP.
  const bool page = html && !phpDisplayName;

  TextCtx ctx;
  ctx.encoding = mEncodings::CheckForEncoding(text);
  ctx.sjis = ctx.encoding == mEncodings::kShiftJis;

  // Line endings: the first line break decides for the whole file.
  ctx.b = Shared::GetLineEnding(text);
  Shared::NormalizeLineEndings(text, ctx.b);

  if (o.TrimEmptyLines) Shared::FilterLines(text, ctx, script);

  // Comments.
  if (o.TrimAllComments) text = Markup::RemoveBrixelComments(std::move(text), ctx);
  if (o.TrimAllComments && html) text = Markup::RemoveBodyComments(std::move(text), ctx);
  if (css || script)
    text = StripCode::JSBlockComments(std::move(text), ctx, css ? StripCode::Lang::Css : StripCode::Lang::Script);

  // Tabs and runs of blanks (two neighbouring steps, done in one pass over each run).
  Shared::CollapseBlanks(text, o.TrimTAB, o.TrimDoubleSpace);
  // The sweep only shortens the text, so an unchanged size means it found nothing.
  const size_t beforeEmptyLines = text.size();
  if (o.TrimEmptyLines) Shared::CollapseEmptyLines(text, ctx.b);
  const bool noEmptyLines = text.size() == beforeEmptyLines;

  if (o.TrimLineBreaksHTML && page) text = Markup::RemoveLineBreaks(std::move(text), ctx);

  // Style and script embedded in pages.
  if (page) {
    text = Css::OptimizeFirstStyleBlock(std::move(text), ctx);
    // The optimiser returns a page without double-quoted style attributes as it is. An empty
    // result from a page that was not empty would mean it failed: such a page is never written.
    const bool hadText = !text.empty();
    text = StripCode::OptimizeInlineStyle(std::move(text), ctx);
    if (hadText && text.empty()) throw std::runtime_error("inline style optimiser lost the page");
    text = StripCode::InlineScripts(std::move(text), ctx);
  }

  if (css) text = Css::OptimizeStyleSheet(std::move(text), ctx, o.TrimLineBreaksCSS);

  // Blanks between tags go in pages only: in style sheets and scripts a "> <" stands only
  // inside strings and comments, where joining would change the program's data.
  if (html) Shared::JoinTags(text);
  // A script reaches the second sweep as the first one left it: when that found nothing, so
  // would this one.
  if (o.TrimEmptyLines && !(script && noEmptyLines)) Shared::CollapseEmptyLines(text, ctx.b);
  Shared::RemoveLeadingLineEnding(text, ctx.b);

  Optimized out;
  if (html) {
    text = mVarialbles::DoUpdateVariables(std::move(text), env.vars, env.now, ctx);
    // The check sees exactly the bytes that will be written.
    out.unbalanced = CheckTags(text, env, ctx.sjis);
  }
  out.text = std::move(text);
  return out;
}

}  // namespace trimora
