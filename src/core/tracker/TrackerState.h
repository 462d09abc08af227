#pragma once
// The tracker settings and state shared by the settings store, the connection
// start-up and the protocols, with the operator's other stored settings.
#include <cstdint>
#include <string>

struct TTrackerState {
  std::string PortName;       // serial port to use; empty: no port, no start-up
  int32_t BPS = 115200;       // line speed in bits per second
  bool IsFastrak = false;     // a Polhemus Fastrak (otherwise a Flock of Birds / miniBIRD)
  bool IsStreaming = true;    // Flock in stream mode (otherwise point mode)
  bool TrackerReady = false;  // set at the end of the first InitFOB; never cleared
  // The tracker's units, for millimetres: a Flock's full-scale range in inches
  // (36, 72 or 144: the transmitter's), a Fastrak's output unit.
  int32_t FlockRange = 36;
  int32_t FastrakUnit = 0;  // 0: inches, 1: centimetres
  // The operator's other settings, stored beside the tracker's.
  std::string CalibFolder;                // the folder of the last calibration saved or opened
  std::string IGTLAddress = "127.0.0.1";  // the OpenIGTLink server's address
  int32_t IGTLPort = 18944;               // and port; 0: no server
  std::string MRIImage;                   // the MRI image's NIfTI file; empty: none
  int32_t MRIVoxelBase = 1;               // the viewer's first voxel number: 1, or 0
};
