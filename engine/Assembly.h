#pragma once

#include <string>

#include "engine/RecordingTrack.h"
#include "platform/Files.h"
#include "platform/Shell.h"
#include "platform/avi/Avi.h"
#include "platform/avi/ContainerWriter.h"

namespace orvenna {

class KeptRecordings;
class RecordingLock;
class SessionSink;

// How the save of a recording ended.
struct SaveOutcome {
  AviResult code = AVIERR_NODATA;  // AVIERR_NODATA: there was nothing to save
  std::string keptAs;              // the free name taken when the output's own was taken meanwhile
  // Saved under the output's own name.
  bool Saved() const { return code == AVIERR_OK && keptAs.empty(); }
};

// What the final assembly works with: the files, the busy cursor, the keeping of a recording
// that cannot be saved, the recording's lock, and where its reports and progress go.
struct AssemblyContext {
  Files& files;
  Shell& shell;
  KeptRecordings& kept;
  RecordingLock* lock;
  bool replaceOutput;
  SessionSink& sink;
  AVISAVECALLBACK progress;  // 0..100; answers -1 to stop the save
  ContainerWriter& containers;
};

// Opens the first stream of the file at `path` into `slot`, reporting why not; a file that
// is not there leaves `slot` empty without a report.
void OpenTrackStream(const AssemblyContext& context, const std::string& path, PAVISTREAM& slot);
// Writes the streams into `fileName`, reporting a failure; the file there before stays as it
// is until the new one takes its place whole.
SaveOutcome SaveStreams(const AssemblyContext& context, const std::string& fileName, int count,
                        PAVISTREAM* streams);
// Merges the finished tracks' temporary files into `fileName`, the video first. A save that
// failed for any reason but the user's cancel keeps the recording under a free name, and says
// where.
SaveOutcome AssembleRecording(const AssemblyContext& context, const std::string& fileName,
                              const RecordingTracks& tracks);

}  // namespace orvenna
