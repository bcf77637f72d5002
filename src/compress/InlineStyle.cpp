#include "compress/CssSweeps.h"
#include "compress/StripCode.h"
#include "compress/TextOps.h"

#include <cstring>
#include <string_view>

namespace StripCode {
namespace {

constexpr std::string_view kAttr = "style=\"";

}  // namespace

std::string OptimizeInlineStyle(std::string page, const trimora::TextCtx& ctx) {
  static constexpr Css::sweeps::Sweep kValueSweeps[] = {
      {": ", ":"}, {" :", ":"}, {" ;", ";"}, {"; ", ";"},
  };
  static const Css::sweeps::SweepList kValue{kValueSweeps};
  const bool sjis = ctx.sjis;
  // The search starts at the tenth character: an attribute among the first nine is left.
  size_t k = txt::Find(page, kAttr, 9, sjis);
  if (k == txt::npos) return page;

  // One pass, compacting the page in place (values only shrink): page[0, w) is the result
  // so far and page[r, ...) is unread. Only the value can change: the bytes before it are
  // "style=" and the one in front of it, which no sweep can join with the "s".
  char* d = page.data();
  size_t w = 0, r = 0;
  std::string value;  // Shift_JIS values are tightened in a copy
  while (k != txt::npos) {
    const size_t v = k + kAttr.size();
    const size_t close = txt::Find(page, "\"", v, sjis);
    if (close == txt::npos || close == v) {
      // No closing quote, or an empty value: look on from the value's first character.
      k = txt::Find(page, kAttr, v, sjis);
      continue;
    }
    // Every sweep needs a blank. The next search starts after the closing quote, which the
    // moves below never reach, so it sees the page's own bytes.
    if (std::memchr(d + v, ' ', close - v) != nullptr) {
      if (w != r) std::memmove(d + w, d + r, v - r);
      w += v - r;
      if (sjis) {
        value.assign(page, v, close - v);
        kValue.Apply(value, 0, value.size(), true);
        std::memcpy(d + w, value.data(), value.size());
        w += value.size();
      } else {
        const size_t len = kValue.Compact(d + v, close - v);
        if (w != v) std::memmove(d + w, d + v, len);
        w += len;
      }
      r = close;
    }
    k = txt::Find(page, kAttr, close + 1, sjis);
  }
  if (w != r) {
    std::memmove(d + w, d + r, page.size() - r);
    page.resize(w + (page.size() - r));
  }
  return page;
}

}  // namespace StripCode
