#pragma once
// The emulator's side of a pseudo-terminal: the master, on which the device reads
// and writes, and a slave descriptor that the emulator keeps open so that the
// program may close and reopen the port without the master failing with EIO.
#include <termios.h>

#include <string>

class TPty {
 public:
  TPty() = default;
  ~TPty() { Close(); }
  TPty(const TPty&) = delete;
  TPty& operator=(const TPty&) = delete;

  // A new pseudo-terminal whose line is raw 8N1 at `speedConstant`; false with
  // `error` set when the system refuses. With `claim` it becomes the controlling
  // terminal of the caller's session (the caller must lead its session).
  bool Open(speed_t speedConstant, bool claim, std::string& error);
  void Close();
  bool IsOpen() const { return master_ >= 0; }
  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  // The output speed the program set on the line (the master sees the slave's
  // termios); 0 when it cannot be read.
  speed_t LineSpeed() const;

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// The termios constant of a speed in bits per second; 0 when there is none.
speed_t SpeedConstant(long bps);

// Makes `link` a symbolic link to `target`, replacing whatever link is there in one
// step (a program that opens the link sees the old or the new target, never none).
bool PointLink(const std::string& link, const std::string& target, std::string& error);
// Removes `link` if it is a symbolic link to `target` (not one another emulator has
// re-pointed since).
void RemoveLinkTo(const std::string& link, const std::string& target);
