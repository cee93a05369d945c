#include "state/run.h"

#include <cstring>

namespace plc {

namespace {

constexpr uint32_t kNumberMask = 0xFFFFFF;

uint32_t Packed(int32_t kind, int32_t number) {
  return static_cast<uint32_t>(kind) << 24 | (static_cast<uint32_t>(number) & kNumberMask);
}

}  // namespace

void Run::TellObserver() {
  if (StatusObserver observer = statusObserver_.load(std::memory_order_acquire))
    observer(observerContext_.load(std::memory_order_relaxed));
}

void Run::StartPhase(int32_t status) {
  progress = 0;
  flashStatus = status;
  TellObserver();
}

void Run::SetProgress(int32_t percent) {
  if (progress == percent) return;
  progress = percent;
  TellObserver();
}

void Run::SetActivity(int32_t kind, int32_t number) {
  const uint32_t value = Packed(kind, number);
  if (activity_ == value) return;
  activity_ = value;
  TellObserver();
}

void Run::SetActivityTry(int32_t number) {
  // Only the burn thread writes the activity: read and write need no lock.
  const auto kind = static_cast<int32_t>(static_cast<uint32_t>(activity_) >> 24);
  if (kind != kActivityNone) SetActivity(kind, number);
}

Activity Run::CurrentActivity() const {
  const uint32_t value = activity_;
  return {static_cast<int32_t>(value >> 24), static_cast<int32_t>(value & kNumberMask)};
}

void Run::SetStatusObserver(StatusObserver observer, void* context) {
  // The context first: an observer is never called with another's context.
  observerContext_.store(context, std::memory_order_relaxed);
  statusObserver_.store(observer, std::memory_order_release);
}

void Run::SetSelectedComPort(const std::string& text) {
  std::lock_guard<std::mutex> hold(comPortLock_);
  selectedComPort_ = text;
}

std::string Run::SelectedComPort() const {
  std::lock_guard<std::mutex> hold(comPortLock_);
  return selectedComPort_;
}

void Run::SelectModel(int row) {
  if (row < 0 || row >= kPlcCount) return;
  selectedPLCIdx = row;
  selectedPLCID = plcList[row].id;
}

bool Run::LoadFirmware(const FirmwareImage& image) {
  fin = image.data;
  fileLength = image.data != nullptr ? image.length : 0;
  return image.data != nullptr;
}

int32_t Run::FileRead(uint8_t* destination, int32_t count) {
  if (count <= 0) return 0;
  std::memcpy(destination, fin, static_cast<size_t>(count));
  fin += count;
  return count;
}

void Run::CloseFile() {
  fin = nullptr;
}

void Run::ClearStatusValues() {
  activity_ = 0;
  bytesSent = 0;
  bytesToSend = 0;
  elapsedTime = 0;
  flashStatus = kFlashIdle;
  progress = 0;
  errCounter = 0;
  totalErrCounter = 0;
}

bool Run::Claim() {
  bool expected = false;
  return claimed_.compare_exchange_strong(expected, true, std::memory_order_acq_rel);
}

void Run::Release() {
  claimed_.store(false, std::memory_order_release);
}

bool Run::BurnInProgress() const {
  return claimed_.load(std::memory_order_acquire);
}

}  // namespace plc
