#include "port/link.h"

#include <atomic>

namespace plc {

namespace {
std::atomic<bool> linksStopped{false};
}  // namespace

void StopAllLinks(bool stopped) {
  linksStopped.store(stopped);
}

uint32_t LinkWrite(Link* link, const uint8_t* data, uint32_t count) {
  return link && !linksStopped.load() ? link->Write(data, count) : 0;
}

uint32_t LinkRead(Link* link, uint8_t* buffer, uint32_t count) {
  return link && !linksStopped.load() ? link->Read(buffer, count) : 0;
}

void SetModbusLineSettings(Link* link) {
  if (link) link->ApplyLineSettings(kModbusLineSettings);
}

void SetTransferLineSettings(Link* link) {
  if (link) link->ApplyLineSettings(kTransferLineSettings);
}

void SetShortTimeouts(Link* link) {
  if (link) link->ApplyTimeouts(kShortTimeouts);
}

void SetLongTimeouts(Link* link) {
  if (link) link->ApplyTimeouts(kLongTimeouts);
}

void LinkCloser::operator()(Link* link) const noexcept {
  delete link;
}

}  // namespace plc
