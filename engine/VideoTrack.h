#pragma once

#include <string>
#include <vector>

#include "engine/PackedFrame.h"
#include "engine/RecordingTrack.h"
#include "engine/TempFileWatch.h"
#include "platform/Image.h"
#include "platform/Platform.h"
#include "platform/avi/Avi.h"

namespace orvenna {

class SessionSink;

// The compressor, format and header of a recording's video stream.
struct VideoStreamSetup {
  std::uint32_t compressorFcc = 0;
  char shortName[16] = {};  // the compressor's short name, one byte per UTF-16 unit
  int rate = 0;             // frames per `scale` seconds
  int scale = 1;
  int keyFramesEvery = 0;
  int compressionQuality = 0;
};

// The video of a recording: a compressed stream in the temporary AVI file, one sample per
// written frame slot. Recording thread.
class VideoTrack final : public RecordingTrack {
 public:
  // `sample` gives the stream its format; it is released once the format is set.
  // The temporary files are removed through `sink`.
  VideoTrack(const Platform& platform, SessionSink& sink, const VideoStreamSetup& setup,
             PackedFrame sample);
  ~VideoTrack() override;
  VideoTrack(const VideoTrack&) = delete;
  VideoTrack& operator=(const VideoTrack&) = delete;

  Result Start() override;
  void Stop() override {}
  Result Finish() override;
  std::vector<std::string> TakeNotices() override;
  // The temporary file, or the copy of its data when it was deleted or replaced meanwhile.
  const std::string& TempFile() const override { return temp_.Path(); }

  // Writes the frame's pixels as sample `position`. Fails when the stream refused them: out of
  // room when the disk holding the temporary file is full.
  Result Write(const PackedFrame& frame, int position);
  // Whether `image` can be written as it is, sparing the packed frame: it has the stream's
  // size, the stream's depth keeps every colour of it, and the compressor converts it itself.
  bool TakesPicture(const ImageView& image) const;
  // Writes the image as sample `position`, like Write.
  Result WritePicture(const ImageView& image, int position);
  // True once a write failed because the disk holding the temporary file is full; the file is
  // then cut short but readable, and Finish does not count that as a failure.
  bool OutOfRoom() const { return outOfRoom_; }
  // True when Start failed because the temporary file could not be made: no compressor would
  // do better, so the default one is not offered.
  bool FileNotMade() const { return fileNotMade_; }
  // The playing time of the frames the finished temporary file holds, in milliseconds.
  std::int64_t KeptMilliseconds();

 private:
  Result CreateFile();
  Result Written(AviResult result);
  void Release();
  void NoteResult(AviResult result);

  const Platform& platform_;
  SessionSink& sink_;
  const VideoStreamSetup setup_;
  PackedFrame sample_;
  TempFileWatch temp_;
  bool outOfRoom_ = false;
  bool fileNotMade_ = false;
  std::vector<std::string> notices_;
  PAVIFILE file_;
  PAVISTREAM raw_;
  PAVISTREAM compressed_;
  AVICOMPRESSOPTIONS options_;
  AVICOMPRESSOPTIONS* preparedOptions_ = nullptr;  // set once the options are filled
  int width_ = 0;                                  // of the stream's frames
  int height_ = 0;
  bool released_ = false;
  bool releasedWhole_ = true;  // every handle was released without a failure
};

}  // namespace orvenna
