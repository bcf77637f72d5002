// What the inspector shows for a file: its whole text, decoded in the encoding the file itself
// declares ("charset=" or "encoding=", looked up in the encodings table; UTF-8 when it declares
// nothing the table knows).
#pragma once

#include <QString>

#include <filesystem>
#include <string_view>

namespace InspectorText {

// The bytes decoded with the table's decoder for the declared encoding. Bytes that are not
// valid in that encoding become U+FFFD; nothing is dropped silently.
QString Decode(std::string_view bytes);

// The file's text as the inspector shows it: the raw read ("*" when the file cannot be read),
// decoded.
QString ForFile(const std::filesystem::path& file);

}  // namespace InspectorText
