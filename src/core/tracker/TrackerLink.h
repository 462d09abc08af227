#pragma once
// The program's conversation with the tracker: the start-up exchange with a Flock of
// Birds / miniBIRD, the operator prompt before a reconnection, the read of every
// polling tick (Flock records or Fastrak lines) and the bytes sent at exit.
// Toolkit-free and without system calls: the serial port, the clock, the message
// boxes and the window are handed in.
#include <cstdint>
#include <string>

#include "FastrakLine.h"
#include "FlockRecord.h"
#include "Interfaces.h"
#include "TrackerState.h"
#include "Types.h"

// What the tracker link needs from the main window.
class ITrackerHost {
 public:
  virtual ~ITrackerHost() = default;
  virtual void StopPolling() = 0;                   // Timer1 disabled
  virtual void StartPolling() = 0;                  // Timer1 enabled
  virtual void SetCaption(const std::string&) = 0;  // main window caption
  virtual void BeginConnect() {}                    // the start-up exchange begins
  virtual void EndConnect() {}                      // it ended
};

// The waits of the Flock start-up exchange, in milliseconds, in the order taken.
constexpr uint32_t kWaitBeforeExamine = 800;   // after draining the queue
constexpr uint32_t kWaitForModelId = 800;      // for the 10-byte identification
constexpr uint32_t kWaitBeforeAutoConfig = 320;
constexpr uint32_t kWaitAfterAutoConfig = 620;

// Most bytes one ReadFastrak consumes and longest line it keeps; a line that grows
// longer (a device that sends no carriage return) is dropped when it ends.
constexpr size_t kFastrakMaxBytesPerRead = 4096;
constexpr size_t kFastrakMaxLine = 4096;
// Whole Flock records in a row, after the last byte that formed none, that end the
// noise: 18 bytes whose phasing bits all fit the layout, which random bytes do once
// in 2^18 reads.
constexpr uint32_t kFlockRecordsAfterNoise = 3;
// Most bytes one Flock ReadFOB takes: a whole backlog up to this size, so that the
// newest record, among the last bytes, is reached in one read.
constexpr uint32_t kFlockMaxScan = 1u << 16;

// The text shown when the device did not answer the model query.
std::string ConnectionErrorText(const std::string& portName, int32_t bps, uint32_t waiting);
// The prompt shown before a Flock is restarted.
std::string SwitchOnPromptText(int32_t bps);
// The text shown when the port did not open: "Serial port <name> not found" for a
// port that does not exist, otherwise "Serial port <name> could not be opened at
// <bps> bps: <the system's reason>" (without the reason when there is none).
std::string PortOpenFailureText(const std::string& portName, int32_t bps, ISerialPort::TOpenError error,
                                const std::string& reason);

class TTrackerLink {
 public:
  TTrackerLink(TTrackerState& state, TTrackerReading& reading, IClock& clock,
               IMessagePresenter& messages, ITrackerHost& host);
  TTrackerLink(const TTrackerLink&) = delete;
  TTrackerLink& operator=(const TTrackerLink&) = delete;

  // The port object (TrackerPort), owned by the window; null until it exists.
  void SetPort(ISerialPort* port) { port_ = port; }
  ISerialPort* Port() const { return port_; }

  // (Re)opens the port with PortName and BPS; for a Flock runs the start-up
  // exchange: drain, 0x42 (a device still streaming from an earlier run stops; in
  // point mode it answers one record), 800 ms, drain again (the stream's last
  // records and that answer), 0x4F 0x0F, 800 ms, model identification into the
  // caption or the "Connection error" message, 320 ms, 0xF1 0x50 0x32 0x01, 620 ms,
  // 0x56 and 0x40 or 0x42. Polling is stopped meanwhile and started again at the
  // end, when TrackerReady is set. Does nothing when PortName is empty or no port
  // object exists.
  // A port that does not open (of either tracker type) is said in one message
  // (PortOpenFailureText) and gets no exchange. Connected() tells the outcome.
  // Every reconnection starts the readers afresh: a Fastrak's unfinished record
  // line and a Flock's unfinished record are dropped (the bytes that would
  // complete them do not survive it), and the link is not noisy.
  void InitFOB();
  // For a Flock: ends streaming (0x42, if the port is open) and shows the switch-on
  // prompt; then InitFOB.
  void InitFOBdialog();
  // One read of the polling tick; true when a new position was stored in the
  // reading. Never waits for the device: reads only bytes reported waiting.
  // Flock: point mode requests the next record first. Every byte read must fit the
  // record layout: a byte with the phasing bit starts a record, five without it
  // complete it, so that phasing bytes stand exactly 6 apart. The read takes the
  // waiting bytes (with the record begun by an earlier read) as long as they can
  // still complete a record; fewer than that stay waiting (5 bytes with nothing
  // begun: nothing is read). A phasing byte within a record shows that the record
  // broke off: its bytes are discarded and the phasing byte begins the next record,
  // kept for the next read when the rest has not arrived. Bytes that do not form
  // records are discarded (up to 5 before the first phasing byte of a connection
  // are the end of a record the stream was joined in, and are not noise).
  // A read that discarded nothing stores the newest record it completed. After
  // discarded bytes (in this read, or while the link is noisy) the newest record is
  // stored only when kFlockRecordsAfterNoise whole records in a row follow the last
  // discarded byte (a stream of 100 records a second brings them within a tick or
  // two, point mode within three reads); a read that discarded bytes and stores
  // nothing makes the link noisy.
  // Fastrak: see ReadFastrak.
  bool ReadFOB();
  // The Fastrak read (called by ReadFOB). Of the lines completed in one read the
  // newest is parsed; it is a position only when it starts as a record (a header
  // "0" and a station 1-4), has three numbers and each lies within
  // kFastrakMaxPosition. Anything else stores nothing and its bytes are discarded,
  // as are older lines of the read that do not start as records and bytes between a
  // line's end and the next line feed (those before the first line feed of a
  // connection are the end of a record joined in the middle, not noise). A read
  // whose newest line is a position stores it and is not noisy; one that discarded
  // bytes and found no position is noisy. Throws EConvertError for a number text
  // that is no decimal number (nothing stored, noisy), after the line state is kept
  // and the next record is requested, so that the next read goes on normally.
  bool ReadFastrak();
  // At exit: 0x42 0x47 if the port is open (whatever the tracker type), then Close.
  void Shutdown();

  // The Fastrak line state carried between reads.
  bool FastrakInLine() const { return fastrakInLine_; }
  const std::string& FastrakPartialLine() const { return fastrakPartialLine_; }

  // Whether the last InitFOB connected: the port opened and, for a Flock, the
  // device answered the model query. False before the first InitFOB.
  bool Connected() const { return connected_; }
  // Why the last InitFOB did not connect: the message it showed (the port's
  // PortOpenFailureText or the "Connection error" text). Empty when connected and
  // before the first InitFOB.
  const std::string& FailureText() const { return failure_; }
  // True while the reader keeps discarding bytes that do not form records: set by a
  // read that discarded such bytes and stored no position, cleared by the first
  // read that stores one (and by InitFOB); reads that find nothing new leave it as
  // it is. While it is set nothing is stored until the bytes form records again
  // (a Flock: kFlockRecordsAfterNoise whole records in a row; a Fastrak: a newest
  // line that is a record).
  bool Noisy() const { return noisy_; }
  // Positions stored by ReadFOB since the link was made (for readings per second).
  uint64_t ReadingsCount() const { return readings_; }
  // Bytes read and discarded because they formed no record, since the link was made.
  uint64_t DiscardedBytes() const { return discarded_; }

 private:
  bool ReadFlockRecord();
  // Takes one Flock byte into the record being assembled; true when it completed
  // one (in flockRecord_). Bytes that can belong to no record are added to `noise`.
  bool FlockByte(uint8_t b, uint64_t& noise);
  // Ends a read: counts its discarded bytes and sets the noise state. True when
  // `position` (the read's position, if any) was stored.
  bool EndRead(uint64_t noise, const TTrackerReading* position);
  void ResetReaders();

  TTrackerState& state_;
  TTrackerReading& reading_;
  IClock& clock_;
  IMessagePresenter& messages_;
  ITrackerHost& host_;
  ISerialPort* port_ = nullptr;
  bool fastrakInLine_ = false;
  std::string fastrakPartialLine_;
  bool fastrakPartialOverlong_ = false;  // the unfinished line outgrew kFastrakMaxLine
  bool fastrakSynced_ = false;  // a line feed was seen since the connection began
  uint8_t flockRecord_[kFlockRecordSize] = {};
  int flockHave_ = 0;           // bytes of the record begun, 0 to 5
  bool flockSynced_ = false;    // a phasing byte was seen since the connection began
  int flockJoinTail_ = 0;       // bytes before it
  uint32_t flockRun_ = 0;       // whole records since the last discarded byte
  bool connected_ = false;
  std::string failure_;
  bool noisy_ = false;
  uint64_t readings_ = 0;
  uint64_t discarded_ = 0;
};
