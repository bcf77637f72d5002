#include <gtest/gtest.h>

#include <QStringDecoder>
#include <string>

#include "compress/mEncodings.h"

namespace {

TEST(Encodings, TableHoldsTheNamesPagesDeclare) {
  const auto& t = mEncodings::EncArrayStr();
  ASSERT_EQ(t.size(), 21u);
  EXPECT_EQ(t[0], "UTF-8");
  EXPECT_EQ(t[1], "ISO-8859-1,latin1");
  EXPECT_EQ(t[2], "macintosh,x-mac-roman,mac");
  EXPECT_EQ(t[5], "ISO-8859-14,hebrew");
  EXPECT_EQ(t[11], "windows-1251 ,cp1251");
  EXPECT_EQ(t[18], "Shift_JIS,x-sjis,x-shift-jis");
  EXPECT_EQ(t[19], "euc-jp");
  EXPECT_EQ(t[20], "x-mac-chinesesimp");
}

TEST(Encodings, EveryEntryHasADecoder) {
  for (int i = 0; i < mEncodings::kCount; ++i) {
    SCOPED_TRACE(i);
    QStringDecoder d(mEncodings::DecoderName(i));
    EXPECT_TRUE(d.isValid()) << mEncodings::DecoderName(i);
  }
  // The registry name of each entry is the name its decoder reports (entry 19 has only
  // "euc-jp", entry 20 no decoder of its own name).
  const auto& t = mEncodings::EncArrayStr();
  for (int i = 0; i < 19; ++i) {
    SCOPED_TRACE(i);
    const std::string registry = t[i].substr(0, t[i].find_first_of(" ,"));
    EXPECT_EQ(registry, QStringDecoder(mEncodings::DecoderName(i)).name());
  }
  // Bytes decode as their encoding: 0xE9 is e-acute in Latin 1, 0x8E in Mac Roman.
  EXPECT_EQ(QStringDecoder(mEncodings::DecoderName(1)).decode(QByteArray("\xE9")),
            QString(QChar(0xE9)));
  EXPECT_EQ(QStringDecoder(mEncodings::DecoderName(2)).decode(QByteArray("\x8E")),
            QString(QChar(0xE9)));
  EXPECT_EQ(QStringDecoder(mEncodings::DecoderName(19)).decode(QByteArray("\xA4\xA2")),
            QString(QChar(0x3042)));  // hiragana a
  EXPECT_EQ(QStringDecoder(mEncodings::DecoderName(20)).decode(QByteArray("\xB0\xA1")),
            QString(QChar(0x554A)));  // the first GB 2312 hanzi
}

struct CharsetCase {
  std::string text;
  int index;
};

TEST(Encodings, DeclarationsGiveTheirTableIndex) {
  const CharsetCase cases[] = {
      // quoted values
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">", 11},
      {"<meta charset=\"utf-8\">", 0},
      {"<meta charset=\"UTF-8\">", 0},
      {"<meta charset=\"ISO-8859-1\">", 1},
      {"<meta charset='windows-1252'>", 9},
      {"<meta charset=\"cp1252\">", 9},
      {"<meta charset=\"x-mac-chinesesimp\">", 20},
      {"<meta charset=\"euc-jp\">", 19},
      {"<meta charset=\"Shift_JIS\">", 18},
      {"<meta charset='windows-1251\">", 11},  // either quote closes
      // unquoted values end where the name characters end
      {"<meta charset=windows-1251>", 11},
      {"<meta charset=ISO-8859-2 />", 3},
      {"<meta charset=latin1><p class=\"x\">", 1},
      {"<meta charset=x-sjis>", 18},
      {"<meta charset=>", 0},
      {"<meta charset=", 0},
      // the first entry containing the value wins
      {"<meta charset=latin>", 1},
      {"<meta charset=8859-1>", 1},
      {"<meta charset=mac>", 2},
      {"<meta charset=x-mac-roman>", 2},
      {"<meta charset=sjis>", 18},
      {"<meta charset=hebrew>", 5},
      // values no entry holds are UTF-8
      {"<meta charset=iso-8859-15>", 0},
      {"<meta charset=\"iso-8859-8\">", 0},
      {"<meta charset=gb2312>", 0},
      {"<meta charset=koi8-r>", 0},
      // a quoted value without its closing quote names nothing
      {"<meta charset=\"windows-1251>", 0},
      {"<meta charset='windows-1251>", 0},
      // XML declarations
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-2\"?>", 3},
      {"<?xml version='1.0' encoding='utf-8'?>", 0},
      {"<?xml version=\"1.0\" ENCODING=\"Windows-1250\"?>", 10},
      // "charset=" anywhere wins over "encoding="
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><meta charset=\"utf-8\">", 0},
      {"<?xml encoding=\"ISO-8859-1\"?><META CHARSET=\"WINDOWS-1253\">", 12},
      // the words are found anywhere, in any case, and the first of each counts
      {"<meta xcharset=\"latin2\"> <meta charset=\"cp1252\">", 3},
      {"charset charset = \"latin2\" Charset=\"cp1253\"", 12},
      {"<?xml encoding=\"latin4\"?><?xml encoding=\"latin5\"?>", 4},
      {"=charset==encoding=x", 0},
      // no declaration
      {"@charset \"windows-1251\"; body{}", 0},
      {"<html><body>plain</body></html>", 0},
      {"ch=x1", 0},  // shorter than six characters
      {"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(mEncodings::CheckForEncoding(c.text), c.index);
  }
}

TEST(Encodings, ValueSeenByTheLookup) {
  EXPECT_EQ(mEncodings::DeclaredCharsetValue("<meta charset=\"Windows-1251\">"), "windows-1251");
  EXPECT_EQ(mEncodings::DeclaredCharsetValue("content='text/html; charset=UTF-8'"), "utf-8");
  EXPECT_EQ(mEncodings::DeclaredCharsetValue("<meta charset=utf-8 id=\"x\">"), "utf-8");
  EXPECT_EQ(mEncodings::DeclaredCharsetValue("no declaration here"), "");
}

}  // namespace
