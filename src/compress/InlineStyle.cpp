#include "compress/CssSweeps.h"
#include "compress/StripCode.h"
#include "compress/TextOps.h"

#include <cstring>
#include <string_view>

namespace StripCode {

std::string OptimizeInlineStyle(std::string page, const trimora::TextCtx& ctx) {
  static constexpr std::string_view kAttr = "style=\"";
  static constexpr Css::sweeps::Sweep kValueSweeps[] = {
      {": ", ":"}, {" :", ":"}, {" ;", ";"}, {"; ", ";"},
  };
  const bool sjis = ctx.sjis;
  // The search starts at the tenth character: an attribute among the first nine is left.
  size_t k = txt::Find(page, kAttr, 9, sjis);
  if (k == txt::npos) return page;

  // The result is built in one pass: untouched stretches are copied once, each changed value
  // is tightened on its own. Only the value can change (the bytes before it are "style=" and
  // the one in front of it, which no sweep can join with "s").
  std::string out;
  bool changed = false;
  size_t done = 0;  // page[done..] is not in `out` yet
  std::string value;
  while (k != txt::npos) {
    const size_t v = k + kAttr.size();
    const size_t close = txt::Find(page, "\"", v, sjis);
    if (close == txt::npos || close == v) {
      // No closing quote, or an empty value: look on from the value's first character.
      k = txt::Find(page, kAttr, v, sjis);
      continue;
    }
    // Every sweep needs a blank.
    if (std::memchr(page.data() + v, ' ', close - v) != nullptr) {
      value.assign(page, v, close - v);
      Css::sweeps::Apply(value, 0, value.size(), kValueSweeps, sjis);
      if (value.size() != close - v) {
        if (!changed) {
          out.reserve(page.size());
          changed = true;
        }
        out.append(page, done, v - done);
        out.append(value);
        done = close;
      }
    }
    k = txt::Find(page, kAttr, close + 1, sjis);
  }
  if (!changed) return page;
  out.append(page, done, txt::npos);
  return out;
}

}  // namespace StripCode
