#include "variables/mVarialbles.h"

namespace mVarialbles {
Variables isBrixelVariables(const std::filesystem::path&, const std::filesystem::path&) { return {}; }
std::string DoUpdateVariables(std::string text, const Variables&, const QDateTime&, const trimora::TextCtx&) { return text; }
}  // namespace mVarialbles
