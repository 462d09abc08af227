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
// Most bytes one ReadFOB phase search examines.
constexpr size_t kFlockMaxScan = 1024;

// The text shown when the device did not answer the model query.
std::string ConnectionErrorText(const std::string& portName, int32_t bps, uint32_t waiting);
// The prompt shown before a Flock is restarted.
std::string SwitchOnPromptText(int32_t bps);

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
  // exchange (drain, 800 ms, 0x4F 0x0F, 800 ms, model identification into the
  // caption or the "Connection error" message, 320 ms, 0xF1 0x50 0x32 0x01, 620 ms,
  // 0x56 and 0x40 or 0x42). Polling is stopped meanwhile and started again at the
  // end, when TrackerReady is set. Does nothing when PortName is empty or no port
  // object exists. A Fastrak's unfinished record line is dropped, since the bytes
  // that would complete it do not survive the reconnection.
  void InitFOB();
  // For a Flock: ends streaming (0x42, if the port is open) and shows the switch-on
  // prompt; then InitFOB.
  void InitFOBdialog();
  // One read of the polling tick; true when a new position was stored in the
  // reading. Never waits for the device: reads only bytes reported waiting.
  // Flock: point mode requests the next record first; fewer than 6 bytes waiting
  // give false; of 12 or more the oldest are dropped so that the newest 10 remain;
  // then the first byte with the phasing bit starts the record. A byte with the
  // phasing bit among bytes 2-6 shows that the record broke off: it is dropped and
  // the new one read instead when it has arrived whole (false otherwise).
  bool ReadFOB();
  // The Fastrak read (called by ReadFOB). Throws EConvertError for a number text
  // that is no decimal number, after the line state is kept and the next record
  // is requested, so that the next read goes on normally.
  bool ReadFastrak();
  // At exit: 0x42 0x47 if the port is open (whatever the tracker type), then Close.
  void Shutdown();

  // The Fastrak line state carried between reads.
  bool FastrakInLine() const { return fastrakInLine_; }
  const std::string& FastrakPartialLine() const { return fastrakPartialLine_; }

 private:
  bool ReadFlockRecord();

  TTrackerState& state_;
  TTrackerReading& reading_;
  IClock& clock_;
  IMessagePresenter& messages_;
  ITrackerHost& host_;
  ISerialPort* port_ = nullptr;
  bool fastrakInLine_ = false;
  std::string fastrakPartialLine_;
  bool fastrakPartialOverlong_ = false;  // the unfinished line outgrew kFastrakMaxLine
};
