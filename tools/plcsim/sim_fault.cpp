#include "sim_fault.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace plc {

const char kSimFaultGrammar[] =
    "Faults (SEL picks requests of the kind by number, from 1: N, N-M, N+ or *,\n"
    "the default being every request):\n"
    "  silent:KIND[:SEL]              no reply\n"
    "  bad-lrc:KIND[:SEL]             Modbus reply with a wrong LRC\n"
    "  lower-hex:KIND[:SEL]           Modbus reply in lower-case hex\n"
    "  short:KIND[:SEL]               reply one character short\n"
    "  corrupt:KIND[:SEL]             one reply character (or the ACK) altered\n"
    "  refuse:KIND:CLASS:DETAIL[:SEL] refusal reply, status 0x15 with class and\n"
    "                                 detail in hex; a lone NAK in boot mode\n"
    "  status:KIND:BYTE[:SEL]         another status byte (hex)\n"
    "  wrong-id:KIND:ID[:SEL]         report ID (hex); KIND is id or boot-id\n"
    "  run-mode[:SEL]                 probe refused with class 01 (PLC in RUN MODE)\n"
    "  nak-frame[:SEL]                NAK for block frames\n"
    "  lost-ack[:SEL]                 block frame stored, its ACK lost\n"
    "  corrupt-frame[:SEL]            block frame damaged on the line (NAK)\n"
    "  lost-frame[:SEL]               block frame lost on the line (no reply)\n"
    "  silent-after-erase:K           bootloader falls silent after erase unit K\n"
    "  no-boot                        the PLC never enters its bootloader\n"
    "  random:RATE[:KINDS]            random faults with probability RATE (0..1)\n"
    "                                 per request of KINDS (a ','-list or all;\n"
    "                                 default frame,eot): lost or damaged frames,\n"
    "                                 lost ACKs, bad LRC, short replies\n"
    "  hostile                        answer everything with random bytes\n"
    "KIND: wakeup probe id d1386 d1148 version erase confirm boot-id boot-version\n"
    "      boot-erase boot-eot update frame eot\n"
    "Examples: --fault silent:probe:3  --fault nak-frame:100  --fault random:0.01\n";

namespace {

const char* const kKindNames[kSimKindCount] = {
    "wakeup",  "probe",        "id",         "d1386",    "d1148",  "version", "erase", "confirm",
    "boot-id", "boot-version", "boot-erase", "boot-eot", "update", "frame",   "eot",
};

// A field of the fault text: [begin, begin + length).
struct Field {
  const char* begin;
  size_t length;
};

constexpr int kMaxFields = 6;

int SplitFields(const char* text, Field* fields) {
  int n = 0;
  const char* p = text;
  while (n < kMaxFields) {
    const char* end = std::strchr(p, ':');
    size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
    fields[n++] = {p, len};
    if (!end) return n;
    p = end + 1;
  }
  return n + 1;  // too many
}

bool FieldIs(const Field& f, const char* word) {
  return std::strlen(word) == f.length && std::strncmp(f.begin, word, f.length) == 0;
}

void Fail(std::string* why, const char* reason, const char* text) {
  if (why != nullptr) *why = std::string(reason) + ": \"" + text + "\"";
}

// Unsigned number of the field in the given base, at most max.
bool ParseNumber(const Field& f, int base, uint32_t max, uint32_t* value) {
  if (f.length == 0 || f.length > 10) return false;
  char buf[12] = {};
  std::memcpy(buf, f.begin, f.length);
  for (size_t i = 0; i < f.length; ++i) {
    char c = buf[i];
    bool ok =
        base == 16 ? std::strchr("0123456789abcdefABCDEF", c) != nullptr : (c >= '0' && c <= '9');
    if (!ok || c == '\0') return false;
  }
  unsigned long v = std::strtoul(buf, nullptr, base);
  if (v > max) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

bool ParseHexByte(const Field& f, uint8_t* value) {
  uint32_t v = 0;
  if (!ParseNumber(f, 16, 0xFF, &v)) return false;
  *value = static_cast<uint8_t>(v);
  return true;
}

// "N", "N-M", "N+" or "*".
bool ParseSelector(const Field& f, SimFault* fault) {
  if (FieldIs(f, "*")) {
    fault->first = 1;
    fault->last = UINT32_MAX;
    return true;
  }
  if (f.length == 0) return false;
  const char* dash = static_cast<const char*>(std::memchr(f.begin, '-', f.length));
  if (f.begin[f.length - 1] == '+') {
    Field n{f.begin, f.length - 1};
    if (!ParseNumber(n, 10, UINT32_MAX, &fault->first) || fault->first == 0) return false;
    fault->last = UINT32_MAX;
    return true;
  }
  if (dash) {
    Field a{f.begin, static_cast<size_t>(dash - f.begin)};
    Field b{dash + 1, f.length - a.length - 1};
    if (!ParseNumber(a, 10, UINT32_MAX, &fault->first) ||
        !ParseNumber(b, 10, UINT32_MAX, &fault->last)) {
      return false;
    }
    return fault->first > 0 && fault->first <= fault->last;
  }
  if (!ParseNumber(f, 10, UINT32_MAX, &fault->first) || fault->first == 0) return false;
  fault->last = fault->first;
  return true;
}

bool ParseKindList(const Field& f, uint32_t* mask) {
  if (FieldIs(f, "all")) {
    *mask = (1u << kSimKindCount) - 1;
    return true;
  }
  *mask = 0;
  const char* p = f.begin;
  const char* end = f.begin + f.length;
  while (p < end) {
    const char* comma = static_cast<const char*>(std::memchr(p, ',', static_cast<size_t>(end - p)));
    const char* stop = comma ? comma : end;
    SimKind kind{};
    if (!SimKindByName(p, static_cast<size_t>(stop - p), &kind)) return false;
    *mask |= 1u << static_cast<int>(kind);
    p = comma ? comma + 1 : end;
  }
  return *mask != 0;
}

struct Shape {
  const char* name;
  int values;  // hex values after the kind (refuse 2, status 1, wrong-id 1)
  SimFaultType type;
  bool hasKind;
  SimKind fixedKind;
};

const Shape kShapes[] = {
    {"silent", 0, SimFaultType::kSilent, true, SimKind::kProbe},
    {"bad-lrc", 0, SimFaultType::kBadLrc, true, SimKind::kProbe},
    {"lower-hex", 0, SimFaultType::kLowerHex, true, SimKind::kProbe},
    {"short", 0, SimFaultType::kShort, true, SimKind::kProbe},
    {"corrupt", 0, SimFaultType::kCorrupt, true, SimKind::kProbe},
    {"refuse", 2, SimFaultType::kRefuse, true, SimKind::kProbe},
    {"status", 1, SimFaultType::kStatus, true, SimKind::kProbe},
    {"wrong-id", 1, SimFaultType::kWrongId, true, SimKind::kId},
    {"run-mode", 0, SimFaultType::kRefuse, false, SimKind::kProbe},
    {"nak-frame", 0, SimFaultType::kRefuse, false, SimKind::kFrame},
    {"lost-ack", 0, SimFaultType::kLostAck, false, SimKind::kFrame},
    {"corrupt-frame", 0, SimFaultType::kCorruptFrame, false, SimKind::kFrame},
    {"lost-frame", 0, SimFaultType::kLostFrame, false, SimKind::kFrame},
};

}  // namespace

const char* SimKindName(SimKind kind) {
  int i = static_cast<int>(kind);
  return i >= 0 && i < kSimKindCount ? kKindNames[i] : "?";
}

bool SimKindByName(const char* name, size_t length, SimKind* kind) {
  for (int i = 0; i < kSimKindCount; ++i) {
    if (std::strlen(kKindNames[i]) == length && std::strncmp(kKindNames[i], name, length) == 0) {
      *kind = static_cast<SimKind>(i);
      return true;
    }
  }
  return false;
}

bool SimFaultSelects(const SimFault& fault, uint32_t number) {
  return number >= fault.first && number <= fault.last;
}

bool SimParseFault(const char* text, SimFault* fault, std::string* why) {
  if (text == nullptr || fault == nullptr) return false;
  Field f[kMaxFields + 1];
  int n = SplitFields(text, f);
  if (n > kMaxFields) {
    Fail(why, "too many fields", text);
    return false;
  }
  SimFault result;
  if (FieldIs(f[0], "silent-after-erase")) {
    result.type = SimFaultType::kSilentAfterErase;
    result.kind = SimKind::kBootErase;
    if (n != 2 || !ParseNumber(f[1], 10, 0xFFFF, &result.afterUnits)) {
      Fail(why, "expected silent-after-erase:K", text);
      return false;
    }
    *fault = result;
    return true;
  }
  if (FieldIs(f[0], "no-boot") || FieldIs(f[0], "hostile")) {
    if (n != 1) {
      Fail(why, "takes no arguments", text);
      return false;
    }
    result.type = FieldIs(f[0], "no-boot") ? SimFaultType::kNoBoot : SimFaultType::kHostile;
    *fault = result;
    return true;
  }
  if (FieldIs(f[0], "random")) {
    result.type = SimFaultType::kRandom;
    result.kindMask =
        (1u << static_cast<int>(SimKind::kFrame)) | (1u << static_cast<int>(SimKind::kEot));
    char buf[32] = {};
    bool ok = n >= 2 && n <= 3 && f[1].length > 0 && f[1].length < sizeof buf;
    if (ok) {
      std::memcpy(buf, f[1].begin, f[1].length);
      char* end = nullptr;
      result.rate = std::strtod(buf, &end);
      ok = end && *end == '\0' && result.rate >= 0.0 && result.rate <= 1.0;
    }
    if (ok && n == 3) ok = ParseKindList(f[2], &result.kindMask);
    if (!ok) {
      Fail(why, "expected random:RATE[:KINDS] with RATE in 0..1", text);
      return false;
    }
    *fault = result;
    return true;
  }
  for (const Shape& shape : kShapes) {
    if (!FieldIs(f[0], shape.name)) continue;
    result.type = shape.type;
    result.kind = shape.fixedKind;
    int at = 1;
    if (shape.hasKind) {
      if (at >= n || !SimKindByName(f[at].begin, f[at].length, &result.kind)) {
        Fail(why, "unknown or missing request kind", text);
        return false;
      }
      ++at;
    }
    if (at + shape.values > n) {
      Fail(why, "missing value", text);
      return false;
    }
    bool ok = true;
    if (shape.type == SimFaultType::kRefuse && shape.values == 2) {
      ok = ParseHexByte(f[at], &result.errClass) && ParseHexByte(f[at + 1], &result.errDetail);
    } else if (shape.type == SimFaultType::kStatus) {
      ok = ParseHexByte(f[at], &result.status);
    } else if (shape.type == SimFaultType::kWrongId) {
      uint32_t id = 0;
      ok = ParseNumber(f[at], 16, 0xFFFF, &id);
      result.id = static_cast<uint16_t>(id);
      ok = ok && (result.kind == SimKind::kId || result.kind == SimKind::kBootId);
    } else if (FieldIs(f[0], "run-mode")) {
      result.errClass = 0x01;
    }
    if (!ok) {
      Fail(why, "bad value", text);
      return false;
    }
    at += shape.values;
    if (at < n) {
      if (!ParseSelector(f[at], &result)) {
        Fail(why, "bad selector (N, N-M, N+ or *)", text);
        return false;
      }
      ++at;
    }
    if (at != n) {
      Fail(why, "too many fields", text);
      return false;
    }
    *fault = result;
    return true;
  }
  Fail(why, "unknown fault", text);
  return false;
}

}  // namespace plc
