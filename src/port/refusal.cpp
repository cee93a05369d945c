#include "port/refusal.h"

#include <cstdarg>
#include <cstdio>

namespace plc {

Refusal InUseRefusal(const char* path, const char* how) {
  return {RefusalKind::kBusy, std::string(path) + " is in use by another program (" + how + ")"};
}

}  // namespace plc

// Outside the namespace block: the static analyser loses track of va_start
// in a variadic function defined inside one.
plc::Refusal plc::Refused(RefusalKind kind, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) (void)std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return {kind, text};
}
