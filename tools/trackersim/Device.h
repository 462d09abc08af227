#pragma once
// The emulated trackers: a Flock of Birds / miniBIRD (binary commands, 6- or 12-byte
// records, point and stream mode) and a Polhemus Fastrak (ASCII records on
// request), with the sensor on a slow path or at a position set from outside, and
// the faults a test may ask for.
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>

using SimClock = std::chrono::steady_clock;
using SimTime = SimClock::time_point;

// The device's transmit line: bytes leave no faster than the speed allows (start
// bit, 8 data bits, stop bit: 10 bits a byte).
class TWire {
 public:
  explicit TWire(long bps) { SetSpeed(bps); }
  void SetSpeed(long bps);
  long Speed() const { return bps_; }
  void Queue(const std::string& bytes, SimTime now);
  size_t Queued() const { return queue_.size(); }
  // Removes and returns the bytes whose time on the wire has begun by `now`.
  std::string Take(SimTime now);
  // When the next queued byte may go; nothing when the queue is empty.
  std::optional<SimTime> NextAt() const;
  // When the line has carried every queued byte (when it came free, possibly long
  // ago, when the queue is empty).
  SimTime FreeAt() const;
  void Clear() { queue_.clear(); }

 private:
  long bps_ = 115200;
  std::chrono::nanoseconds byteTime_{};
  std::deque<char> queue_;
  SimTime next_{};  // the line is free from then on
};

struct TSimPosition {
  int32_t x = 0, y = 0, z = 0;
};

class TDevice {
 public:
  TDevice(TWire& wire, double streamHz, uint32_t seed);
  virtual ~TDevice() = default;

  // A byte from the program.
  virtual void Receive(uint8_t b, SimTime now) = 0;
  // Produces stream output that is due: one record a period, or as fast as the
  // line allows when it is slower.
  void Tick(SimTime now);
  // When Tick has something to do next; nothing when not streaming.
  std::optional<SimTime> NextTick() const;
  // The first part of a record, as a cable pulled in the middle of one leaves it.
  virtual std::string HalfRecord(SimTime now) = 0;
  // Checks a position given in the units of the program's reading.
  virtual bool ValidPosition(const TSimPosition& p, std::string& error) const = 0;
  // N noise bytes: no Flock phasing bit, no Fastrak line ends.
  virtual std::string Noise(int count) = 0;
  void SetStreamRate(double hz);
  // Back to the state after power-on (a device plugged in again).
  virtual void Reset() {}
  // Starts or stops the output a program left running: a Flock streaming
  // position-only records, a Fastrak in continuous output.
  virtual void SetStreaming(bool on, SimTime now) = 0;
  bool Streaming() const { return streaming_; }

  void SetFixedPosition(const TSimPosition& p) { fixed_ = p; }
  void FollowPath() { fixed_.reset(); }
  void SetSilent(bool on) { silent_ = on; }
  void CutNextRecord() { partialNext_ = true; }
  void SendNoise(int count, SimTime now) { wire_.Queue(Noise(count), now); }

 protected:
  // Sends a record or an answer (nothing while silent; only the first half of it
  // when a cut was asked for).
  void Send(const std::string& bytes, SimTime now);
  TSimPosition Position(SimTime now) const;
  virtual TSimPosition PathAt(double seconds) const = 0;
  // One output record for the sensor's position now.
  virtual std::string Record(SimTime now) const = 0;

  // Most bytes of records one Tick puts on the line (after the emulator was
  // stopped): well within a pseudo-terminal's buffer (about 16 KiB), which would
  // otherwise drop the tail of a catch-up in the middle of a record.
  static constexpr size_t kMaxBytesPerTick = 4096;
  std::chrono::nanoseconds period_;  // between stream records
  bool streaming_ = false;           // Flock stream mode, Fastrak continuous output
  SimTime nextRecord_{};

  TWire& wire_;
  std::mt19937 random_;
  SimTime start_ = SimClock::now();

 private:
  std::optional<TSimPosition> fixed_;
  bool silent_ = false;
  bool partialNext_ = false;
};

enum class TFlockModel { Flock, MiniBird };

class TFlockDevice : public TDevice {
 public:
  TFlockDevice(TWire& wire, TFlockModel model, double streamHz, uint32_t seed);
  void Receive(uint8_t b, SimTime now) override;
  std::string HalfRecord(SimTime now) override;
  bool ValidPosition(const TSimPosition& p, std::string& error) const override;
  std::string Noise(int count) override;

  // The 10-byte answer to the model identification query.
  std::string ModelId() const;
  void Reset() override;
  void SetStreaming(bool on, SimTime now) override;

 protected:
  TSimPosition PathAt(double seconds) const override;

 private:
  std::string Record(SimTime now) const override;
  void Examine(uint8_t parameter, SimTime now);

  TFlockModel model_;
  bool positionOnly_ = false;  // POSITION selected; the device starts in POSITION/ANGLES
  // Bytes still expected as arguments of the command in `command_`.
  uint8_t command_ = 0;
  int argsLeft_ = 0;
  std::string args_;
};

class TFastrakDevice : public TDevice {
 public:
  TFastrakDevice(TWire& wire, double continuousHz, uint32_t seed);
  void Receive(uint8_t b, SimTime now) override;
  std::string HalfRecord(SimTime now) override;
  bool ValidPosition(const TSimPosition& p, std::string& error) const override;
  std::string Noise(int count) override;

  // One ASCII output record: "01 " then X, Y, Z and three angles, each a number with
  // two decimals right-aligned in 7 characters (with at least one blank before
  // it), then CR LF.
  static std::string FormatRecord(const TSimPosition& p, const TSimPosition& angles);
  void Reset() override { streaming_ = false; }
  void SetStreaming(bool on, SimTime now) override;
  // The largest coordinate its records can carry, in hundredths ("Sxxx.xx").
  static constexpr int32_t kMaxPosition = 99999;

 protected:
  TSimPosition PathAt(double seconds) const override;

 private:
  std::string Record(SimTime now) const override;
};
