#include "tools/InspectorText.h"

#include "app/mFile.h"
#include "compress/mEncodings.h"

#include <QStringDecoder>

namespace InspectorText {

QString Decode(std::string_view bytes) {
  const int index = mEncodings::CheckForEncoding(bytes);
  QStringDecoder decoder(mEncodings::DecoderName(index));
  // A decoder the platform's converters lack reads as UTF-8 rather than showing nothing.
  if (!decoder.isValid()) decoder = QStringDecoder(QStringDecoder::Utf8);
  return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

QString ForFile(const std::filesystem::path& file) { return Decode(mFile::ReadRawTextFile(file)); }

}  // namespace InspectorText
