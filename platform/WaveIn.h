#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/WaveFormat.h"

namespace orvenna {

// Result codes of the sound device layer; 0 is success.
using MMRESULT = std::uint32_t;
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;        // unspecified error
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;  // no such device
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;   // the sound server refused or went away
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;    // the device is in use
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;  // the device is not open
constexpr MMRESULT MMSYSERR_NODRIVER = 6;     // no sound server
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;     // the format is not supported
constexpr MMRESULT WAVERR_STILLPLAYING = 33;  // buffers are still queued
constexpr MMRESULT WAVERR_UNPREPARED = 34;    // the header is not prepared

// Device notifications, delivered in this order for one open device: one open, any number of
// data (one per returned buffer), one close.
constexpr unsigned MM_WIM_OPEN = 0x3BE;
constexpr unsigned MM_WIM_CLOSE = 0x3BF;
constexpr unsigned MM_WIM_DATA = 0x3C0;

// The default device.
constexpr int WAVE_MAPPER = -1;

// A buffer handed to the device: 32 bytes on the platform the layout comes from; here a
// plain record, with the capture time added. The device fills lpData from the start and sets
// dwBytesRecorded.
struct WAVEHDR {
  std::uint8_t* lpData = nullptr;
  std::uint32_t dwBufferLength = 0;
  std::uint32_t dwBytesRecorded = 0;
  std::uintptr_t dwUser = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwLoops = 0;
  WAVEHDR* lpNext = nullptr;
  std::uintptr_t reserved = 0;
  // When the first recorded byte was captured, in microseconds of std::chrono::steady_clock;
  // 0 when the device cannot tell (the buffer's arrival then tells).
  std::int64_t capturedAtUs = 0;
};
constexpr std::uint32_t WHDR_DONE = 0x1;
constexpr std::uint32_t WHDR_PREPARED = 0x2;
constexpr std::uint32_t WHDR_INQUEUE = 0x10;

// What a device offers: its name, and the classic capability bits of the formats it records
// (WAVE_FORMAT_1M08 = 0x1 ... WAVE_FORMAT_4S16 = 0x800: 11.025, 22.05 and 44.1 kHz; mono,
// stereo; 8, 16 bits).
struct WaveInCaps {
  std::string productName;
  std::uint32_t formats = 0;
};

// Receives a device's notifications: the message and, for MM_WIM_DATA, the returned header.
// Called on a thread of the driver (or inside a call into the device), one notification at a
// time; the receiver only queues them for its own thread. Nothing is called after
// MM_WIM_CLOSE.
using WaveInCallback = std::function<void(unsigned message, WAVEHDR* header)>;

// One open recording device. Its methods may be called from any thread, one at a time.
class WaveInDevice {
 public:
  virtual ~WaveInDevice() = default;

  virtual MMRESULT PrepareHeader(WAVEHDR& header) = 0;
  virtual MMRESULT UnprepareHeader(WAVEHDR& header) = 0;
  // Queues a prepared buffer; it comes back filled (or, after Reset, partly filled) through
  // MM_WIM_DATA.
  virtual MMRESULT AddBuffer(WAVEHDR& header) = 0;
  virtual MMRESULT Start() = 0;
  // Stops recording; a partly filled buffer comes back at once.
  virtual MMRESULT Stop() = 0;
  // Stops recording and returns every queued buffer.
  virtual MMRESULT Reset() = 0;
  // Closes the device: WAVERR_STILLPLAYING while buffers are queued; otherwise MM_WIM_CLOSE
  // follows as the last notification.
  virtual MMRESULT Close() = 0;
  // Milliseconds recorded since the open.
  virtual MMRESULT PositionMs(std::uint32_t& milliseconds) = 0;
};

// The sound input layer of the desktop. Any thread.
class WaveInDriver {
 public:
  virtual ~WaveInDriver() = default;

  virtual unsigned NumDevs() = 0;
  virtual MMRESULT GetDevCaps(int deviceId, WaveInCaps& caps) = 0;
  // Whether the device records `format` (the format query of an open).
  virtual MMRESULT QueryFormat(int deviceId, const WAVEFORMATEX& format) = 0;
  // Opens the device, not yet recording; `callback` receives MM_WIM_OPEN once the device is
  // ready, then the buffers, then MM_WIM_CLOSE. `bufferBytes` is the size of the buffers that
  // will be queued: the driver sizes its own fragments after it.
  virtual MMRESULT Open(int deviceId, const WAVEFORMATEX& format, std::uint32_t bufferBytes,
                        WaveInCallback callback, std::unique_ptr<WaveInDevice>& device) = 0;
  // The text of a result code, in plain words and naming the cause where the driver knows it
  // ("no sound server at unix:/run/user/1000/pulse/native: Connection refused").
  virtual std::string ErrorText(MMRESULT code) = 0;
};

}  // namespace orvenna
