// The request/reply loop that every command of the protocol runs, and the
// fixed application-mode frames.  Internal to the protocol folder.
#pragma once

#include <cstdint>
#include <cstring>

#include "port/link.h"
#include "state/run.h"

namespace plc {

// A request as it goes on the wire.
struct Frame {
  const uint8_t* bytes;
  uint32_t length;
};

// Application-mode frames, character-exact, CR LF included.  The AIO models
// get their own probe, ID and erase frames; the version request has no
// variant.
Frame WakeUpFrame();
Frame ProbeFrame(bool aio);
Frame IdRequestFrame(bool aio);
Frame ReadD1386Frame();
Frame ReadD1148Frame();
Frame VersionRequestFrame();
Frame EraseRequestFrame(bool aio);
Frame EraseConfirmFrame(bool aio);

// Reply lengths in application mode: ":" + hex digits + CR LF.
inline constexpr uint32_t kLongReplyLength = 19;   // function 0x64, 8 bytes
inline constexpr uint32_t kShortReplyLength = 15;  // function 0x03, 6 bytes
inline constexpr uint8_t kLongReplyDigits = 16;
inline constexpr uint8_t kShortReplyDigits = 12;

// Where the decoded bytes 4, 5 and 6 of a 19-character reply lie in the
// reply buffer (decoded byte k sits at position 1 + k).
inline constexpr int kStatusPos = 5;
inline constexpr int kClassPos = 6;
inline constexpr int kDetailPos = 7;

// Failed writes or failed reads allowed per exchange before it gives up.
inline constexpr uint8_t kFullBudget = 6;

// What a command makes of one attempt after its write went out whole.
enum class Attempt { kAccepted, kFailedRead, kFailedWrite };

// Runs the retry budget on the run's link: at most `limit` failed writes or `limit` failed
// reads, whichever comes first.  Each attempt writes the request in one call;
// when it went out whole, errCounter shows the failed-read count, the reply
// buffer is zeroed (application mode only) and one read of replyLength bytes
// follows, which judge(bytesRead) decides.  Every failure sets errCounter to
// the count of its kind and adds 1 to totalErrCounter.  True when judge
// accepted an attempt; false when the budget is spent.  The try under way
// is published for a named activity (the probe's).
//
// judge is a callable taken by reference: nothing is allocated, so the block
// transfer can run it for every frame.
template <typename Judge>
bool RunRetryBudget(Run& run, const Frame& request, uint8_t* reply, uint32_t replyLength,
                    bool zeroReply, uint8_t limit, Judge&& judge) {
  Link* link = run.hSerial.get();
  uint8_t failedWrites = 0;
  uint8_t failedReads = 0;
  while (failedWrites < limit && failedReads < limit) {
    run.SetActivityTry(failedWrites + failedReads + 1);
    Attempt attempt = Attempt::kFailedWrite;
    if (LinkWrite(link, request.bytes, request.length) == request.length) {
      run.errCounter = failedReads;
      if (zeroReply) std::memset(reply, 0, replyLength);
      attempt = judge(LinkRead(link, reply, replyLength));
    }
    if (attempt == Attempt::kAccepted) return true;
    if (attempt == Attempt::kFailedWrite) {
      ++failedWrites;
      run.errCounter = failedWrites;
    } else {
      ++failedReads;
      run.errCounter = failedReads;
    }
    run.totalErrCounter += 1;
  }
  return false;
}

// Line settings and time-outs are applied without a result (Link's
// contract): a port that did not take them shows it as the failed exchange
// that follows, which the retry budget counts.

// Facts of the run's row of the model table.
bool SelectedIsUsb(const Run& run);
bool SelectedIsAio(const Run& run);

}  // namespace plc
