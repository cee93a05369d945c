// Shared set-up of the protocol tests: a model selection, clean counters,
// a test link in hSerial, and helpers to build device replies.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/image.h"
#include "engine/models.h"
#include "engine/run_state.h"
#include "support/test_link.h"

// A 19-character reply to a function-0x64 request: decoded bytes 4, 5, 6 are
// status, b5, b6 (ID high and low, or error class and detail).
inline std::string Reply19(uint8_t status, uint8_t b5 = 0, uint8_t b6 = 0) {
  return ModbusReply({0x00, 0x64, 0x01, 0x59, status, b5, b6});
}

// A 15-character reply to a register read carrying value.
inline std::string Reply15(uint16_t value, uint8_t function = 0x03) {
  return ModbusReply(
      {0x00, function, 0x02, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)});
}

// The same reply with its LRC digits replaced by a wrong value.
inline std::string WithWrongLrc(std::string reply) {
  const size_t lrc = reply.size() - 4;
  reply[lrc] = reply[lrc] == '0' ? '1' : '0';
  return reply;
}

inline Bytes B(std::initializer_list<uint8_t> bytes) {
  return Bytes(bytes);
}

// The events of a wire as short texts, so a whole exchange compares at once:
// "modbus"/"transfer" line settings, "short"/"long" time-outs, "> text" for a
// write (the bytes as written, control bytes as \xNN), "< n" for a read of
// up to n bytes.
std::vector<std::string> Trace(const TestWire& wire);

// Test names from the cases' name field (letters, digits and '_' only).
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
  std::string name = param.param.name;
  for (char& ch : name) {
    const bool keep =
        (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
    if (!keep) ch = '_';
  }
  return name;
}

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearStatusValues();
    link_ = wire_.Open();
    hSerial = link_;
  }
  void TearDown() override {
    hSerial = kNoLink;
    CloseLink(link_);
  }

  void Select(const char* name) {
    const int row = PlcIndexByName(name);
    ASSERT_GE(row, 0) << name;
    SelectModel(row);
  }
  // Puts an image of the given length (a counting pattern) behind the cursor.
  void UseImage(uint32_t length) {
    image_.resize(length);
    for (uint32_t i = 0; i < length; ++i) image_[i] = static_cast<uint8_t>(i * 7 + i / 256);
    LoadImage({image_.data(), length});
  }
  // Every request is answered with the next reply; then silence.
  void Answer(const std::vector<std::string>& replies) {
    std::vector<Bytes> script;
    for (const std::string& r : replies) script.push_back(ToBytes(r));
    wire_.Script(script);
  }
  // The same reply n times.
  void AnswerTimes(const std::string& reply, int n) {
    Answer(std::vector<std::string>(static_cast<size_t>(n), reply));
  }
  // Every request is answered with bytes.
  void AnswerAlways(const Bytes& bytes) {
    wire_.SetResponder([bytes](TestWire& wire, const Bytes&) { wire.Reply(bytes); });
  }
  int Reads() const {
    int n = 0;
    for (const WireEvent& e : wire_.Events()) n += e.kind == WireEvent::Kind::kRead ? 1 : 0;
    return n;
  }

  TestWire wire_;
  LinkHandle link_ = kNoLink;
  std::vector<uint8_t> image_;
};
