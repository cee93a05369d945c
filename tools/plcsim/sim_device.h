// A simulated PLC: the device end of the link, for any model of the table.
//
// It is a byte-stream device.  SimFeed() consumes what the tool writes and
// queues the replies, which SimTakeOutput() hands out.  The caller tells it
// the line settings the tool applied (SimSetLine), when the tool opens the
// link anew (SimReconnect), when the PLC loses its power (SimPowerCycle: the
// cable pulled and plugged in again, the PLC switched off and on) and when
// the line has been quiet for a while (SimIdle: drops a half-received frame).
// After a complete transfer the next reconnect or power cycle starts the new
// program (application mode again), so one simulator serves burn after burn.
//
// Application mode speaks Modbus ASCII; the bootloader speaks plain commands
// ("ID", "VERSION", "ERASE", EOT, "UPDATE") and then takes block frames at
// 115200 baud.  Nothing is allocated after SimInit(): the received image has
// its room from the start, and input and output are fixed buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "sim_state.h"

namespace plc {

// Defaults for a model row: its device type ID in application mode, the same with
// bit 15 cleared from the bootloader of a serial model, registers 0.
SimConfig SimDefaultConfig(int row);
// Adds a fault in text form; false (with a reason) when it does not parse or
// the table is full.
bool SimAddFault(SimConfig& config, const char* text, std::string* why);

void SimInit(PlcSim& sim, const SimConfig& config);
void SimFeed(PlcSim& sim, const uint8_t* data, uint32_t count);
uint32_t SimOutputSize(const PlcSim& sim);
uint32_t SimTakeOutput(PlcSim& sim, uint8_t* buffer, uint32_t max);
// framingKnown: whether data bits and parity are real (false on a pty, which
// reports 8 bits and no parity whatever the tool asked for).
void SimSetLine(PlcSim& sim, const LineSettings& line, bool framingKnown);
// The tool opened the link anew.  This is no power cycle, except after an
// erase that the PLC carries out at its next start: there the tool's reopen
// stands in for the replug or power cycle that the user makes.  A bootloader
// cut off mid-transfer keeps waiting for blocks.
void SimReconnect(PlcSim& sim);
// The PLC lost its power and starts again.  Its program is gone once the
// erase/enter-boot command was accepted, so it comes up in its bootloader,
// ready for "ID" at the speed of its commands, until a transfer has been
// completed; then the new program runs.
void SimPowerCycle(PlcSim& sim);
void SimIdle(PlcSim& sim, uint32_t quietMs);
// A request or frame has begun but not ended (SimIdle would drop it).
bool SimHasPartialInput(const PlcSim& sim);

// The model table, tab-separated with a header line: one row per model with
// the facts a script needs (frame size, reserved tail, link, ...).
void SimPrintModelTable(std::FILE* out);
// Data size of a block frame for the model: 256 or 128.
uint32_t SimBlockSize(int row);
// Line speed the model listens at now; 0 when any speed will do.
uint32_t SimExpectedBaud(const PlcSim& sim);
// The tool closed the transfer with EOT.  Every stored frame passed its CRC
// and came in sequence (others are refused), so the image is then complete.
bool SimTransferOk(const PlcSim& sim);
// The requests received that change the PLC: the erase/enter-boot command
// and its confirmation, ERASE, UPDATE, the block frames and EOT.  A tool's
// dry run must leave it at 0.
uint32_t SimWritingRequests(const PlcSim& sim);
// CRC-16/XMODEM, computed independently of the tool's own.
uint16_t SimCrc16(const uint8_t* data, uint32_t length);

}  // namespace plc
