#include "port/friendly_name.h"

#include <cstring>

namespace plc {

bool HasComMarker(const char* friendlyName) {
  return friendlyName != nullptr && std::strstr(friendlyName, "(COM") != nullptr;
}

bool ComNameFromFriendlyName(const char* friendlyName, char (&out)[kPortNameSize]) {
  std::memset(out, 0, sizeof out);
  if (!HasComMarker(friendlyName)) return false;
  const char* start = std::strstr(friendlyName, "(COM") + 1;
  // The first ")" after the marker ends the name; a later one belongs to
  // another parenthesised part, as in "Modem (COM4) (2)".
  const char* end = std::strchr(start, ')');
  if (end == nullptr) return false;
  size_t length = static_cast<size_t>(end - start);
  if (length > sizeof out - 1) return false;
  std::memcpy(out, start, length);
  return true;
}

void AddPortName(PortList* list, const char* name) {
  if (list == nullptr || name == nullptr || name[0] == '\0') return;
  if (std::strlen(name) > kPortNameSize - 1) return;
  if (list->count < 0 || list->count >= kMaxListedPorts) return;
  int at = 0;
  while (at < list->count) {
    int order = std::strcmp(name, list->names[at]);
    if (order == 0) return;
    if (order < 0) break;
    ++at;
  }
  for (int i = list->count; i > at; --i)
    std::memcpy(list->names[i], list->names[i - 1], kPortNameSize);
  std::memset(list->names[at], 0, kPortNameSize);
  std::memcpy(list->names[at], name, std::strlen(name));
  ++list->count;
}

bool ComDevicePath(const char* name, char* out, size_t outSize) {
  if (name == nullptr || out == nullptr || outSize == 0) return false;
  static const char kPrefix[] = "\\\\.\\";
  bool prefixed = std::strncmp(name, "\\\\", 2) == 0;
  size_t prefixLength = prefixed ? 0 : sizeof kPrefix - 1;
  size_t nameLength = std::strlen(name);
  if (prefixLength + nameLength + 1 > outSize) return false;
  std::memcpy(out, kPrefix, prefixLength);
  std::memcpy(out + prefixLength, name, nameLength + 1);
  return true;
}

const char* LastPart(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

}  // namespace plc
