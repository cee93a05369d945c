// Shared set-up of the protocol tests: a model selection, clean counters, a
// test link in hSerial, operations by name, and builders of device replies.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/image.h"
#include "engine/models.h"
#include "engine/run_state.h"
#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/modbus.h"
#include "protocol/probe.h"
#include "protocol/result_codes.h"
#include "protocol/transfer.h"
#include "support/test_link.h"

// A 19-character reply to a function-0x64 request: status, then two bytes.
inline std::string Reply19(uint8_t status, uint8_t b5 = 0, uint8_t b6 = 0) {
  return ModbusReply({0x00, 0x64, 0x01, 0x59, status, b5, b6});
}
// A 15-character reply to a register read.
inline std::string Reply15(uint16_t value, uint8_t function = 0x03) {
  return ModbusReply(
      {0x00, function, 0x02, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)});
}
inline std::string WithWrongLrc(std::string reply) {
  char& lrc = reply[reply.size() - 4];
  lrc = lrc == '0' ? '1' : '0';
  return reply;
}

// Runs an operation by name; -1 for DummyComm, which has no result.
inline int RunOp(const std::string& op, LinkHandle link) {
  if (op == "DummyComm") return DummyComm(link), -1;
  if (op == "ConfirmComm") return ConfirmComm(link);
  if (op == "CheckID_A") return CheckID_A(link);
  if (op == "READ_D1386") return READ_D1386(link);
  if (op == "READ_D1148") return READ_D1148(link);
  if (op == "read_fu_version_A") return read_fu_version_A();
  if (op == "SendErase_A") return SendErase_A(link);
  if (op == "CheckID_B") return CheckID_B(link);
  if (op == "read_fu_version_B") return read_fu_version_B();
  if (op == "SendErase_B") return SendErase_B(link);
  if (op == "SendUpdate") return SendUpdate(link);
  if (op == "SendFW") return SendFW(link);
  ADD_FAILURE() << op;
  return -2;
}

// The wire as one text: "modbus"/"transfer" line settings, "short"/"long"
// time-outs, ">" and the bytes written, "<" and the bytes asked for; '|' between.
inline std::string Trace(const TestWire& wire) {
  std::string out;
  for (const WireEvent& e : wire.Events()) {
    const LineSettings& l = e.line;
    const auto line = [&l](const LineSettings& s) {
      return l.baudRate == s.baudRate && l.byteSize == s.byteSize && l.parity == s.parity &&
             l.stopBits == s.stopBits;
    };
    const auto times = [&e](const Timeouts& t) { return !std::memcmp(&e.timeouts, &t, sizeof t); };
    if (e.kind == WireEvent::Kind::kWrite) out += ">" + ToText(e.bytes) + "|";
    if (e.kind == WireEvent::Kind::kRead) out += "<" + std::to_string(e.requested) + "|";
    if (e.kind == WireEvent::Kind::kLineSettings)
      out += line(kModbusLineSettings)     ? "modbus|"
             : line(kTransferLineSettings) ? "transfer|"
                                           : "?|";
    if (e.kind == WireEvent::Kind::kTimeouts)
      out += times(kShortTimeouts) ? "short|" : times(kLongTimeouts) ? "long|" : "?|";
  }
  return out;
}

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset("VM500"); }
  void TearDown() override { hSerial = kNoLink, CloseLink(link_); }
  // A fresh wire and clean counters with the model selected.
  void Reset(const char* model) {
    CloseLink(link_);
    wire_ = std::make_unique<TestWire>();
    hSerial = link_ = wire_->Open();
    writes_ = 0;
    ClearStatusValues();
    ASSERT_GE(PlcIndexByName(model), 0) << model;
    SelectModel(PlcIndexByName(model));
  }
  // Puts an image of the given length (a counting pattern) behind the cursor.
  void UseImage(uint32_t length) {
    image_.resize(length);
    for (uint32_t i = 0; i < length; ++i) image_[i] = static_cast<uint8_t>(i * 7 + i / 256);
    LoadImage({image_.data(), length});
  }
  // Each request gets the next reply ("" is silence); then silence.
  void Answer(const std::vector<std::string>& replies) {
    std::vector<Bytes> script;
    for (const std::string& r : replies) script.push_back(ToBytes(r));
    wire_->Script(script);
  }
  void AnswerAlways(const std::string& reply) {
    wire_->SetResponder([reply](TestWire& w, const Bytes&) { w.Reply(reply); });
  }
  // Only the first n writes go out whole; later ones move nothing.
  void WritesGoThrough(int n) {
    wire_->SetWritePolicy([this, n](uint32_t size) { return ++writes_ <= n ? size : 0; });
  }
  int Reads() const {
    int n = 0;
    for (const WireEvent& e : wire_->Events()) n += e.kind == WireEvent::Kind::kRead;
    return n;
  }
  size_t Writes() const { return wire_->Writes().size(); }

  std::unique_ptr<TestWire> wire_;
  LinkHandle link_ = kNoLink;
  std::vector<uint8_t> image_;
  int writes_ = 0;
};
