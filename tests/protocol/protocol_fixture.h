// Protocol tests: a fresh run with a test link in its hSerial per case, operations by name,
// device replies, and the wire as one text.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "protocol/app_commands.h"
#include "protocol/boot_commands.h"
#include "protocol/control_bytes.h"
#include "protocol/modbus.h"
#include "protocol/probe.h"
#include "protocol/transfer.h"
#include "state/image.h"
#include "state/models.h"
#include "state/run.h"
#include "support/test_link.h"

namespace plc {

using Ints = std::pair<long, long>;

inline std::string Reply19(uint8_t status, uint8_t b5 = 0, uint8_t b6 = 0) {
  return ModbusReply({0x00, 0x64, 0x01, 0x59, status, b5, b6});
}
inline std::string Reply15(uint16_t value, uint8_t function = 0x03) {
  return ModbusReply(
      {0x00, function, 0x02, static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)});
}
inline std::string WithWrongLrc(std::string reply) {
  reply[reply.size() - 4] ^= 1;  // the low bit of a hex digit: still a hex digit
  return reply;
}

inline int RunOp(const std::string& op, Run& run) {
  if (op == "DummyComm") return DummyComm(run), -1;  // no result
  // The reads: the value, -1 when the budget was spent.
  if (op.rfind("ReadVersion_", 0) == 0) {
    uint8_t v = 0;
    return (op.back() == 'A' ? ReadVersion_A(run, &v) : ReadVersion_B(run, &v)) ? v : -1;
  }
  if (op.rfind("ReadD", 0) == 0) {
    uint16_t v = 0;
    return (op == "ReadD1386_A" ? ReadD1386_A(run, &v) : ReadD1148_A(run, &v)) ? v : -1;
  }
  const std::pair<const char*, ProtocolResult (*)(Run&)> ops[] = {
      {"ConfirmComm", ConfirmComm}, {"CheckID_A", CheckID_A},     {"SendErase_A", SendErase_A},
      {"CheckID_B", CheckID_B},     {"SendErase_B", SendErase_B}, {"SendUpdate", SendUpdate}};
  for (const auto& [name, fn] : ops)
    if (op == name) return fn(run);
  return SendFW(run);
}

// "modbus"/"transfer" line settings, "short"/"long" time-outs, ">" and the
// bytes written, "<" and the count asked for; '|' after each.
inline std::string Trace(const TestWire& wire) {
  std::string out;
  for (const WireEvent& e : wire.Events()) {
    const LineSettings& l = e.line;
    const auto is = [&e](const Timeouts& t) { return !std::memcmp(&e.timeouts, &t, sizeof t); };
    if (e.kind == WireEvent::Kind::kWrite) out += ">" + ToText(e.bytes) + "|";
    if (e.kind == WireEvent::Kind::kRead) out += "<" + std::to_string(e.requested) + "|";
    if (e.kind == WireEvent::Kind::kLineSettings)
      out += l.baudRate == 9600 && l.byteSize == 7 && l.parity == 2 && l.stopBits == 0 ? "modbus|"
             : l.baudRate == 115200 && l.byteSize == 8 && !l.parity && !l.stopBits     ? "transfer|"
                                                                                       : "?|";
    if (e.kind == WireEvent::Kind::kTimeouts)
      out += is(kShortTimeouts) ? "short|" : is(kLongTimeouts) ? "long|" : "?|";
  }
  return out;
}

class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset("VM500"); }
  void Reset(const char* model, uint32_t imageLength = 0) {
    run_ = std::make_unique<plc::Run>();
    wire_ = std::make_unique<TestWire>();
    run_->hSerial = wire_->Open();
    writes_ = 0;
    ASSERT_GE(PlcIndexByName(model), 0) << model;
    run_->SelectModel(PlcIndexByName(model));
    image_.resize(imageLength);  // a counting pattern behind the cursor
    for (uint32_t i = 0; i < imageLength; ++i) image_[i] = static_cast<uint8_t>(i * 7 + i / 256);
    run_->LoadFirmware({image_.data(), imageLength});
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
  size_t Writes() const { return wire_->Writes().size(); }
  std::vector<long> Counters() const {
    return {run_->errCounter, run_->totalErrCounter, long(Writes())};
  }

  // The wire outlives the run whose link it is.
  std::unique_ptr<TestWire> wire_;
  std::unique_ptr<plc::Run> run_;
  std::vector<uint8_t> image_;
  int writes_ = 0;
};

}  // namespace plc
