#include "fake_plc.h"

#include "protocol/transfer.h"

namespace {

uint8_t Hi(uint16_t v) {
  return static_cast<uint8_t>(v >> 8);
}
uint8_t Lo(uint16_t v) {
  return static_cast<uint8_t>(v & 0xFF);
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// The command bytes of a function-0x64 request, as hex text ("01", "4944"...).
std::string Command64(const std::string& request) {
  const size_t head = 9;  // ":00640159" or ":0064015B"
  const size_t tail = 4;  // LRC and CR LF
  if (request.size() < head + tail) return "";
  return request.substr(head, request.size() - head - tail);
}

}  // namespace

std::string Reply64(uint8_t status, uint8_t b5, uint8_t b6) {
  return ModbusReply({0x00, 0x64, 0x01, 0x59, status, b5, b6});
}

std::string RegisterReply(uint16_t value) {
  return ModbusReply({0x00, 0x03, 0x02, Hi(value), Lo(value)});
}

std::string RequestKind(const std::string& r) {
  if (r == ":007F81\r\n") return "wake";
  if (StartsWith(r, ":00640159") || StartsWith(r, ":0064015B")) {
    const std::string cmd = Command64(r);
    if (cmd == "01") return "probe";
    if (cmd == "4944") return "id";
    if (cmd == "05") return "version";
    if (cmd == "4552415345") return "erase";
    if (cmd == "06") return "confirm";
  }
  if (r == ":0003156A00017D\r\n") return "d1386";
  if (r == ":0003147C00016C\r\n") return "d1148";
  if (r == "ID" || r == "VERSION" || r == "ERASE" || r == "UPDATE") return r;
  if (r == "\x04") return "EOT";
  if (!r.empty() && r[0] == '\x02') return "frame";
  return "other";
}

FakePlc::FakePlc(TestWire& wire) {
  wire.SetResponder([this](TestWire& w, const Bytes& request) {
    const std::string text = ToText(request);
    const std::string kind = RequestKind(text);
    const int count = seen[kind]++;
    std::optional<std::string> reply;
    if (fault) reply = fault(kind, count);
    if (!reply) reply = GoodReply(text);
    w.Reply(*reply);
  });
}

std::string FakePlc::GoodReply(const std::string& request) {
  return boot ? BootReply(request) : AppReply(request);
}

std::string FakePlc::AppReply(const std::string& request) {
  const std::string kind = RequestKind(request);
  if (kind == "probe") return Reply64(0x05);
  if (kind == "id") return Reply64(0x06, Hi(appId), Lo(appId));
  if (kind == "version") return Reply64(appVersion);
  if (kind == "d1386") return RegisterReply(d1386);
  if (kind == "d1148") return RegisterReply(d1148);
  if (kind == "erase") {
    if (silentErase) {
      boot = true;
      return "";
    }
    return Reply64(0x06);
  }
  if (kind == "confirm" && bootOnConfirm) boot = true;
  return "";
}

std::string FakePlc::BootReply(const std::string& request) {
  const std::string kind = RequestKind(request);
  if (kind == "probe") return Reply64(0x06);
  if (kind == "ID")
    return std::string{'\x06', static_cast<char>(Hi(bootId)), static_cast<char>(Lo(bootId))};
  if (kind == "VERSION") {
    // The tool reads (byte1 * 16 + byte2 / 16) mod 256.
    return std::string{'\x06', static_cast<char>(bootVersion >> 4),
                       static_cast<char>((bootVersion & 0x0F) << 4)};
  }
  if (kind == "ERASE") {
    ++eraseUnits;
    return "\x06";
  }
  if (kind == "EOT" || kind == "UPDATE") return "\x06";
  if (kind == "frame") {
    const size_t n = request.size() - 5;
    const auto* data = reinterpret_cast<const uint8_t*>(request.data()) + 3;
    const uint32_t crc = CRC(data, static_cast<uint32_t>(n));
    const auto hi = static_cast<uint8_t>(request[3 + n]);
    const auto lo = static_cast<uint8_t>(request[4 + n]);
    if (crc != (static_cast<uint32_t>(hi) << 8 | lo)) return "\x15";
    received.insert(received.end(), data, data + n);
    ++frames;
    return "\x06";
  }
  return "";
}

StatusSnapshot TakeSnapshot() {
  return {elapsedTime,     flashStatus,        progress,          errCounter,
          totalErrCounter, hSerial != kNoLink, hGLOBAL != nullptr};
}
